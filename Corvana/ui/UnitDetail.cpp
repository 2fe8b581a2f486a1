#include "Corvana/ui/UnitDetail.h"

#include "Corvana/model/ServerModel.h"

UnitDetail::UnitDetail(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model) {}

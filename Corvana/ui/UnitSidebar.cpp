#include "Corvana/ui/UnitSidebar.h"

#include "Corvana/model/ServerModel.h"

UnitSidebar::UnitSidebar(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model) {}

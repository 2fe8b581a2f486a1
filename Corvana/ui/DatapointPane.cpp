#include "Corvana/ui/DatapointPane.h"

#include "Corvana/model/ServerModel.h"

DatapointPane::DatapointPane(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model) {}

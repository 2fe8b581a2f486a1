#include "Corvana/ui/SerialBar.h"

#include "Corvana/model/ServerModel.h"

SerialBar::SerialBar(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model) {}

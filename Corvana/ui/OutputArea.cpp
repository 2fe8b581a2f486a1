#include "Corvana/ui/OutputArea.h"

#include "Corvana/model/ServerModel.h"

OutputArea::OutputArea(ServerModel& model, QWidget* parent)
    : QWidget(parent) {
    (void)model;
}

void OutputArea::showFindBar() {}

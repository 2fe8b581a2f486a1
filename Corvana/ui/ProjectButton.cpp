#include "Corvana/ui/ProjectButton.h"

#include "Corvana/model/ServerModel.h"

ProjectButton::ProjectButton(ServerModel& model, QWidget* parent)
    : QToolButton(parent) {
    (void)model;
}

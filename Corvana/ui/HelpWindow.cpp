#include "Corvana/ui/HelpWindow.h"

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window) {}

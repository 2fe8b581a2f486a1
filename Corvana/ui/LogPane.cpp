#include "Corvana/ui/LogPane.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/OutputArea.h"
#include "Corvana/ui/ShowLogPreference.h"

LogPane::LogPane(ServerModel& model, ShowLogPreference& showLog, QWidget* parent)
    : QWidget(parent) {
    (void)showLog;
    outputArea_ = new OutputArea(model, this);
}

void LogPane::showFindBar() {}

#include "Corvana/ui/log/LogArea.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/log/FindBar.h"
#include "Corvana/ui/log/LogTextView.h"
#include "Corvana/ui/log/LogoBackdrop.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QStackedLayout>
#include <QVBoxLayout>

LogArea::LogArea(ServerModel& model, QWidget* parent)
    : QWidget(parent) {
    auto* stack = new QWidget(this);
    backdrop_ = new LogoBackdrop(stack);
    textView_ = new LogTextView(model.logBuffer(), stack);
    textView_->setObjectName(QStringLiteral("logText"));
    textView_->installEventFilter(this);
    // Both fill the area; the text lies on top and lets the logo show through.
    auto* layers = new QStackedLayout(stack);
    layers->setStackingMode(QStackedLayout::StackAll);
    layers->addWidget(backdrop_);
    layers->addWidget(textView_);
    layers->setCurrentWidget(textView_);

    findBar_ = new FindBar(*textView_, this);
    findBar_->setObjectName(QStringLiteral("findBar"));
    findBar_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(findBar_);
    layout->addWidget(stack, 1);
    setFocusProxy(textView_);
}

void LogArea::showFindBar() {
    findBar_->open();
}

// The menu's find command reaches showFindBar too; this covers Ctrl+F where no menu has it.
bool LogArea::eventFilter(QObject* watched, QEvent* event) {
    if (watched == textView_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
        showFindBar();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void LogArea::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Find)) {
        showFindBar();
        return;
    }
    QWidget::keyPressEvent(event);
}

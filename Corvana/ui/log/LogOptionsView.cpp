#include "Corvana/ui/log/LogOptionsView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int popoverWidth = 340;

} // namespace

LogOptionsView::LogOptionsView(ServerModel& model, QWidget* parent)
    : QFrame(parent)
    , model_(model)
    , layout_(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("logOptionsView"));
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(popoverWidth);
    layout_->setContentsMargins(14, 12, 14, 14);
    layout_->setSpacing(6);

    auto* title = new QLabel(Ui::text(L10n::Footer::logOptions()), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout_->addWidget(title);
    layout_->addSpacing(4);

    addToggle("autoscrollToggle", Ui::text(L10n::Footer::autoscroll()), &ServerModel::autoscroll,
              &ServerModel::setAutoscroll, &ServerModel::autoscrollChanged);
    addToggle("timestampsToggle", Ui::text(L10n::Footer::timestamps()),
              &ServerModel::showTimestamps, &ServerModel::setShowTimestamps,
              &ServerModel::showTimestampsChanged);
    addToggle("rawFramesToggle", Ui::text(L10n::Footer::showRawFrames()),
              &ServerModel::showRawFrames, &ServerModel::setShowRawFrames,
              &ServerModel::showRawFramesChanged);
    addHint(Ui::text(L10n::Footer::showRawFramesHint()));
    addToggle("busTrafficToggle", Ui::text(L10n::Log::showOtherUnits()),
              &ServerModel::showBusTraffic, &ServerModel::setShowBusTraffic,
              &ServerModel::showBusTrafficChanged);
    addHint(Ui::text(L10n::Log::showOtherUnitsHint()));
    applyHintColour();
}

void LogOptionsView::addToggle(const char* objectName, const QString& text,
                               bool (ServerModel::*get)() const, void (ServerModel::*set)(bool),
                               void (ServerModel::*changed)()) {
    auto* toggle = new QCheckBox(text, this);
    toggle->setObjectName(QString::fromLatin1(objectName));
    toggle->setChecked((model_.*get)());
    layout_->addWidget(toggle);
    connect(toggle, &QCheckBox::toggled, this, [this, set](bool on) { (model_.*set)(on); });
    connect(&model_, changed, toggle, [this, toggle, get] { toggle->setChecked((model_.*get)()); });
}

void LogOptionsView::addHint(const QString& text) {
    auto* hint = new QLabel(text, this);
    hint->setWordWrap(true);
    hint->setTextFormat(Qt::PlainText);
    QFont small = hint->font();
    small = Ui::scaledFont(small, 0.85);
    hint->setFont(small);
    // Aligned with the text of the checkbox it explains.
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    hint->setContentsMargins(indent, 0, 0, 4);
    layout_->addWidget(hint);
    hints_.push_back(hint);
}

void LogOptionsView::applyHintColour() {
    for (auto* hint : hints_) {
        QPalette colours = hint->palette();
        colours.setColor(QPalette::WindowText, Ui::Colour::secondaryText(palette()));
        hint->setPalette(colours);
    }
}

void LogOptionsView::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyHintColour();
    }
}

#include "Corvana/ui/log/LogHeader.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/log/LogOptionsView.h"
#include "Corvana/ui/log/ShowLogPreference.h"

#include "Localization/L10n.h"
#include "Localization/ReportTexts.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include <algorithm>
#include <cstdint>

namespace {

// Caption text relative to the body text, as the platform's small captions are.
constexpr qreal captionScale = 0.85;

} // namespace

LogHeader::LogHeader(ServerModel& model, ShowLogPreference& showLog, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , toggle_(new QToolButton(this))
    , masterToggle_(new QToolButton(this))
    , optionsButton_(new QToolButton(this))
    , counters_(new QLabel(this))
    , saveButton_(new QPushButton(Ui::text(L10n::Footer::save()), this))
    , clearButton_(new QPushButton(Ui::text(L10n::Footer::clearLog()), this))
    , optionsView_(new LogOptionsView(model, this)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    toggle_->setObjectName(QStringLiteral("logToggle"));
    toggle_->setCheckable(true);
    toggle_->setAutoRaise(true);
    toggle_->setText(Ui::text(L10n::Log::log()));
    toggle_->setIcon(Ui::symbol("text.alignleft"));
    toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle_->setToolTip(Ui::text(L10n::Log::toggleHint()));
    toggle_->setShortcut(QKeySequence(Ui::text(L10n::Shortcut::toggleLog)));
    toggle_->setChecked(showLog.isOn());
    connect(toggle_, &QToolButton::toggled, &showLog, &ShowLogPreference::setOn);
    connect(&showLog, &ShowLogPreference::changed, toggle_, &QToolButton::setChecked);

    masterToggle_->setObjectName(QStringLiteral("masterToggle"));
    masterToggle_->setCheckable(true);
    masterToggle_->setAutoRaise(true);
    masterToggle_->setText(Ui::text(L10n::Report::master()));
    masterToggle_->setIcon(Ui::symbol("chart.line.uptrend.xyaxis"));
    masterToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    masterToggle_->setToolTip(Ui::text(L10n::Report::masterHint()));

    // Without a themed icon the button falls back to its text.
    optionsButton_->setObjectName(QStringLiteral("logOptionsButton"));
    optionsButton_->setAutoRaise(true);
    optionsButton_->setIcon(Ui::symbol("ellipsis.circle"));
    optionsButton_->setText(Ui::text(L10n::Footer::logOptions()));
    optionsButton_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    optionsButton_->setAccessibleName(Ui::text(L10n::Footer::logOptions()));
    optionsButton_->setToolTip(Ui::text(L10n::Log::optionsHint()));
    connect(optionsButton_, &QToolButton::clicked, this, &LogHeader::showOptions);

    optionsView_->setWindowFlags(Qt::Popup);
    optionsView_->installEventFilter(this);

    counters_->setObjectName(QStringLiteral("counters"));
    counters_->setTextFormat(Qt::PlainText);
    // Lets the window get narrower than the counters; they are cut off then.
    counters_->setMinimumWidth(1);
    applyCounterStyle();

    saveButton_->setObjectName(QStringLiteral("saveLogButton"));
    saveButton_->setToolTip(Ui::text(L10n::Footer::saveHint()));
    connect(saveButton_, &QPushButton::clicked, &model_, &ServerModel::saveLog);
    clearButton_->setObjectName(QStringLiteral("clearLogButton"));
    clearButton_->setToolTip(Ui::text(L10n::Footer::clearHint()));
    connect(clearButton_, &QPushButton::clicked, &model_, &ServerModel::clearLog);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(6);
    layout->addWidget(toggle_);
    layout->addWidget(masterToggle_);
    layout->addWidget(optionsButton_);
    layout->addSpacing(6);
    layout->addWidget(counters_, 1);
    layout->addWidget(saveButton_);
    layout->addWidget(clearButton_);

    connect(&model_, &ServerModel::statisticsChanged, this, &LogHeader::updateCounters);
    connect(&model_, &ServerModel::logIsEmptyChanged, this,
            [this] { saveButton_->setEnabled(!model_.logIsEmpty()); });
    updateCounters();
    saveButton_->setEnabled(!model_.logIsEmpty());
}

void LogHeader::showOptions() {
    optionsView_->adjustSize();
    const QSize size = optionsView_->size();
    QPoint at = optionsButton_->mapToGlobal(QPoint(0, optionsButton_->height()));
    // The log sits at the bottom of the window, so open upwards when below does not fit.
    if (const QScreen* screen = optionsButton_->screen()) {
        const QRect available = screen->availableGeometry();
        if (at.y() + size.height() > available.bottom()) {
            at.setY(optionsButton_->mapToGlobal(QPoint(0, 0)).y() - size.height());
        }
        at.setX(std::clamp(at.x(), available.left(),
                           std::max(available.left(), available.right() - size.width())));
    }
    optionsView_->move(at);
    optionsView_->show();
}

void LogHeader::updateCounters() {
    const ServerStatistics& s = model_.statistics();
    const auto count = [](std::int64_t n) { return static_cast<std::uint64_t>(n); };
    std::string text =
        L10n::Log::statistics(count(s.requests), count(s.responses), count(s.exceptions),
                              count(s.otherUnits), count(s.errors));
    // Only where rules fired, so a log without fault rules reads as before.
    if (s.faults > 0) {
        text += " · " + L10n::Log::faultsInjected(count(s.faults));
    }
    counters_->setText(Ui::text(text));
}

void LogHeader::applyCounterStyle() {
    QFont caption = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Caption size relative to the header's own font, in points or in pixels as that is set.
    const QFont sized = Ui::scaledFont(font(), captionScale);
    if (sized.pointSizeF() > 0) {
        caption.setPointSizeF(sized.pointSizeF());
    } else {
        caption.setPixelSize(sized.pixelSize());
    }
    counters_->setFont(caption);
    QPalette colours = counters_->palette();
    colours.setColor(QPalette::WindowText, Ui::Colour::secondaryText(palette()));
    counters_->setPalette(colours);
}

void LogHeader::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        applyCounterStyle();
    }
}

bool LogHeader::eventFilter(QObject* watched, QEvent* event) {
    // A press on the options button while the popover is open only closes it; replayed, the
    // press would open it again at once.
    if (watched == optionsView_ && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QRect button(optionsButton_->mapToGlobal(QPoint(0, 0)), optionsButton_->size());
        optionsView_->setAttribute(Qt::WA_NoMouseReplay,
                                   button.contains(press->globalPosition().toPoint()));
    }
    return QWidget::eventFilter(watched, event);
}

#include "Corvana/ui/log/LogPane.h"

#include <algorithm>

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/NoticeBanner.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/log/EmptyLogView.h"
#include "Corvana/ui/log/LogArea.h"
#include "Corvana/ui/log/LogHeader.h"
#include "Corvana/ui/log/MasterReportView.h"
#include "Corvana/ui/log/ShowLogPreference.h"

#include "Localization/L10n.h"

#include <QLayout>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

LogPane::LogPane(ServerModel& model, ShowLogPreference& showLog, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , showLog_(showLog)
    , serialLostBanner_(new NoticeBanner("cable.connector.slash", NoticeBanner::Tint::red,
                                         Ui::text(L10n::Notice::portGone()), false, this))
    , noiseBanner_(new NoticeBanner("exclamationmark.triangle.fill", NoticeBanner::Tint::orange,
                                    Ui::text(L10n::Notice::invalidData()), true, this))
    , header_(new LogHeader(model, showLog, this))
    , body_(new QStackedWidget(this)) {
    serialLostBanner_->setObjectName(QStringLiteral("serialLostBanner"));
    noiseBanner_->setObjectName(QStringLiteral("noiseBanner"));
    connect(noiseBanner_, &NoticeBanner::dismissed, &model_, &ServerModel::dismissNoiseHint);

    body_->setObjectName(QStringLiteral("logBody"));
    logArea_ = new LogArea(model, body_);
    emptyLogView_ = new EmptyLogView(model, body_);
    masterView_ = new MasterReportView(model, body_);
    body_->addWidget(logArea_);
    body_->addWidget(emptyLogView_);
    body_->addWidget(masterView_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* banners = new QVBoxLayout;
    banners->setContentsMargins(8, 0, 8, 0);
    banners->setSpacing(4);
    banners->addWidget(serialLostBanner_);
    banners->addWidget(noiseBanner_);
    layout->addLayout(banners);
    layout->addWidget(header_);
    layout->addWidget(body_, 1);
    // Takes the room of a hidden log, so banners and header stay at their height.
    layout->addStretch(0);

    connect(&model_, &ServerModel::stateChanged, this, &LogPane::updateBanners);
    connect(&model_, &ServerModel::showNoiseHintChanged, this, &LogPane::updateBanners);
    connect(&model_, &ServerModel::stateChanged, this, &LogPane::updateBody);
    connect(&model_, &ServerModel::logIsEmptyChanged, this, &LogPane::updateBody);
    connect(&showLog_, &ShowLogPreference::changed, this, &LogPane::updateBody);
    // A hidden pane shows the log again when it comes back, as the log toggle promises.
    connect(&showLog_, &ShowLogPreference::changed, this, [this](bool on) {
        if (!on) {
            header_->masterToggle()->setChecked(false);
        }
    });
    // The Master view takes the log's place, so choosing it shows the pane.
    connect(header_->masterToggle(), &QToolButton::toggled, this, [this](bool on) {
        if (on) {
            showLog_.setOn(true);
        }
        updateBody();
    });
    updateBanners();
    updateBody();
}

void LogPane::showFindBar() {
    header_->masterToggle()->setChecked(false);
    showLog_.setOn(true);
    // Nothing to find while the placeholder stands in for the empty log.
    if (body_->currentWidget() == logArea_) {
        logArea_->showFindBar();
    }
}

int LogPane::collapsedHeight(int width) const {
    const QLayout* layout = this->layout();
    const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : -1;
    return std::max(height, minimumSizeHint().height());
}

void LogPane::updateBanners() {
    serialLostBanner_->setVisible(model_.state() == ServerState::serialLost);
    noiseBanner_->setVisible(model_.showNoiseHint());
    // The layout caches its heights until its next pass; the window asks right away.
    layout()->invalidate();
    emit bannersChanged();
}

void LogPane::updateBody() {
    const bool placeholder = model_.logIsEmpty() && model_.state() == ServerState::stopped;
    if (header_->masterToggle()->isChecked()) {
        body_->setCurrentWidget(masterView_);
    } else {
        body_->setCurrentWidget(placeholder ? static_cast<QWidget*>(emptyLogView_) : logArea_);
    }
    body_->setVisible(showLog_.isOn());
    // Without the log the pane is only as tall as its banners and header.
    setSizePolicy(QSizePolicy::Preferred,
                  showLog_.isOn() ? QSizePolicy::Expanding : QSizePolicy::Maximum);
}

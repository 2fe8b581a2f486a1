#include "Corvana/ui/network/NetworkButton.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/Popover.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/network/NetworkListeners.h"
#include "Corvana/ui/network/NetworkSettingsView.h"

#include "Localization/L10n.h"
#include "Localization/NetworkViewTexts.h"

#include <QFrame>
#include <QStringList>
#include <QVBoxLayout>

NetworkButton::NetworkButton(ServerModel& model, QWidget* parent)
    : QToolButton(parent)
    , model_(model)
    , popover_(new QFrame(this, Qt::Popup))
    , settingsView_(new NetworkSettingsView(model, popover_)) {
    setObjectName(QStringLiteral("networkButton"));
    setIcon(Ui::symbol("network"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(false);
    setAccessibleName(Ui::text(L10n::NetworkView::network()));

    popover_->setObjectName(QStringLiteral("networkPopover"));
    popover_->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popover_);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(settingsView_);
    popover_->installEventFilter(this);

    connect(this, &QToolButton::clicked, this, &NetworkButton::showPopover);
    connect(&model_, &ServerModel::networkChanged, this, &NetworkButton::updateText);
    connect(&model_, &ServerModel::stateChanged, this, &NetworkButton::updateState);
    updateText();
    updateState();
}

void NetworkButton::showPopover() {
    settingsView_->adjustSize();
    Popover::showBelow(popover_, this);
}

bool NetworkButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == popover_) {
        Popover::suppressReopen(popover_, event, this);
    }
    return QToolButton::eventFilter(watched, event);
}

void NetworkButton::updateText() {
    const NetworkConfiguration& network = model_.network();
    QStringList enabled;
    for (const NetworkListeners::Listener& listener : NetworkListeners::all()) {
        if ((network.*listener.configuration).enabled) {
            enabled << Ui::text(listener.shortName());
        }
    }
    // Off, the button says what it opens; on, what is served. The ports are in the title and,
    // while serving, beside the status dot; the toolbar has no room for more.
    setText(enabled.isEmpty() ? Ui::text(L10n::NetworkView::network())
                              : enabled.join(QStringLiteral(" \u00B7 ")));
}

void NetworkButton::updateState() {
    // Still enabled while serving, so the settings can be looked at.
    setToolTip(Ui::text(model_.state() == ServerState::stopped ? L10n::NetworkView::networkHint()
                                                               : L10n::Help::stopToChange()));
}

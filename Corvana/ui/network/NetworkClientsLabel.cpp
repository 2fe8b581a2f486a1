#include "Corvana/ui/network/NetworkClientsLabel.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/network/NetworkListeners.h"

#include "Localization/NetworkViewTexts.h"

#include <QStringList>

NetworkClientsLabel::NetworkClientsLabel(ServerModel& model, QWidget* parent)
    : QLabel(parent)
    , model_(model) {
    setObjectName(QStringLiteral("networkClients"));
    setTextFormat(Qt::PlainText);
    // Kept whole; the master's end beside it gives way instead.
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    // Secondary text that follows the theme by itself.
    setForegroundRole(QPalette::PlaceholderText);
    connect(&model_, &ServerModel::clientsChanged, this, &NetworkClientsLabel::updateCounts);
    connect(&model_, &ServerModel::stateChanged, this, &NetworkClientsLabel::updateCounts);
    connect(&model_, &ServerModel::networkChanged, this, &NetworkClientsLabel::updateCounts);
    updateCounts();
}

void NetworkClientsLabel::updateCounts() {
    const NetworkConfiguration& network = model_.network();
    QStringList counts;
    if (model_.state() != ServerState::stopped) {
        for (const NetworkListeners::Listener& listener : NetworkListeners::all()) {
            const ListenerConfiguration& configuration = network.*listener.configuration;
            if (configuration.enabled) {
                const std::string name =
                    L10n::NetworkView::listener(listener.shortName(), configuration.port);
                const auto count = static_cast<int>(model_.clientCount(listener.transport));
                counts << Ui::text(L10n::NetworkView::clients(name, count));
            }
        }
    }
    setText(counts.join(QStringLiteral(" \u00B7 ")));
    setVisible(!counts.isEmpty());
}

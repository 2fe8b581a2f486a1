#include "Corvana/ui/network/NetworkListeners.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/NetworkTexts.h"
#include "Localization/NetworkViewTexts.h"

#include <QSysInfo>

namespace NetworkListeners {

const std::array<Listener, 2>& all() {
    static const std::array<Listener, 2> listeners{{
        {Transport::tcp, &NetworkConfiguration::tcp, L10n::NetworkView::tcpShort,
         L10n::NetworkView::tcpHint, "tcp"},
        {Transport::rtuOverTCP, &NetworkConfiguration::rtuOverTCP,
         L10n::NetworkView::rtuOverTCPShort, L10n::NetworkView::rtuOverTCPHint, "rtuOverTCP"},
    }};
    return listeners;
}

std::string Listener::name() const {
    return L10n::Network::transportName(static_cast<std::size_t>(transport));
}

bool isLocalOnly(const std::string& host) {
    return host.starts_with("127.") || host == "::1" || host == "localhost";
}

QString bindAddress(const ListenerConfiguration& configuration) {
    QString host = QString::fromStdString(configuration.bind);
    if (host.contains(QLatin1Char(':'))) {
        host = QLatin1Char('[') + host + QLatin1Char(']'); // IPv6, as in a URL
    }
    return host + QLatin1Char(':') + QString::number(configuration.port);
}

QStringList enabledNames(const NetworkConfiguration& network) {
    QStringList names;
    for (const Listener& listener : all()) {
        const ListenerConfiguration& configuration = network.*listener.configuration;
        if (configuration.enabled) {
            const std::string address = bindAddress(configuration).toStdString();
            names << Ui::text(L10n::Network::served(listener.name(), address));
        }
    }
    return names;
}

QStringList enabledAddresses(const NetworkConfiguration& network) {
    QStringList addresses;
    for (const Listener& listener : all()) {
        const ListenerConfiguration& configuration = network.*listener.configuration;
        if (!configuration.enabled) {
            continue;
        }
        // A master elsewhere cannot connect to "all networks"; it uses this computer's name.
        const bool everywhere = configuration.bind == allNetworks || configuration.bind == "::";
        const QString address = everywhere ? QSysInfo::machineHostName() + QLatin1Char(':') +
                                                 QString::number(configuration.port)
                                           : bindAddress(configuration);
        addresses << QStringLiteral("%1 (%2)").arg(address, Ui::text(listener.name()));
    }
    return addresses;
}

} // namespace NetworkListeners

#include "Corvana/ui/network/NetworkListeners.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/NetworkViewTexts.h"

#include <QSysInfo>

namespace NetworkListeners {

const std::array<Listener, 2>& all() {
    static const std::array<Listener, 2> listeners{{
        {Transport::tcp, &NetworkConfiguration::tcp, L10n::NetworkView::tcp,
         L10n::NetworkView::tcpShort, L10n::NetworkView::tcpHint, "tcp"},
        {Transport::rtuOverTCP, &NetworkConfiguration::rtuOverTCP, L10n::NetworkView::rtuOverTCP,
         L10n::NetworkView::rtuOverTCPShort, L10n::NetworkView::rtuOverTCPHint, "rtuOverTCP"},
    }};
    return listeners;
}

bool isLocalOnly(const std::string& host) {
    return host.starts_with("127.") || host == "::1" || host == "localhost";
}

QStringList enabledNames(const NetworkConfiguration& network) {
    QStringList names;
    for (const Listener& listener : all()) {
        const ListenerConfiguration& configuration = network.*listener.configuration;
        if (configuration.enabled) {
            names << Ui::text(L10n::NetworkView::listener(listener.name(), configuration.port));
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
        QString host = QString::fromStdString(configuration.bind);
        if (configuration.bind == allNetworks || configuration.bind == "::") {
            host = QSysInfo::machineHostName();
        } else if (host.contains(QLatin1Char(':'))) {
            host = QLatin1Char('[') + host + QLatin1Char(']'); // IPv6, as in a URL
        }
        addresses << QStringLiteral("%1:%2 (%3)")
                         .arg(host)
                         .arg(configuration.port)
                         .arg(Ui::text(listener.name()));
    }
    return addresses;
}

} // namespace NetworkListeners

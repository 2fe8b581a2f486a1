#include "Localization/NetworkViewTexts.h"

#include "Localization/L10n.h"
#include "Localization/TextLookup.h"

#include <string>

namespace L10n::NetworkView {

using Catalogue::countText;
using Catalogue::fill;
using Catalogue::text;

#define NETWORK_VIEW_TEXT(name)                                                                    \
    std::string name() {                                                                           \
        return text("NetworkView." #name);                                                         \
    }

NETWORK_VIEW_TEXT(network)
NETWORK_VIEW_TEXT(networkHint)
NETWORK_VIEW_TEXT(tcpShort)
NETWORK_VIEW_TEXT(rtuOverTCPShort)
NETWORK_VIEW_TEXT(tcpHint)
NETWORK_VIEW_TEXT(rtuOverTCPHint)
NETWORK_VIEW_TEXT(port)
NETWORK_VIEW_TEXT(reachableFrom)
NETWORK_VIEW_TEXT(thisComputer)
NETWORK_VIEW_TEXT(allNetworks)
NETWORK_VIEW_TEXT(maxClients)
NETWORK_VIEW_TEXT(idleTimeout)
NETWORK_VIEW_TEXT(never)
NETWORK_VIEW_TEXT(secondsSuffix)
NETWORK_VIEW_TEXT(gateway)
NETWORK_VIEW_TEXT(gatewayHint)
NETWORK_VIEW_TEXT(footer)
NETWORK_VIEW_TEXT(privilegedPort)
NETWORK_VIEW_TEXT(allNetworksWarning)
NETWORK_VIEW_TEXT(samePort)

#undef NETWORK_VIEW_TEXT

std::string listener(std::string_view name, int port) {
    const std::string number = std::to_string(port);
    return fill("NetworkView.listener", {{"name", name}, {"port", number}});
}

std::string clients(std::string_view listener, int count) {
    return countText("NetworkView.clients", count, {{"listener", listener}});
}

std::string emptyLog(std::string_view addresses) {
    const std::string shortcut = shortcutText(Shortcut::startStop);
    return fill("NetworkView.emptyLog", {{"addresses", addresses}, {"shortcut", shortcut}});
}

} // namespace L10n::NetworkView

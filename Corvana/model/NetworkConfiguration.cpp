#include "Corvana/model/NetworkConfiguration.h"

#include "ModbusCore/JSONFields.h"

#include <nlohmann/json.hpp>

#include <limits>

#include <arpa/inet.h>

namespace {

int integerOr(const nlohmann::json& json, std::string_view key, int minimum, int maximum,
              int fallback) {
    return static_cast<int>(
        JSONFields::optionalInteger(json, key, minimum, maximum).value_or(fallback));
}

} // namespace

nlohmann::json ListenerConfiguration::toJSON() const {
    return {{"enabled", enabled},
            {"port", port},
            {"bind", bind},
            {"maxClients", maxClients},
            {"idleSeconds", idleSeconds},
            {"gateway", gateway}};
}

ListenerConfiguration ListenerConfiguration::fromJSON(const nlohmann::json& json,
                                                      const ListenerConfiguration& defaults) {
    JSONFields::requireObject(json, "listener");
    ListenerConfiguration listener = defaults;
    listener.enabled = JSONFields::optionalBool(json, "enabled").value_or(defaults.enabled);
    listener.port = integerOr(json, "port", minPort, maxPort, defaults.port);
    if (auto bind = JSONFields::optionalString(json, "bind")) {
        if (!isIPAddress(*bind)) {
            throw DecodingError(
                "\"bind\" must be an IP address such as 127.0.0.1 or 0.0.0.0, not '" + *bind + "'");
        }
        listener.bind = std::move(*bind);
    }
    listener.maxClients =
        integerOr(json, "maxClients", minClients, maxClientsLimit, defaults.maxClients);
    listener.idleSeconds =
        integerOr(json, "idleSeconds", 0, std::numeric_limits<int>::max(), defaults.idleSeconds);
    listener.gateway = JSONFields::optionalBool(json, "gateway").value_or(defaults.gateway);
    return listener;
}

nlohmann::json NetworkConfiguration::toJSON() const {
    return {{"tcp", tcp.toJSON()}, {"rtuOverTCP", rtuOverTCP.toJSON()}};
}

NetworkConfiguration NetworkConfiguration::fromJSON(const nlohmann::json& json) {
    JSONFields::requireObject(json, "\"network\"");
    NetworkConfiguration network;
    for (auto [key, listener] :
         {std::pair{"tcp", &network.tcp}, std::pair{"rtuOverTCP", &network.rtuOverTCP}}) {
        const auto it = json.find(key);
        if (it == json.end() || it->is_null()) {
            continue;
        }
        try {
            *listener = ListenerConfiguration::fromJSON(*it, *listener);
        } catch (const DecodingError& error) {
            throw DecodingError(std::string("\"network\" \"") + key + "\": " + error.what());
        }
    }
    return network;
}

bool isIPAddress(std::string_view text) {
    const std::string address(text);
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, address.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

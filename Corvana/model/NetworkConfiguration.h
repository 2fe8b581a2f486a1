#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <string_view>

// One network listener as the project keeps it: whether it serves, where, and how it treats its
// clients. Plain C++ so the command line and the tests share it with the window.
struct ListenerConfiguration {
    static constexpr int minPort = 1;
    static constexpr int maxPort = 65535;
    static constexpr int minClients = 1;
    static constexpr int maxClientsLimit = 1000;

    bool enabled = false;
    int port = 1502;                // rtuOverTCP's default is 1503
    std::string bind = "127.0.0.1"; // "0.0.0.0": all networks
    int maxClients = 32;
    int idleSeconds = 0; // 0: an idle client stays connected
    bool gateway = false;

    bool operator==(const ListenerConfiguration&) const = default;

    // Every key, so a file shows the whole listener.
    nlohmann::json toJSON() const;
    // Missing keys keep the given defaults; a wrong type or value throws DecodingError.
    static ListenerConfiguration fromJSON(const nlohmann::json& json,
                                          const ListenerConfiguration& defaults);
};

// The project's "network" object: Modbus TCP and RTU over TCP.
struct NetworkConfiguration {
    ListenerConfiguration tcp;
    ListenerConfiguration rtuOverTCP{.port = 1503};

    bool operator==(const NetworkConfiguration&) const = default;
    bool any() const { return tcp.enabled || rtuOverTCP.enabled; }

    nlohmann::json toJSON() const;
    // A missing listener keeps its defaults; errors name the listener and the key.
    static NetworkConfiguration fromJSON(const nlohmann::json& json);
};

// Whether text is a numeric IPv4 or IPv6 address ("127.0.0.1", "0.0.0.0", "::1").
bool isIPAddress(std::string_view text);

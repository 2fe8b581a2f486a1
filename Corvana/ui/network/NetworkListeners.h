#pragma once

#include "Corvana/model/NetworkConfiguration.h"

#include "ServerCore/Transport.h"

#include <QString>
#include <QStringList>

#include <array>
#include <string>

// The two network listeners as the window presents them: which part of the configuration each
// one is, its names and the object names of its controls. Shared by the network section, the
// client counts, the title and the empty log.
namespace NetworkListeners {

struct Listener {
    Transport transport;
    ListenerConfiguration NetworkConfiguration::*configuration;
    std::string (*shortName)();
    std::string (*hint)();
    const char* objectPrefix; // "tcp": tcpSwitch, tcpPort, …

    // "Modbus TCP", as the log names the transport.
    std::string name() const;
};

const std::array<Listener, 2>& all();

inline constexpr const char* loopback = "127.0.0.1";
inline constexpr const char* allNetworks = "0.0.0.0";

// Whether only programs on this computer can reach an address bound to host.
bool isLocalOnly(const std::string& host);
// "127.0.0.1:1502", "[::1]:1502": the address a listener binds.
QString bindAddress(const ListenerConfiguration& configuration);
// "Modbus TCP 127.0.0.1:1502" for each enabled listener, in the order of all(), as the log's
// started line names them.
QStringList enabledNames(const NetworkConfiguration& network);
// "127.0.0.1:1502 (Modbus TCP)" for each enabled listener: where a master connects. An address
// for all networks is named by this computer's host name.
QStringList enabledAddresses(const NetworkConfiguration& network);

} // namespace NetworkListeners

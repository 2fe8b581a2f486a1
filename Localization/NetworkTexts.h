#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The texts of serving on the network: transport names, the log lines of listeners and their
// clients, a listener's start errors and the `serve` options for it. Enumerations come as their
// index in declaration order (Transport, TCPEvent::Reason, TCPStreamSplitter::Fault::Reason).
namespace L10n::Network {

// "Serial line", "Modbus TCP", "RTU over TCP" by Transport index.
std::string transportName(std::size_t transport);
// One listener as the started line and the title name it: "Modbus TCP 127.0.0.1:1502".
std::string served(std::string_view transport, std::string_view address);

std::string clientConnected();
std::string clientsConnected(std::size_t count);
std::string clientRefused(std::size_t maxClients);
// Why a client's connection ended, by TCPEvent::Reason index; detail is the system's words for
// a lost connection or the fault's text for a bad frame.
std::string clientClosed(std::size_t reason, std::string_view detail);
std::string unfinishedRequest(std::size_t bytes);
// A stream fault by TCPStreamSplitter::Fault::Reason index, with its value.
std::string streamFault(std::size_t reason, std::uint32_t value);

// Why a listener cannot start.
std::string invalidAddress(std::string_view host);
std::string addressNotLocal(std::string_view host);
std::string privilegedPort(std::uint16_t port, int suggestion);
std::string addressInUse(std::string_view host, std::uint16_t port);
std::string listenFailed(std::string_view address, std::string_view reason);

// `corvana serve`.
std::string tcpOption();
std::string rtuOverTCPOption();
std::string maxClientsOption();
std::string serveNetwork();
std::string invalidListener(std::string_view option, std::string_view value);
std::string invalidMaxClients(std::string_view value);

} // namespace L10n::Network

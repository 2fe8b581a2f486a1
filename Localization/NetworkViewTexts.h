#pragma once

#include <string>
#include <string_view>

// The texts of the window's network section: the Network button and its popover with the two
// listeners, the client counts beside the status dot, the title's listener names and the empty
// log's hint. Names and ports arrive as text or numbers.
namespace L10n::NetworkView {

std::string network();
std::string networkHint();
// The button's short forms of the listeners' names (the full ones are the transports').
std::string tcpShort();
std::string rtuOverTCPShort();
std::string tcpHint();
std::string rtuOverTCPHint();

// The form of one listener.
std::string port();
std::string reachableFrom();
std::string thisComputer();
std::string allNetworks();
std::string maxClients();
std::string idleTimeout();
std::string never();
std::string secondsSuffix();
std::string gateway();
std::string gatewayHint();

// Notes below the form.
std::string footer();
std::string privilegedPort();
std::string allNetworksWarning();
std::string samePort();

// "Modbus TCP 1502": a listener in the title, the button and the client counts.
std::string listener(std::string_view name, int port);
// "Modbus TCP 1502: 2 clients".
std::string clients(std::string_view listener, int count);
// The empty log's text when masters reach the units over the network; addresses such as
// "127.0.0.1:1502", already joined.
std::string emptyLog(std::string_view addresses);

} // namespace L10n::NetworkView

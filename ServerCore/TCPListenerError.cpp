#include "ServerCore/TCPListenerError.h"

#include "ModbusSerial/SerialLinkError.h"

#include <cerrno>

namespace {

// Ports below this one are reserved to privileged programs on Linux.
constexpr std::uint16_t firstUnprivilegedPort = 1024;

std::string endpoint(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string messageFor(TCPListenerError::Case kind, const std::string& host, std::uint16_t port,
                       int code) {
    const std::string where = endpoint(host, port);
    switch (kind) {
    case TCPListenerError::invalidAddress:
        return "“" + host +
               "” is not an IP address. Use 127.0.0.1 for this computer only or 0.0.0.0 for all "
               "networks.";
    case TCPListenerError::addressNotLocal:
        return "The address " + host + " does not belong to this computer.";
    case TCPListenerError::privilegedPort:
        return "Port " + std::to_string(port) +
               " is below 1024 and needs administrator rights. Choose a port from 1024 up, such "
               "as " +
               std::to_string(port + 1000) + ".";
    case TCPListenerError::addressInUse:
        return "Port " + std::to_string(port) + " on " + host +
               " is already in use by another program.";
    case TCPListenerError::failed:
        return "Cannot listen on " + where + ": " + SerialLinkError::systemText(code) + ".";
    }
    return {};
}

} // namespace

TCPListenerError::TCPListenerError(Case c, std::string host, std::uint16_t port, int code)
    : kind_(c)
    , host_(std::move(host))
    , port_(port)
    , code_(c == failed ? code : 0)
    , message_(messageFor(kind_, host_, port_, code_)) {}

TCPListenerError TCPListenerError::fromSystem(int code, std::string host, std::uint16_t port) {
    switch (code) {
    case EACCES:
        // EACCES for a port of 1024 and above is a security module's refusal, not the port's.
        if (port != 0 && port < firstUnprivilegedPort) {
            return {privilegedPort, std::move(host), port};
        }
        break;
    case EADDRINUSE:
        return {addressInUse, std::move(host), port};
    case EADDRNOTAVAIL:
        return {addressNotLocal, std::move(host), port};
    default:
        break;
    }
    return {failed, std::move(host), port, code};
}

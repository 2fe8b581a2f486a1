#include "ServerCore/TCPListenerError.h"

#include "Localization/NetworkTexts.h"
#include "ModbusSerial/SerialLinkError.h"

#include <cerrno>

namespace {

// Ports below this one are reserved to privileged programs on Linux.
constexpr std::uint16_t firstUnprivilegedPort = 1024;
// 502 becomes 1502, the port such tools commonly take instead.
constexpr int privilegedSuggestionOffset = 1000;

std::string endpoint(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string messageFor(TCPListenerError::Case kind, const std::string& host, std::uint16_t port,
                       int code) {
    namespace N = L10n::Network;
    switch (kind) {
    case TCPListenerError::invalidAddress:
        return N::invalidAddress(host);
    case TCPListenerError::addressNotLocal:
        return N::addressNotLocal(host);
    case TCPListenerError::privilegedPort:
        return N::privilegedPort(port, port + privilegedSuggestionOffset);
    case TCPListenerError::addressInUse:
        return N::addressInUse(host, port);
    case TCPListenerError::failed:
        return N::listenFailed(endpoint(host, port), SerialLinkError::systemText(code));
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

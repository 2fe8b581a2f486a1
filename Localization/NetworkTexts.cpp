#include "Localization/NetworkTexts.h"

#include "Localization/TextLookup.h"

#include <array>
#include <cstdio>

namespace L10n::Network {

using Catalogue::countText;
using Catalogue::fill;
using Catalogue::text;

namespace {

constexpr std::array<std::string_view, 3> transportKeys{
    "Network.transport.serial", "Network.transport.tcp", "Network.transport.rtuOverTCP"};

// By TCPEvent::Reason: none, clientClosed, connectionLost, idle, badFrame, outputFull.
constexpr std::array<std::string_view, 6> closedKeys{
    "Network.log.closedByClient", "Network.log.closedByClient", "Network.log.connectionLost",
    "Network.log.idle",           "Network.log.badFrame",       "Network.log.outputFull"};

// By TCPStreamSplitter::Fault::Reason: protocolID, length, badCRC, unknownFunction, overflow.
constexpr std::array<std::string_view, 5> faultKeys{
    "Network.fault.protocolID", "Network.fault.length", "Network.fault.badCRC",
    "Network.fault.unknownFunction", "Network.fault.overflow"};

// Function codes read as in the request lines: two hex digits.
std::string functionHex(std::uint32_t code) {
    std::array<char, 9> hex{};
    std::snprintf(hex.data(), hex.size(), "%02X", static_cast<unsigned>(code));
    return hex.data();
}

int countOf(std::size_t count) {
    return static_cast<int>(count);
}

} // namespace

std::string transportName(std::size_t transport) {
    return transport < transportKeys.size() ? text(transportKeys[transport]) : std::string();
}

std::string served(std::string_view transport, std::string_view address) {
    return fill("Network.served", {{"transport", transport}, {"address", address}});
}

std::string clientConnected() {
    return text("Network.log.connected");
}

std::string clientsConnected(std::size_t count) {
    return countText("Network.log.stillConnected", countOf(count));
}

std::string clientRefused(std::size_t maxClients) {
    return countText("Network.log.refused", countOf(maxClients));
}

std::string clientClosed(std::size_t reason, std::string_view detail) {
    if (reason >= closedKeys.size()) {
        return {};
    }
    return fill(closedKeys[reason], {{"reason", detail}, {"fault", detail}});
}

std::string unfinishedRequest(std::size_t bytes) {
    return countText("Network.log.unfinished", countOf(bytes));
}

std::string streamFault(std::size_t reason, std::uint32_t value) {
    if (reason >= faultKeys.size()) {
        return {};
    }
    constexpr std::size_t badCRC = 2;
    constexpr std::size_t unknownFunction = 3;
    const std::string shown =
        reason == badCRC || reason == unknownFunction ? functionHex(value) : std::to_string(value);
    return fill(faultKeys[reason], {{"value", shown}});
}

std::string invalidAddress(std::string_view host) {
    return fill("Network.error.invalidAddress", {{"host", host}});
}

std::string addressNotLocal(std::string_view host) {
    return fill("Network.error.addressNotLocal", {{"host", host}});
}

std::string privilegedPort(std::uint16_t port, int suggestion) {
    return fill("Network.error.privilegedPort",
                {{"port", std::to_string(port)}, {"suggestion", std::to_string(suggestion)}});
}

std::string addressInUse(std::string_view host, std::uint16_t port) {
    return fill("Network.error.addressInUse", {{"host", host}, {"port", std::to_string(port)}});
}

std::string listenFailed(std::string_view address, std::string_view reason) {
    return fill("Network.error.failed", {{"address", address}, {"reason", reason}});
}

std::string tcpOption() {
    return text("Network.cli.tcpOption");
}

std::string rtuOverTCPOption() {
    return text("Network.cli.rtuOverTCPOption");
}

std::string maxClientsOption() {
    return text("Network.cli.maxClientsOption");
}

std::string serveNetwork() {
    return text("Network.cli.serveNetwork");
}

std::string invalidListener(std::string_view option, std::string_view value) {
    return fill("Network.cli.invalidListener", {{"option", option}, {"value", value}});
}

std::string invalidMaxClients(std::string_view value) {
    return fill("Network.cli.invalidMaxClients", {{"value", value}});
}

} // namespace L10n::Network

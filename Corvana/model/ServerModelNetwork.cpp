#include "Corvana/model/PortSelection.h"
#include "Corvana/model/ServerModel.h"

#include "Localization/L10n.h"
#include "Localization/NetworkTexts.h"
#include "ModbusSerial/SerialLinkError.h"
#include "ServerCore/TCPListenerError.h"

// Starting the server on the selected port and the enabled listeners, the listeners' settings
// and their clients.

namespace {

NetworkSettings settingsFor(const ListenerConfiguration& listener, TCPFraming framing) {
    return NetworkSettings{
        .framing = framing,
        .host = listener.bind,
        .port = static_cast<std::uint16_t>(listener.port),
        .maxClients = static_cast<std::size_t>(listener.maxClients),
        .idle = std::chrono::seconds(listener.idleSeconds),
        .gateway = listener.gateway,
    };
}

} // namespace

bool ServerModel::canStart() const {
    return (!selectedPath().isEmpty() || network_.any()) && !units_.empty();
}

void ServerModel::start() {
    if (isServing()) {
        return;
    }
    const bool servesPort = !selectedPath().isEmpty();
    if (!servesPort && !network_.any()) {
        reportError(L10n::Errors::selectPortFirst());
        return;
    }
    if (units_.empty()) {
        reportError(L10n::Log::addUnitFirst());
        return;
    }
    store_->configure(units_, datapoints_, true);
    rebuildLiveValues();
    if (servesPort && isVirtualSelected() && !openVirtualPort(true)) {
        return;
    }
    resetMasterReport(); // a reopen after a lost port carries on with the same report
    const std::string node = servesPort ? nodeToOpen() : std::string();
    try {
        session_.start(servesPort ? std::optional(node) : std::nullopt, serial_,
                       listenerSettings());
    } catch (const SerialLinkError& error) {
        reportError(error.message());
        return;
    } catch (const TCPListenerError& error) {
        reportError(error.message());
        return;
    } catch (const std::exception& error) {
        reportError(error.what());
        return;
    }
    const SerialPortInfo* port = PortSelection::find(ports_, selectedPath().toStdString());
    servedIdentity_ = port ? port->identity() : selectedPath().toStdString();
    servedNode_ = node;
    reportedTransports_.clear();
    for (const ServerSession::Listener& listener : session_.listeners()) {
        reportedTransports_.push_back(listener.transport);
    }
    resetTraffic();
    noiseCount_ = 0;
    noiseHintDismissed_ = false;
    setShowNoiseHint(false);
    startSimulation();
}

void ServerModel::setNetwork(const NetworkConfiguration& network) {
    if (network == network_) {
        return;
    }
    network_ = network;
    emit networkChanged();
    refresh();
}

std::size_t ServerModel::clientCount(Transport transport) const {
    const auto index = static_cast<std::size_t>(transport);
    return index < clients_.size() ? clients_[index] : 0;
}

std::vector<std::string> ServerModel::servedListeners() const {
    std::vector<std::string> served;
    for (const ServerSession::Listener& listener : session_.listeners()) {
        served.push_back(L10n::Network::served(
            L10n::Network::transportName(static_cast<std::size_t>(listener.transport)),
            listener.address));
    }
    return served;
}

std::vector<NetworkSettings> ServerModel::listenerSettings() const {
    std::vector<NetworkSettings> listeners;
    if (network_.tcp.enabled) {
        listeners.push_back(settingsFor(network_.tcp, TCPFraming::tcp));
    }
    if (network_.rtuOverTCP.enabled) {
        listeners.push_back(settingsFor(network_.rtuOverTCP, TCPFraming::rtuOverTCP));
    }
    return listeners;
}

void ServerModel::resetTraffic() {
    setStatistics({});
    if (transportStatistics_ != decltype(transportStatistics_){}) {
        transportStatistics_ = {};
        emit statisticsChanged();
    }
}

bool ServerModel::handleClientEvent(const ServerEvent& event) {
    std::size_t clients = 0;
    if (const auto* connected = event.as<ServerEvent::ClientConnected>()) {
        clients = connected->clients;
    } else if (const auto* closed = event.as<ServerEvent::ClientClosed>()) {
        clients = closed->clients;
    } else {
        return false;
    }
    std::size_t& count = clients_[static_cast<std::size_t>(event.origin.transport)];
    if (count != clients) {
        count = clients;
        emit clientsChanged();
    }
    return true;
}

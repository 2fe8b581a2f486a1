#include "ServerCore/NetworkServer.h"

#include "ServerCore/TCPListener.h"

struct NetworkServer::Handling {
    Handling(const NetworkSettings& settings, std::shared_ptr<RegisterStore> store,
             EventHandler onEvent, std::shared_ptr<SerialClock> clock)
        : transport(settings.framing == TCPFraming::tcp ? Transport::tcp : Transport::rtuOverTCP)
        , store(std::move(store))
        , onEvent(std::move(onEvent))
        , clock(clock ? std::move(clock) : SerialClock::system())
        , listener(
              TCPListenerSettings{.framing = settings.framing,
                                  .host = settings.host,
                                  .port = settings.port,
                                  .maxClients = settings.maxClients,
                                  .idleTimeout = settings.idle},
              [this](const TCPRequest& request) { return handle(request); },
              [this](TCPEvent event) { happened(std::move(event)); }) {}

    const Transport transport;
    const std::shared_ptr<RegisterStore> store;
    const EventHandler onEvent;
    const std::shared_ptr<SerialClock> clock;
    TCPListener listener;

    void emit(ServerEvent event, std::string client = {}) const {
        if (onEvent) {
            onEvent(std::move(event).from({transport, std::move(client)}));
        }
    }

    TCPReply handle(const TCPRequest&) { return {}; }

    void happened(TCPEvent event) {
        switch (event.kind) {
        case TCPEvent::Kind::listening:
            emit(ServerEvent::listening(event.origin));
            break;
        case TCPEvent::Kind::connected:
            emit(ServerEvent::clientConnected(listener.clientCount()), std::move(event.origin));
            break;
        case TCPEvent::Kind::refused:
            emit(ServerEvent::clientRefused(listener.settings().maxClients),
                 std::move(event.origin));
            break;
        case TCPEvent::Kind::closed:
            emit(ServerEvent::clientClosed(event.reason, event.code, event.unfinishedBytes,
                                           std::move(event.fault), listener.clientCount()),
                 std::move(event.origin));
            break;
        }
    }
};

NetworkServer::NetworkServer(NetworkSettings settings, std::shared_ptr<RegisterStore> store,
                             EventHandler onEvent, std::shared_ptr<SerialClock> clock)
    : settings_(std::move(settings))
    , handling_(std::make_unique<Handling>(settings_, std::move(store), std::move(onEvent),
                                           std::move(clock))) {}

NetworkServer::~NetworkServer() {
    stop();
}

void NetworkServer::start() {
    handling_->listener.start();
}

void NetworkServer::stop() {
    handling_->listener.stop();
}

Transport NetworkServer::transport() const {
    return handling_->transport;
}

const NetworkSettings& NetworkServer::settings() const {
    return settings_;
}

std::uint16_t NetworkServer::port() const {
    return handling_->listener.port();
}

std::size_t NetworkServer::clientCount() const {
    return handling_->listener.clientCount();
}

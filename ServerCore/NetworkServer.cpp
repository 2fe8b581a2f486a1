#include "ServerCore/NetworkServer.h"

#include "ServerCore/RequestHandling.h"
#include "ServerCore/TCPListener.h"

namespace {

Transport transportOf(TCPFraming framing) {
    return framing == TCPFraming::tcp ? Transport::tcp : Transport::rtuOverTCP;
}

} // namespace

struct NetworkServer::Handling {
    Handling(const NetworkSettings& settings, std::shared_ptr<RegisterStore> store,
             EventHandler onEvent, std::shared_ptr<SerialClock> clock)
        : transport(transportOf(settings.framing))
        , clock(clock ? std::move(clock) : SerialClock::system())
        , handling(
              std::move(store),
              {.transport = transport, .lowestUnitAnswersAll = true, .gateway = settings.gateway},
              std::move(onEvent), this->clock)
        , listener(
              TCPListenerSettings{.framing = settings.framing,
                                  .host = settings.host,
                                  .port = settings.port,
                                  .maxClients = settings.maxClients,
                                  .idleTimeout = settings.idle},
              [this](const TCPRequest& request) { return handle(request); },
              [this](TCPEvent event) { happened(std::move(event)); }) {}

    const Transport transport;
    const std::shared_ptr<SerialClock> clock;
    RequestHandling handling; // the listener thread's own
    TCPListener listener;     // last: stopped first, while the rest is still there

    void emit(ServerEvent event, const std::string& client = {}) const {
        handling.emit(std::move(event), client);
    }

    // On the listener's thread; the reply's chunks are timed from the request's arrival.
    TCPReply handle(const TCPRequest& request) {
        const auto now = clock->now();
        handling.countOnBus(true);
        auto answer = handling.handle({.unit = request.frame.unit,
                                       .pdu = request.frame.pdu,
                                       .frame = request.frame.bytes,
                                       .header = request.frame.header,
                                       .arrival = {.first = now, .last = now, .gaps = 0},
                                       .client = request.origin});
        handling.report().expire(now);
        if (!answer) {
            return {};
        }
        TCPReply reply;
        reply.chunks.reserve(answer->plan.chunks.size());
        for (const ReplyPlan::Chunk& chunk : answer->plan.chunks) {
            reply.chunks.push_back({chunk.bytes, chunk.after});
        }
        reply.done = [this, answer = std::move(*answer),
                      client = request.origin](bool sent) mutable {
            if (sent) {
                handling.sent(std::move(answer), clock->now(), client);
            }
        };
        return reply;
    }

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
            if (event.fault) {
                // Bytes that are no request count as a communication error, as on the line.
                handling.report().garbage(event.fault->bytes);
                handling.countOnBus(false);
            }
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
    if (handling_->listener.port() != 0) {
        return;
    }
    // Before the thread exists: it reads the start time.
    handling_->handling.start(handling_->clock->now());
    handling_->listener.start();
    handling_->handling.store()->resetDiagnostics(); // counters run from the start
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

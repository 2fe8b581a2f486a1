#include "Corvana/model/ServerSession.h"

#include "Corvana/model/EventRelay.h"

#include <utility>

namespace {

// How a bound address reads: IPv6 in brackets, so the port stays apart.
std::string endpoint(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace

ServerSession::ServerSession(QObject* context, std::shared_ptr<RegisterStore> store,
                             EventSink onEvent, DroppedSink onDropped)
    : context_(context)
    , store_(std::move(store))
    , onEvent_(std::move(onEvent))
    , onDropped_(std::move(onDropped)) {}

ServerSession::~ServerSession() {
    stop();
}

std::unique_ptr<ServerEngine> ServerSession::makeEngine(const std::string& path,
                                                        const SerialConfiguration& serial) const {
    return std::make_unique<ServerEngine>(
        path, serial, store_, false,
        [relay = relay_](ServerEvent event) { relay->post(std::move(event)); });
}

void ServerSession::start(const std::optional<std::string>& path, const SerialConfiguration& serial,
                          const std::vector<NetworkSettings>& listeners) {
    stop();
    const std::uint64_t run = run_ + 1;
    relay_ = std::make_shared<EventRelay>(
        context_, [this, run](const EventQueue::Batch& batch) { deliver(run, batch); });
    try {
        for (const NetworkSettings& settings : listeners) {
            auto server = std::make_unique<NetworkServer>(
                settings, store_,
                [relay = relay_](ServerEvent event) { relay->post(std::move(event)); });
            server->start(); // throws before any event is emitted
            servers_.push_back(std::move(server));
        }
        if (path) {
            auto engine = makeEngine(*path, serial);
            engine->start();
            engine_ = std::move(engine);
        }
    } catch (...) {
        stop(); // a listener that bound already lets go of its port
        throw;
    }
    run_ = run;
    if (!engine_ && !servers_.empty()) {
        relay_->post(ServerEvent::started().from({servers_.front()->transport(), {}}));
    }
}

void ServerSession::restartSerial(const std::string& path, const SerialConfiguration& serial) {
    if (!relay_) {
        start(path, serial);
        return;
    }
    auto engine = makeEngine(path, serial);
    engine->start();
    engine_ = std::move(engine);
}

void ServerSession::stopSerial() {
    if (servers_.empty()) {
        stop();
        return;
    }
    if (engine_) {
        engine_->stop();
        engine_.reset();
    }
}

void ServerSession::stop() {
    if (relay_) {
        relay_->detach();
        relay_.reset();
    }
    if (engine_) {
        engine_->stop();
        engine_.reset();
    }
    for (auto& server : servers_) {
        server->stop();
    }
    servers_.clear();
}

std::vector<ServerSession::Listener> ServerSession::listeners() const {
    std::vector<Listener> list;
    list.reserve(servers_.size());
    for (const auto& server : servers_) {
        list.push_back({server->transport(), endpoint(server->settings().host, server->port()),
                        server->clientCount()});
    }
    return list;
}

void ServerSession::deliver(std::uint64_t run, const EventQueue::Batch& batch) {
    for (const ServerEvent& event : batch.events) {
        // Late events of a stopped or replaced run must not count into the current one; a loss
        // ends the run, or its serial part, in the middle of a batch.
        if (run != run_ || !hasEngine()) {
            return;
        }
        if (event.origin.transport == Transport::serial && !engine_) {
            continue;
        }
        onEvent_(event);
    }
    if (run == run_ && hasEngine() && batch.dropped.any()) {
        onDropped_(batch.dropped);
    }
}

#include "Corvana/model/ServerSession.h"

#include "Corvana/model/EventRelay.h"

#include <utility>

ServerSession::ServerSession(QObject* context, std::shared_ptr<RegisterStore> store,
                             EventSink onEvent, DroppedSink onDropped)
    : context_(context)
    , store_(std::move(store))
    , onEvent_(std::move(onEvent))
    , onDropped_(std::move(onDropped)) {}

ServerSession::~ServerSession() {
    if (relay_) {
        relay_->detach();
    }
}

void ServerSession::start(const std::string& path, const SerialConfiguration& serial) {
    const std::uint64_t run = run_ + 1;
    auto relay = std::make_shared<EventRelay>(
        context_, [this, run](const EventQueue::Batch& batch) { deliver(run, batch); });
    auto engine = std::make_unique<ServerEngine>(
        path, serial, store_, false, [relay](ServerEvent event) { relay->post(std::move(event)); });
    engine->start(); // throws before any event is emitted
    run_ = run;
    relay_ = std::move(relay);
    engine_ = std::move(engine);
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
}

void ServerSession::deliver(std::uint64_t run, const EventQueue::Batch& batch) {
    for (const ServerEvent& event : batch.events) {
        // Late events of a stopped or replaced engine must not count into the current run; a
        // loss ends the run in the middle of a batch.
        if (run != run_ || !engine_) {
            return;
        }
        onEvent_(event);
    }
    if (run == run_ && engine_ && batch.dropped.any()) {
        onDropped_(batch.dropped);
    }
}

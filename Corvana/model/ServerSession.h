#pragma once

#include "Corvana/model/EventQueue.h"

#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerEngine.h"
#include "ServerCore/ServerEvent.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class EventRelay;

// The server's engines, one run after another, on the main thread. It starts an engine on a port,
// carries the engine's events onto the main thread through `context` (an EventRelay per run) and
// hands those of the current engine to the sinks, in order; events of an engine it let go are
// dropped on the way, also in the middle of a batch.
class ServerSession {
public:
    using EventSink = std::function<void(const ServerEvent&)>;
    // What the relay's bounded queue left out under a flood, counted.
    using DroppedSink = std::function<void(const EventQueue::Dropped&)>;

    // Queued events die with `context`, which must outlive the session's last delivery.
    ServerSession(QObject* context, std::shared_ptr<RegisterStore> store, EventSink onEvent,
                  DroppedSink onDropped);
    ~ServerSession();

    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Starts a new engine serving the store on `path`. Throws what the engine's start throws
    // (SerialLinkError), with no engine kept and no event delivered.
    void start(const std::string& path, const SerialConfiguration& serial);
    // Cuts the current engine's way to the sink, then stops it. Nothing when there is none.
    void stop();
    // Whether an engine is kept, also one that has not reported started yet.
    bool hasEngine() const { return engine_ != nullptr; }

private:
    void deliver(std::uint64_t run, const EventQueue::Batch& batch);

    QObject* context_;
    std::shared_ptr<RegisterStore> store_;
    EventSink onEvent_;
    DroppedSink onDropped_;
    std::unique_ptr<ServerEngine> engine_;
    std::shared_ptr<EventRelay> relay_; // the current engine's way onto the main thread
    std::uint64_t run_ = 0;             // number of the current (or last) engine
};

#pragma once

#include "Corvana/model/EventQueue.h"

#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/NetworkServer.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerEngine.h"
#include "ServerCore/ServerEvent.h"
#include "ServerCore/Transport.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class EventRelay;

// The server's engines, one run after another, on the main thread: the serial engine on a port
// and a network server per listener, all on the one store. It carries their events onto the main
// thread through `context` (an EventRelay per run) and hands those of the current run to the
// sinks, in order; events of a run it let go are dropped on the way, also in the middle of a
// batch, and so are the serial engine's once it was stopped on its own.
class ServerSession {
public:
    using EventSink = std::function<void(const ServerEvent&)>;
    // What the relay's bounded queue left out under a flood, counted.
    using DroppedSink = std::function<void(const EventQueue::Dropped&)>;

    // A listener as it serves: its transport, bound address ("127.0.0.1:1502") and clients.
    struct Listener {
        Transport transport;
        std::string address;
        std::size_t clients;
    };

    // Queued events die with `context`, which must outlive the session's last delivery.
    ServerSession(QObject* context, std::shared_ptr<RegisterStore> store, EventSink onEvent,
                  DroppedSink onDropped);
    ~ServerSession();

    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Starts the listeners, then a serial engine on `path` when one is given. Throws what a start
    // throws (TCPListenerError, SerialLinkError) with nothing left running and no event
    // delivered. Without a serial engine the run reports started itself, from its first
    // listener, as the engine would.
    void start(const std::optional<std::string>& path, const SerialConfiguration& serial,
               const std::vector<NetworkSettings>& listeners = {});
    // A new serial engine for a run whose port was lost; its listeners keep serving. Throws as
    // start does, leaving the listeners alone.
    void restartSerial(const std::string& path, const SerialConfiguration& serial);
    // Ends the serial engine only (its port is gone); without listeners the whole run ends.
    void stopSerial();
    // Cuts the run's way to the sink, then stops everything. Nothing when nothing runs.
    void stop();
    // Whether anything is kept, also an engine that has not reported started yet.
    bool hasEngine() const { return engine_ != nullptr || !servers_.empty(); }
    bool hasSerialEngine() const { return engine_ != nullptr; }
    std::vector<Listener> listeners() const;

private:
    std::unique_ptr<ServerEngine> makeEngine(const std::string& path,
                                             const SerialConfiguration& serial) const;
    void deliver(std::uint64_t run, const EventQueue::Batch& batch);

    QObject* context_;
    std::shared_ptr<RegisterStore> store_;
    EventSink onEvent_;
    DroppedSink onDropped_;
    std::unique_ptr<ServerEngine> engine_;
    std::vector<std::unique_ptr<NetworkServer>> servers_;
    std::shared_ptr<EventRelay> relay_; // the current run's way onto the main thread
    std::uint64_t run_ = 0;             // number of the current (or last) run
};

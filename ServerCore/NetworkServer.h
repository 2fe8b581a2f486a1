#pragma once

#include "ModbusCore/TCPStreamSplitter.h"
#include "ModbusSerial/SerialClock.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerEvent.h"
#include "ServerCore/Transport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct NetworkSettings {
    TCPFraming framing = TCPFraming::tcp;
    std::string host = "127.0.0.1"; // "0.0.0.0" (or "::") for all networks
    std::uint16_t port = 1502;      // 0: a free port (tests)
    std::size_t maxClients = 32;    // 1…1000
    std::chrono::seconds idle{0};   // 0: never close an idle client
    bool gateway = false;           // absent unit: exception 0B instead of silence

    bool operator==(const NetworkSettings&) const = default;
};

// One TCP listener serving the units of the store, next to the serial engine and any other
// listener: the same request handling, fault rules and reports, framed for the network. It runs
// on a thread of its own; every event carries Origin{transport(), the client's address}.
//
// Event contract: as ServerEngine's. onEvent is called on the listener's thread, one event at a
// time; it must only hand the event on and return, never throw or call back into the server.
class NetworkServer {
public:
    using EventHandler = std::function<void(ServerEvent)>;

    // Touches no socket. The clock times replies and counts the seconds of fault rule schedules;
    // none means the system's.
    NetworkServer(NetworkSettings settings, std::shared_ptr<RegisterStore> store,
                  EventHandler onEvent, std::shared_ptr<SerialClock> clock = nullptr);
    // Stops.
    ~NetworkServer();

    NetworkServer(const NetworkServer&) = delete;
    NetworkServer& operator=(const NetworkServer&) = delete;

    // Binds on the calling thread, so that a refused port reaches the user at once, and starts
    // the thread, which emits listening first. Throws TCPListenerError with nothing started. Does
    // nothing on a server that was started before. Like the serial engine's start it begins the
    // units' diagnostics afresh, so the transports of one run are to be started together.
    void start();
    // Closes the port and every connection; replies still waiting are dropped. Emits nothing.
    void stop();

    Transport transport() const; // tcp or rtuOverTCP, from the framing
    const NetworkSettings& settings() const;
    std::uint16_t port() const;      // the bound port (the system's choice for 0); 0 before start
    std::size_t clientCount() const; // any thread

private:
    struct Handling;

    NetworkSettings settings_;
    std::unique_ptr<Handling> handling_;
};

#pragma once

#include "ModbusSerial/SerialClock.h"
#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerEvent.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

// The running server: owns the open port for one run, reads the bus on its own thread, answers
// the requests of enabled simulated units (with their injected faults) and reports everything
// as ServerEvents. An engine is started once; the application makes a new one for every run.
//
// Event contract: onEvent is called on the engine's thread, one event at a time, in emission
// order. The engine never waits for the receiver beyond the call itself, so the receiver must
// only hand the event on (the application posts it to its main thread) and return; it must not
// throw, block, or call back into the engine. A thread let go by the destructor (see there) may
// still deliver an event, so the receiver must not rely on the engine or its owner being alive:
// the application's handler posts through a relay that the model cuts off before it lets an
// engine go, so a late event finds nobody to deliver to.
//
// Replies are timed transmissions: a delayed or shaped reply (a unit delay, a fault rule) waits
// while the thread keeps reading, splitting and reporting what arrives, and a stop drops it.
class ServerEngine {
public:
    using EventHandler = std::function<void(ServerEvent)>;

    // Touches no port. The clock times replies and the link's pacing and counts the seconds of
    // fault rule schedules; none means the system's (tests pass one of their own).
    ServerEngine(std::string path, SerialConfiguration configuration,
                 std::shared_ptr<RegisterStore> store, bool allowsTestDevice, EventHandler onEvent,
                 std::shared_ptr<SerialClock> clock = nullptr);
    // Stops the engine (waiting at most 1 s) and then joins the thread; only a thread held up
    // longer (a write stalled on a stuck device) is let go, and it keeps what it uses alive until
    // it ends by itself.
    ~ServerEngine();

    ServerEngine(const ServerEngine&) = delete;
    ServerEngine& operator=(const ServerEngine&) = delete;

    const std::string& path() const;
    const SerialConfiguration& configuration() const;
    const std::shared_ptr<RegisterStore>& store() const;
    bool allowsTestDevice() const;

    // Opens the port on the calling thread and starts the reading thread, which emits started
    // first. Throws the link's SerialLinkError, with no thread started and no event emitted.
    // Does nothing on an engine that was started before.
    void start();

    // Asks the thread to end and waits until it has closed the port, at most 1 s. Emits
    // nothing; returns at once when the thread already ended by itself (serial lost).
    void stop();

private:
    struct Shared;

    // Joint ownership with the thread: the engine object may go away while a write is still
    // in flight, and the thread must never touch anything freed under it.
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    bool stopTimedOut_ = false;
};

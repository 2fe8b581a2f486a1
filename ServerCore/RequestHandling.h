#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/MBAPFrame.h"
#include "ModbusSerial/SerialClock.h"
#include "ServerCore/MasterReport.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ReplyPlan.h"
#include "ServerCore/RequestProcessor.h"
#include "ServerCore/ServerEvent.h"
#include "ServerCore/Transport.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// What becomes of one request that reached a transport whole, whichever transport it was: which
// unit it is for, the fault rules and unit faults that fire, the processor's answer, the reply
// plan, the master report, the units' diagnostics and the events. The serial engine and every
// network listener have one each; the store (memory, fault rule counters, listen-only mode) is
// what they share. Not thread-safe: one transport's thread uses it.
class RequestHandling {
public:
    using EventHandler = std::function<void(ServerEvent)>;
    using TimePoint = SerialClock::TimePoint;

    struct Options {
        Transport transport = Transport::serial;
        // Unit 255 is answered by the lowest enabled unit, as a gateway's "this device".
        bool lowestUnitAnswersAll = false;
        // A request for a unit that is absent or disabled gets exception 0B instead of silence.
        bool gateway = false;
    };

    struct Request {
        std::uint8_t unit = 0; // the address as sent
        Bytes pdu;
        Bytes frame;                      // as it arrived, for the log
        std::optional<MBAPHeader> header; // Modbus TCP: what the reply echoes
        MasterReport::Arrival arrival;
        std::string client; // empty on the serial line
    };

    // A reply to send; unit is the unit whose counters it feeds, none for a gateway's exception.
    struct Answer {
        std::optional<std::uint8_t> unit;
        std::uint8_t address = 0; // as the request named it
        ReplyPlan plan;           // at least one chunk
    };

    RequestHandling(std::shared_ptr<RegisterStore> store, Options options, EventHandler onEvent,
                    std::shared_ptr<SerialClock> clock);

    const Options& options() const { return options_; }
    MasterReport& report() const { return report_; }
    const std::shared_ptr<RegisterStore>& store() const { return store_; }
    const std::shared_ptr<SerialClock>& clock() const { return clock_; }

    // Fault rule schedules count seconds from here.
    void start(TimePoint now) { startedAt_ = now; }

    // busy: the serial unit is still sending or waiting to send an earlier reply, so it neither
    // executes nor answers this one.
    std::optional<Answer> handle(Request request, bool busy = false);

    // The answer's last chunk went out at `end`.
    void sent(Answer answer, TimePoint end, const std::string& client = {});

    // Every unit hears every frame on the line, whoever it is for; good: a frame, else garbage.
    void countOnBus(bool good) const;

    void emit(ServerEvent event, const std::string& client = {}) const;

private:
    void stayedSilent(std::uint8_t unit, std::uint8_t function, bool listenOnly, bool busy,
                      const std::string& client) const;
    std::optional<Answer> broadcast(Request& request);
    std::optional<Answer> otherUnit(Request& request);
    ReplyPlan plan(const Request& request, std::uint8_t unit, ByteView answer,
                   std::optional<int> requestQuantity, std::chrono::nanoseconds delay,
                   const FaultRule::Effect* effect, std::uint64_t random);
    double secondsSinceStart() const;

    const std::shared_ptr<RegisterStore> store_;
    const Options options_;
    const EventHandler onEvent_;
    const std::shared_ptr<SerialClock> clock_;
    const RequestProcessor processor_;
    MasterReport& report_;
    TimePoint startedAt_{};
    std::array<Bytes, 256> previousReplies_; // per address, as sent, for stale replies
};

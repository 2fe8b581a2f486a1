#pragma once

#include "ModbusCore/Bytes.h"

#include <nlohmann/json_fwd.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

// How the master behaves on the line, measured while the server runs: what it asks of every unit
// and function, how regularly it polls, how fast it speaks again after an answer, how it retries
// after a failed exchange and how well it keeps the line's timing. The engine thread feeds it
// with the times of its own clock; any thread reads a summary. Every call takes the lock only
// for a few counters, and memory stays bounded (poll items are capped, durations are kept as a
// bounded sample), so a master flooding the line costs no more than a steady one.
class MasterReport {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::nanoseconds;

    // Poll items beyond this many are counted in pollItemsLeftOut only.
    static constexpr std::size_t maxPollItems = 1024;
    // Durations kept per poll item and per figure elsewhere; beyond that a uniform random sample
    // of this size (reservoir sampling) stands in for them all. Count, minimum and maximum stay
    // exact.
    static constexpr std::size_t keptIntervals = 256;
    static constexpr std::size_t keptDurations = 1024;
    // t1.5 is 1.5 character times where t3.5 is 3.5 (also at the fixed values above 19200 baud,
    // 750 µs and 1750 µs).
    static constexpr double characterGapShare = 1.5 / 3.5;
    // A request repeated later than this after a failed exchange is a new request, not a retry.
    static constexpr Duration retryWindow = std::chrono::seconds(5);

    // When a request's bytes arrived: the first, the last, and how many silences longer than
    // t1.5 lay between its bytes.
    struct Arrival {
        TimePoint first{};
        TimePoint last{};
        int gaps = 0;
    };

    // Who a request was for.
    enum class Addressee { served, broadcast, otherUnit };

    // Why a served unit did not answer. Listen-only mode is the master's own doing, not a fault.
    enum class Silence { fault, busy, listenOnly };

    // What a fault did to an answer that went out.
    enum class Shaping { none, damaged, delayed };

    // Count, minimum, mean, median, 95th percentile and maximum of durations, in milliseconds
    // with a tenth of a millisecond resolution. Count, minimum, mean and maximum are exact; median
    // and 95th percentile are nearest-rank percentiles of the kept sample, exact while no more
    // than the kept number were measured. The mean of poll intervals is the master's true pace
    // even where the system's scheduling jitters single arrivals by a tick.
    struct Figures {
        std::uint64_t count = 0;
        double min = 0;
        double mean = 0;
        double median = 0;
        double p95 = 0;
        double max = 0;

        bool operator==(const Figures&) const = default;
    };

    struct FunctionRow {
        std::uint8_t unit = 0;
        std::uint8_t function = 0;
        std::uint64_t requests = 0;
        std::uint64_t answers = 0;
        std::map<int, std::uint64_t> exceptions; // by exception code
        std::uint64_t suppressed = 0;            // left unanswered by a fault or while busy
        std::uint64_t damaged = 0;               // bytes or timing changed by a fault
        std::uint64_t delayed = 0;               // held back by a fault rule
    };

    struct UnitRow {
        std::uint8_t unit = 0;
        Figures turnaround; // end of this unit's answer to the master's next request
        std::uint64_t retries = 0;
        Figures retryDelay;          // end of the failed exchange to the retry
        std::uint64_t succeeded = 0; // failed exchanges a retry made good
        std::uint64_t gaveUp = 0;    // failed exchanges the master left
        std::map<int, std::uint64_t> retriesUntilSucceeded; // retries → how often
        std::map<int, std::uint64_t> retriesUntilGaveUp;
    };

    struct PollRow {
        std::uint8_t unit = 0;
        std::uint8_t function = 0;
        std::optional<int> address; // none for functions without one
        std::optional<int> quantity;
        std::uint64_t requests = 0;
        Figures interval; // first byte to first byte
    };

    struct LineRow {
        std::uint64_t requests = 0; // every request, whoever it was for
        std::uint64_t broadcasts = 0;
        std::uint64_t otherUnits = 0;    // for addresses not served
        std::uint64_t earlyRequests = 0; // started less than t3.5 after our answer ended
        std::uint64_t characterGaps = 0; // silences over t1.5 inside a request
        std::uint64_t crcErrors = 0;     // request-shaped frames with a wrong CRC
        std::uint64_t garbageBytes = 0;  // other bytes that formed no frame
        Figures turnaround;
    };

    struct Summary {
        double frameGap = 0;     // t3.5, ms
        double characterGap = 0; // t1.5, ms
        LineRow line;
        std::vector<UnitRow> units;         // by unit
        std::vector<FunctionRow> functions; // by unit, then function
        std::vector<PollRow> pollItems;     // by unit, function, address, quantity
        std::uint64_t pollItemsLeftOut = 0; // requests of poll items beyond the cap
    };

    MasterReport();
    ~MasterReport();
    MasterReport(const MasterReport&) = delete;
    MasterReport& operator=(const MasterReport&) = delete;

    // The line's t3.5 in seconds (t1.5 follows from it); kept across reset.
    void setFrameGap(double seconds);
    // Forgets every measurement.
    void reset();

    // A request frame (CRC checked) arrived.
    void request(ByteView frame, const Arrival& arrival, Addressee addressee);
    // The same, for a request however it was framed.
    void request(std::uint8_t unit, ByteView pdu, const Arrival& arrival, Addressee addressee);
    // What became of the served request reported last for the unit.
    void answered(std::uint8_t unit, std::uint8_t function, std::optional<int> exceptionCode,
                  Shaping shaping);
    void silent(std::uint8_t unit, std::uint8_t function, Silence silence);
    // The unit's answer left the line at `end` (its last byte).
    void sent(std::uint8_t unit, TimePoint end);
    // Bytes that formed no frame: a request with a wrong CRC, or garbage.
    void garbage(ByteView bytes);
    // Failed exchanges not retried within the retry window by `now` count as given up.
    void expire(TimePoint now);

    Summary summary() const;
    // The summary as the report file holds it (keys as in the README).
    nlohmann::json toJSON() const;
    static nlohmann::json toJSON(const Summary& summary);

    // A bounded sample of durations with exact count, minimum and maximum.
    class Durations {
    public:
        explicit Durations(std::size_t kept = keptDurations)
            : kept_(kept) {}
        void add(Duration duration);
        Figures figures() const;
        std::uint64_t count() const { return count_; }

    private:
        std::size_t kept_;
        std::uint64_t count_ = 0;
        Duration min_{};
        Duration max_{};
        Duration sum_{};
        std::vector<std::uint32_t> sample_; // microseconds
        std::uint64_t random_ = 0x9E3779B97F4A7C15;
    };

private:
    struct State;
    void failed(State& state, std::uint8_t unit, bool failure);

    mutable std::mutex lock_;
    std::unique_ptr<State> state_;
};

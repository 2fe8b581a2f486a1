#pragma once

#include "ModbusSerial/SerialClock.h"
#include "ServerCore/ReplyPlan.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// The replies the engine has planned and not yet sent in full, each with the due time of its
// next chunk. The engine thread's own; no locking.
class PendingReplies {
public:
    using TimePoint = SerialClock::TimePoint;

    // A chunk due within this much is slept for rather than read past: the read's time-out has
    // whole milliseconds, the sleep does not.
    static constexpr std::chrono::nanoseconds precision = std::chrono::milliseconds(2);

    struct Reply {
        std::uint8_t unit = 0;
        ReplyPlan plan; // at least one chunk
        std::size_t next = 0;
        TimePoint due{};
    };

    // A plan with chunks; its first chunk is due its wait after now.
    void add(std::uint8_t unit, ReplyPlan plan, TimePoint now);

    bool isBusy(std::uint8_t unit) const;
    bool empty() const { return replies_.empty(); }
    std::optional<TimePoint> nextDue() const;

    // The reply whose next chunk is due first, when that is no later than now + precision.
    Reply* dueWithin(TimePoint now);

    // Its next chunk went out at `now`: the following chunk is due its wait later; after the
    // last the finished reply is handed back and forgotten.
    std::optional<Reply> sent(Reply& reply, TimePoint now);

    void clear() { replies_.clear(); }

private:
    std::vector<Reply> replies_; // in order of arrival
};

#include "ServerCore/MasterReport.h"

#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"
#include "ServerCore/FaultRules.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

using Duration = MasterReport::Duration;
using TimePoint = MasterReport::TimePoint;

double milliseconds(Duration duration) {
    // Tenths of a millisecond, the report's resolution.
    return std::round(static_cast<double>(duration.count()) / 1e5) / 10;
}

// Nearest rank: the smallest kept value with at least `share` of the sample at or below it.
std::uint32_t percentile(const std::vector<std::uint32_t>& sorted, double share) {
    const auto rank =
        static_cast<std::size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// Unit, function, address and quantity of a poll item in one key; absent fields are 0, present
// ones stored plus one.
std::uint64_t pollKey(std::uint8_t unit, const FaultRules::RequestShape& shape) {
    const auto field = [](const std::optional<int>& value) {
        return value ? static_cast<std::uint64_t>(*value) + 1 : 0;
    };
    return std::uint64_t{unit} << 56 | std::uint64_t{shape.function} << 48 |
           field(shape.address) << 24 | field(shape.quantity);
}

} // namespace

void MasterReport::Durations::add(Duration duration) {
    duration = std::max(duration, Duration::zero());
    if (count_ == 0 || duration < min_) {
        min_ = duration;
    }
    if (count_ == 0 || duration > max_) {
        max_ = duration;
    }
    ++count_;
    sum_ += duration;
    const auto micros = static_cast<std::uint32_t>(std::min<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(duration).count(),
        std::numeric_limits<std::uint32_t>::max()));
    if (sample_.size() < kept_) {
        sample_.push_back(micros);
        return;
    }
    // Algorithm R: the newest of n values replaces a kept one with probability kept / n, which
    // keeps the sample uniform over the whole run. xorshift64 is plenty for picking slots.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 7;
    random_ ^= random_ << 17;
    const std::uint64_t slot = random_ % count_;
    if (slot < kept_) {
        sample_[slot] = micros;
    }
}

MasterReport::Figures MasterReport::Durations::figures() const {
    Figures figures;
    figures.count = count_;
    if (count_ == 0) {
        return figures;
    }
    std::vector<std::uint32_t> sorted = sample_;
    std::sort(sorted.begin(), sorted.end());
    const auto fromMicros = [](std::uint32_t micros) {
        return milliseconds(std::chrono::microseconds(micros));
    };
    figures.min = milliseconds(min_);
    figures.mean = milliseconds(sum_ / static_cast<std::int64_t>(count_));
    figures.median = fromMicros(percentile(sorted, 0.5));
    figures.p95 = fromMicros(percentile(sorted, 0.95));
    figures.max = milliseconds(max_);
    return figures;
}

struct MasterReport::State {
    struct Unit {
        std::map<std::uint8_t, FunctionRow> functions;
        Durations turnaround;

        // Retries: the unit's previous request, and the failed exchange waiting for one.
        Bytes previous;
        TimePoint previousEnd{};
        std::uint64_t attempt = 0;         // requests so far
        std::uint64_t answeredAttempt = 0; // the request the pending answer belongs to
        bool currentIsRetry = false;
        bool currentFailed = false;
        bool inSequence = false; // a failed exchange not yet made good or left
        int retriesSoFar = 0;
        TimePoint failedAt{}; // end of the last failed attempt
        std::uint64_t retries = 0;
        Durations retryDelays;
        std::uint64_t succeeded = 0;
        std::uint64_t gaveUp = 0;
        std::map<int, std::uint64_t> untilSucceeded;
        std::map<int, std::uint64_t> untilGaveUp;

        FunctionRow& function(std::uint8_t unit, std::uint8_t code) {
            auto [row, added] = functions.try_emplace(code);
            if (added) {
                row->second.unit = unit;
                row->second.function = code;
            }
            return row->second;
        }

        void leave() {
            ++gaveUp;
            ++untilGaveUp[retriesSoFar];
            inSequence = false;
        }
    };

    struct PollItem {
        PollRow row;
        TimePoint last{};
        Durations intervals{keptIntervals};
    };

    Duration frameGap{};
    Duration characterGap{};
    LineRow line;
    Durations turnaround;
    std::optional<TimePoint> lastAnswerEnd;
    std::uint8_t lastAnswerUnit = 0;
    std::map<std::uint8_t, Unit> units;
    std::unordered_map<std::uint64_t, PollItem> pollItems;
    std::uint64_t pollItemsLeftOut = 0;
    int inSequence = 0; // units with a failed exchange waiting for a retry
};

MasterReport::MasterReport()
    : state_(std::make_unique<State>()) {}

MasterReport::~MasterReport() = default;

void MasterReport::setFrameGap(double seconds) {
    std::lock_guard guard(lock_);
    const auto gap = std::chrono::duration<double>(seconds);
    state_->frameGap = std::chrono::duration_cast<Duration>(gap);
    state_->characterGap = std::chrono::duration_cast<Duration>(gap * characterGapShare);
}

void MasterReport::reset() {
    auto fresh = std::make_unique<State>();
    std::lock_guard guard(lock_);
    fresh->frameGap = state_->frameGap;
    fresh->characterGap = state_->characterGap;
    std::swap(state_, fresh);
}

void MasterReport::request(ByteView frame, const Arrival& arrival, Addressee addressee) {
    if (frame.size() < Modbus::minFrameLength) {
        return;
    }
    request(frame[0], frame.subspan(1, frame.size() - 1 - Modbus::crcLength), arrival, addressee);
}

void MasterReport::request(std::uint8_t unit, ByteView pdu, const Arrival& arrival,
                           Addressee addressee) {
    if (pdu.empty()) {
        return;
    }
    const FaultRules::RequestShape shape = FaultRules::shapeOf(pdu);

    std::lock_guard guard(lock_);
    State& state = *state_;
    ++state.line.requests;
    state.line.characterGaps += static_cast<std::uint64_t>(arrival.gaps);
    if (state.lastAnswerEnd) {
        const Duration turnaround = arrival.first - *state.lastAnswerEnd;
        if (turnaround < state.frameGap) {
            ++state.line.earlyRequests;
        }
        state.turnaround.add(turnaround);
        state.units[state.lastAnswerUnit].turnaround.add(turnaround);
        state.lastAnswerEnd.reset();
    }
    if (addressee == Addressee::broadcast) {
        ++state.line.broadcasts;
        return;
    }
    if (addressee == Addressee::otherUnit) {
        ++state.line.otherUnits;
        return;
    }

    State::Unit& served = state.units[unit];
    ++served.function(unit, shape.function).requests;
    ++served.attempt;
    served.currentIsRetry = false;
    served.currentFailed = false;
    if (served.inSequence) {
        const Duration since = arrival.first - served.failedAt;
        if (std::ranges::equal(pdu, served.previous) && since <= retryWindow) {
            served.currentIsRetry = true;
            ++served.retriesSoFar;
            ++served.retries;
            served.retryDelays.add(since);
        } else {
            served.leave();
            --state.inSequence;
        }
    }
    served.previous.assign(pdu.begin(), pdu.end());
    served.previousEnd = arrival.last;

    const std::uint64_t key = pollKey(unit, shape);
    auto item = state.pollItems.find(key);
    if (item == state.pollItems.end()) {
        if (state.pollItems.size() >= maxPollItems) {
            ++state.pollItemsLeftOut;
            return;
        }
        item = state.pollItems.try_emplace(key).first;
        PollRow& row = item->second.row;
        row.unit = unit;
        row.function = shape.function;
        row.address = shape.address;
        row.quantity = shape.quantity;
    } else {
        item->second.intervals.add(arrival.first - item->second.last);
    }
    ++item->second.row.requests;
    item->second.last = arrival.first;
}

void MasterReport::failed(State& state, std::uint8_t unit, bool failure) {
    State::Unit& served = state.units[unit];
    served.currentFailed = failure;
    if (failure) {
        served.failedAt = served.previousEnd;
        if (!served.inSequence) {
            served.inSequence = true;
            served.retriesSoFar = 0;
            ++state.inSequence;
        }
    } else if (served.inSequence && served.currentIsRetry) {
        ++served.succeeded;
        ++served.untilSucceeded[served.retriesSoFar];
        served.inSequence = false;
        --state.inSequence;
    }
}

void MasterReport::answered(std::uint8_t unit, std::uint8_t function,
                            std::optional<int> exceptionCode, Shaping shaping) {
    std::lock_guard guard(lock_);
    State::Unit& served = state_->units[unit];
    FunctionRow& row = served.function(unit, function);
    ++row.answers;
    if (exceptionCode) {
        ++row.exceptions[*exceptionCode];
    }
    if (shaping == Shaping::damaged) {
        ++row.damaged;
    } else if (shaping == Shaping::delayed) {
        ++row.delayed;
    }
    served.answeredAttempt = served.attempt;
    failed(*state_, unit, shaping != Shaping::none);
}

void MasterReport::silent(std::uint8_t unit, std::uint8_t function, Silence silence) {
    std::lock_guard guard(lock_);
    if (silence == Silence::listenOnly) {
        return; // the master asked for it
    }
    ++state_->units[unit].function(unit, function).suppressed;
    failed(*state_, unit, true);
}

void MasterReport::sent(std::uint8_t unit, TimePoint end) {
    std::lock_guard guard(lock_);
    State& state = *state_;
    state.lastAnswerEnd = end;
    state.lastAnswerUnit = unit;
    State::Unit& served = state.units[unit];
    // A failed answer's exchange ends when it has left the line, unless the master has already
    // asked again meanwhile (and found the unit busy).
    if (served.inSequence && served.currentFailed && served.answeredAttempt == served.attempt) {
        served.failedAt = end;
    }
}

void MasterReport::garbage(ByteView bytes) {
    const auto length = FrameSplitter::expectedRequestLength(bytes);
    const bool badCRC = bytes.size() >= Modbus::minFrameLength && length &&
                        *length == bytes.size() && !RTUFrame::hasValidCRC(bytes);
    std::lock_guard guard(lock_);
    if (badCRC) {
        ++state_->line.crcErrors;
    } else {
        state_->line.garbageBytes += bytes.size();
    }
}

void MasterReport::expire(TimePoint now) {
    std::lock_guard guard(lock_);
    State& state = *state_;
    if (state.inSequence == 0) {
        return;
    }
    for (auto& [unit, served] : state.units) {
        if (served.inSequence && now - served.failedAt > retryWindow) {
            served.leave();
            --state.inSequence;
        }
    }
}

MasterReport::Summary MasterReport::summary() const {
    // The figures are worked out on a copy, so the engine never waits for the sorting.
    State state;
    {
        std::lock_guard guard(lock_);
        state = *state_;
    }
    Summary summary;
    summary.frameGap = milliseconds(state.frameGap);
    summary.characterGap = milliseconds(state.characterGap);
    summary.line = state.line;
    summary.line.turnaround = state.turnaround.figures();
    for (const auto& [unit, served] : state.units) {
        if (served.functions.empty() && served.turnaround.count() == 0) {
            continue;
        }
        UnitRow row;
        row.unit = unit;
        row.turnaround = served.turnaround.figures();
        row.retries = served.retries;
        row.retryDelay = served.retryDelays.figures();
        row.succeeded = served.succeeded;
        row.gaveUp = served.gaveUp;
        row.retriesUntilSucceeded = served.untilSucceeded;
        row.retriesUntilGaveUp = served.untilGaveUp;
        summary.units.push_back(std::move(row));
        for (const auto& [code, function] : served.functions) {
            summary.functions.push_back(function);
        }
    }
    summary.pollItems.reserve(state.pollItems.size());
    for (const auto& [key, item] : state.pollItems) {
        PollRow row = item.row;
        row.interval = item.intervals.figures();
        summary.pollItems.push_back(std::move(row));
    }
    std::ranges::sort(summary.pollItems, [](const PollRow& a, const PollRow& b) {
        return std::tie(a.unit, a.function, a.address, a.quantity) <
               std::tie(b.unit, b.function, b.address, b.quantity);
    });
    summary.pollItemsLeftOut = state.pollItemsLeftOut;
    return summary;
}

namespace {

nlohmann::json figuresJSON(const MasterReport::Figures& figures) {
    nlohmann::json json{{"count", figures.count}};
    if (figures.count > 0) {
        json["min"] = figures.min;
        json["mean"] = figures.mean;
        json["median"] = figures.median;
        json["p95"] = figures.p95;
        json["max"] = figures.max;
    }
    return json;
}

nlohmann::json countsJSON(const std::map<int, std::uint64_t>& counts) {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [key, count] : counts) {
        json[std::to_string(key)] = count;
    }
    return json;
}

nlohmann::json optionalJSON(const std::optional<int>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

} // namespace

nlohmann::json MasterReport::toJSON() const {
    return toJSON(summary());
}

nlohmann::json MasterReport::toJSON(const Summary& summary) {
    const LineRow& line = summary.line;
    nlohmann::json json{
        {"frameGap", summary.frameGap},
        {"characterGap", summary.characterGap},
        {"line",
         {{"requests", line.requests},
          {"broadcasts", line.broadcasts},
          {"otherUnits", line.otherUnits},
          {"earlyRequests", line.earlyRequests},
          {"characterGaps", line.characterGaps},
          {"crcErrors", line.crcErrors},
          {"garbageBytes", line.garbageBytes},
          {"turnaround", figuresJSON(line.turnaround)}}},
        {"units", nlohmann::json::array()},
        {"pollItems", nlohmann::json::array()},
        {"pollItemsLeftOut", summary.pollItemsLeftOut},
    };
    for (const UnitRow& unit : summary.units) {
        nlohmann::json functions = nlohmann::json::array();
        for (const FunctionRow& row : summary.functions) {
            if (row.unit != unit.unit) {
                continue;
            }
            functions.push_back({{"function", row.function},
                                 {"requests", row.requests},
                                 {"answers", row.answers},
                                 {"exceptions", countsJSON(row.exceptions)},
                                 {"suppressed", row.suppressed},
                                 {"damaged", row.damaged},
                                 {"delayed", row.delayed}});
        }
        json["units"].push_back({{"unit", unit.unit},
                                 {"functions", std::move(functions)},
                                 {"turnaround", figuresJSON(unit.turnaround)},
                                 {"retries",
                                  {{"count", unit.retries},
                                   {"delay", figuresJSON(unit.retryDelay)},
                                   {"succeeded", unit.succeeded},
                                   {"gaveUp", unit.gaveUp},
                                   {"untilSucceeded", countsJSON(unit.retriesUntilSucceeded)},
                                   {"untilGaveUp", countsJSON(unit.retriesUntilGaveUp)}}}});
    }
    for (const PollRow& row : summary.pollItems) {
        json["pollItems"].push_back({{"unit", row.unit},
                                     {"function", row.function},
                                     {"address", optionalJSON(row.address)},
                                     {"quantity", optionalJSON(row.quantity)},
                                     {"requests", row.requests},
                                     {"interval", figuresJSON(row.interval)}});
    }
    return json;
}

// Feeds the master report what the engine would, in a fuzzer-chosen order, with frames of the
// fuzzer's bytes and a clock it moves, and checks that the summary stays consistent and bounded.
// Input: a sequence of steps, each an operation byte (bits 0–2 the call, bits 3–7 the
// milliseconds the clock moves first) followed by the call's bytes.

#include "ServerCore/ArrivalTimes.h"
#include "ServerCore/MasterReport.h"

#include "fuzz/FuzzCheck.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

void checkFigures(const MasterReport::Figures& f) {
    if (f.count > 0) {
        FUZZ_CHECK(f.min >= 0);
        FUZZ_CHECK(f.min <= f.median && f.median <= f.p95 && f.p95 <= f.max);
    }
}

// Takes up to `want` bytes.
ByteView take(const std::uint8_t*& data, std::size_t& size, std::size_t want) {
    const std::size_t length = std::min(want, size);
    const ByteView bytes(data, length);
    data += length;
    size -= length;
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MasterReport report;
    report.setFrameGap(0.00175);
    ArrivalTimes arrivals(std::chrono::microseconds(750));
    MasterReport::TimePoint now{};

    while (size > 0) {
        const std::uint8_t op = data[0];
        ++data;
        --size;
        now += std::chrono::milliseconds(op >> 3);
        const ByteView head = take(data, size, 2);
        const std::uint8_t unit = head.empty() ? 1 : head[0];
        const std::uint8_t value = head.size() < 2 ? 0 : head[1];
        switch (op & 0x07) {
        case 0:
        case 1: {
            const ByteView frame = take(data, size, value % 32);
            arrivals.arrived(frame.size(), now);
            const auto arrival = arrivals.take(frame.size(), now);
            FUZZ_CHECK(arrival.first <= arrival.last);
            const auto addressee = frame.empty() || frame[0] == 0
                                       ? MasterReport::Addressee::broadcast
                                   : (op & 0x01) ? MasterReport::Addressee::served
                                                 : MasterReport::Addressee::otherUnit;
            report.request(frame, arrival, addressee);
            break;
        }
        case 2:
            report.answered(unit, value, value & 1 ? std::optional<int>(value) : std::nullopt,
                            MasterReport::Shaping(value % 3));
            break;
        case 3:
            report.silent(unit, value, MasterReport::Silence(value % 3));
            break;
        case 4:
            report.sent(unit, now);
            break;
        case 5:
            report.garbage(take(data, size, value % 16));
            break;
        case 6:
            report.expire(now);
            break;
        default:
            report.reset();
            break;
        }
    }

    const auto summary = report.summary();
    FUZZ_CHECK(summary.pollItems.size() <= MasterReport::maxPollItems);
    FUZZ_CHECK(summary.line.broadcasts + summary.line.otherUnits <= summary.line.requests);
    checkFigures(summary.line.turnaround);
    for (const auto& unit : summary.units) {
        checkFigures(unit.turnaround);
        checkFigures(unit.retryDelay);
        FUZZ_CHECK(unit.retryDelay.count == unit.retries);
    }
    for (const auto& item : summary.pollItems) {
        checkFigures(item.interval);
        FUZZ_CHECK(item.requests > 0 && item.interval.count == item.requests - 1);
    }
    (void)MasterReport::toJSON(summary).dump();
    return 0;
}

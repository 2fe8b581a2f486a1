// What the master report adds to every request the engine answers, beside the request
// processor's own cost (RequestProcessorBench): one steady poll item, and a master that polls
// more items than the report keeps.
#include "ModbusCore/RTUFrame.h"
#include "ServerCore/MasterReport.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace std::chrono_literals;

Bytes readFrame(std::uint16_t address) {
    Bytes pdu{0x03};
    appendUInt16(pdu, address);
    appendUInt16(pdu, 10);
    return RTUFrame::build(1, pdu);
}

void exchange(MasterReport& report, const Bytes& frame, MasterReport::TimePoint& now) {
    now += 10ms;
    report.request(frame, {now, now, 0}, MasterReport::Addressee::served);
    report.answered(1, 0x03, std::nullopt, MasterReport::Shaping::none);
    report.sent(1, now + 2ms);
    report.expire(now);
}

void BM_OnePollItem(benchmark::State& state) {
    MasterReport report;
    report.setFrameGap(0.00175);
    const Bytes frame = readFrame(0);
    MasterReport::TimePoint now{};
    for (auto _ : state) {
        exchange(report, frame, now);
    }
}
BENCHMARK(BM_OnePollItem);

void BM_ManyPollItems(benchmark::State& state) {
    MasterReport report;
    report.setFrameGap(0.00175);
    std::vector<Bytes> frames;
    for (std::uint16_t address = 0; address < 2 * MasterReport::maxPollItems; ++address) {
        frames.push_back(readFrame(address));
    }
    MasterReport::TimePoint now{};
    std::size_t next = 0;
    for (auto _ : state) {
        exchange(report, frames[next], now);
        next = (next + 1) % frames.size();
    }
}
BENCHMARK(BM_ManyPollItems);

// What a reader pays for a summary of a full report (the window asks once a second).
void BM_SummaryOfAFullReport(benchmark::State& state) {
    MasterReport report;
    MasterReport::TimePoint now{};
    for (std::uint16_t address = 0; address < MasterReport::maxPollItems; ++address) {
        const Bytes frame = readFrame(address);
        for (std::size_t i = 0; i < MasterReport::keptIntervals + 1; ++i) {
            exchange(report, frame, now);
        }
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(report.summary());
    }
}
BENCHMARK(BM_SummaryOfAFullReport)->Unit(benchmark::kMillisecond);

} // namespace

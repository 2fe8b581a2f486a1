#include "Corvana/model/LogLines.h"
#include "Corvana/model/OutputBuffer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

// The traffic of a busy bus: read requests and answers, a write, an exception, now and then
// invalid data; about 60 to 110 characters a line with the timestamp.
std::vector<ServerEvent> traffic() {
    const Bytes readPDU{0x03, 0x00, 0x0A, 0x00, 0x0A};
    const Bytes readFrame{0x01, 0x03, 0x00, 0x0A, 0x00, 0x0A, 0xE4, 0x0F};
    Bytes answerPDU{0x03, 0x14};
    answerPDU.resize(22, 0x5A);
    Bytes answerFrame{0x01};
    answerFrame.insert(answerFrame.end(), answerPDU.begin(), answerPDU.end());
    answerFrame.insert(answerFrame.end(), {0x12, 0x34});
    return {
        ServerEvent::request(1, readPDU, readFrame),
        ServerEvent::response(1, answerPDU, answerFrame, false),
        ServerEvent::request(2, {0x06, 0x00, 0x01, 0x00, 0x05},
                             {0x02, 0x06, 0x00, 0x01, 0x00, 0x05, 0x48, 0x18}),
        ServerEvent::response(2, {0x86, 0x02}, {0x02, 0x86, 0x02, 0x00, 0x00}, true),
        ServerEvent::otherUnit(9, {0x09, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x82}),
        ServerEvent::garbage(Bytes(40, 0xFF)),
    };
}

// Renders and appends one line per iteration, as the model does for each engine event. The
// default run appends enough lines to trim the log several times.
void renderAndAppend(benchmark::State& state) {
    const std::vector<ServerEvent> events = traffic();
    const std::vector<ServerUnit> units(1);
    const SerialConfiguration serial;
    const QString path = QStringLiteral("/dev/ttyUSB0");
    const LogLines::Options options{.showRawFrames = state.range(0) != 0, .showBusTraffic = true};
    const QTime time(9, 30, 5, 7);

    OutputBuffer buffer;
    std::int64_t trims = 0;
    QObject::connect(&buffer, &OutputBuffer::trimmed, [&trims](qsizetype) { ++trims; });
    std::size_t next = 0;
    for (auto _ : state) {
        std::optional<LogLine> line =
            LogLines::forEvent(events[next], options, path, serial, units);
        next = (next + 1) % events.size();
        line->prepend({LogSegment::Kind::timestamp, LogLines::timestampText(time)});
        buffer.append(*line);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["trims"] = static_cast<double>(trims);
}

BENCHMARK(renderAndAppend)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(300'000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

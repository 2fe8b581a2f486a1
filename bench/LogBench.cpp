#include "Corvana/model/LogBuffer.h"
#include "Corvana/model/LogLines.h"
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

// Renders and appends one line per iteration, as the model does for each engine event. The
// default run appends enough lines to trim the log several times.
void renderAndAppend(benchmark::State& state) {
    const std::vector<ServerEvent> events = busTraffic();
    const std::vector<ServerUnit> units(1);
    const SerialConfiguration serial;
    const QString path = QStringLiteral("/dev/ttyUSB0");
    const LogLines::Options options{.showRawFrames = state.range(0) != 0, .showBusTraffic = true};
    const QTime time(9, 30, 5, 7);

    LogBuffer buffer;
    std::int64_t trims = 0;
    QObject::connect(&buffer, &LogBuffer::trimmed, [&trims](qsizetype) { ++trims; });
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

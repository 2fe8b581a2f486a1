#include "ModbusCore/DatapointCSV.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t listSize = 50'000;

// A large plant: every table and type, scaled values, a few texts that need quoting.
std::vector<Datapoint> makeDatapoints(std::size_t count) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> values(-1000, 1000);
    std::vector<Datapoint> points;
    points.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const RegisterTable table = RegisterTable::allCases()[i % 4];
        const DataType type =
            table.isBit() ? DataType(DataType::bool_) : DataType::allCases()[1 + i % 8];
        const double scale = i % 3 == 0 ? 1 : (i % 3 == 1 ? 0.1 : 0.01);
        double value = table.isBit() ? double(i % 2) : values(rng);
        if (!type.isFloat() && !table.isBit()) {
            value = std::round(value / scale) * scale;
        }
        points.emplace_back(
            UUID::random(), "Sensor " + std::to_string(i) + (i % 50 == 0 ? "; spare" : ""),
            static_cast<std::uint8_t>(1 + i % 247), table, static_cast<std::uint16_t>(i % 60'000),
            type, WordOrder::allCases()[i % 4], scale,
            i % 2 ? "\xC2\xB0"
                    "C"
                  : "kWh",
            DisplayFormat::allCases()[i % 3], value, i % 10 == 0 ? "Line \"A\", cabinet 3" : "",
            Simulation{});
    }
    return points;
}

void exportCSV(benchmark::State& state, DatapointCSV::Dialect dialect) {
    const auto points = makeDatapoints(listSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(DatapointCSV::exportText(points, dialect));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * points.size()));
}

void parseCSV(benchmark::State& state, DatapointCSV::Dialect dialect) {
    const std::string text = DatapointCSV::exportText(makeDatapoints(listSize), dialect);
    for (auto _ : state) {
        auto result = DatapointCSV::parse(text);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * listSize));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The cost of hostile files: n minimal records ("HR,0"), and one header line of n commas.
void parseMinimalRecords(benchmark::State& state) {
    std::string text = "Table,Address\n";
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        text += "HR,0\n";
    }
    for (auto _ : state) {
        auto result = DatapointCSV::parse(text);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(parseMinimalRecords)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(4'000'000)
    ->Unit(benchmark::kMillisecond);

void parseHeaderOfCommas(benchmark::State& state) {
    const std::string text(static_cast<std::size_t>(state.range(0)), ',');
    for (auto _ : state) {
        auto result = DatapointCSV::parse(text);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(parseHeaderOfCommas)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(exportCSV, comma, DatapointCSV::Dialect{',', false})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportCSV, decimalComma, DatapointCSV::Dialect{';', true})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseCSV, comma, DatapointCSV::Dialect{',', false})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseCSV, decimalComma, DatapointCSV::Dialect{';', true})
    ->Unit(benchmark::kMillisecond);

} // namespace

#include "Corvana/model/Overlaps.h"

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

namespace {

// A large plant: 20 units of 500 datapoints in all four tables with every register type, laid
// out back to back as a user builds them, with a few accidental overlaps.
std::vector<Datapoint> makePlant(int units, int perUnit) {
    std::mt19937 rng(20250314);
    std::uniform_int_distribution<int> chance(0, 99);
    std::vector<Datapoint> points;
    points.reserve(static_cast<std::size_t>(units * perUnit));
    for (int unit = 1; unit <= units; ++unit) {
        std::array<int, 4> next{}; // next address per table
        for (int i = 0; i < perUnit; ++i) {
            const RegisterTable table = RegisterTable::allCases()[i % 10 < 6 ? 2 : i % 4];
            const DataType type =
                table.isBit() ? DataType(DataType::bool_) : DataType::allCases()[1 + i % 8];
            Datapoint point;
            point.unitID = static_cast<std::uint8_t>(unit);
            point.table = table;
            point.dataType = type;
            int& address = next[table.value];
            // One datapoint in fifty lands on its predecessor's last register.
            if (address > 0 && chance(rng) < 2) {
                --address;
            }
            point.address = static_cast<std::uint16_t>(address);
            address += point.registerSpan();
            points.push_back(point);
        }
    }
    return points;
}

void BM_OverlapsCompute(benchmark::State& state) {
    const auto points = makePlant(20, 500);
    std::size_t conflicts = 0;
    for (auto _ : state) {
        const auto result = Overlaps::compute(points);
        conflicts = result.size();
        benchmark::DoNotOptimize(conflicts);
    }
    state.counters["datapoints"] = static_cast<double>(points.size());
    state.counters["conflicts"] = static_cast<double>(conflicts);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}
BENCHMARK(BM_OverlapsCompute)->Unit(benchmark::kMicrosecond);

} // namespace

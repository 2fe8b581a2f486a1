// Reading project files costs time in proportion to their size: a list of n empty datapoints
// (the worst case per byte) read at n = 10,000 … 1,000,000 should show a constant time per item.
#include "Corvana/model/ProjectFile.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray emptyDatapoints(std::int64_t count) {
    QByteArray bytes = R"({"version":1,"units":[],)"
                       R"("serial":{"baudRate":9600,"dataBits":8,"parity":"even","stopBits":1},)"
                       R"("datapoints":[)";
    for (std::int64_t i = 0; i < count; ++i) {
        bytes += i == 0 ? "{}" : ",{}";
    }
    return bytes + "]}";
}

void BM_DecodeEmptyDatapoints(benchmark::State& state) {
    const QByteArray bytes = emptyDatapoints(state.range(0));
    for (auto _ : state) {
        auto project = ProjectFile::decode(bytes);
        benchmark::DoNotOptimize(project);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_DecodeEmptyDatapoints)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond);

// Refused in the first pass: more values than a 64 MiB project can hold.
void BM_RefuseTooManyValues(benchmark::State& state) {
    const QByteArray bytes = "[" + QByteArray("0,").repeated(8'000'000) + "0]";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProjectFile::decode(bytes));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_RefuseTooManyValues)->Unit(benchmark::kMillisecond);

} // namespace

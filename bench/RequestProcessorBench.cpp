#include "ServerCore/RequestProcessor.h"
#include "tests/support/StoreBuilders.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int unitCount = 247;

// 247 units with 200 datapoints each: 100 uint16 and 50 float32 holding registers (0–199),
// 25 uint32 input registers (0–49) and 25 coils (0–24).
std::shared_ptr<RegisterStore> makeStore() {
    std::vector<ServerUnit> units;
    std::vector<Datapoint> points;
    for (int id = 1; id <= unitCount; ++id) {
        const auto u = static_cast<std::uint8_t>(id);
        units.push_back(unit(u));
        for (int i = 0; i < 100; ++i) {
            points.push_back(point(u, RegisterTable::holdingRegister, i, i));
        }
        for (int i = 0; i < 50; ++i) {
            points.push_back(
                point(u, RegisterTable::holdingRegister, 100 + 2 * i, i * 0.5, DataType::float32));
        }
        for (int i = 0; i < 25; ++i) {
            points.push_back(point(u, RegisterTable::inputRegister, 2 * i, i, DataType::uint32));
            points.push_back(point(u, RegisterTable::coil, i, i % 2));
        }
    }
    auto store = std::make_shared<RegisterStore>();
    store->configure(units, points, true);
    return store;
}

struct Request {
    std::uint8_t unit;
    Bytes pdu;
};

Bytes readPDU(std::uint8_t fc, int address, int quantity) {
    return {fc, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(quantity >> 8), static_cast<std::uint8_t>(quantity)};
}

Bytes writeRegistersPDU(int address, int quantity, std::mt19937& rng) {
    Bytes pdu = readPDU(0x10, address, quantity);
    pdu.push_back(static_cast<std::uint8_t>(2 * quantity));
    for (int i = 0; i < 2 * quantity; ++i) {
        pdu.push_back(static_cast<std::uint8_t>(rng()));
    }
    return pdu;
}

// 10-register reads spread over every unit and the whole holding-register area.
std::vector<Request> tenRegisterReads() {
    std::vector<Request> requests;
    for (int i = 0; i < 4096; ++i) {
        const auto unit = static_cast<std::uint8_t>(1 + i % unitCount);
        requests.push_back({unit, readPDU(0x03, (i * 7) % 190, 10)});
    }
    return requests;
}

// What a SCADA poller does: mostly reads of 2 to 60 registers, some coil reads, single and
// multiple writes, mask writes and now and then a request that ends in an exception.
std::vector<Request> mixedTraffic() {
    std::mt19937 rng(20240607);
    std::vector<Request> requests;
    for (int i = 0; i < 4096; ++i) {
        const auto unit = static_cast<std::uint8_t>(1 + rng() % unitCount);
        const int kind = static_cast<int>(rng() % 10);
        const int quantity = 2 + static_cast<int>(rng() % 59);
        switch (kind) {
        case 0:
        case 1:
        case 2:
            requests.push_back(
                {unit, readPDU(0x03, static_cast<int>(rng() % (200 - quantity)), quantity)});
            break;
        case 3:
            requests.push_back({unit, readPDU(0x04, static_cast<int>(rng() % 40), 10)});
            break;
        case 4:
            requests.push_back({unit, readPDU(0x01, 0, 25)});
            break;
        case 5:
            requests.push_back(
                {unit, {0x06, 0x00, static_cast<std::uint8_t>(rng() % 100), 0x12, 0x34}});
            break;
        case 6:
            requests.push_back({unit, writeRegistersPDU(static_cast<int>(rng() % 90), 10, rng)});
            break;
        case 7:
            requests.push_back(
                {unit, {0x05, 0x00, static_cast<std::uint8_t>(rng() % 25), 0xFF, 0x00}});
            break;
        case 8:
            requests.push_back({unit, {0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}});
            break;
        default:
            requests.push_back({unit, readPDU(0x03, 199, quantity)}); // runs past 199: 83 02
            break;
        }
    }
    return requests;
}

void run(benchmark::State& state, const std::vector<Request>& requests) {
    const RequestProcessor processor{makeStore()};
    std::size_t next = 0;
    for (auto _ : state) {
        const Request& request = requests[next];
        next = (next + 1) % requests.size();
        auto result = processor.process(request.pdu, request.unit);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReadTenRegisters(benchmark::State& state) {
    run(state, tenRegisterReads());
}
BENCHMARK(BM_ReadTenRegisters);

void BM_ReadMaximumRegisters(benchmark::State& state) {
    std::vector<Request> requests;
    for (int id = 1; id <= unitCount; ++id) {
        requests.push_back({static_cast<std::uint8_t>(id), readPDU(0x03, 0, 125)});
    }
    run(state, requests);
}
BENCHMARK(BM_ReadMaximumRegisters);

void BM_WriteTenRegisters(benchmark::State& state) {
    std::mt19937 rng(7);
    std::vector<Request> requests;
    for (int i = 0; i < 1024; ++i) {
        requests.push_back({static_cast<std::uint8_t>(1 + i % unitCount),
                            writeRegistersPDU((i * 11) % 190, 10, rng)});
    }
    run(state, requests);
}
BENCHMARK(BM_WriteTenRegisters);

void BM_MixedTraffic(benchmark::State& state) {
    run(state, mixedTraffic());
}
BENCHMARK(BM_MixedTraffic);

void BM_BroadcastWriteRegister(benchmark::State& state) {
    run(state, {{0, {0x06, 0x00, 0x05, 0x00, 0x2A}}});
}
BENCHMARK(BM_BroadcastWriteRegister);

void BM_Configure(benchmark::State& state) {
    auto store = makeStore();
    std::vector<ServerUnit> units(unitCount);
    std::vector<Datapoint> points;
    for (int id = 1; id <= unitCount; ++id) {
        units[id - 1].unitID = static_cast<std::uint8_t>(id);
        for (int i = 0; i < 200; ++i) {
            points.push_back(
                point(static_cast<std::uint8_t>(id), RegisterTable::holdingRegister, i, i));
        }
    }
    for (auto _ : state) {
        store->configure(units, points, false);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}
BENCHMARK(BM_Configure)->Unit(benchmark::kMillisecond);

} // namespace

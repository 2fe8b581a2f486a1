// The network server with the whole request handling (store, fault rules, report, events), with
// libmodbus TCP masters on loopback reading 10 registers, and an event handler that formats
// every event into a bounded log as the application's log does:
//   - one master's round trip (median of five runs) and four masters' answers per second;
//   - with --soak[=SECONDS] (60 by default) also 32 masters polling every 10 ms, counting the
//     requests that got no answer and the process's resident size at the end.
#include "ServerCore/NetworkServer.h"
#include "bench/ResidentMemory.h"
#include "tests/support/StoreBuilders.h"

#include <benchmark/benchmark.h>
#include <modbus.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t keptLines = 10'000; // the log's bound
constexpr int soakClients = 32;
constexpr auto soakPoll = std::chrono::milliseconds(10);
constexpr int defaultSoakSeconds = 60;

// The work of the application's log for each event: a time, the origin and the bytes as text.
class FormattingLog {
public:
    void add(const ServerEvent& event) {
        std::string line = std::to_string(Clock::now().time_since_epoch().count());
        line += ' ';
        line += rawValue(event.origin.transport);
        line += ' ';
        line += event.origin.client;
        if (const auto* request = event.as<ServerEvent::Request>()) {
            line += " request " + std::to_string(request->unit) + ": " + hexText(request->frame);
        } else if (const auto* response = event.as<ServerEvent::Response>()) {
            line += " response " + std::to_string(response->unit) + ": " + hexText(response->frame);
        } else {
            line += " event " + std::to_string(event.value.index());
        }
        std::lock_guard guard(mutex_);
        lines_.push_back(std::move(line));
        if (lines_.size() > keptLines) {
            lines_.pop_front();
        }
    }

private:
    std::mutex mutex_;
    std::deque<std::string> lines_;
};

// One server for every benchmark and thread, for the whole run: unit 1 with 10 registers.
std::uint16_t serverPort() {
    static FormattingLog log;
    static const auto server = [] {
        auto store = std::make_shared<RegisterStore>();
        std::vector<Datapoint> points;
        for (int a = 0; a < 10; ++a) {
            points.push_back(point(1, RegisterTable::holdingRegister, a, a));
        }
        store->configure({unit(1)}, points, true);
        auto started =
            std::make_unique<NetworkServer>(NetworkSettings{.port = 0, .maxClients = 64}, store,
                                            [](ServerEvent event) { log.add(event); });
        started->start();
        return started;
    }();
    return server->port();
}

using Master = std::unique_ptr<modbus_t, void (*)(modbus_t*)>;

Master connectMaster() {
    static std::mutex setup; // libmodbus contexts are made one at a time
    std::lock_guard guard(setup);
    Master master(modbus_new_tcp("127.0.0.1", serverPort()), [](modbus_t* m) {
        modbus_close(m);
        modbus_free(m);
    });
    if (master && modbus_connect(master.get()) != 0) {
        master.reset();
    }
    if (master) {
        modbus_set_slave(master.get(), 1);
        modbus_set_response_timeout(master.get(), 1, 0);
    }
    return master;
}

void BM_ReadTenRegisters(benchmark::State& state) {
    const Master master = connectMaster();
    if (!master) {
        state.SkipWithError(modbus_strerror(errno));
        return;
    }
    std::array<std::uint16_t, 10> registers{};
    for (auto _ : state) {
        if (modbus_read_registers(master.get(), 0, 10, registers.data()) != 10) {
            state.SkipWithError(modbus_strerror(errno));
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void soak(benchmark::State& state, int seconds) {
    for (auto _ : state) {
        std::atomic<long> answered{0}, lost{0};
        std::vector<std::thread> clients;
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        for (int c = 0; c < soakClients; ++c) {
            clients.emplace_back([&] {
                const Master master = connectMaster();
                if (!master) {
                    lost += seconds * 1000 / soakPoll.count();
                    return;
                }
                std::array<std::uint16_t, 10> registers{};
                for (auto next = Clock::now(); next < end; next += soakPoll) {
                    std::this_thread::sleep_until(next);
                    if (modbus_read_registers(master.get(), 0, 10, registers.data()) == 10) {
                        ++answered;
                    } else {
                        ++lost;
                    }
                }
            });
        }
        for (auto& client : clients) {
            client.join();
        }
        state.counters["answered"] = static_cast<double>(answered.load());
        state.counters["lost"] = static_cast<double>(lost.load());
        state.counters["rss_MB"] = static_cast<double>(residentKilobytes()) / 1024.0;
    }
}

} // namespace

// Time per iteration is one master's round trip; with four threads items_per_second is the
// total answered.
BENCHMARK(BM_ReadTenRegisters)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadTenRegisters)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--soak" || argument.starts_with("--soak=")) {
            const int seconds = argument.size() > 7 ? std::atoi(argv[i] + 7) : defaultSoakSeconds;
            benchmark::RegisterBenchmark("BM_Soak32Clients",
                                         [seconds](benchmark::State& s) { soak(s, seconds); })
                ->Iterations(1)
                ->UseRealTime()
                ->Unit(benchmark::kSecond);
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

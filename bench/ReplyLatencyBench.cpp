// How long after a request a reply starts: Corvana's engine beside a plain libmodbus server
// (modbus_receive and modbus_reply, which does not wait t3.5 at all), on the same kind of
// pseudo-terminal, at 9600 8E1 and 115200 8N1. A pseudo-terminal moves bytes at once, so the
// time from the request's last byte to the reply's first is the server's own: for Corvana t3.5
// plus what it adds, reported as "after_t3.5". Figures are in milliseconds.
#include "ModbusCore/RTUFrame.h"
#include "ModbusCore/SerialTiming.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ServerCore/ServerEngine.h"

#include <benchmark/benchmark.h>
#include <modbus.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int requests = 1000;
constexpr int pollMilliseconds = 2000;

// A pseudo-terminal: the server opens path(), the benchmark plays the master on the controller.
struct Terminal {
    Terminal() {
        controller = FileDescriptor(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        std::array<char, 128> name{};
        if (!controller.isOpen() || ::grantpt(controller.get()) != 0 ||
            ::unlockpt(controller.get()) != 0 ||
            ::ptsname_r(controller.get(), name.data(), name.size()) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        path = name.data();
        // Held open so that the server closing its end never hangs the terminal up.
        device = FileDescriptor(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    }
    FileDescriptor controller;
    FileDescriptor device;
    std::string path;
};

// A libmodbus server on its own thread until destroyed.
class LibmodbusServer {
public:
    LibmodbusServer(const std::string& path, int baudRate) {
        context_ = modbus_new_rtu(path.c_str(), baudRate, 'N', 8, 1);
        mapping_ = modbus_mapping_new(0, 0, 100, 0);
        if (!context_ || !mapping_ || modbus_connect(context_) != 0) {
            throw std::runtime_error("libmodbus server failed");
        }
        modbus_set_slave(context_, 1);
        modbus_set_indication_timeout(context_, 0, 100000); // to notice the end
        thread_ = std::thread([this] {
            std::array<std::uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> request{};
            while (!stopping_) {
                const int length = modbus_receive(context_, request.data());
                if (length > 0) {
                    modbus_reply(context_, request.data(), length, mapping_);
                }
            }
        });
    }
    ~LibmodbusServer() {
        stopping_ = true;
        thread_.join();
        modbus_mapping_free(mapping_);
        modbus_close(context_);
        modbus_free(context_);
    }

private:
    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The master, like the engine, asks for real-time scheduling where the user may, so that a busy
// machine delays neither side; "realtime" says whether it got it.
bool makeMasterTimely() {
    sched_param parameters{};
    parameters.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
    return ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &parameters) == 0;
}

// Sends `requests` reads of 10 registers and reports the reply delays.
void measure(benchmark::State& state, int fd, double frameGap) {
    const bool realtime = makeMasterTimely();
    const Bytes readTen{0x03, 0x00, 0x00, 0x00, 0x0A};
    const Bytes request = RTUFrame::build(1, readTen);
    constexpr std::size_t replySize = 25;
    std::vector<double> delays;
    std::array<std::uint8_t, 64> buffer{};
    for (auto _ : state) {
        const auto sent = Clock::now(); // before the write: never flatters the server
        if (::write(fd, request.data(), request.size()) != ssize_t(request.size())) {
            state.SkipWithError("write failed");
            return;
        }
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, pollMilliseconds) != 1) {
            state.SkipWithError("no reply");
            return;
        }
        delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        std::size_t received = 0;
        while (received < replySize && ::poll(&readable, 1, pollMilliseconds) == 1) {
            received += std::max<ssize_t>(::read(fd, buffer.data(), buffer.size()), 0);
        }
    }
    const sched_param normal{};
    ::pthread_setschedparam(::pthread_self(), SCHED_OTHER, &normal);
    state.counters["realtime"] = realtime ? 1 : 0;
    std::sort(delays.begin(), delays.end());
    const double gap = frameGap * 1000;
    const double median = delays[delays.size() / 2];
    const double p99 = delays[delays.size() * 99 / 100];
    state.counters["median"] = median;
    state.counters["p99"] = p99;
    state.counters["min"] = delays.front();
    state.counters["max"] = delays.back();
    if (frameGap > 0) {
        state.counters["t3.5"] = gap;
        state.counters["median_after_t3.5"] = median - gap;
        state.counters["p99_after_t3.5"] = p99 - gap;
    }
}

SerialConfiguration line(int baudRate) {
    return baudRate == 9600 ? SerialConfiguration{}
                            : SerialConfiguration{.baudRate = baudRate, .parity = Parity::none};
}

void Corvana(benchmark::State& state) {
    const auto configuration = line(static_cast<int>(state.range(0)));
    Terminal terminal;
    auto store = std::make_shared<RegisterStore>();
    ServerUnit unit;
    unit.unitID = 1;
    unit.undefinedAddresses = ServerUnit::UndefinedAddresses::zero;
    store->configure({unit}, {}, true);
    ServerEngine engine(terminal.path, configuration, store, false, nullptr);
    engine.start();
    measure(state, terminal.controller.get(),
            SerialTiming::frameGap(configuration.baudRate, configuration.characterBits()));
}

void Libmodbus(benchmark::State& state) {
    Terminal terminal;
    LibmodbusServer server(terminal.path, static_cast<int>(state.range(0)));
    measure(state, terminal.controller.get(), 0);
}

BENCHMARK(Corvana)->Arg(9600)->Arg(115200)->Iterations(requests)->Unit(benchmark::kMillisecond);
BENCHMARK(Libmodbus)->Arg(9600)->Arg(115200)->Iterations(requests)->Unit(benchmark::kMillisecond);

} // namespace

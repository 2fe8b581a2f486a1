#include "Corvana/model/LogLines.h"
#include "Corvana/model/ModelDialogs.h"
#include "Corvana/model/PortScanner.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/log/LogArea.h"
#include "Corvana/ui/log/LogTextView.h"
#include "Corvana/ui/log/ShowLogPreference.h"
#include "Corvana/ui/window/MainWindow.h"

#include "ModbusSerial/VirtualPortPair.h"

#include "bench/BenchSupport.h"
#include "bench/QtBenchmarkMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QSettings>
#include <QTime>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <modbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int count = 0;
};

// Runs the event loop for three seconds, calling feed every 5 ms, while a 1 ms probe timer
// records how late it runs (µs): the delay any click or key press would see. The probe is
// re-armed each time, so a late probe measures one delay rather than a backlog.
std::vector<double> probeLatency(const std::function<void()>& feed) {
    std::vector<double> lateness;
    QEventLoop loop;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(5ms);
    QObject::connect(&feeder, &QTimer::timeout, feed);
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setSingleShot(true);
    QElapsedTimer armed;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        lateness.push_back(static_cast<double>(armed.nsecsElapsed()) / 1000.0 - 1000.0);
        armed.start();
        probe.start(1ms);
    });
    QTimer::singleShot(3s, &loop, &QEventLoop::quit);
    feeder.start();
    armed.start();
    probe.start(1ms);
    loop.exec();
    std::sort(lateness.begin(), lateness.end());
    return lateness;
}

void reportLatency(benchmark::State& state, const std::vector<double>& lateness) {
    state.counters["probes"] = static_cast<double>(lateness.size());
    state.counters["mean_us"] = std::accumulate(lateness.begin(), lateness.end(), 0.0) /
                                static_cast<double>(lateness.size());
    state.counters["p99_us"] = lateness[lateness.size() * 99 / 100];
    state.counters["max_us"] = lateness.back();
}

// Feeds a shown log area 2,000 lines a second, in bursts of 10 every 5 ms as the engine's
// queued events arrive, and measures how late a 1 ms probe timer runs meanwhile: the delay any
// click or key press would see. Arguments: start with an almost full log (so it trims during
// the run), autoscroll, lines per burst.
void logLatency(benchmark::State& state) {
    const bool prefilled = state.range(0) != 0;
    const bool autoscroll = state.range(1) != 0;
    const auto burst = static_cast<int>(state.range(2));
    const std::vector<ServerEvent> events = busTraffic();
    const std::vector<ServerUnit> units(1);
    const SerialConfiguration serial;
    const QString path = QStringLiteral("/dev/ttyUSB0");
    const LogLines::Options options{.showRawFrames = false, .showBusTraffic = true};

    DecliningDialogs dialogs;
    // Not initialised: no preferences, project or port scanner, only the log.
    ServerModel model(std::make_unique<NoPorts>(), dialogs);
    model.setPersistent(false);
    LogBuffer& buffer = model.logBuffer();
    std::size_t next = 0;
    auto appendLine = [&] {
        std::optional<LogLine> line =
            LogLines::forEvent(events[next], options, path, serial, units);
        next = (next + 1) % events.size();
        line->prepend({LogSegment::Kind::timestamp, LogLines::timestampText(QTime::currentTime())});
        buffer.append(*line);
    };
    if (prefilled) {
        while (buffer.length() < LogBuffer::maxCharacters - 100'000) {
            appendLine();
        }
    }
    buffer.setAutoscroll(autoscroll);

    // Connected before and after the view's own slot: the time the view spends on a trim.
    QElapsedTimer trimming;
    double trimMs = 0;
    QObject::connect(&buffer, &LogBuffer::trimmed, [&trimming](qsizetype) { trimming.start(); });
    QElapsedTimer building;
    building.start();
    LogArea area(model);
    area.resize(1000, 400);
    area.show();
    QCoreApplication::processEvents();
    const double buildMs = static_cast<double>(building.nsecsElapsed()) / 1e6;

    std::int64_t lines = 0;
    std::int64_t trims = 0;
    QObject::connect(&buffer, &LogBuffer::trimmed, [&](qsizetype) {
        ++trims;
        trimMs = std::max(trimMs, static_cast<double>(trimming.nsecsElapsed()) / 1e6);
    });
    PaintCounter paints;
    area.textView()->viewport()->installEventFilter(&paints);
    std::vector<double> lateness;
    for (auto _ : state) {
        lateness = probeLatency([&] {
            for (int i = 0; i < burst; ++i) {
                appendLine();
            }
            lines += burst;
        });
    }

    state.counters["lines"] = static_cast<double>(lines);
    state.counters["trims"] = static_cast<double>(trims);
    state.counters["paints"] = static_cast<double>(paints.count);
    state.counters["trim_ms"] = trimMs;
    state.counters["build_ms"] = buildMs;
    reportLatency(state, lateness);
}

// A master that polls ten holding registers as fast as the server answers, until stopped.
class BusyMaster {
public:
    explicit BusyMaster(const std::string& path)
        : thread_([this, path] { run(path); }) {}
    ~BusyMaster() {
        stop_ = true;
        thread_.join();
    }
    std::int64_t polls() const { return polls_; }

private:
    void run(const std::string& path) {
        modbus_t* bus = modbus_new_rtu(path.c_str(), 115200, 'E', 8, 1);
        if (bus == nullptr || modbus_connect(bus) != 0) {
            return;
        }
        modbus_set_slave(bus, 1);
        modbus_set_response_timeout(bus, 0, 200'000);
        std::uint16_t registers[10];
        while (!stop_) {
            polls_ += modbus_read_registers(bus, 0, 2, registers) > 0 ? 1 : 0;
        }
        modbus_close(bus);
        modbus_free(bus);
    }

    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> polls_{0};
    std::thread thread_;
};

// The whole main window with its log shown, serving a virtual port pair to a master that polls as
// fast as the server answers, while more lines arrive through the model until the log grows by
// 2,000 lines a second in all: how late a 1 ms probe timer runs.
void windowLatency(benchmark::State& state) {
    QSettings().setValue(ShowLogPreference::key, true);
    VirtualPortPair pair;
    DecliningDialogs dialogs;
    ServerModel model(std::make_unique<NoPorts>(), dialogs);
    model.setPersistent(false);
    model.init();
    SerialConfiguration serial = model.serial();
    serial.baudRate = 115200;
    model.setSerial(serial);
    model.setSelectedPath(QString::fromStdString(pair.serverPath()));
    MainWindow window(model);
    window.show();
    QCoreApplication::processEvents();
    model.start();

    const std::vector<ServerEvent> events = busTraffic();
    std::size_t next = 0;
    std::vector<double> lateness;
    std::int64_t before = 0;
    std::int64_t extra = 0;
    BusyMaster master(pair.masterPath());
    for (auto _ : state) {
        QElapsedTimer running;
        running.start();
        before =
            static_cast<std::int64_t>(model.statistics().requests + model.statistics().responses);
        lateness = probeLatency([&] {
            // Top the master's traffic up to 2,000 lines a second.
            const auto served = static_cast<std::int64_t>(model.statistics().requests +
                                                          model.statistics().responses) -
                                before;
            for (const auto wanted = running.elapsed() * 2; served + extra < wanted; ++extra) {
                model.handleEvent(events[next]);
                next = (next + 1) % events.size();
            }
        });
    }
    const auto served =
        static_cast<std::int64_t>(model.statistics().requests + model.statistics().responses) -
        before;
    model.stop();

    state.counters["master_lines"] = static_cast<double>(served);
    state.counters["extra_lines"] = static_cast<double>(extra);
    reportLatency(state, lateness);
}

BENCHMARK(windowLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK(logLatency)
    ->Args({0, 1, 0}) // the probe alone: the machine's own timer latency
    ->Args({0, 1, 10})
    ->Args({1, 1, 10})
    ->Args({1, 0, 10})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runQtBenchmarks<QApplication>(argc, argv, "LogViewBench");
}

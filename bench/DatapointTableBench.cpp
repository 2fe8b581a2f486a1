#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/table/DatapointTableModel.h"
#include "Corvana/ui/table/DatapointTableView.h"

#include "bench/BenchSupport.h"
#include "bench/QtBenchmarkMain.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int datapointCount = 10'000;

// A pseudo-terminal standing in for the adapter, so the server (and its simulation) can run.
class Terminal {
public:
    Terminal() {
        controller_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        std::array<char, 128> name{};
        if (controller_ >= 0 && ::grantpt(controller_) == 0 && ::unlockpt(controller_) == 0 &&
            ::ptsname_r(controller_, name.data(), name.size()) == 0) {
            path_ = name.data();
            device_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        }
    }
    ~Terminal() {
        for (const int fd : {device_, controller_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    const std::string& path() const { return path_; }

private:
    int controller_ = -1;
    int device_ = -1;
    std::string path_;
};

// One unit of 10,000 holding registers of four types; four in five are simulated, most of them
// with shapes that move at every tick.
std::vector<Datapoint> bigUnit() {
    constexpr std::array<DataType::Value, 4> types = {DataType::uint16, DataType::int16,
                                                      DataType::float32, DataType::uint32};
    constexpr std::array<Simulation::Kind::Value, 5> kinds = {
        Simulation::Kind::sine, Simulation::Kind::ramp, Simulation::Kind::counter,
        Simulation::Kind::random, Simulation::Kind::none};
    std::vector<Datapoint> points;
    points.reserve(datapointCount);
    for (int i = 0; i < datapointCount; ++i) {
        Datapoint p;
        p.name = "Point " + std::to_string(i);
        p.address = static_cast<std::uint16_t>(i * 4);
        p.dataType = types[static_cast<std::size_t>(i) % types.size()];
        p.scale = p.dataType == DataType::int16 ? 0.1 : 1.0;
        p.simulation = {kinds[static_cast<std::size_t>(i) % kinds.size()], 0, 1000,
                        static_cast<double>(1 + i % 60)};
        points.push_back(p);
    }
    return points;
}

// A running model with the big unit selected; the simulation runs on a clock the benchmark moves.
class Fixture {
public:
    Fixture()
        : model(std::make_unique<NoPorts>(), dialogs) {
        model.setPersistent(false);
        model.setClock([this] { return now; });
        model.init();
        ServerUnit unit;
        unit.unitID = 1;
        model.setUnits({unit});
        model.setDatapoints(bigUnit());
        model.setSelectedUnitID(1);
        model.setSelectedPath(QString::fromStdString(terminal.path()));
        model.start();
        // The engine reports that it runs through the event loop.
        const auto giveUp = std::chrono::steady_clock::now() + 5s;
        while (model.state() != ServerState::running && !model.errorMessage() &&
               std::chrono::steady_clock::now() < giveUp) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        for (QTimer* timer : model.findChildren<QTimer*>()) {
            if (!timer->isSingleShot()) {
                simulationTimer = timer;
            }
        }
    }
    ~Fixture() { model.stop(); }

    // One tick as the running timer would fire it, 0.2 s later than the last.
    void tick() {
        now += 200ms;
        QMetaObject::invokeMethod(simulationTimer, "timeout");
    }

    bool running() const {
        return model.state() == ServerState::running && simulationTimer != nullptr;
    }

    Terminal terminal;
    DecliningDialogs dialogs;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    ServerModel model;
    QTimer* simulationTimer = nullptr;
};

// The model alone: the baseline the table's share is measured against.
void BM_TickModelOnly(benchmark::State& state) {
    Fixture fixture;
    if (!fixture.running()) {
        state.SkipWithError("the server did not start");
        return;
    }
    for (auto _ : state) {
        fixture.tick();
    }
}
BENCHMARK(BM_TickModelOnly)->Unit(benchmark::kMicrosecond);

// The model's tick with the table model's comparison pass and its dataChanged signals.
void BM_TickWithTableModel(benchmark::State& state) {
    Fixture fixture;
    if (!fixture.running()) {
        state.SkipWithError("the server did not start");
        return;
    }
    DatapointTableModel rows(fixture.model);
    std::int64_t signalCount = 0;
    QObject::connect(&rows, &QAbstractItemModel::dataChanged, [&] { ++signalCount; });
    for (auto _ : state) {
        fixture.tick();
    }
    state.counters["rows"] = rows.rowCount();
    state.counters["signalsPerTick"] = benchmark::Counter(static_cast<double>(signalCount) /
                                                          static_cast<double>(state.iterations()));
}
BENCHMARK(BM_TickWithTableModel)->Unit(benchmark::kMicrosecond);

// The tick as the user sees it: the shown table takes the signals and repaints its page.
void BM_TickWithShownTable(benchmark::State& state) {
    Fixture fixture;
    if (!fixture.running()) {
        state.SkipWithError("the server did not start");
        return;
    }
    DatapointTableView view(fixture.model);
    view.resize(1400, 800);
    view.show();
    QApplication::processEvents();
    for (auto _ : state) {
        fixture.tick();
        QApplication::processEvents(); // the repaint the signals asked for
    }
}
BENCHMARK(BM_TickWithShownTable)->Unit(benchmark::kMicrosecond);

// Scrolling the shown table one page down (wrapping at the end) and painting the new page.
void BM_ScrollOnePage(benchmark::State& state) {
    Fixture fixture;
    if (!fixture.running()) {
        state.SkipWithError("the server did not start");
        return;
    }
    DatapointTableView view(fixture.model);
    view.resize(1400, 800);
    view.show();
    QApplication::processEvents();
    QScrollBar* bar = view.verticalScrollBar();
    for (auto _ : state) {
        const int next = bar->value() + bar->pageStep();
        bar->setValue(next > bar->maximum() ? 0 : next);
        view.viewport()->repaint();
    }
    state.counters["rowsPerPage"] = view.rowAt(view.viewport()->height() - 1) - view.rowAt(0) + 1;
}
BENCHMARK(BM_ScrollOnePage)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return runQtBenchmarks<QApplication>(argc, argv, "DatapointTableBench");
}

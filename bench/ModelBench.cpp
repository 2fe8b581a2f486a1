#include "Corvana/model/ServerModel.h"

#include "ModbusCore/RTUFrame.h"

#include "bench/BenchSupport.h"
#include "bench/QtBenchmarkMain.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

std::unique_ptr<ServerModel> makeModel(DecliningDialogs& dialogs) {
    auto model = std::make_unique<ServerModel>(std::make_unique<NoPorts>(), dialogs);
    model->init();
    return model;
}

// 10 units with 1,000 datapoints each: uint16 and float32 holding registers, uint32 input
// registers and coils.
void fillProject(ServerModel& model) {
    std::vector<ServerUnit> units;
    std::vector<Datapoint> points;
    for (int id = 1; id <= 10; ++id) {
        ServerUnit unit;
        unit.unitID = static_cast<std::uint8_t>(id);
        units.push_back(unit);
        for (int i = 0; i < 1000; ++i) {
            Datapoint p;
            p.unitID = unit.unitID;
            p.value = i;
            switch (i % 4) {
            case 0:
                p.address = static_cast<std::uint16_t>(i * 2);
                break;
            case 1:
                p.address = static_cast<std::uint16_t>(i * 2);
                p.dataType = DataType::float32;
                break;
            case 2:
                p.table = RegisterTable::inputRegister;
                p.address = static_cast<std::uint16_t>(i * 2);
                p.dataType = DataType::uint32;
                break;
            default:
                p.table = RegisterTable::coil;
                p.dataType = DataType::bool_;
                p.address = static_cast<std::uint16_t>(i);
                break;
            }
            points.push_back(p);
        }
    }
    model.setUnits(units);
    model.setDatapoints(points);
}

void BM_Refresh10000Datapoints(benchmark::State& state) {
    DecliningDialogs dialogs;
    auto model = makeModel(dialogs);
    fillProject(*model);
    for (auto _ : state) {
        model->refresh();
    }
    state.counters["datapoints"] = static_cast<double>(model->datapoints().size());
}
BENCHMARK(BM_Refresh10000Datapoints)->Unit(benchmark::kMillisecond);

// One request and one response line per iteration, timestamps and raw frames on, through
// handleEvent into the buffer; the log passes its limit again and again, so trims are included.
void BM_EventLines(benchmark::State& state) {
    DecliningDialogs dialogs;
    auto model = makeModel(dialogs);
    model->setShowTimestamps(true);
    model->setShowRawFrames(true);
    const Bytes request{0x03, 0x00, 0x00, 0x00, 0x0A};
    Bytes response{0x03, 0x14};
    response.resize(22, 0x5A);
    const auto requestEvent = ServerEvent::request(1, request, RTUFrame::build(1, request));
    const auto responseEvent =
        ServerEvent::response(1, response, RTUFrame::build(1, response), false);
    for (auto _ : state) {
        model->handleEvent(requestEvent);
        model->handleEvent(responseEvent);
    }
    state.SetItemsProcessed(state.iterations() * 2);
    state.counters["logLength"] = static_cast<double>(model->logBuffer().length());
}
BENCHMARK(BM_EventLines)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    return runQtBenchmarks<QCoreApplication>(argc, argv, "ModelBench");
}

// The TCP listener's own cost, with libmodbus TCP masters on loopback reading 10 registers in a
// tight loop through a handler that answers at once: the round trip of one master, and the
// requests answered per second by four masters at once. The engine's work comes on top.
#include "ModbusCore/MBAPFrame.h"
#include "ServerCore/TCPListener.h"

#include <benchmark/benchmark.h>
#include <modbus.h>

#include <array>
#include <cerrno>
#include <memory>
#include <mutex>

namespace {

TCPReply answerRead(const TCPRequest& request) {
    const std::uint16_t count = readUInt16(request.frame.pdu, 3);
    Bytes pdu{0x03, static_cast<std::uint8_t>(2 * count)};
    pdu.resize(pdu.size() + 2U * count, 0x5A);
    return {.chunks = {{MBAPFrame::buildReply(*request.frame.header, pdu), {}}}, .done = {}};
}

// One listener for every benchmark and thread, for the whole run.
std::uint16_t listenerPort() {
    static const auto listener = [] {
        auto started = std::make_unique<TCPListener>(TCPListenerSettings{}, answerRead, nullptr);
        started->start();
        return started;
    }();
    return listener->port();
}

void BM_ReadTenRegisters(benchmark::State& state) {
    static std::mutex setup; // libmodbus contexts are made one at a time
    modbus_t* master = nullptr;
    {
        std::lock_guard guard(setup);
        master = modbus_new_tcp("127.0.0.1", listenerPort());
    }
    if (master == nullptr || modbus_connect(master) != 0) {
        state.SkipWithError(modbus_strerror(errno));
        return;
    }
    modbus_set_slave(master, 1);
    std::array<std::uint16_t, 10> registers{};
    for (auto _ : state) {
        if (modbus_read_registers(master, 0, 10, registers.data()) != 10) {
            state.SkipWithError(modbus_strerror(errno));
            break;
        }
    }
    modbus_close(master);
    modbus_free(master);
    state.SetItemsProcessed(state.iterations());
}

} // namespace

// Time per iteration is one master's round trip; with four threads items_per_second is the
// total answered.
BENCHMARK(BM_ReadTenRegisters)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadTenRegisters)->Threads(4)->UseRealTime();

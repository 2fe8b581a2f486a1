#include "ModbusCore/MBAPFrame.h"
#include "ModbusCore/RTUFrame.h"
#include "ModbusCore/TCPStreamSplitter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Pipelined requests of a busy master (reads of 10 registers, writes of up to 20), cut into
// reads of random size as a socket hands them over.
std::vector<Bytes> makeStream(TCPFraming framing, std::size_t requests) {
    std::mt19937 rng(20261207);
    Bytes stream;
    for (std::size_t r = 0; r < requests; ++r) {
        Bytes pdu{0x03, 0x00, 0x10, 0x00, 0x0A};
        if (rng() % 4 == 0) {
            const auto registers = static_cast<std::uint8_t>(1 + rng() % 20);
            pdu = {0x10, 0x00, 0x20, 0x00, registers, static_cast<std::uint8_t>(2 * registers)};
            pdu.resize(pdu.size() + 2U * registers, 0x5A);
        }
        const auto unit = static_cast<std::uint8_t>(1 + rng() % 8);
        const Bytes frame = framing == TCPFraming::tcp
                                ? MBAPFrame::build(static_cast<std::uint16_t>(r), unit, pdu)
                                : RTUFrame::build(unit, pdu);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::vector<Bytes> reads;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = std::min<std::size_t>(1 + rng() % 1024, stream.size() - at);
        reads.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                           stream.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return reads;
}

void splitStream(benchmark::State& state, TCPFraming framing) {
    constexpr std::size_t requests = 10000;
    const std::vector<Bytes> reads = makeStream(framing, requests);
    for (auto _ : state) {
        TCPStreamSplitter splitter(framing);
        std::size_t frames = 0;
        for (const Bytes& read : reads) {
            splitter.append(read);
            while (auto result = splitter.next()) {
                benchmark::DoNotOptimize(*result);
                ++frames;
            }
        }
        if (frames != requests) {
            state.SkipWithError("frames lost");
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * requests));
}

void BM_SplitMBAPStream(benchmark::State& state) {
    splitStream(state, TCPFraming::tcp);
}
void BM_SplitRTUOverTCPStream(benchmark::State& state) {
    splitStream(state, TCPFraming::rtuOverTCP);
}

} // namespace

BENCHMARK(BM_SplitMBAPStream);
BENCHMARK(BM_SplitRTUOverTCPStream);

#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/RTUFrame.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// One read of the engine: bytes, or none (the read timed out), with the silence it implies.
struct Read {
    Bytes bytes;
    bool longSilence = false;
};

Bytes pdu(std::initializer_list<std::uint8_t> head, std::size_t extra, std::mt19937& rng) {
    Bytes bytes(head);
    for (std::size_t i = 0; i < extra; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(rng()));
    }
    return bytes;
}

// A busy shared bus: a master polling several units, the answers of other slaves, exceptions,
// and now and then a burst of noise, delivered in reads of random size.
std::vector<Read> makeTraffic(std::size_t messages) {
    std::mt19937 rng(20240607);
    std::vector<Read> reads;
    for (std::size_t m = 0; m < messages; ++m) {
        const auto unit = static_cast<std::uint8_t>(1 + rng() % 8);
        Bytes frame;
        switch (rng() % 8) {
        case 0:
        case 1:
            frame = RTUFrame::build(unit, pdu({0x03, 0x00, 0x10, 0x00, 0x0A}, 0, rng));
            break;
        case 2: {
            const auto count = static_cast<std::uint8_t>(2 * (1 + rng() % 60));
            frame = RTUFrame::build(unit, pdu({0x03, count}, count, rng));
            break;
        }
        case 3:
            frame = RTUFrame::build(unit, pdu({0x06, 0x00, 0x01}, 2, rng));
            break;
        case 4: {
            const auto registers = static_cast<std::uint8_t>(1 + rng() % 20);
            const auto count = static_cast<std::uint8_t>(2 * registers);
            frame =
                RTUFrame::build(unit, pdu({0x10, 0x00, 0x20, 0x00, registers, count}, count, rng));
            break;
        }
        case 5:
            frame = RTUFrame::build(unit, pdu({0x01, 0x00, 0x00, 0x00, 0x20}, 0, rng));
            break;
        case 6:
            frame = RTUFrame::build(unit, pdu({0x83, 0x02}, 0, rng));
            break;
        default:
            frame = pdu({}, 1 + rng() % 4, rng); // noise
            break;
        }
        for (std::size_t at = 0; at < frame.size();) {
            const std::size_t size = std::min<std::size_t>(frame.size() - at, 1 + rng() % 32);
            reads.push_back({Bytes(frame.begin() + at, frame.begin() + at + size)});
            at += size;
        }
        // Most frames are followed by a read that times out; some come back to back.
        if (rng() % 4 != 0) {
            reads.push_back({});
        }
        if (rng() % 16 == 0) {
            reads.push_back({{}, true});
        }
    }
    return reads;
}

void BM_FrameSplitterMixedTraffic(benchmark::State& state) {
    const auto reads = makeTraffic(static_cast<std::size_t>(state.range(0)));
    std::size_t bytesPerPass = 0;
    for (const Read& read : reads) {
        bytesPerPass += read.bytes.size();
    }
    std::size_t frames = 0;
    for (auto _ : state) {
        FrameSplitter splitter;
        for (const Read& read : reads) {
            splitter.append(read.bytes);
            const bool lineIdle = read.bytes.empty();
            while (auto frame = splitter.nextFrame(lineIdle, read.longSilence)) {
                benchmark::DoNotOptimize(frame->bytes.data());
                ++frames;
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytesPerPass * state.iterations()));
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameSplitterMixedTraffic)->Arg(2000);

// Worst case of one call: a full buffer of noise with no frame in it, closed by silence.
void BM_FrameSplitterNoiseResync(benchmark::State& state) {
    std::mt19937 rng(7);
    Bytes noise(FrameSplitter::maxBuffered);
    for (auto& byte : noise) {
        byte = static_cast<std::uint8_t>(rng());
    }
    for (auto _ : state) {
        FrameSplitter splitter;
        splitter.append(noise);
        while (auto frame = splitter.nextFrame(true, true)) {
            benchmark::DoNotOptimize(frame->bytes.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(noise.size() * state.iterations()));
}
BENCHMARK(BM_FrameSplitterNoiseResync);

} // namespace

// Feeds the splitter reads of fuzzer-chosen sizes and silence flags and checks its invariants.
// Input: a sequence of chunks, each a header byte followed by its bytes. Header bits 0–5 give
// the length (63 means 63 + 8 × the next byte, to reach the overflow cut in one read), bit 6
// sets lineIdle (always set for an empty read), bit 7 sets longSilence.

#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/RTUFrame.h"

#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::ptrdiff_t pendingFrom(std::size_t emitted) {
    return static_cast<std::ptrdiff_t>(emitted);
}

struct Chunk {
    ByteView bytes;
    bool lineIdle;
    bool longSilence;
};

// Splits off the next chunk; the last one may be shorter than its header asks.
Chunk nextChunk(const std::uint8_t*& data, std::size_t& size) {
    const std::uint8_t header = data[0];
    ++data;
    --size;
    std::size_t length = header & 0x3F;
    if (length == 0x3F && size > 0) {
        length += std::size_t{data[0]} * 8;
        ++data;
        --size;
    }
    length = std::min(length, size);
    Chunk chunk{ByteView(data, length), length == 0 || (header & 0x40) != 0, (header & 0x80) != 0};
    data += length;
    size -= length;
    return chunk;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FrameSplitter splitter;
    Bytes accepted; // every byte appended, minus those the overflow cut dropped
    std::size_t emitted = 0;

    while (size > 0) {
        const Chunk chunk = nextChunk(data, size);

        const std::size_t before = splitter.buffer().size();
        splitter.append(chunk.bytes);
        const std::size_t after = splitter.buffer().size();
        FUZZ_CHECK(after <= FrameSplitter::maxBuffered);
        FUZZ_CHECK(after <= before + chunk.bytes.size());
        accepted.insert(accepted.end(), chunk.bytes.begin(), chunk.bytes.end());
        const std::size_t dropped = before + chunk.bytes.size() - after;
        if (dropped > 0) {
            FUZZ_CHECK(after == FrameSplitter::keptAfterOverflow);
            // The oldest pending bytes go first.
            const auto from = accepted.begin() + pendingFrom(emitted);
            accepted.erase(from, from + static_cast<std::ptrdiff_t>(dropped));
        }

        for (std::size_t calls = 0;; ++calls) {
            FUZZ_CHECK(calls <= FrameSplitter::maxBuffered);
            const std::size_t pending = splitter.buffer().size();
            const auto frame = splitter.nextFrame(chunk.lineIdle, chunk.longSilence);
            if (!frame) {
                break;
            }
            const Bytes& bytes = frame->bytes;
            FUZZ_CHECK(!bytes.empty());
            FUZZ_CHECK(splitter.buffer().size() + bytes.size() == pending);
            FUZZ_CHECK(emitted + bytes.size() <= accepted.size());
            FUZZ_CHECK(
                std::equal(bytes.begin(), bytes.end(), accepted.begin() + pendingFrom(emitted)));
            emitted += bytes.size();

            switch (frame->kind) {
            case FrameSplitter::Frame::Kind::request:
                FUZZ_CHECK(RTUFrame::hasValidCRC(bytes));
                // While bytes arrive only the implied length can close a frame.
                FUZZ_CHECK(chunk.lineIdle ||
                           FrameSplitter::expectedRequestLength(bytes) == bytes.size());
                break;
            case FrameSplitter::Frame::Kind::response:
                FUZZ_CHECK(RTUFrame::hasValidCRC(bytes));
                FUZZ_CHECK(FrameSplitter::expectedResponseLength(bytes) == bytes.size());
                break;
            case FrameSplitter::Frame::Kind::garbage:
                FUZZ_CHECK(chunk.lineIdle); // nothing is discarded while bytes keep arriving
                break;
            }
        }

        // What is left is exactly what was accepted and not yet handed out.
        FUZZ_CHECK(emitted + splitter.buffer().size() == accepted.size());
        FUZZ_CHECK(std::equal(splitter.buffer().begin(), splitter.buffer().end(),
                              accepted.begin() + pendingFrom(emitted)));
        // After a long silence every byte has been placed.
        if (chunk.lineIdle && chunk.longSilence) {
            FUZZ_CHECK(splitter.buffer().empty());
        }
    }
    return 0;
}

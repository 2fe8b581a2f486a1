// Feeds a TCP stream splitter reads of fuzzer-chosen sizes and checks that every frame it hands
// out is exactly the next bytes of the stream and well formed, and that a fault ends the stream.
// Input: one byte choosing the framing (bit 0: RTU over TCP), then chunks, each a header byte
// followed by its bytes. Header bits 0–6 give the length (127 means 127 + 32 × the next byte, to
// reach the buffer's limit in one read); bit 7 offers the chunk whole even beyond room().

#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/MBAPFrame.h"
#include "ModbusCore/RTUFrame.h"
#include "ModbusCore/TCPStreamSplitter.h"

#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <variant>

namespace {

struct Chunk {
    ByteView bytes;
    bool beyondRoom;
};

// Splits off the next chunk; the last one may be shorter than its header asks.
Chunk nextChunk(const std::uint8_t*& data, std::size_t& size) {
    const std::uint8_t header = data[0];
    ++data;
    --size;
    std::size_t length = header & 0x7F;
    if (length == 0x7F && size > 0) {
        length += std::size_t{data[0]} * 32;
        ++data;
        --size;
    }
    length = std::min(length, size);
    Chunk chunk{ByteView(data, length), (header & 0x80) != 0};
    data += length;
    size -= length;
    return chunk;
}

void checkFrame(TCPFraming framing, const TCPStreamSplitter::Frame& frame) {
    const Bytes& bytes = frame.bytes;
    if (framing == TCPFraming::tcp) {
        FUZZ_CHECK(frame.header.has_value());
        FUZZ_CHECK(MBAPFrame::parseHeader(bytes) == frame.header);
        FUZZ_CHECK(frame.header->protocolID == MBAPFrame::modbusProtocol);
        FUZZ_CHECK(frame.header->length >= MBAPFrame::minLength &&
                   frame.header->length <= MBAPFrame::maxLength);
        FUZZ_CHECK(bytes.size() == MBAPFrame::unitOffset + frame.header->length);
        FUZZ_CHECK(frame.unit == frame.header->unit);
        FUZZ_CHECK(std::equal(frame.pdu.begin(), frame.pdu.end(),
                              bytes.begin() + MBAPFrame::headerSize, bytes.end()));
    } else {
        FUZZ_CHECK(!frame.header.has_value());
        FUZZ_CHECK(RTUFrame::hasValidCRC(bytes));
        FUZZ_CHECK(FrameSplitter::expectedRequestLength(bytes) == bytes.size());
        FUZZ_CHECK(frame.unit == bytes[0]);
        FUZZ_CHECK(frame.pdu.size() + 3 == bytes.size());
        FUZZ_CHECK(std::equal(frame.pdu.begin(), frame.pdu.end(), bytes.begin() + 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const TCPFraming framing = (data[0] & 1) != 0 ? TCPFraming::rtuOverTCP : TCPFraming::tcp;
    ++data;
    --size;
    TCPStreamSplitter splitter(framing);
    Bytes stream; // every byte the splitter took
    std::size_t emitted = 0;
    bool faulted = false;

    while (size > 0) {
        Chunk chunk = nextChunk(data, size);
        const std::size_t room = splitter.room();
        FUZZ_CHECK(splitter.failed() ? room == 0
                                     : room + splitter.pending() == TCPStreamSplitter::maxBuffered);
        if (!chunk.beyondRoom) {
            chunk.bytes = chunk.bytes.first(std::min(chunk.bytes.size(), room));
        }
        const bool overflows = chunk.bytes.size() > room && !splitter.failed();
        splitter.append(chunk.bytes);
        if (!splitter.failed()) {
            stream.insert(stream.end(), chunk.bytes.begin(), chunk.bytes.end());
        }
        FUZZ_CHECK(splitter.pending() <= TCPStreamSplitter::maxBuffered);

        for (std::size_t calls = 0;; ++calls) {
            FUZZ_CHECK(calls <= TCPStreamSplitter::maxBuffered);
            const auto result = splitter.next();
            if (!result) {
                break;
            }
            FUZZ_CHECK(!faulted); // nothing after the fault
            if (const auto* fault = std::get_if<TCPStreamSplitter::Fault>(&*result)) {
                faulted = true;
                FUZZ_CHECK(splitter.failed());
                FUZZ_CHECK(splitter.pending() == 0);
                FUZZ_CHECK((fault->reason == TCPStreamSplitter::Fault::Reason::overflow) ==
                           overflows);
                continue;
            }
            const auto& frame = std::get<TCPStreamSplitter::Frame>(*result);
            checkFrame(framing, frame);
            FUZZ_CHECK(emitted + frame.bytes.size() <= stream.size());
            FUZZ_CHECK(std::equal(frame.bytes.begin(), frame.bytes.end(),
                                  stream.begin() + static_cast<std::ptrdiff_t>(emitted)));
            emitted += frame.bytes.size();
        }
        FUZZ_CHECK(splitter.failed() == faulted);
        // Without a fault, what is held is exactly the stream not yet handed out.
        if (!faulted) {
            FUZZ_CHECK(emitted + splitter.pending() == stream.size());
        }
    }
    return 0;
}

#include "ModbusCore/TCPStreamSplitter.h"

#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/RTUFrame.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t addressSize = 1;
constexpr std::size_t crcSize = 2;

// Enough bytes for the longest look FrameSplitter takes into a request (the byte count of
// function 23 at offset 10).
constexpr std::size_t longestLengthProbe = 11;

// Whether the function code implies a request length at all, however many bytes have come.
bool hasRequestLength(std::uint8_t functionCode) {
    std::array<std::uint8_t, longestLengthProbe> probe{};
    probe[1] = functionCode;
    return FrameSplitter::expectedRequestLength(probe).has_value();
}

} // namespace

std::size_t TCPStreamSplitter::room() const {
    return failed_ ? 0 : maxBuffered - pending();
}

void TCPStreamSplitter::append(ByteView bytes) {
    if (failed_ || bytes.empty()) {
        return;
    }
    if (bytes.size() > room()) {
        // Reported by the next call of next().
        fault_ = Fault{.reason = Fault::Reason::overflow,
                       .value = static_cast<std::uint32_t>(bytes.size() - room()),
                       .bytes = {}};
        fail(*fault_);
        return;
    }
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<TCPStreamSplitter::Result> TCPStreamSplitter::next() {
    if (fault_) {
        Fault fault = std::move(*fault_);
        fault_.reset();
        return fault;
    }
    if (failed_) {
        return std::nullopt;
    }
    return framing_ == TCPFraming::tcp ? nextMBAP() : nextRTU();
}

std::optional<TCPStreamSplitter::Result> TCPStreamSplitter::nextMBAP() {
    const ByteView held = ByteView(buffer_).subspan(start_);
    // Each field is judged as soon as it is in, so a stream of nonsense ends early.
    if (held.size() >= MBAPFrame::protocolOffset + 2) {
        const std::uint16_t protocol = readUInt16(held, MBAPFrame::protocolOffset);
        if (protocol != MBAPFrame::modbusProtocol) {
            return fail(
                {.reason = Fault::Reason::protocolID,
                 .value = protocol,
                 .bytes = Bytes(held.begin(), held.begin() + MBAPFrame::protocolOffset + 2)});
        }
    }
    if (held.size() >= MBAPFrame::lengthOffset + 2) {
        const std::uint16_t length = readUInt16(held, MBAPFrame::lengthOffset);
        if (length < MBAPFrame::minLength || length > MBAPFrame::maxLength) {
            return fail({.reason = Fault::Reason::length,
                         .value = length,
                         .bytes = Bytes(held.begin(), held.begin() + MBAPFrame::lengthOffset + 2)});
        }
    }
    const auto header = MBAPFrame::parseHeader(held);
    if (!header || held.size() < MBAPFrame::unitOffset + header->length) {
        return std::nullopt;
    }
    Frame frame{.unit = header->unit,
                .pdu = {},
                .bytes = take(MBAPFrame::unitOffset + header->length),
                .header = header};
    frame.pdu.assign(frame.bytes.begin() + MBAPFrame::headerSize, frame.bytes.end());
    return frame;
}

std::optional<TCPStreamSplitter::Result> TCPStreamSplitter::nextRTU() {
    const ByteView held = ByteView(buffer_).subspan(start_);
    if (held.size() < 2) {
        return std::nullopt;
    }
    // Found by length as on the line; without silence an unknown code cannot be waited out.
    if (!hasRequestLength(held[1])) {
        return fail({.reason = Fault::Reason::unknownFunction,
                     .value = held[1],
                     .bytes = Bytes(held.begin(), held.begin() + 2)});
    }
    const auto length = FrameSplitter::expectedRequestLength(held);
    if (!length || held.size() < *length) {
        return std::nullopt;
    }
    if (!RTUFrame::hasValidCRC(held.first(*length))) {
        return fail(
            {.reason = Fault::Reason::badCRC,
             .value = held[1],
             .bytes = Bytes(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(*length))});
    }
    Frame frame{.unit = held[0], .pdu = {}, .bytes = take(*length), .header = std::nullopt};
    frame.pdu.assign(frame.bytes.begin() + addressSize, frame.bytes.end() - crcSize);
    return frame;
}

TCPStreamSplitter::Result TCPStreamSplitter::fail(Fault fault) {
    failed_ = true;
    buffer_.clear();
    start_ = 0;
    return fault;
}

Bytes TCPStreamSplitter::take(std::size_t count) {
    const auto from = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
    Bytes bytes(from, from + static_cast<std::ptrdiff_t>(count));
    start_ += count;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return bytes;
}

#include "ModbusCore/FrameSplitter.h"

#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"

void FrameSplitter::append(ByteView bytes) {
    if (bytes.empty()) {
        return;
    }
    // Reserved once so that appending and taking frames never reallocate.
    if (buffer_.capacity() < maxBuffered) {
        buffer_.reserve(maxBuffered);
    }
    if (buffer_.size() + bytes.size() <= maxBuffered) {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return;
    }
    // Overflow: keep only the newest bytes, cut to well below the cap so that the next reads fit.
    if (bytes.size() >= keptAfterOverflow) {
        buffer_.assign(bytes.end() - static_cast<std::ptrdiff_t>(keptAfterOverflow), bytes.end());
        return;
    }
    const std::size_t keepOld = keptAfterOverflow - bytes.size();
    buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<std::ptrdiff_t>(keepOld));
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<std::size_t> FrameSplitter::expectedRequestLength(ByteView bytes) {
    if (bytes.size() < 2) {
        return std::nullopt;
    }
    switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
        return 8;
    case 7:
    case 11:
    case 12:
    case 17:
        return 4;
    case 15:
    case 16:
        // address, function, start, quantity, byte count, data, CRC
        if (bytes.size() < 7) {
            return std::nullopt;
        }
        return bytes[6] + std::size_t{9};
    case 22:
        return 10;
    case 23:
        // address, function, read start and quantity, write start and quantity, byte count, ...
        if (bytes.size() < 11) {
            return std::nullopt;
        }
        return bytes[10] + std::size_t{13};
    case 24:
        return 6;
    case 43:
        return 7;
    default:
        return std::nullopt;
    }
}

std::optional<std::size_t> FrameSplitter::expectedResponseLength(ByteView bytes) {
    if (bytes.size() < 2) {
        return std::nullopt;
    }
    const std::uint8_t function = bytes[1];
    if (function & Modbus::exceptionFlag) {
        return 5;
    }
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 12:
    case 17:
    case 20:
    case 21:
    case 23:
        // address, function, byte count, data, CRC
        if (bytes.size() < 3) {
            return std::nullopt;
        }
        return bytes[2] + std::size_t{5};
    case 5:
    case 6:
    case 8:
    case 11:
    case 15:
    case 16:
        return 8;
    case 7:
        return 5;
    case 22:
        return 10;
    case 24:
        // address, function, 16-bit byte count, FIFO count and values, CRC
        if (bytes.size() < 4) {
            return std::nullopt;
        }
        return std::size_t{readUInt16(bytes, 2)} + 6;
    default:
        return std::nullopt;
    }
}

namespace {

bool startsWithValidFrame(ByteView bytes, std::optional<std::size_t> length) {
    return length && bytes.size() >= *length && RTUFrame::hasValidCRC(bytes.first(*length));
}

} // namespace

std::optional<FrameSplitter::Frame> FrameSplitter::nextFrame(bool lineIdle, bool longSilence) {
    const auto take = [this](Frame::Kind kind, std::size_t count) {
        const auto end = buffer_.begin() + static_cast<std::ptrdiff_t>(count);
        Frame frame{kind, Bytes(buffer_.begin(), end)};
        buffer_.erase(buffer_.begin(), end);
        return frame;
    };

    if (buffer_.empty()) {
        return std::nullopt;
    }
    const ByteView bytes(buffer_);

    // Back-to-back frames are split by their implied lengths, whatever the silence.
    const auto requestLength = expectedRequestLength(bytes);
    if (startsWithValidFrame(bytes, requestLength)) {
        return take(Frame::Kind::request, *requestLength);
    }
    const auto responseLength = expectedResponseLength(bytes);
    if (startsWithValidFrame(bytes, responseLength)) {
        return take(Frame::Kind::response, *responseLength);
    }

    // Nothing is discarded while bytes keep arriving.
    if (!lineIdle) {
        return std::nullopt;
    }
    // A started request of a function we execute may complete within 0.1 s of silence.
    if (!longSilence && requestLength && bytes.size() < *requestLength &&
        FunctionCode::fromRaw(bytes[1])) {
        return std::nullopt;
    }
    // Any CRC-valid frame closed by silence counts as a request, whatever its function code.
    if (RTUFrame::hasValidCRC(bytes)) {
        return take(Frame::Kind::request, bytes.size());
    }
    if (bytes.size() == 1) {
        return take(Frame::Kind::garbage, 1);
    }

    // Resynchronise on the first later offset where a complete CRC-valid frame starts.
    for (std::size_t start = 1; start < bytes.size(); ++start) {
        const ByteView tail = bytes.subspan(start);
        auto candidate = expectedRequestLength(tail);
        if (!candidate) {
            candidate = expectedResponseLength(tail);
        }
        if (startsWithValidFrame(tail, candidate)) {
            return take(Frame::Kind::garbage, start);
        }
    }
    return take(Frame::Kind::garbage, bytes.size());
}

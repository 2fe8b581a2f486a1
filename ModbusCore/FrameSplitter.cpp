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

namespace {

// RTU frame layouts (Modbus application protocol V1.1b3, section 6): offsets count from the
// address byte, lengths include the CRC.
constexpr std::size_t functionOffset = 1;
constexpr std::size_t fixedRequestLength = 8;        // address, fc, two 16-bit fields, CRC
constexpr std::size_t bareRequestLength = 4;         // address, fc, CRC
constexpr std::size_t maskWriteRequestLength = 10;   // address, fc, address, AND mask, OR mask, CRC
constexpr std::size_t fifoRequestLength = 6;         // address, fc, FIFO pointer address, CRC
constexpr std::size_t encapsulatedRequestLength = 7; // address, fc, MEI type, two bytes, CRC
constexpr std::size_t multipleWriteCountOffset = 6;  // address, fc, start, quantity, byte count
constexpr std::size_t readWriteCountOffset = 10;     // address, fc, two start/quantity pairs, count

constexpr std::size_t exceptionResponseLength = 5;  // address, fc | 0x80, code, CRC
constexpr std::size_t readResponseCountOffset = 2;  // address, fc, byte count, data
constexpr std::size_t echoResponseLength = 8;       // address, fc, two 16-bit fields, CRC
constexpr std::size_t statusResponseLength = 5;     // address, fc, status byte, CRC
constexpr std::size_t maskWriteResponseLength = 10; // the request echoed
constexpr std::size_t fifoResponseCountOffset = 2;  // address, fc, 16-bit byte count, data
constexpr std::size_t fifoCountLength = 2;

// A frame whose byte count at `offset` tells the length of the data behind it.
std::optional<std::size_t> countedLength(ByteView bytes, std::size_t offset) {
    if (bytes.size() <= offset) {
        return std::nullopt;
    }
    return offset + 1 + bytes[offset] + Modbus::crcLength;
}

} // namespace

std::optional<std::size_t> FrameSplitter::expectedRequestLength(ByteView bytes) {
    if (bytes.size() <= functionOffset) {
        return std::nullopt;
    }
    using namespace OtherFunctionCode;
    switch (bytes[functionOffset]) {
    case FunctionCode::readCoils:
    case FunctionCode::readDiscreteInputs:
    case FunctionCode::readHoldingRegisters:
    case FunctionCode::readInputRegisters:
    case FunctionCode::writeSingleCoil:
    case FunctionCode::writeSingleRegister:
    case FunctionCode::diagnostics:
        return fixedRequestLength;
    case FunctionCode::readExceptionStatus:
    case FunctionCode::getCommEventCounter:
    case FunctionCode::getCommEventLog:
    case FunctionCode::reportServerID:
        return bareRequestLength;
    case FunctionCode::writeMultipleCoils:
    case FunctionCode::writeMultipleRegisters:
        return countedLength(bytes, multipleWriteCountOffset);
    case FunctionCode::maskWriteRegister:
        return maskWriteRequestLength;
    case FunctionCode::readWriteMultipleRegisters:
        return countedLength(bytes, readWriteCountOffset);
    case FunctionCode::readFIFOQueue:
        return fifoRequestLength;
    case FunctionCode::encapsulatedInterface:
        return encapsulatedRequestLength;
    default:
        return std::nullopt;
    }
}

std::optional<std::size_t> FrameSplitter::expectedResponseLength(ByteView bytes) {
    if (bytes.size() <= functionOffset) {
        return std::nullopt;
    }
    const std::uint8_t function = bytes[functionOffset];
    if (function & Modbus::exceptionFlag) {
        return exceptionResponseLength;
    }
    using namespace OtherFunctionCode;
    switch (function) {
    case FunctionCode::readCoils:
    case FunctionCode::readDiscreteInputs:
    case FunctionCode::readHoldingRegisters:
    case FunctionCode::readInputRegisters:
    case FunctionCode::getCommEventLog:
    case FunctionCode::reportServerID:
    case readFileRecord:
    case writeFileRecord:
    case FunctionCode::readWriteMultipleRegisters:
        return countedLength(bytes, readResponseCountOffset);
    case FunctionCode::writeSingleCoil:
    case FunctionCode::writeSingleRegister:
    case FunctionCode::diagnostics:
    case FunctionCode::getCommEventCounter:
    case FunctionCode::writeMultipleCoils:
    case FunctionCode::writeMultipleRegisters:
        return echoResponseLength;
    case FunctionCode::readExceptionStatus:
        return statusResponseLength;
    case FunctionCode::maskWriteRegister:
        return maskWriteResponseLength;
    case FunctionCode::readFIFOQueue:
        if (bytes.size() < fifoResponseCountOffset + fifoCountLength) {
            return std::nullopt;
        }
        return fifoResponseCountOffset + fifoCountLength +
               std::size_t{readUInt16(bytes, fifoResponseCountOffset)} + Modbus::crcLength;
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
        FunctionCode::fromRaw(bytes[functionOffset])) {
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

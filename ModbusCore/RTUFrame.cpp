#include "ModbusCore/RTUFrame.h"

#include "ModbusCore/CRC16.h"

namespace {

// The CRC travels low byte first, unlike every other multi-byte field.
std::uint16_t receivedCRC(ByteView frame) {
    const std::size_t n = frame.size();
    return static_cast<std::uint16_t>(frame[n - 2] | (frame[n - 1] << 8));
}

} // namespace

const char* RTUFrame::ParseError::what() const noexcept {
    if (std::holds_alternative<TooShort>(reason)) {
        return "Frame too short";
    }
    if (std::holds_alternative<CRCMismatch>(reason)) {
        return "CRC mismatch";
    }
    if (std::holds_alternative<UnexpectedUnit>(reason)) {
        return "Unexpected unit address";
    }
    return "Unexpected function code";
}

Bytes RTUFrame::build(std::uint8_t unit, ByteView pdu) {
    Bytes frame;
    frame.reserve(pdu.size() + 3);
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    const std::uint16_t crc = CRC16::compute(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

bool RTUFrame::hasValidCRC(ByteView frame) {
    if (frame.size() < Modbus::minFrameLength) {
        return false;
    }
    return CRC16::compute(frame.first(frame.size() - 2)) == receivedCRC(frame);
}

Bytes RTUFrame::parse(ByteView frame, std::uint8_t expectedUnit, std::uint8_t expectedFunction) {
    if (frame.size() < Modbus::minFrameLength) {
        throw ParseError::tooShort(static_cast<int>(frame.size()));
    }
    const std::uint16_t expected = CRC16::compute(frame.first(frame.size() - 2));
    const std::uint16_t received = receivedCRC(frame);
    if (expected != received) {
        throw ParseError::crcMismatch(expected, received);
    }
    if (frame[0] != expectedUnit) {
        throw ParseError::unexpectedUnit(frame[0]);
    }
    // An exception response carries the requested code with bit 7 set and is still an answer.
    if (((frame[1] ^ expectedFunction) & 0x7F) != 0) {
        throw ParseError::unexpectedFunction(frame[1]);
    }
    return Bytes(frame.begin() + 1, frame.end() - 2);
}

Bytes ExceptionPDU::make(std::uint8_t functionCode, ModbusException exception) {
    return {static_cast<std::uint8_t>(functionCode | Modbus::exceptionFlag), exception.rawValue()};
}

std::optional<std::uint8_t> ExceptionPDU::code(ByteView pdu) {
    if (pdu.size() < 2 || (pdu[0] & Modbus::exceptionFlag) == 0) {
        return std::nullopt;
    }
    return pdu[1];
}

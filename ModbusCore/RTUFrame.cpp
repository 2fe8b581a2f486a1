#include "ModbusCore/RTUFrame.h"

#include "ModbusCore/CRC16.h"

namespace {

// The CRC travels low byte first, unlike every other multi-byte field.
std::uint16_t receivedCRC(ByteView frame) {
    const std::size_t n = frame.size();
    return static_cast<std::uint16_t>(frame[n - 2] | (frame[n - 1] << 8));
}

} // namespace

Bytes RTUFrame::build(std::uint8_t unit, ByteView pdu) {
    Bytes frame;
    frame.reserve(pdu.size() + Modbus::frameOverhead);
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

Bytes ExceptionPDU::make(std::uint8_t functionCode, ModbusException exception) {
    return {static_cast<std::uint8_t>(functionCode | Modbus::exceptionFlag), exception.rawValue()};
}

std::optional<std::uint8_t> ExceptionPDU::code(ByteView pdu) {
    if (pdu.size() < 2 || (pdu[0] & Modbus::exceptionFlag) == 0) {
        return std::nullopt;
    }
    return pdu[1];
}

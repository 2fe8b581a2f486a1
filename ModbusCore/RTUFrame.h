#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/ModbusCodes.h"

#include <optional>

namespace RTUFrame {

// Address, PDU, CRC low byte, CRC high byte.
Bytes build(std::uint8_t unit, ByteView pdu);

// At least 4 bytes and the last two (low byte first) equal the CRC of the bytes before them.
bool hasValidCRC(ByteView frame);

} // namespace RTUFrame

namespace ExceptionPDU {
// Function code with bit 7 set, then the exception code.
Bytes make(std::uint8_t functionCode, ModbusException exception);
// The exception code of an exception PDU (at least 2 bytes, bit 7 of the first set).
std::optional<std::uint8_t> code(ByteView pdu);
} // namespace ExceptionPDU

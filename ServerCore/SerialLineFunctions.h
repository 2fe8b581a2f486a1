#pragma once

#include "ModbusCore/Bytes.h"
#include "ServerCore/RegisterStore.h"

#include <cstdint>
#include <optional>

// The functions a serial-line device answers about itself rather than its memory: 07, 08, 11,
// 12, 17 and 43 / 14. Each gives the response PDU (an exception PDU for a refused request), or
// none where the unit must not answer. The PDU is not empty and starts with the function's code.
namespace SerialLineFunctions {

Bytes readExceptionStatus(const RegisterStore& store, ByteView pdu, std::uint8_t unit);
std::optional<Bytes> diagnostics(RegisterStore& store, ByteView pdu, std::uint8_t unit);
Bytes getCommEventCounter(const RegisterStore& store, ByteView pdu, std::uint8_t unit);
Bytes getCommEventLog(const RegisterStore& store, ByteView pdu, std::uint8_t unit);
Bytes reportServerID(const RegisterStore& store, ByteView pdu, std::uint8_t unit);
Bytes readDeviceIdentification(const RegisterStore& store, ByteView pdu, std::uint8_t unit);

// The diagnostic sub-functions that change the unit's state; a broadcast executes them.
bool changesDiagnosticState(ByteView pdu);
// Diagnostics 0x01, the one request a unit in listen-only mode executes.
bool isRestart(ByteView pdu);

} // namespace SerialLineFunctions

#pragma once

#include "ModbusCore/Bytes.h"

// The Modbus RTU CRC: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
namespace CRC16 {
std::uint16_t compute(ByteView bytes);
}

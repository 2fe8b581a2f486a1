#pragma once

#include "ModbusCore/ValueTypes.h"

#include <cstdint>
#include <span>
#include <vector>

using Registers = std::vector<std::uint16_t>;

// Conversions between engineering values, the raw bits of a data type and 16-bit registers.
// Raw bits sit in the low 16, 32 or 64 bits of a uint64. Scale 0 and 1 both mean "no scaling".
namespace ValueCodec {

std::uint64_t encodeRaw(double value, DataType type);
double decodeRaw(std::uint64_t raw, DataType type);

Registers registersFromRaw(std::uint64_t raw, DataType type, WordOrder order);
std::uint64_t rawFromRegisters(std::span<const std::uint16_t> registers, DataType type,
                               WordOrder order);

Registers encode(double value, DataType type, WordOrder order, double scale);
double decode(std::span<const std::uint16_t> registers, DataType type, WordOrder order,
              double scale);

// value / scale, or the value itself for scale 0 and 1.
double unscaled(double value, double scale);
// raw * scale, or raw itself for scale 0 and 1.
double scaled(double raw, double scale);

} // namespace ValueCodec

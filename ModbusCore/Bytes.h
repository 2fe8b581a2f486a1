#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Each byte as two upper-case hex digits, joined by single blanks ("01 03 00").
std::string hexText(ByteView bytes);

// Big-endian 16-bit field of a PDU; the caller guarantees offset + 1 lies inside bytes.
std::uint16_t readUInt16(ByteView bytes, std::size_t offset);

// Appends a 16-bit field high byte first, as every multi-byte PDU field is sent.
void appendUInt16(Bytes& bytes, std::uint16_t value);

// Bit i goes to byte i / 8, position i % 8 (first value in the least significant bit).
Bytes packBits(const std::vector<bool>& bits);

// Reads count bits in packBits order; bits beyond the data read as false.
std::vector<bool> unpackBits(ByteView bytes, std::size_t count);

#include "ModbusCore/Bytes.h"

#include <algorithm>

std::string hexText(ByteView bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    if (bytes.empty()) {
        return text;
    }
    text.reserve(bytes.size() * 3 - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text.push_back(' ');
        }
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

std::uint16_t readUInt16(ByteView bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

void appendUInt16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

Bytes packBits(const std::vector<bool>& bits) {
    Bytes bytes((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i]) {
            bytes[i / 8] |= static_cast<std::uint8_t>(1U << (i % 8));
        }
    }
    return bytes;
}

std::vector<bool> unpackBits(ByteView bytes, std::size_t count) {
    std::vector<bool> bits(count, false);
    const std::size_t available = std::min(count, bytes.size() * 8);
    for (std::size_t i = 0; i < available; ++i) {
        bits[i] = (bytes[i / 8] >> (i % 8)) & 1;
    }
    return bits;
}

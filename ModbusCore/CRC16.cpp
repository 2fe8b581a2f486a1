#include "ModbusCore/CRC16.h"

#include <array>

namespace {

// One entry per low byte of crc XOR input: the result of the eight shift/XOR-0xA001 steps.
constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        table[byte] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr auto table = makeTable();

} // namespace

std::uint16_t CRC16::compute(ByteView bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ byte) & 0xFF]);
    }
    return crc;
}

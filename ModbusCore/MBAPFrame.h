#pragma once

#include "ModbusCore/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// The Modbus TCP application protocol header (MBAP) that stands in front of every PDU on a TCP
// connection in place of the RTU address and CRC. All fields are big-endian.
struct MBAPHeader {
    std::uint16_t transactionID = 0; // chosen by the master, echoed in the reply
    std::uint16_t protocolID = 0;    // 0 for Modbus
    std::uint16_t length = 0;        // bytes that follow: the unit ID plus the PDU
    std::uint8_t unit = 0;

    bool operator==(const MBAPHeader&) const = default;
};

namespace MBAPFrame {

// Byte offsets of the header's fields.
constexpr std::size_t transactionOffset = 0;
constexpr std::size_t protocolOffset = 2;
constexpr std::size_t lengthOffset = 4;
constexpr std::size_t unitOffset = 6;
constexpr std::size_t headerSize = 7;

constexpr std::uint16_t modbusProtocol = 0;
// The length field counts the unit ID and the PDU: at least a function code, and at most the
// 253 bytes a PDU may have (the RTU frame's 256 less address and CRC).
constexpr std::uint16_t minLength = 2;
constexpr std::uint16_t maxLength = 254;
constexpr std::size_t maxFrameSize = headerSize - 1 + maxLength;

// The header at the start of bytes, or no value with fewer than headerSize bytes. The fields are
// taken as they stand; checking them is the caller's.
std::optional<MBAPHeader> parseHeader(ByteView bytes);

// The header's seven bytes.
Bytes buildHeader(const MBAPHeader& header);

// A whole frame: protocol 0, the length from the PDU. The caller keeps the PDU within the
// 253-byte limit.
Bytes build(std::uint16_t transactionID, std::uint8_t unit, ByteView pdu);

// The reply to a request: its transaction ID and unit ID echoed.
Bytes buildReply(const MBAPHeader& request, ByteView pdu);

} // namespace MBAPFrame

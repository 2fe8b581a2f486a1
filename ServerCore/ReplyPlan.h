#pragma once

#include "ModbusCore/Bytes.h"
#include "ServerCore/FaultRule.h"
#include "ServerCore/Transport.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// What goes on the line for one reply, as timed transmissions: the unit's delay and a fault
// rule's effect turned into bytes and due times. Pure; the engine sends the chunks in order.
// Framed for the transport: address and CRC on the serial line and RTU over TCP, the MBAP header
// on Modbus TCP (where effects on the CRC leave the reply intact: there is none).
struct ReplyPlan {
    struct Chunk {
        Bytes bytes;
        // Wait after the previous chunk went out; for the first, after the request arrived.
        std::chrono::nanoseconds after{};
        // Whether the link keeps t3.5 of line silence before it (the bytes of a slow reply and an
        // early reply do not).
        bool afterSilence = true;

        bool operator==(const Chunk&) const = default;
    };

    // The reply a request would have had and what shapes it.
    struct Reply {
        std::uint8_t unit = 1;
        ByteView pdu;
        std::optional<int> requestQuantity; // fewerValues counts bits against it
        ByteView previousFrame;             // the unit's previous reply; empty when none
        std::chrono::nanoseconds unitDelay{};
        Transport transport = Transport::serial;
        std::uint16_t transactionID = 0; // Modbus TCP: the request's, echoed
    };

    std::vector<Chunk> chunks; // none: the unit stays silent
    Bytes pdu;                 // the reply as sent, for the log; empty when nothing readable is
    bool corruptedCRC = false; // the CRC was damaged on purpose

    bool operator==(const ReplyPlan&) const = default;

    // Every chunk's bytes in order: what the line carried.
    Bytes burst() const;

    // The reply as the transport frames it: unit ID and PDU behind an MBAP header with the
    // transaction ID on Modbus TCP, else address, PDU and CRC.
    static Bytes frame(Transport transport, std::uint8_t unit, std::uint16_t transactionID,
                       ByteView pdu);

    // Without an effect, the reply built with its CRC after the unit's delay. With one, the reply
    // as the effect leaves it; `random` seeds the effect's random bytes and bit.
    static ReplyPlan make(const Reply& reply, const FaultRule::Effect* effect,
                          std::uint64_t random = 0);
};

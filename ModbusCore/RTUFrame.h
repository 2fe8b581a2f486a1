#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/ModbusCodes.h"

#include <optional>
#include <stdexcept>
#include <variant>

namespace RTUFrame {

// Thrown by parse; equality compares the case and its payload.
struct ParseError : std::exception {
    struct TooShort {
        int count;
        bool operator==(const TooShort&) const = default;
    };
    struct CRCMismatch {
        std::uint16_t expected;
        std::uint16_t received;
        bool operator==(const CRCMismatch&) const = default;
    };
    struct UnexpectedUnit {
        std::uint8_t unit;
        bool operator==(const UnexpectedUnit&) const = default;
    };
    struct UnexpectedFunction {
        std::uint8_t function;
        bool operator==(const UnexpectedFunction&) const = default;
    };
    using Case = std::variant<TooShort, CRCMismatch, UnexpectedUnit, UnexpectedFunction>;

    explicit ParseError(Case c)
        : reason(c) {}
    static ParseError tooShort(int count) { return ParseError(TooShort{count}); }
    static ParseError crcMismatch(std::uint16_t expected, std::uint16_t received) {
        return ParseError(CRCMismatch{expected, received});
    }
    static ParseError unexpectedUnit(std::uint8_t unit) { return ParseError(UnexpectedUnit{unit}); }
    static ParseError unexpectedFunction(std::uint8_t function) {
        return ParseError(UnexpectedFunction{function});
    }

    const char* what() const noexcept override;
    bool operator==(const ParseError& other) const { return reason == other.reason; }

    Case reason;
};

// Address, PDU, CRC low byte, CRC high byte.
Bytes build(std::uint8_t unit, ByteView pdu);

// At least 4 bytes and the last two (low byte first) equal the CRC of the bytes before them.
bool hasValidCRC(ByteView frame);

// The PDU of a master's expected answer; throws ParseError. The server side never calls it.
Bytes parse(ByteView frame, std::uint8_t expectedUnit, std::uint8_t expectedFunction);

} // namespace RTUFrame

namespace ExceptionPDU {
// Function code with bit 7 set, then the exception code.
Bytes make(std::uint8_t functionCode, ModbusException exception);
// The exception code of an exception PDU (at least 2 bytes, bit 7 of the first set).
std::optional<std::uint8_t> code(ByteView pdu);
} // namespace ExceptionPDU

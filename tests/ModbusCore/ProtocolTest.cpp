#include "ModbusCore/Bytes.h"
#include "ModbusCore/CRC16.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <tuple>
#include <variant>

namespace {

// Published vectors: the CRC-16/MODBUS catalogue check value and frames from the Modbus literature.
TEST(CRC16Test, MatchesPublishedVectors) {
    const std::pair<Bytes, std::uint16_t> cases[] = {
        {{}, 0xFFFF},
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x4B37},
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},
        {{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, 0x8776},
        {{0x01, 0x04, 0x00, 0x00, 0x00, 0x01}, 0xCA31},
        {{0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}, 0xF0C6},
    };
    for (const auto& [data, crc] : cases) {
        EXPECT_EQ(CRC16::compute(data), crc) << hexText(data);
    }
}

std::variant<Bytes, RTUFrame::ParseError> parsed(const Bytes& frame, std::uint8_t unit,
                                                 std::uint8_t function) {
    try {
        return RTUFrame::parse(frame, unit, function);
    } catch (const RTUFrame::ParseError& error) {
        EXPECT_NE(std::string_view(error.what()), "");
        return error;
    }
}

TEST(RTUFrameTest, BuildAndParseInCheckOrder) {
    const Bytes pdu{0x03, 0x00, 0x00, 0x00, 0x0A};
    const Bytes good = RTUFrame::build(0x01, pdu);
    EXPECT_EQ(good, (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    const Bytes swapped{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xCD, 0xC5};
    using E = RTUFrame::ParseError;
    // Frame, expected unit and function, the PDU or the error.
    const std::tuple<Bytes, std::uint8_t, std::uint8_t, std::variant<Bytes, E>> cases[] = {
        {good, 1, 3, pdu},
        {good, 1, 0x83, pdu}, // bit 7 is ignored
        {RTUFrame::build(0x07, Bytes{0x11}), 7, 0x11, Bytes{0x11}},
        {RTUFrame::build(0x01, Bytes{0x83, 0x02}), 1, 3, Bytes{0x83, 0x02}},
        {{}, 1, 3, E::tooShort(0)},
        {{0x01, 0x03, 0x00}, 1, 3, E::tooShort(3)},
        {swapped, 9, 4, E::crcMismatch(0xCDC5, 0xC5CD)}, // CRC is checked before unit, function
        {good, 2, 4, E::unexpectedUnit(0x01)},
        {good, 1, 4, E::unexpectedFunction(0x03)},
    };
    for (const auto& [frame, unit, function, result] : cases) {
        EXPECT_EQ(parsed(frame, unit, function), result)
            << hexText(frame) << " unit " << int(unit) << " function " << int(function);
        EXPECT_EQ(RTUFrame::hasValidCRC(frame), frame.size() >= 4 && frame != swapped);
    }
    EXPECT_NE(E::tooShort(3), E::tooShort(2));
    EXPECT_NE(E::unexpectedUnit(3), E::unexpectedFunction(3));
}

TEST(PDUTest, CodesExceptionPDUsWordsAndBits) {
    EXPECT_EQ(ExceptionPDU::make(0x10, ModbusException::serverDeviceBusy), (Bytes{0x90, 0x06}));
    EXPECT_EQ(ExceptionPDU::make(0x83, ModbusException::illegalFunction), (Bytes{0x83, 0x01}));
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x83, 0x02}), 0x02);
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x83}), std::nullopt);
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x03, 0x02}), std::nullopt);
    for (std::uint8_t notAFunction : {0x07, 0x2B, 0x83}) {
        EXPECT_EQ(FunctionCode::fromRaw(notAFunction), std::nullopt) << int(notAFunction);
    }
    EXPECT_EQ(ModbusException::fromRaw(0x0A), ModbusException::gatewayPathUnavailable);
    EXPECT_EQ(ModbusException::fromRaw(0x09), std::nullopt);

    Bytes bytes{0x55};
    appendUInt16(bytes, 0x12AB);
    EXPECT_EQ(bytes, (Bytes{0x55, 0x12, 0xAB}));
    EXPECT_EQ(readUInt16(bytes, 1), 0x12AB);

    const std::vector<bool> ten{true, false, true, true, false, false, false, false, false, true};
    EXPECT_EQ(packBits(ten), (Bytes{0x0D, 0x02}));
    EXPECT_EQ(unpackBits(Bytes{0x0D, 0x02}, 10), ten);
    std::vector<bool> twenty = ten;
    twenty.resize(20, false);
    EXPECT_EQ(unpackBits(Bytes{0x0D, 0x02}, 20), twenty);
    EXPECT_EQ(packBits(std::vector<bool>(9, true)), (Bytes{0xFF, 0x01}));
}

} // namespace

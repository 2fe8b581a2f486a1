#include "ModbusCore/Bytes.h"
#include "ModbusCore/CRC16.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"

#include <gtest/gtest.h>

#include <optional>

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

TEST(RTUFrameTest, BuildsFramesAndChecksTheirCRC) {
    const Bytes pdu{0x03, 0x00, 0x00, 0x00, 0x0A};
    const Bytes good = RTUFrame::build(0x01, pdu);
    EXPECT_EQ(good, (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    const Bytes swapped{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xCD, 0xC5};
    const std::pair<Bytes, bool> cases[] = {
        {good, true},
        {RTUFrame::build(0x07, Bytes{0x11}), true},
        {RTUFrame::build(0x01, Bytes{0x83, 0x02}), true},
        {swapped, false}, // the CRC travels low byte first
        {{}, false},
        {{0x01, 0x03, 0x00}, false},
        {Bytes(good.begin(), good.end() - 1), false},
    };
    for (const auto& [frame, valid] : cases) {
        EXPECT_EQ(RTUFrame::hasValidCRC(frame), valid) << hexText(frame);
    }
}

TEST(PDUTest, CodesExceptionPDUsWordsAndBits) {
    EXPECT_EQ(ExceptionPDU::make(0x10, ModbusException::serverDeviceBusy), (Bytes{0x90, 0x06}));
    EXPECT_EQ(ExceptionPDU::make(0x83, ModbusException::illegalFunction), (Bytes{0x83, 0x01}));
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x83, 0x02}), 0x02);
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x83}), std::nullopt);
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x03, 0x02}), std::nullopt);
    for (std::uint8_t notAFunction : {0x09, 0x14, 0x83}) {
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

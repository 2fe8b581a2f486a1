#include "Localization/L10n.h"
#include "ModbusCore/Bytes.h"
#include "ModbusCore/CRC16.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <utility>

namespace {

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Published vectors: the CRC-16/MODBUS catalogue check value and frames from the Modbus literature.
TEST(CRC16Test, MatchesPublishedVectors) {
    const struct {
        Bytes data;
        std::uint16_t crc;
    } cases[] = {
        {{}, 0xFFFF},
        {ascii("123456789"), 0x4B37},
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},
        {{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, 0x8776},
        {{0x01, 0x04, 0x00, 0x00, 0x00, 0x01}, 0xCA31},
        {{0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}, 0xF0C6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CRC16::compute(c.data), c.crc) << hexText(c.data);
    }
}

TEST(RTUFrameTest, BuildAppendsCRCLowByteFirst) {
    const Bytes pdu{0x03, 0x00, 0x00, 0x00, 0x0A};
    const Bytes frame = RTUFrame::build(0x01, pdu);
    EXPECT_EQ(frame, (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    EXPECT_TRUE(RTUFrame::hasValidCRC(frame));
    EXPECT_EQ(RTUFrame::parse(frame, 0x01, 0x03), pdu);
}

TEST(RTUFrameTest, ParseAcceptsMinimalAndExceptionFrames) {
    const Bytes minimal = RTUFrame::build(0x07, Bytes{0x11});
    EXPECT_EQ(RTUFrame::parse(minimal, 0x07, 0x11), (Bytes{0x11}));

    const Bytes exception = RTUFrame::build(0x01, Bytes{0x83, 0x02});
    const Bytes pdu = RTUFrame::parse(exception, 0x01, 0x03);
    EXPECT_EQ(pdu, (Bytes{0x83, 0x02}));
    EXPECT_EQ(ExceptionPDU::code(pdu), 0x02);
}

std::optional<RTUFrame::ParseError> parseError(const Bytes& frame, std::uint8_t unit,
                                               std::uint8_t function) {
    try {
        RTUFrame::parse(frame, unit, function);
    } catch (const RTUFrame::ParseError& error) {
        EXPECT_NE(std::string_view(error.what()), "");
        return error;
    }
    return std::nullopt;
}

TEST(RTUFrameTest, ParseErrorsInCheckOrder) {
    const Bytes good = RTUFrame::build(0x01, Bytes{0x03, 0x02, 0x00, 0x2A});
    Bytes swapped = good;
    std::swap(swapped[swapped.size() - 2], swapped[swapped.size() - 1]);
    const std::uint16_t crc = CRC16::compute(ByteView(good).first(good.size() - 2));
    const auto swappedCRC = static_cast<std::uint16_t>((crc >> 8) | (crc << 8));
    using E = RTUFrame::ParseError;

    const struct {
        Bytes frame;
        std::uint8_t unit;
        std::uint8_t function;
        std::optional<E> error;
    } cases[] = {
        {{}, 1, 3, E::tooShort(0)},
        {{0x01, 0x03, 0x00}, 1, 3, E::tooShort(3)},
        {swapped, 1, 3, E::crcMismatch(crc, swappedCRC)},
        {swapped, 9, 4, E::crcMismatch(crc, swappedCRC)}, // CRC is checked before unit, function
        {good, 2, 3, E::unexpectedUnit(0x01)},
        {good, 2, 4, E::unexpectedUnit(0x01)},
        {good, 1, 4, E::unexpectedFunction(0x03)},
        {good, 1, 0x83, std::nullopt}, // bit 7 is ignored
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseError(c.frame, c.unit, c.function), c.error)
            << hexText(c.frame) << " unit " << int(c.unit) << " function " << int(c.function);
    }
    EXPECT_FALSE(RTUFrame::hasValidCRC(Bytes{0x01, 0x03, 0x00}));
    EXPECT_FALSE(RTUFrame::hasValidCRC(swapped));
    EXPECT_NE(E::tooShort(3), E::tooShort(2));
    EXPECT_NE(E::unexpectedUnit(3), E::unexpectedFunction(3));
}

TEST(ExceptionPDUTest, MakeAndCode) {
    EXPECT_EQ(ExceptionPDU::make(0x10, ModbusException::serverDeviceBusy), (Bytes{0x90, 0x06}));
    EXPECT_EQ(ExceptionPDU::make(0x83, ModbusException::illegalFunction), (Bytes{0x83, 0x01}));
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x83, 0x02}), 0x02);
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x83}), std::nullopt);
    EXPECT_EQ(ExceptionPDU::code(Bytes{0x03, 0x02}), std::nullopt);
    EXPECT_EQ(ExceptionPDU::code(Bytes{}), std::nullopt);
}

TEST(BytesTest, HexTextAndWords) {
    EXPECT_EQ(hexText(Bytes{0x01, 0x03, 0x00}), "01 03 00");
    EXPECT_EQ(hexText(Bytes{0xAB, 0xFF}), "AB FF");
    EXPECT_EQ(hexText(Bytes{}), "");

    Bytes bytes{0x55};
    appendUInt16(bytes, 0x12AB);
    EXPECT_EQ(bytes, (Bytes{0x55, 0x12, 0xAB}));
    EXPECT_EQ(readUInt16(bytes, 1), 0x12AB);
}

TEST(BytesTest, PackAndUnpackBits) {
    const std::vector<bool> ten{true, false, true, true, false, false, false, false, false, true};
    EXPECT_EQ(packBits(ten), (Bytes{0x0D, 0x02}));
    EXPECT_EQ(unpackBits(Bytes{0x0D, 0x02}, 10), ten);
    std::vector<bool> twenty = ten;
    twenty.resize(20, false);
    EXPECT_EQ(unpackBits(Bytes{0x0D, 0x02}, 20), twenty);
    EXPECT_EQ(packBits({}), Bytes{});
    EXPECT_EQ(packBits(std::vector<bool>(8, true)), Bytes{0xFF});
    EXPECT_EQ(packBits(std::vector<bool>(9, true)), (Bytes{0xFF, 0x01}));
    EXPECT_EQ(unpackBits(Bytes{}, 3), std::vector<bool>(3, false));
}

TEST(CodeTablesTest, FunctionCodesMatchTheStandard) {
    const std::uint8_t raw[] = {1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23};
    ASSERT_EQ(FunctionCode::allCases().size(), std::size(raw));
    for (std::size_t i = 0; i < std::size(raw); ++i) {
        EXPECT_EQ(FunctionCode::allCases()[i].rawValue(), raw[i]);
    }
    int known = 0;
    for (int byte = 0; byte < 256; ++byte) {
        const auto code = FunctionCode::fromRaw(static_cast<std::uint8_t>(byte));
        if (code) {
            EXPECT_EQ(code->rawValue(), byte);
            ++known;
        }
    }
    EXPECT_EQ(known, 11);
    EXPECT_EQ(FunctionCode::fromRaw(7), std::nullopt);
    EXPECT_EQ(FunctionCode::fromRaw(0x2B), std::nullopt);
    EXPECT_EQ(FunctionCode::fromRaw(0x83), std::nullopt);
    EXPECT_EQ(FunctionCode::fromRaw(0x17), FunctionCode::readWriteMultipleRegisters);
}

TEST(CodeTablesTest, ExceptionCodesMatchTheStandard) {
    const std::uint8_t raw[] = {1, 2, 3, 4, 5, 6, 8, 0x0A, 0x0B};
    ASSERT_EQ(ModbusException::allCases().size(), std::size(raw));
    for (std::size_t i = 0; i < std::size(raw); ++i) {
        EXPECT_EQ(ModbusException::allCases()[i].rawValue(), raw[i]);
        EXPECT_EQ(ModbusException::fromRaw(raw[i]), ModbusException::allCases()[i]);
    }
    for (std::uint8_t none : {0, 7, 9, 12, 0x80, 0xFF}) {
        EXPECT_EQ(ModbusException::fromRaw(none), std::nullopt) << int(none);
    }
    EXPECT_EQ(ModbusException::fromRaw(0x0A), ModbusException::gatewayPathUnavailable);
}

TEST(CodeTablesTest, DisplayNamesIgnoreTheExceptionBitAndShowTheCode) {
    L10n::ScopedLanguage english(Language::en);
    EXPECT_EQ(functionDisplayName(0x03), "Read holding registers");
    EXPECT_EQ(functionDisplayName(0x83), "Read holding registers");
    EXPECT_EQ(functionDisplayName(0x2B), "Device identification");
    EXPECT_EQ(functionDisplayName(0x41), "Function");
    EXPECT_EQ(exceptionDisplayText(0x02), "Illegal data address (02)");
    EXPECT_EQ(exceptionDisplayText(0x0B), "Gateway target failed to respond (0B)");
    EXPECT_EQ(exceptionDisplayText(0x0C), "Exception (0C)");

    L10n::ScopedLanguage german(Language::de);
    EXPECT_NE(functionDisplayName(0x03), "Read holding registers");
}

} // namespace

#include "ModbusCore/ValueCodec.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr std::uint64_t allOnes = std::numeric_limits<std::uint64_t>::max();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

TEST(ValueCodecTest, EveryWordOrderMatchesItsKnownLayout) {
    struct Case {
        DataType type;
        WordOrder order;
        std::uint64_t raw;
        Registers registers;
    };
    const Case cases[] = {
        {DataType::float32, WordOrder::abcd, 0x3F800000, {0x3F80, 0x0000}},
        {DataType::float32, WordOrder::cdab, 0x3F800000, {0x0000, 0x3F80}},
        {DataType::float32, WordOrder::badc, 0x3F800000, {0x803F, 0x0000}},
        {DataType::float32, WordOrder::dcba, 0x3F800000, {0x0000, 0x803F}},
        {DataType::uint32, WordOrder::abcd, 0x12345678, {0x1234, 0x5678}},
        {DataType::uint32, WordOrder::cdab, 0x12345678, {0x5678, 0x1234}},
        {DataType::uint32, WordOrder::badc, 0x12345678, {0x3412, 0x7856}},
        {DataType::uint32, WordOrder::dcba, 0x12345678, {0x7856, 0x3412}},
        {DataType::float64, WordOrder::abcd, 0x3FF0000000000000, {0x3FF0, 0, 0, 0}},
        {DataType::float64, WordOrder::cdab, 0x3FF0000000000000, {0, 0, 0, 0x3FF0}},
        {DataType::float64, WordOrder::badc, 0x3FF0000000000000, {0xF03F, 0, 0, 0}},
        {DataType::float64, WordOrder::dcba, 0x3FF0000000000000, {0, 0, 0, 0xF03F}},
        {DataType::int64, WordOrder::abcd, 0x0102030405060708, {0x0102, 0x0304, 0x0506, 0x0708}},
        {DataType::int64, WordOrder::cdab, 0x0102030405060708, {0x0708, 0x0506, 0x0304, 0x0102}},
        {DataType::int64, WordOrder::badc, 0x0102030405060708, {0x0201, 0x0403, 0x0605, 0x0807}},
        {DataType::int64, WordOrder::dcba, 0x0102030405060708, {0x0807, 0x0605, 0x0403, 0x0201}},
        // One-register types ignore the order, byte swap included.
        {DataType::uint16, WordOrder::badc, 0x1234, {0x1234}},
        {DataType::int16, WordOrder::dcba, 0x1234, {0x1234}},
        {DataType::bool_, WordOrder::cdab, 0x0001, {0x0001}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type.rawValue()) + " " + std::string(c.order.rawValue()));
        EXPECT_EQ(ValueCodec::registersFromRaw(c.raw, c.type, c.order), c.registers);
        EXPECT_EQ(ValueCodec::rawFromRegisters(c.registers, c.type, c.order), c.raw);
    }
}

TEST(ValueCodecTest, RawFromRegistersUsesOnlyTheRegistersItNeeds) {
    const Registers one{0xABCD};
    EXPECT_EQ(ValueCodec::rawFromRegisters(one, DataType::uint32, WordOrder::abcd), 0xABCDu);
    EXPECT_EQ(ValueCodec::rawFromRegisters({}, DataType::float64, WordOrder::dcba), 0u);
    const Registers extra{0x0001, 0x0002, 0x0003};
    EXPECT_EQ(ValueCodec::rawFromRegisters(extra, DataType::int32, WordOrder::abcd), 0x00010002u);
}

TEST(ValueCodecTest, EncodeRawClampsRoundsAndConverts) {
    struct Case {
        double value;
        DataType type;
        std::uint64_t raw;
    };
    const Case cases[] = {
        {70000, DataType::uint16, 0xFFFF},
        {-5, DataType::uint16, 0},
        {65535.4, DataType::uint16, 0xFFFF},
        {0.5, DataType::uint16, 1},
        {-1, DataType::int16, 0xFFFF},
        {2.5, DataType::int16, 3},
        {-2.5, DataType::int16, 0xFFFD},
        {-40000, DataType::int16, 0x8000},
        {-1, DataType::int32, 0xFFFFFFFF},
        {4294967295.4, DataType::uint32, 0xFFFFFFFF},
        {-2147483648.6, DataType::int32, 0x80000000},
        {0.2, DataType::bool_, 1},
        {-0.2, DataType::bool_, 0},
        {nan, DataType::bool_, 0},
        {nan, DataType::uint16, 0},
        {nan, DataType::int64, 0},
        {0x1p64, DataType::uint64, allOnes},
        {1e30, DataType::uint64, allOnes},
        {infinity, DataType::uint64, allOnes},
        {-1, DataType::uint64, 0},
        {-1, DataType::int64, allOnes},
        {-0x1p63, DataType::int64, 0x8000000000000000},
        {-1e30, DataType::int64, 0x8000000000000000},
        {0x1p63, DataType::int64, 0x7FFFFFFFFFFFFFFF},
        {9.3e18, DataType::int64, 0x7FFFFFFFFFFFFFFF},
        {-2.5, DataType::int64, allOnes - 2},
        {1.0, DataType::float32, 0x3F800000},
        {0.1, DataType::float32, 0x3DCCCCCD},
        {std::numeric_limits<float>::max(), DataType::float32, 0x7F7FFFFF},
        {0x1.fffffe8p127, DataType::float32, 0x7F7FFFFF}, // still rounds down to the largest
        {0x1.ffffffp127, DataType::float32, 0x7F800000},  // the tie rounds to infinity
        {1e39, DataType::float32, 0x7F800000},
        {-1e39, DataType::float32, 0xFF800000},
        {1.0, DataType::float64, 0x3FF0000000000000},
        {-infinity, DataType::float64, 0xFFF0000000000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type.rawValue()) + " " + std::to_string(c.value));
        EXPECT_EQ(ValueCodec::encodeRaw(c.value, c.type), c.raw);
    }
}

TEST(ValueCodecTest, NaNBitPatterns) {
    const std::uint64_t payload = 0x7FF8000000000123;
    EXPECT_EQ(ValueCodec::encodeRaw(std::bit_cast<double>(payload), DataType::float64), payload);
    const auto single = ValueCodec::encodeRaw(nan, DataType::float32);
    EXPECT_LE(single, 0xFFFFFFFFu);
    EXPECT_TRUE(std::isnan(std::bit_cast<float>(static_cast<std::uint32_t>(single))));
}

TEST(ValueCodecTest, DecodeRawReadsTheLowBitsOfTheType) {
    struct Case {
        std::uint64_t raw;
        DataType type;
        double value;
    };
    const Case cases[] = {
        {0x0003, DataType::bool_, 1.0},
        {0x0002, DataType::bool_, 0.0},
        {0xFFFF, DataType::uint16, 65535},
        {0x12345, DataType::uint16, 0x2345},
        {0xFFFF, DataType::int16, -1},
        {0x80000000, DataType::int32, -2147483648.0},
        {0xFFFFFFFF, DataType::uint32, 4294967295.0},
        {allOnes, DataType::uint64, 0x1p64},
        {allOnes, DataType::int64, -1},
        {0xC0000000, DataType::float32, -2.0},
        {0x3FF0000000000000, DataType::float64, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type.rawValue()) + " " + std::to_string(c.raw));
        EXPECT_EQ(ValueCodec::decodeRaw(c.raw, c.type), c.value);
    }
}

TEST(ValueCodecTest, ScaleDividesOnTheWayInAndMultipliesOnTheWayOut) {
    struct Case {
        double value;
        DataType type;
        double scale;
        Registers registers;
        double readBack;
    };
    const Case cases[] = {
        {21.46, DataType::int16, 0.1, {215}, 21.5},
        {7, DataType::uint16, 0, {7}, 7},
        {7, DataType::uint16, 1, {7}, 7},
        {5, DataType::int16, -1, {0xFFFB}, 5},
        {1234, DataType::uint16, 10, {123}, 1230},
        {-2, DataType::float32, 0.5, {0xC080, 0x0000}, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type.rawValue()) + " scale " + std::to_string(c.scale));
        const Registers registers = ValueCodec::encode(c.value, c.type, WordOrder::abcd, c.scale);
        EXPECT_EQ(registers, c.registers);
        EXPECT_DOUBLE_EQ(ValueCodec::decode(registers, c.type, WordOrder::abcd, c.scale),
                         c.readBack);
    }
}

TEST(ValueCodecTest, EveryTypeAndOrderRoundTripsItsBits) {
    for (DataType type : DataType::allCases()) {
        const int bits = type.registerCount() * 16;
        const std::uint64_t raw = 0x8123456789ABCDEF & (bits == 64 ? allOnes : (1ull << bits) - 1);
        for (WordOrder order : WordOrder::allCases()) {
            const Registers registers = ValueCodec::registersFromRaw(raw, type, order);
            ASSERT_EQ(registers.size(), static_cast<std::size_t>(type.registerCount()));
            EXPECT_EQ(ValueCodec::rawFromRegisters(registers, type, order), raw)
                << type.rawValue() << " " << order.rawValue();
        }
    }
}

} // namespace

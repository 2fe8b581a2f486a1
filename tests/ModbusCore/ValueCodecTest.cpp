#include "ModbusCore/ValueCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

constexpr std::uint64_t allOnes = std::numeric_limits<std::uint64_t>::max();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
using T = DataType;

// Every byte of the constant differs, so a misplaced word or byte shows in the registers.
TEST(ValueCodecTest, EveryTypeAndWordOrderMatchesItsKnownLayout) {
    constexpr std::uint64_t constant = 0x0102030405060708;
    // Registers in the order abcd, cdab, badc, dcba, by register count.
    const std::array<Registers, 4> one{{{0x0708}, {0x0708}, {0x0708}, {0x0708}}};
    const std::array<Registers, 4> two{
        {{0x0506, 0x0708}, {0x0708, 0x0506}, {0x0605, 0x0807}, {0x0807, 0x0605}}};
    const std::array<Registers, 4> four{{{0x0102, 0x0304, 0x0506, 0x0708},
                                         {0x0708, 0x0506, 0x0304, 0x0102},
                                         {0x0201, 0x0403, 0x0605, 0x0807},
                                         {0x0807, 0x0605, 0x0403, 0x0201}}};
    for (DataType type : DataType::allCases()) {
        const int count = type.registerCount();
        const auto& layouts = count == 1 ? one : count == 2 ? two : four;
        const std::uint64_t raw = count == 4 ? constant : constant & ((1ull << (16 * count)) - 1);
        for (std::size_t i = 0; i < WordOrder::allCases().size(); ++i) {
            const WordOrder order = WordOrder::allCases()[i];
            SCOPED_TRACE(std::string(type.rawValue()) + " " + std::string(order.rawValue()));
            EXPECT_EQ(ValueCodec::registersFromRaw(raw, type, order), layouts[i]);
            EXPECT_EQ(ValueCodec::rawFromRegisters(layouts[i], type, order), raw);
        }
    }
    // Missing registers read as zero.
    EXPECT_EQ(ValueCodec::rawFromRegisters(Registers{0xABCD}, DataType::uint32, WordOrder::abcd),
              0xABCDu);
    EXPECT_EQ(ValueCodec::rawFromRegisters(Registers{}, DataType::float64, WordOrder::dcba), 0u);
}

// Just below 0x1.ffffffp127 a float32 still rounds down to the largest; from there on to infinity.
TEST(ValueCodecTest, EncodeRawClampsRoundsAndConverts) {
    const std::tuple<double, DataType, std::uint64_t> cases[] = {
        {70000, T::uint16, 0xFFFF},
        {-5, T::uint16, 0},
        {2.5, T::int16, 3},
        {-2.5, T::int16, 0xFFFD},
        {-1, T::int32, 0xFFFFFFFF},
        {-2147483648.6, T::int32, 0x80000000},
        {0.2, T::bool_, 1},
        {-0.2, T::bool_, 0},
        {nan, T::uint16, 0},
        {0x1p64, T::uint64, allOnes},
        {infinity, T::uint64, allOnes},
        {-1, T::int64, allOnes},
        {0x1p63, T::int64, 0x7FFFFFFFFFFFFFFF},
        {-2.5, T::int64, allOnes - 2},
        {0x1.fffffe8p127, T::float32, 0x7F7FFFFF},
        {0x1.ffffffp127, T::float32, 0x7F800000},
        {1e39, T::float32, 0x7F800000},
        {-infinity, T::float64, 0xFFF0000000000000}};
    for (const auto& [value, type, raw] : cases) {
        EXPECT_EQ(ValueCodec::encodeRaw(value, type), raw) << type.rawValue() << " " << value;
    }
    const std::uint64_t payload = 0x7FF8000000000123;
    EXPECT_EQ(ValueCodec::encodeRaw(std::bit_cast<double>(payload), DataType::float64), payload);
    const auto single = ValueCodec::encodeRaw(nan, DataType::float32);
    EXPECT_LE(single, 0xFFFFFFFFu);
    EXPECT_TRUE(std::isnan(std::bit_cast<float>(static_cast<std::uint32_t>(single))));
}

TEST(ValueCodecTest, DecodeRawReadsTheLowBitsOfTheType) {
    const std::tuple<std::uint64_t, DataType, double> cases[] = {
        {0x0003, T::bool_, 1.0},       {0x0002, T::bool_, 0.0},
        {0xFFFF, T::int16, -1},        {0x80000000, T::int32, -2147483648.0},
        {allOnes, T::uint64, 0x1p64},  {allOnes, T::int64, -1},
        {0xC0000000, T::float32, -2.0}};
    for (const auto& [raw, type, value] : cases) {
        EXPECT_EQ(ValueCodec::decodeRaw(raw, type), value) << type.rawValue() << " " << raw;
    }
}

TEST(ValueCodecTest, ScaleDividesOnTheWayInAndMultipliesOnTheWayOut) {
    const std::tuple<double, DataType, double, Registers, double> cases[] = {
        {21.46, T::int16, 0.1, {215}, 21.5}, {7, T::uint16, 0, {7}, 7},
        {7, T::uint16, 1, {7}, 7},           {5, T::int16, -1, {0xFFFB}, 5},
        {1234, T::uint16, 10, {123}, 1230},  {-2, T::float32, 0.5, {0xC080, 0x0000}, -2},
    };
    for (const auto& [value, type, scale, registers, readBack] : cases) {
        EXPECT_EQ(ValueCodec::encode(value, type, WordOrder::abcd, scale), registers) << scale;
        EXPECT_DOUBLE_EQ(ValueCodec::decode(registers, type, WordOrder::abcd, scale), readBack);
    }
}

} // namespace

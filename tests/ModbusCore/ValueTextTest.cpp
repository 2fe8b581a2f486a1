#include "ModbusCore/ValueText.h"

#include <gtest/gtest.h>

#include <limits>
#include <span>
#include <tuple>

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

ValueShape shape(DataType type, double scale = 1.0, DisplayFormat format = DisplayFormat::decimal,
                 RegisterTable table = RegisterTable::holdingRegister) {
    return ValueShape{table, type, scale, format};
}

TEST(ValueTextTest, FractionDigitsFollowTheScale) {
    const std::pair<double, int> cases[] = {
        {0.1, 1},  {0.01, 2}, {0.5, 1}, {0.25, 1}, {0.001, 3}, {0.0001, 4}, {1e-9, 6},
        {-0.1, 1}, {0, 0},    {1, 0},   {1.5, 0},  {10, 0},    {-10, 0},    {0.1 * 0.01, 3},
    };
    for (const auto& [scale, digits] : cases) {
        EXPECT_EQ(ValueText::fractionDigits(scale), digits) << scale;
    }
}

const ValueShape coil = shape(DataType::bool_, 1, DisplayFormat::decimal, RegisterTable::coil);
const ValueShape u16 = shape(DataType::uint16);
const ValueShape i16 = shape(DataType::int16);
const ValueShape u64 = shape(DataType::uint64);
const ValueShape f32 = shape(DataType::float32);
const ValueShape f64 = shape(DataType::float64);
const ValueShape tenths = shape(DataType::int16, 0.1);

ValueShape hex(DataType type, double scale = 1.0) {
    return shape(type, scale, DisplayFormat::hex);
}

TEST(ValueTextTest, DisplayText) {
    const std::tuple<ValueShape, double, std::string_view, std::string_view> cases[] = {
        {coil, 0.5, ".", "1"},
        {hex(DataType::int16), -1, ".", "0xFFFF"},
        {hex(DataType::int16, 0.1), -0.1, ".", "0xFFFF"},
        {hex(DataType::int64), -1, ".", "0xFFFFFFFFFFFFFFFF"},
        {shape(DataType::uint16, 1, DisplayFormat::binary), 5, ".", "0000 0000 0000 0101"},
        {hex(DataType::float32), 1.5, ".", "1.5"},
        {f64, 3.14159265, ",", "3,141593"},
        {f32, 0.1f, ".", "0.1"},
        {f64, 1.5e-7, ",", "1,5e-7"},
        {f64, std::numeric_limits<double>::quiet_NaN(), ".", "NaN"},
        {f32, infinity, ".", "∞"},
        {shape(DataType::uint16, 0.1), 21, ",", "21,0"},
        {shape(DataType::int16, 0.01), -0.001, ".", "0.00"},
        {u64, 0x1p64, ".", "18446744073709551616"},
    };
    for (const auto& [valueShape, value, separator, text] : cases) {
        EXPECT_EQ(ValueText::displayText(valueShape, value, separator), text) << text;
    }
}

using ParseCase = std::tuple<ValueShape, std::string_view, std::string_view, std::optional<double>>;

void expectParsed(std::span<const ParseCase> cases) {
    for (const auto& [valueShape, text, separator, value] : cases) {
        EXPECT_EQ(ValueText::parseInput(valueShape, text, separator), value)
            << valueShape.dataType.rawValue() << " '" << text << "'";
    }
}

const std::optional<double> invalid;

TEST(ValueTextTest, ParseDecimalInput) {
    const ParseCase cases[] = {
        {u16, "1 000", ".", 1000},       {u16, " \t42\t", ".", 42},
        {u16, "12,5", ".", 12.5},        {u16, "12.5", ",", 12.5},
        {u16, "1,000.5", ".", invalid},  {u16, "1.000,5", ",", invalid},
        {u16, "1e3", ".", 1000},         {u16, "-0.4", ".", -0.4},
        {u16, "-1", ".", invalid},       {u16, "65535.4", ".", 65535.4},
        {u16, "65535.6", ".", invalid},  {u16, "abc", ".", invalid},
        {u16, "inf", ".", invalid},      {u16, "12abc", ".", invalid},
        {tenths, "3276.7", ".", 3276.7}, {tenths, "3276.8", ".", invalid},
        {f32, "1e39", ".", invalid},     {f32, "-0,25", ".", -0.25},
    };
    expectParsed(cases);
}

TEST(ValueTextTest, ParseBitPatternsAndWords) {
    const ParseCase cases[] = {
        {u16, "0x1F", ".", 31},
        {u16, "0b101", ".", 5},
        {u16, "0X1f", ".", 31},
        {u16, "0x", ".", invalid},
        {u16, "0x10000", ".", invalid},
        {i16, "0xFFFF", ".", -1},
        {tenths, "0xFFFF", ".", -0.1},
        {f32, "0x3F800000", ".", 1.0},
        {shape(DataType::float32, 2), "0x3F800000", ".", 2.0},
        {f32, "0x100000000", ".", invalid},
        {f32, "0b1", ".", invalid},
        {u64, "0xFFFFFFFFFFFFFFFF", ".", 0x1p64},
        {u64, "0x10000000000000000", ".", invalid},
        {coil, "Aan", ".", 1},
        {coil, "NEIN", ".", 0},
        {coil, "SÍ", ".", 1},
        {coil, "2", ".", invalid},
    };
    expectParsed(cases);
}

} // namespace

#include "ModbusCore/ValueText.h"

#include <gtest/gtest.h>

#include <limits>

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

TEST(ValueTextTest, DisplayText) {
    const auto coil = RegisterTable::coil;
    struct Case {
        ValueShape shape;
        double value;
        std::string_view separator;
        std::string text;
    };
    const Case cases[] = {
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), 0.5, ".", "1"},
        {shape(DataType::bool_, 1, DisplayFormat::hex, coil), 0, ".", "0"},
        {shape(DataType::bool_), 0, ".", "0"},
        {shape(DataType::int16, 1, DisplayFormat::hex), -1, ".", "0xFFFF"},
        {shape(DataType::int16, 0.1, DisplayFormat::hex), -0.1, ".", "0xFFFF"},
        {shape(DataType::uint32, 1, DisplayFormat::hex), 255, ".", "0x000000FF"},
        {shape(DataType::int64, 1, DisplayFormat::hex), -1, ".", "0xFFFFFFFFFFFFFFFF"},
        {shape(DataType::uint16, 1, DisplayFormat::binary), 5, ".", "0000 0000 0000 0101"},
        {shape(DataType::float32, 1, DisplayFormat::hex), 1.5, ".", "1.5"},
        {shape(DataType::float64), 3.14159265, ".", "3.141593"},
        {shape(DataType::float64), 3.14159265, ",", "3,141593"},
        {shape(DataType::float64), 1234567.8, ".", "1234568"},
        {shape(DataType::float64), 12345678, ".", "12345680"},
        {shape(DataType::float64), 9999999.5, ".", "10000000"},
        {shape(DataType::float64), 0.1, ".", "0.1"},
        {shape(DataType::float32), static_cast<double>(0.1f), ".", "0.1"},
        {shape(DataType::float64), -2.5, ".", "-2.5"},
        {shape(DataType::float64), -0.0, ".", "0"},
        {shape(DataType::float64), 0.000001, ".", "0.000001"},
        {shape(DataType::float64), 1.5e-7, ",", "1,5e-7"},
        {shape(DataType::float64), 1e15, ".", "1e15"},
        {shape(DataType::float32), std::numeric_limits<float>::max(), ".", "3.402823e38"},
        {shape(DataType::float64), std::numeric_limits<double>::quiet_NaN(), ".", "NaN"},
        {shape(DataType::float32), infinity, ".", "∞"},
        {shape(DataType::int32), -infinity, ".", "-∞"},
        {shape(DataType::uint16, 0.1), 21.5, ".", "21.5"},
        {shape(DataType::uint16, 0.1), 21, ".", "21.0"},
        {shape(DataType::uint16, 0.1), 21, ",", "21,0"},
        {shape(DataType::int16, 0.01), -0.001, ".", "0.00"},
        {shape(DataType::uint16), 3.7, ".", "4"},
        {shape(DataType::int16), -2.5, ".", "-3"},
        {shape(DataType::uint64), 0x1p64, ".", "18446744073709551616"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shape.dataType.rawValue()) + " " + c.text);
        EXPECT_EQ(ValueText::displayText(c.shape, c.value, c.separator), c.text);
    }
}

TEST(ValueTextTest, ParseInput) {
    const auto coil = RegisterTable::coil;
    const auto uint16 = shape(DataType::uint16);
    const auto float32 = shape(DataType::float32);
    const std::optional<double> invalid;
    struct Case {
        ValueShape shape;
        std::string_view text;
        std::string_view separator;
        std::optional<double> value;
    };
    const Case cases[] = {
        {uint16, "0x1F", ".", 31},
        {uint16, "0b101", ".", 5},
        {uint16, "0X1f", ".", 31},
        {uint16, "0x", ".", invalid},
        {uint16, "0x10000", ".", invalid},
        {uint16, "0x-1", ".", invalid},
        {uint16, "0b102", ".", invalid},
        {uint16, "1 000", ".", 1000},
        {uint16, " \t42\t", ".", 42},
        {uint16, "12,5", ".", 12.5},
        {uint16, "12.5", ",", 12.5},
        {uint16, "12٫5", "٫", 12.5},
        {uint16, "1,000.5", ".", invalid},
        {uint16, "1.000,5", ",", invalid},
        {uint16, "1e3", ".", 1000},
        {uint16, "+7", ".", 7},
        {uint16, "+-7", ".", invalid},
        {uint16, "-0.4", ".", -0.4},
        {uint16, "-1", ".", invalid},
        {uint16, "65535.4", ".", 65535.4},
        {uint16, "65535.6", ".", invalid},
        {uint16, "abc", ".", invalid},
        {uint16, "", ".", invalid},
        {uint16, "inf", ".", invalid},
        {uint16, "nan", ".", invalid},
        {uint16, "12abc", ".", invalid},
        {shape(DataType::int16), "0xFFFF", ".", -1},
        {shape(DataType::int16, 0.1), "0xFFFF", ".", -0.1},
        {shape(DataType::int16, 0.1), "3276.7", ".", 3276.7},
        {shape(DataType::int16, 0.1), "3276.8", ".", invalid},
        {float32, "0x3F800000", ".", 1.0},
        {shape(DataType::float32, 2), "0x3F800000", ".", 2.0},
        {float32, "0x7F800000", ".", infinity},
        {float32, "0x100000000", ".", invalid},
        {float32, "0b1", ".", invalid},
        {float32, "3.4e38", ".", 3.4e38},
        {float32, "1e39", ".", invalid},
        {float32, "-0,25", ".", -0.25},
        {shape(DataType::uint64), "0xFFFFFFFFFFFFFFFF", ".", 0x1p64},
        {shape(DataType::uint64), "0x10000000000000000", ".", invalid},
        {shape(DataType::uint64), "18446744073709551616", ".", 0x1p64},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), "Aan", ".", 1},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), "NEIN", ".", 0},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), "sí", ".", 1},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), "SÍ", ".", 1},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), " On ", ".", 1},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), "2", ".", invalid},
        {shape(DataType::bool_, 1, DisplayFormat::decimal, coil), "1.0", ".", invalid},
        {shape(DataType::bool_), "ja", ".", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shape.dataType.rawValue()) + " \"" + std::string(c.text) + "\"");
        EXPECT_EQ(ValueText::parseInput(c.shape, c.text, c.separator), c.value);
    }
}

// What a cell shows must read back as the same value in either locale.
TEST(ValueTextTest, DisplayedTextParsesBack) {
    const std::pair<ValueShape, double> cases[] = {
        {shape(DataType::int16, 1, DisplayFormat::hex), -1},
        {shape(DataType::int32, 1, DisplayFormat::hex), -123456},
        {shape(DataType::uint64, 1, DisplayFormat::hex), 0x1p60},
        {shape(DataType::int16, 0.1), -21.5},
        {shape(DataType::float64), 1.5e-7},
        {shape(DataType::float64), -1234.5},
        {shape(DataType::float32), 3e38},
    };
    for (const auto& [valueShape, value] : cases) {
        for (std::string_view separator : {".", ","}) {
            const std::string text = ValueText::displayText(valueShape, value, separator);
            const auto parsed = ValueText::parseInput(valueShape, text, separator);
            ASSERT_TRUE(parsed.has_value()) << text;
            EXPECT_NEAR(*parsed, value, std::abs(value) * 1e-6) << text;
        }
    }
}

} // namespace

#include "ModbusCore/ValueTypes.h"

#include <gtest/gtest.h>

namespace {

template <typename Enum>
void expectRawValuesRoundTrip() {
    for (Enum value : Enum::allCases()) {
        EXPECT_EQ(Enum::fromRaw(value.rawValue()), value) << value.rawValue();
    }
    EXPECT_EQ(Enum::fromRaw(""), std::nullopt);
}

TEST(ValueTypesTest, RawValuesRoundTripAndAreCaseSensitive) {
    expectRawValuesRoundTrip<RegisterTable>();
    expectRawValuesRoundTrip<DataType>();
    expectRawValuesRoundTrip<WordOrder>();
    expectRawValuesRoundTrip<DisplayFormat>();
    EXPECT_EQ(DataType::fromRaw("bool"), DataType::bool_);
    EXPECT_EQ(RegisterTable::fromRaw("HoldingRegister"), std::nullopt);
    EXPECT_EQ(WordOrder::fromRaw("ABCD"), std::nullopt);
}

TEST(ValueTypesTest, ForgivingParsers) {
    const std::pair<std::string_view, std::optional<RegisterTable>> tables[] = {
        {"Holding Register", RegisterTable::holdingRegister},
        {" HR\t", RegisterTable::holdingRegister},
        {"4x", RegisterTable::holdingRegister},
        {"Discrete Inputs", RegisterTable::discreteInput},
        {"input", RegisterTable::discreteInput},
        {"Input Registers", RegisterTable::inputRegister},
        {"3", RegisterTable::inputRegister},
        {"0x", RegisterTable::coil},
        {"Coils", RegisterTable::coil},
        {"register", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, table] : tables) {
        EXPECT_EQ(RegisterTable::parse(text), table) << text;
    }
    const std::pair<std::string_view, std::optional<DataType>> types[] = {
        {"UINT16", DataType::uint16}, {" bool ", DataType::bool_}, {"Bit", DataType::bool_},
        {"word", DataType::uint16},   {"short", DataType::int16},  {"DINT", DataType::int32},
        {"real", DataType::float32},  {"ulint", DataType::uint64}, {"s64", DataType::int64},
        {"LReal", DataType::float64}, {"uint 16", std::nullopt},   {"int8", std::nullopt},
    };
    for (const auto& [text, type] : types) {
        EXPECT_EQ(DataType::parse(text), type) << text;
    }
    EXPECT_EQ(WordOrder::parse(" CDAB "), WordOrder::cdab);
    EXPECT_EQ(WordOrder::parse("ab cd"), std::nullopt);
    EXPECT_EQ(DisplayFormat::parse(""), DisplayFormat::decimal);
    EXPECT_EQ(DisplayFormat::parse(" Hexadecimal"), DisplayFormat::hex);
    EXPECT_EQ(DisplayFormat::parse("BIN"), DisplayFormat::binary);
    EXPECT_EQ(DisplayFormat::parse("octal"), std::nullopt);
}

TEST(ValueTypesTest, DataTypeProperties) {
    EXPECT_EQ(DataType::choices(RegisterTable::coil), std::vector<DataType>{DataType::bool_});
    EXPECT_EQ(DataType::choices(RegisterTable::discreteInput).size(), 1u);
    EXPECT_EQ(DataType::choices(RegisterTable::inputRegister).size(), 9u);
    EXPECT_EQ(DataType(DataType::uint64).valueRange().second, 18446744073709551616.0);
    EXPECT_EQ(DataType(DataType::int64).valueRange().first, -9223372036854775808.0);
    EXPECT_EQ(DataType(DataType::float32).valueRange().second, 3.4028234663852886e38);
    EXPECT_FALSE(DataType(DataType::float64).isSigned());
    EXPECT_FALSE(DataType(DataType::int16).isMultiRegister());
    EXPECT_TRUE(DataType(DataType::uint32).isMultiRegister());
    EXPECT_EQ(DataType(DataType::bool_).hexDigits(), 0);
    EXPECT_EQ(DataType(DataType::int64).binaryDigits(), 64);
    EXPECT_EQ(WordOrder(WordOrder::dcba).displayName(), "DCBA");
    EXPECT_EQ(RegisterTable(RegisterTable::inputRegister).modiconPrefix(), 3);
}

} // namespace

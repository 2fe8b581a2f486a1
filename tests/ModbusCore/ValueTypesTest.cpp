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

TEST(ValueTypesTest, RawValuesRoundTrip) {
    expectRawValuesRoundTrip<RegisterTable>();
    expectRawValuesRoundTrip<DataType>();
    expectRawValuesRoundTrip<WordOrder>();
    expectRawValuesRoundTrip<DisplayFormat>();
    EXPECT_EQ(DataType::fromRaw("bool"), DataType::bool_);
}

// The parsers ignore case, blanks around and inside the words, and plurals.
TEST(ValueTypesTest, ForgivingParsers) {
    using T = RegisterTable;
    const std::pair<std::string_view, std::optional<RegisterTable>> tables[] = {
        {"Holding Register", T::holdingRegister},
        {" HR\t", T::holdingRegister},
        {"Discrete Inputs", T::discreteInput},
        {"input", T::discreteInput},
        {"3", T::inputRegister},
        {"0x", T::coil},
        {"register", std::nullopt}};
    for (const auto& [text, table] : tables) {
        EXPECT_EQ(RegisterTable::parse(text), table) << text;
    }
    const std::pair<std::string_view, std::optional<DataType>> types[] = {
        {"UINT16", DataType::uint16}, {" bool ", DataType::bool_}, {"DINT", DataType::int32},
        {"real", DataType::float32},  {"uint 16", std::nullopt},   {"int8", std::nullopt},
    };
    for (const auto& [text, type] : types) {
        EXPECT_EQ(DataType::parse(text), type) << text;
    }
    EXPECT_EQ(WordOrder::parse(" CDAB "), WordOrder::cdab);
    EXPECT_EQ(WordOrder::parse("ab cd"), std::nullopt);
    EXPECT_EQ(DisplayFormat::parse(""), DisplayFormat::decimal);
    EXPECT_EQ(DisplayFormat::parse(" Hexadecimal"), DisplayFormat::hex);
    EXPECT_EQ(DisplayFormat::parse("octal"), std::nullopt);
}

} // namespace

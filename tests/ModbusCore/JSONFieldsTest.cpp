#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using nlohmann::json;

// An integral floating-point number is an integer; nothing else is converted.
TEST(JSONFields, IntegerReading) {
    const auto read = [](const std::string& text) {
        return JSONFields::optionalInteger(json::parse(R"({"n":)" + text + "}"), "n", 0, 255);
    };
    const std::pair<const char*, std::optional<std::int64_t>> accepted[] = {
        {"5", 5}, {"5.0", 5}, {"-0.0", 0}, {"255", 255}, {"null", std::nullopt}};
    for (const auto& [text, expected] : accepted) {
        EXPECT_EQ(read(text), expected) << text;
    }
    for (const char* text :
         {"5.5", "256", "-1", "1e20", "18446744073709551615", "true", "\"5\"", "[5]"}) {
        EXPECT_THROW(read(text), DecodingError) << text;
    }
    // 2^63 as a double is one past the largest int64.
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(JSONFields::requiredInteger(json{{"n", highest}}, "n", 0, highest), highest);
    EXPECT_THROW(JSONFields::requiredInteger(json{{"n", 0x1p63}}, "n", 0, highest), DecodingError);
    EXPECT_THROW(JSONFields::optionalBool(json{{"b", 1}}, "b"), DecodingError);
    const json infinite{{"x", std::numeric_limits<double>::infinity()}};
    EXPECT_THROW(JSONFields::optionalNumber(infinite, "x"), DecodingError);
}

} // namespace

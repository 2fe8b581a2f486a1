#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using nlohmann::json;

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
}

TEST(JSONFields, IntegerLimitsOfInt64) {
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    const auto read = [&](const char* text) {
        return JSONFields::requiredInteger(json::parse(text), "n", lowest, highest);
    };
    EXPECT_EQ(read(R"({"n":-9223372036854775808})"), lowest);
    EXPECT_EQ(read(R"({"n":9223372036854775807})"), highest);
    // 2^63 as a double is one past the largest int64.
    EXPECT_THROW(read(R"({"n":9223372036854775808.0})"), DecodingError);
}

// Missing and null are the caller's default; types are never converted. (Numbers and strings
// are covered through the datapoint and simulation readers.)
TEST(JSONFields, BoolsRequiredIntegersAndNonFiniteNumbers) {
    const auto object = json::parse(R"({"b":true,"n":1,"z":null})");
    EXPECT_EQ(JSONFields::optionalBool(object, "b"), true);
    EXPECT_FALSE(JSONFields::optionalBool(object, "z"));
    EXPECT_FALSE(JSONFields::optionalBool(object, "absent"));
    EXPECT_THROW(JSONFields::optionalBool(object, "n"), DecodingError);
    EXPECT_THROW(JSONFields::requiredInteger(object, "z", 0, 1), DecodingError);
    EXPECT_THROW(JSONFields::requiredInteger(object, "absent", 0, 1), DecodingError);
    const json infinite{{"x", std::numeric_limits<double>::infinity()}};
    EXPECT_THROW(JSONFields::optionalNumber(infinite, "x"), DecodingError);
}

} // namespace

#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using nlohmann::json;

struct IntegerCase {
    const char* text; // the value of "n"
    std::optional<std::int64_t> expected;
    bool fails;
};

TEST(JSONFields, IntegerReading) {
    const IntegerCase cases[] = {
        {"5", 5, false},
        {"5.0", 5, false},
        {"-0.0", 0, false},
        {"255", 255, false},
        {"null", std::nullopt, false},
        {"5.5", std::nullopt, true},
        {"256", std::nullopt, true},
        {"-1", std::nullopt, true},
        {"1e20", std::nullopt, true},
        {"18446744073709551615", std::nullopt, true},
        {"true", std::nullopt, true},
        {"\"5\"", std::nullopt, true},
        {"[5]", std::nullopt, true},
    };
    for (const auto& c : cases) {
        const auto object = json::parse(std::string(R"({"n":)") + c.text + "}");
        if (c.fails) {
            EXPECT_THROW(JSONFields::optionalInteger(object, "n", 0, 255), DecodingError) << c.text;
        } else {
            EXPECT_EQ(JSONFields::optionalInteger(object, "n", 0, 255), c.expected) << c.text;
        }
    }
}

TEST(JSONFields, IntegerLimitsOfInt64) {
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(JSONFields::requiredInteger(json::parse(R"({"n":-9223372036854775808})"), "n", lowest,
                                          highest),
              lowest);
    EXPECT_EQ(JSONFields::requiredInteger(json::parse(R"({"n":9223372036854775807})"), "n", lowest,
                                          highest),
              highest);
    // 2^63 as a double is one past the largest int64.
    EXPECT_THROW(JSONFields::requiredInteger(json::parse(R"({"n":9223372036854775808.0})"), "n",
                                             lowest, highest),
                 DecodingError);
}

TEST(JSONFields, MissingAndNullAreTheCallersDefault) {
    const auto object = json::parse(R"({"s":null})");
    EXPECT_FALSE(JSONFields::optionalString(object, "s"));
    EXPECT_FALSE(JSONFields::optionalString(object, "absent"));
    EXPECT_FALSE(JSONFields::optionalBool(object, "s"));
    EXPECT_FALSE(JSONFields::optionalNumber(object, "s"));
    EXPECT_THROW(JSONFields::requiredString(object, "s"), DecodingError);
    EXPECT_THROW(JSONFields::requiredNumber(object, "absent"), DecodingError);
    EXPECT_THROW(JSONFields::requiredInteger(object, "absent", 0, 1), DecodingError);
}

TEST(JSONFields, TypesAreNotConverted) {
    const auto object = json::parse(R"({"b":true,"n":1,"s":"x"})");
    EXPECT_EQ(JSONFields::optionalBool(object, "b"), true);
    EXPECT_EQ(JSONFields::optionalNumber(object, "n"), 1.0);
    EXPECT_EQ(JSONFields::optionalString(object, "s"), "x");
    EXPECT_THROW(JSONFields::optionalNumber(object, "b"), DecodingError);
    EXPECT_THROW(JSONFields::optionalBool(object, "n"), DecodingError);
    EXPECT_THROW(JSONFields::optionalString(object, "n"), DecodingError);
    EXPECT_THROW(JSONFields::optionalNumber(object, "s"), DecodingError);
}

TEST(JSONFields, NonFiniteNumbersAreRejected) {
    json object;
    object["x"] = std::numeric_limits<double>::infinity();
    EXPECT_THROW(JSONFields::optionalNumber(object, "x"), DecodingError);
}

} // namespace

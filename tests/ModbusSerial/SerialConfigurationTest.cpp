#include "ModbusSerial/SerialConfiguration.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <tuple>

namespace {

TEST(SerialConfiguration, TextsAndCharacterBits) {
    const std::tuple<SerialConfiguration, const char*, const char*, int> cases[] = {
        {{}, "8E1", "9600 8E1", 11},
        {{19200, 8, Parity::none, 2}, "8N2", "19200 8N2", 11},
        {{9600, 7, Parity::odd, 1}, "7O1", "9600 7O1", 10},
        {{115200, 8, Parity::none, 1}, "8N1", "115200 8N1", 10},
    };
    for (const auto& [configuration, frameText, summary, characterBits] : cases) {
        EXPECT_EQ(configuration.frameText(), frameText);
        EXPECT_EQ(configuration.summary(), summary);
        EXPECT_EQ(configuration.characterBits(), characterBits) << summary;
    }
}

TEST(SerialConfiguration, JSONRecord) {
    const SerialConfiguration configuration{57600, 7, Parity::odd, 2};
    const auto json =
        nlohmann::json::parse(R"({"baudRate":57600,"dataBits":7,"parity":"odd","stopBits":2})");
    EXPECT_EQ(configuration.toJSON(), json);
    EXPECT_EQ(SerialConfiguration::fromJSON(json), configuration);
    // A null value stands for a missing key.
    const std::pair<const char*, nlohmann::json> wrong[] = {
        {"baudRate", nullptr}, {"dataBits", nullptr}, {"parity", nullptr},
        {"stopBits", nullptr}, {"parity", "mark"},    {"parity", 1},
        {"baudRate", "9600"},  {"baudRate", 9600.5},  {"baudRate", 1e12},
    };
    for (const auto& [key, value] : wrong) {
        auto record = json;
        value.is_null() ? (void)record.erase(key) : (void)(record[key] = value);
        EXPECT_THROW(SerialConfiguration::fromJSON(record), DecodingError) << key << " " << value;
    }
}

} // namespace

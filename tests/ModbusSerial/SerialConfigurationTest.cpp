#include "ModbusSerial/SerialConfiguration.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

TEST(SerialConfiguration, TextsAndCharacterBits) {
    struct Case {
        SerialConfiguration configuration;
        const char* frameText;
        const char* summary;
        int characterBits;
    };
    const Case cases[] = {
        {{}, "8E1", "9600 8E1", 11},
        {{19200, 8, Parity::none, 2}, "8N2", "19200 8N2", 11},
        {{9600, 7, Parity::odd, 1}, "7O1", "9600 7O1", 10},
        {{115200, 8, Parity::none, 1}, "8N1", "115200 8N1", 10},
        {{1200, 7, Parity::even, 2}, "7E2", "1200 7E2", 11},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.configuration.frameText(), c.frameText);
        EXPECT_EQ(c.configuration.summary(), c.summary);
        EXPECT_EQ(c.configuration.characterBits(), c.characterBits) << c.summary;
    }
}

TEST(SerialConfiguration, JSONRecord) {
    const SerialConfiguration configuration{57600, 7, Parity::odd, 2};
    const auto json =
        nlohmann::json::parse(R"({"baudRate":57600,"dataBits":7,"parity":"odd","stopBits":2})");
    EXPECT_EQ(configuration.toJSON(), json);
    EXPECT_EQ(SerialConfiguration::fromJSON(json), configuration);
    // Integral floating-point numbers are integers too.
    EXPECT_EQ(SerialConfiguration::fromJSON(nlohmann::json::parse(
                  R"({"baudRate":9600.0,"dataBits":8,"parity":"even","stopBits":1})")),
              SerialConfiguration());

    for (const char* record : {
             R"({"baudRate":9600,"dataBits":8,"parity":"mark","stopBits":1})",
             R"({"baudRate":9600,"dataBits":8,"parity":"even"})",
             R"({"dataBits":8,"parity":"even","stopBits":1})",
             R"({"baudRate":9600,"parity":"even","stopBits":1})",
             R"({"baudRate":9600,"dataBits":8,"stopBits":1})",
             R"({"baudRate":"9600","dataBits":8,"parity":"even","stopBits":1})",
             R"({"baudRate":9600.5,"dataBits":8,"parity":"even","stopBits":1})",
             R"({"baudRate":9600,"dataBits":8,"parity":1,"stopBits":1})",
             R"({"baudRate":1e12,"dataBits":8,"parity":"even","stopBits":1})",
             R"([9600,8,"even",1])",
             R"(null)",
         }) {
        EXPECT_THROW(SerialConfiguration::fromJSON(nlohmann::json::parse(record)), DecodingError)
            << record;
    }
}

} // namespace

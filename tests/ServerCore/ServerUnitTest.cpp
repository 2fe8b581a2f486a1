#include "ServerCore/ServerUnit.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <tuple>

namespace {

using nlohmann::json;
using Fault = ServerUnit::Fault;
using Policy = ServerUnit::UndefinedAddresses;

ServerUnit decoded(const char* text) {
    return ServerUnit::fromJSON(json::parse(text));
}

TEST(ServerUnit, BehaviourDelayNeverNegative) {
    for (auto [delayMs, seconds] : {std::pair{-50, 0.0}, {0, 0.0}, {1500, 1.5}, {1, 0.001}}) {
        ServerUnit unit;
        unit.delayMs = delayMs;
        EXPECT_DOUBLE_EQ(unit.behaviour().delay, seconds) << delayMs;
    }
}

TEST(ServerUnitJSON, RoundTripsAndWritesEveryKey) {
    ServerUnit unit;
    std::tie(unit.unitID, unit.name, unit.enabled, unit.fault, unit.exceptionCode, unit.delayMs,
             unit.undefinedAddresses) =
        std::tuple(42, "Boiler", false, Fault::badCRC, ModbusException::gatewayPathUnavailable, -50,
                   Policy::zero);
    EXPECT_EQ(unit.toJSON(), json::parse(R"({"unitID":42,"name":"Boiler","enabled":false,
        "fault":"badCRC","exceptionCode":10,"delayMs":-50,"undefinedAddresses":"zero"})"));
    for (std::size_t i = 0; i < Fault::allCases().size(); ++i) { // every raw value
        unit.fault = Fault::allCases()[i];
        unit.undefinedAddresses = Policy::allCases()[i % Policy::allCases().size()];
        EXPECT_EQ(ServerUnit::fromJSON(json::parse(unit.toJSON().dump())), unit);
    }
}

TEST(ServerUnitJSON, AcceptsMinimalRecordsAndTakesDefaults) {
    ServerUnit expected;
    expected.unitID = 5;
    EXPECT_EQ(decoded(R"({"unitID":5})"), expected);
    EXPECT_EQ(decoded(R"({"unitID":5,"name":null,"fault":null,"delayMs":null,"colour":"red"})"),
              expected);
    EXPECT_EQ(decoded(R"({"unitID":0})").unitID, 0);
    EXPECT_EQ(decoded(R"({"unitID":255.0})").unitID, 255);
    EXPECT_EQ(decoded(R"({"unitID":1,"fault":"noResponse"})").fault, Fault::noResponse);
    EXPECT_EQ(decoded(R"({"unitID":1,"exceptionCode":11})").exceptionCode,
              ModbusException::gatewayTargetFailedToRespond);
}

// Units that keep every code and the default identity write neither key, so older files read
// and write as before.
TEST(ServerUnitJSON, FunctionsAndIdentityRoundTripAndStayOutWhenDefault) {
    ServerUnit unit;
    unit.unitID = 7;
    unit.name = "Pump";
    EXPECT_FALSE(unit.toJSON().contains("functions"));
    EXPECT_FALSE(unit.toJSON().contains("identity"));
    EXPECT_EQ(unit.servedIdentity().serverID, Bytes{7});
    EXPECT_EQ(unit.servedIdentity().objects.at(5), "Pump");

    unit.functions = {3, 6, 8, 43};
    unit.identity.serverID = Bytes{0x0A, 0xFF};
    unit.identity.runIndicator = false;
    unit.identity.exceptionStatus = 0x6D;
    unit.identity.vendorURL = "https://example.invalid";
    unit.identity.modelName = "";
    unit.identity.privateObjects = {{0x80, "first"}, {0xFF, "last"}};
    EXPECT_EQ(unit.toJSON()["functions"], json::parse("[3, 6, 8, 43]"));
    EXPECT_EQ(unit.toJSON()["identity"], json::parse(R"({"serverID":"0AFF","runIndicator":false,
        "exceptionStatus":109,"vendorURL":"https://example.invalid","modelName":"",
        "privateObjects":{"128":"first","255":"last"}})"));
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(unit.toJSON().dump())), unit);
    EXPECT_FALSE(unit.servedIdentity().objects.contains(5)); // an empty text is no object
    EXPECT_FALSE(unit.behaviour().functions.test(1));
    EXPECT_TRUE(unit.behaviour().functions.test(43));

    // Codes come back sorted and once; a hex text may have blanks and lower case.
    const auto read =
        decoded(R"({"unitID":1,"functions":[43,3,3],"identity":{"serverID":"0a ff"}})");
    EXPECT_EQ(read.functions, (std::vector<std::uint8_t>{3, 43}));
    EXPECT_EQ(read.identity.serverID, (Bytes{0x0A, 0xFF}));
    EXPECT_EQ(decoded(R"({"unitID":1,"functions":[]})").functions, std::vector<std::uint8_t>{});
    EXPECT_EQ(decoded(R"({"unitID":1,"functions":null})").functions, supportedFunctionCodes());
}

TEST(ServerUnitJSON, RejectsBadRecordsFunctionsAndIdentities) {
    const auto rejected = json::parse(R"([{}, {"unitID":null}, {"unitID":300}, {"unitID":-1},
        {"unitID":"5"}, {"unitID":5.5}, [{"unitID":1}], {"unitID":1,"fault":"timeout"},
        {"unitID":1,"fault":"NoResponse"}, {"unitID":1,"exceptionCode":7},
        {"unitID":1,"exceptionCode":0}, {"unitID":1,"exceptionCode":262},
        {"unitID":1,"exceptionCode":"06"}, {"unitID":1,"undefinedAddresses":"ignore"},
        {"unitID":1,"enabled":1}, {"unitID":1,"name":[]}, {"unitID":1,"delayMs":2.5},
        {"unitID":1,"delayMs":3000000000}, {"unitID":1,"functions":3}, {"unitID":1,"functions":[9]},
        {"unitID":1,"functions":[3,"6"]}, {"unitID":1,"functions":[-1]},
        {"unitID":1,"functions":[259]}, {"unitID":1,"identity":[]},
        {"unitID":1,"identity":{"serverID":""}}, {"unitID":1,"identity":{"serverID":"ABC"}},
        {"unitID":1,"identity":{"serverID":"0G"}}, {"unitID":1,"identity":{"serverID":1}},
        {"unitID":1,"identity":{"runIndicator":"yes"}},
        {"unitID":1,"identity":{"exceptionStatus":256}}, {"unitID":1,"identity":{"vendorName":5}},
        {"unitID":1,"identity":{"privateObjects":{"127":"x"}}},
        {"unitID":1,"identity":{"privateObjects":{"256":"x"}}},
        {"unitID":1,"identity":{"privateObjects":{"0x80":"x"}}},
        {"unitID":1,"identity":{"privateObjects":{"128":7}}},
        {"unitID":1,"identity":{"privateObjects":["x"]}}])");
    for (const json& record : rejected) {
        EXPECT_THROW(ServerUnit::fromJSON(record), DecodingError) << record.dump();
    }
    const std::string tooLong(245, 'x');
    for (const std::string& text :
         {R"({"unitID":1,"identity":{"productName":")" + tooLong + R"("}})",
          R"({"unitID":1,"identity":{"privateObjects":{"200":")" + tooLong + R"("}}})",
          R"({"unitID":1,"identity":{"additionalData":")" + std::string(250, 'x') + R"("}})"}) {
        EXPECT_THROW(decoded(text.c_str()), DecodingError) << text;
    }
    EXPECT_NO_THROW(decoded(
        (R"({"unitID":1,"identity":{"productName":")" + std::string(244, 'x') + R"("}})").c_str()));
}

} // namespace

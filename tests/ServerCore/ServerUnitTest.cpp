#include "ServerCore/ServerUnit.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// The raw values themselves are the JSON texts, checked below.
TEST(ServerUnitEnums, RawValuesRoundTrip) {
    for (auto fault : ServerUnit::Fault::allCases()) {
        EXPECT_EQ(ServerUnit::Fault::fromRaw(fault.rawValue()), fault);
    }
    for (auto policy : ServerUnit::UndefinedAddresses::allCases()) {
        EXPECT_EQ(ServerUnit::UndefinedAddresses::fromRaw(policy.rawValue()), policy);
    }
}

TEST(ServerUnit, BehaviourDelayNeverNegative) {
    const std::pair<int, double> cases[] = {{-50, 0.0}, {0, 0.0}, {1500, 1.5}, {1, 0.001}};
    for (auto [delayMs, seconds] : cases) {
        ServerUnit unit;
        unit.delayMs = delayMs;
        EXPECT_DOUBLE_EQ(unit.behaviour().delay, seconds) << delayMs;
    }
}

TEST(ServerUnitJSON, RoundTripsAndWritesEveryKey) {
    const ServerUnit unit{42,
                          "Boiler",
                          false,
                          ServerUnit::Fault::badCRC,
                          ModbusException::gatewayPathUnavailable,
                          -50,
                          ServerUnit::UndefinedAddresses::zero};
    const auto encoded = unit.toJSON();
    EXPECT_EQ(encoded, json::parse(R"({"unitID":42,"name":"Boiler","enabled":false,
        "fault":"badCRC","exceptionCode":10,"delayMs":-50,"undefinedAddresses":"zero"})"));
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(encoded.dump())), unit);
}

TEST(ServerUnitJSON, MinimalRecordTakesDefaults) {
    ServerUnit expected;
    expected.unitID = 5;
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(R"({"unitID":5})")), expected);
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(
                  R"({"unitID":5,"name":null,"fault":null,"delayMs":null,"colour":"red"})")),
              expected);
    EXPECT_EQ(expected.exceptionCode, ModbusException::serverDeviceBusy);
}

TEST(ServerUnitJSON, AcceptedValues) {
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(R"({"unitID":0})")).unitID, 0);
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(R"({"unitID":255.0})")).unitID, 255);
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(R"({"unitID":1,"fault":"noResponse"})")).fault,
              ServerUnit::Fault::noResponse);
    EXPECT_EQ(ServerUnit::fromJSON(json::parse(R"({"unitID":1,"exceptionCode":11})")).exceptionCode,
              ModbusException::gatewayTargetFailedToRespond);
}

TEST(ServerUnitJSON, RejectsBadRecords) {
    for (const char* text : {
             R"({})",
             R"({"unitID":null})",
             R"({"unitID":300})",
             R"({"unitID":-1})",
             R"({"unitID":"5"})",
             R"({"unitID":5.5})",
             R"({"unitID":1,"fault":"timeout"})",
             R"({"unitID":1,"fault":"NoResponse"})",
             R"({"unitID":1,"exceptionCode":7})",
             R"({"unitID":1,"exceptionCode":0})",
             R"({"unitID":1,"exceptionCode":262})",
             R"({"unitID":1,"exceptionCode":"06"})",
             R"({"unitID":1,"undefinedAddresses":"ignore"})",
             R"({"unitID":1,"undefinedAddresses":"Zero"})",
             R"({"unitID":1,"enabled":1})",
             R"({"unitID":1,"name":[]})",
             R"({"unitID":1,"delayMs":2.5})",
             R"({"unitID":1,"delayMs":3000000000})",
             R"([{"unitID":1}])",
         }) {
        EXPECT_THROW(ServerUnit::fromJSON(json::parse(text)), DecodingError) << text;
    }
}

} // namespace

#include "ServerCore/ServerUnit.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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
    unit.unitID = 42;
    unit.name = "Boiler";
    unit.enabled = false;
    unit.fault = Fault::badCRC;
    unit.exceptionCode = ModbusException::gatewayPathUnavailable;
    unit.delayMs = -50;
    unit.undefinedAddresses = Policy::zero;
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

TEST(ServerUnitJSON, RejectsBadRecords) {
    for (const char* text :
         {R"({})", R"({"unitID":null})", R"({"unitID":300})", R"({"unitID":-1})",
          R"({"unitID":"5"})", R"({"unitID":5.5})", R"([{"unitID":1}])",
          R"({"unitID":1,"fault":"timeout"})", R"({"unitID":1,"fault":"NoResponse"})",
          R"({"unitID":1,"exceptionCode":7})", R"({"unitID":1,"exceptionCode":0})",
          R"({"unitID":1,"exceptionCode":262})", R"({"unitID":1,"exceptionCode":"06"})",
          R"({"unitID":1,"undefinedAddresses":"ignore"})", R"({"unitID":1,"enabled":1})",
          R"({"unitID":1,"name":[]})", R"({"unitID":1,"delayMs":2.5})",
          R"({"unitID":1,"delayMs":3000000000})"}) {
        EXPECT_THROW(decoded(text), DecodingError) << text;
    }
}

} // namespace

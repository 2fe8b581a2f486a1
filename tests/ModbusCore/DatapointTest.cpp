#include "ModbusCore/Datapoint.h"
#include "ModbusCore/JSONFields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using T = RegisterTable;
using D = DataType;

Datapoint makePoint(RegisterTable table, DataType type, std::uint16_t address,
                    std::uint8_t unitID = 1) {
    return Datapoint(UUID::random(), "p", unitID, table, address, type, WordOrder::abcd, 1.0, "",
                     DisplayFormat::decimal, 0, "", Simulation{});
}

TEST(Datapoint, BitTablesForceBoolAndLeavingThemResetsTheType) {
    EXPECT_EQ(makePoint(T::coil, D::float32, 0).dataType, D::bool_);
    EXPECT_EQ(makePoint(T::inputRegister, D::float32, 0).dataType, D::float32);
    // Table and type before, the new table and the type it must give.
    const std::tuple<RegisterTable, DataType, RegisterTable, DataType> cases[] = {
        {T::holdingRegister, D::bool_, T::holdingRegister, D::uint16},
        {T::holdingRegister, D::uint32, T::coil, D::bool_},
        {T::coil, D::bool_, T::holdingRegister, D::uint16},
    };
    for (const auto& [from, type, to, expected] : cases) {
        auto point = makePoint(from, type, 0);
        point.changeTable(to);
        EXPECT_EQ(point.table, to);
        EXPECT_EQ(point.dataType, expected) << from.rawValue() << " " << type.rawValue();
    }
}

TEST(Datapoint, AddressArithmeticAtTheTopOfTheAddressSpace) {
    // Table, type, address, registerSpan, end of addressRange, lastAddress, Modicon address.
    using Optional = std::optional<std::uint16_t>;
    const std::tuple<RegisterTable, DataType, std::uint16_t, int, int, Optional, const char*>
        cases[] = {
            {T::holdingRegister, D::float64, 65532, 4, 65535, 65535, "465533"},
            {T::holdingRegister, D::float64, 65533, 4, 65536, std::nullopt, "465534"},
            {T::inputRegister, D::int32, 65535, 2, 65536, std::nullopt, "365536"},
            {T::holdingRegister, D::uint16, 65535, 1, 65535, 65535, "465536"},
            {T::coil, D::bool_, 65535, 1, 65535, 65535, "065536"},
            {T::holdingRegister, D::bool_, 7, 1, 7, 7, "40008"},
            {T::coil, D::bool_, 0, 1, 0, 0, "00001"},
            {T::holdingRegister, D::uint16, 9999, 1, 9999, 9999, "410000"},
        };
    for (const auto& [table, type, address, span, rangeEnd, last, modicon] : cases) {
        const auto point = makePoint(table, type, address);
        SCOPED_TRACE(std::string(type.rawValue()) + " at " + std::to_string(address));
        EXPECT_EQ(point.registerSpan(), span);
        EXPECT_EQ(point.addressRange(), std::make_pair(int(address), rangeEnd));
        EXPECT_EQ(point.lastAddress(), last);
        EXPECT_EQ(point.modiconAddress(), modicon);
    }
}

TEST(Datapoint, OverlapNeedsSameUnitSameTableAndMeetingRanges) {
    const auto u32At10 = makePoint(T::holdingRegister, D::uint32, 10);
    const std::pair<Datapoint, bool> cases[] = {
        {u32At10, true},
        {makePoint(T::holdingRegister, D::uint16, 11), true},
        {makePoint(T::holdingRegister, D::float64, 7), true},
        {makePoint(T::holdingRegister, D::uint16, 12), false},
        {makePoint(T::inputRegister, D::uint16, 11), false},
        {makePoint(T::holdingRegister, D::uint16, 11, 2), false},
    };
    for (const auto& [other, overlaps] : cases) {
        EXPECT_EQ(u32At10.overlaps(other), overlaps) << other.address;
        EXPECT_EQ(other.overlaps(u32At10), overlaps) << other.address;
    }
    // A bit datapoint spans one bit whatever registerCount its type would have.
    EXPECT_FALSE(makePoint(T::coil, D::bool_, 3).overlaps(makePoint(T::coil, D::bool_, 4)));
}

TEST(DatapointJSON, EmptyObjectGivesDefaults) {
    const auto point = Datapoint::fromJSON(nlohmann::json::object());
    const Datapoint expected(point.id, "", 1, T::holdingRegister, 0, D::uint16, WordOrder::abcd,
                             1.0, "", DisplayFormat::decimal, 0, "",
                             Simulation{Simulation::Kind::none, 0, 100, 10});
    EXPECT_EQ(point, expected);
    EXPECT_NE(Datapoint::fromJSON(nlohmann::json::object()).id, point.id);
}

TEST(DatapointJSON, RoundTripsEveryField) {
    const Datapoint point(UUID::random(), "Flow", 17, T::inputRegister, 300, D::float64,
                          WordOrder::dcba, 0.25, "m³/h", DisplayFormat::binary, -12.75, "main line",
                          Simulation{Simulation::Kind::ramp, 1, 9, 3});
    const auto json = point.toJSON();
    EXPECT_EQ(json["id"], point.id.toString());
    EXPECT_EQ(json["table"], "inputRegister");
    EXPECT_EQ(Datapoint::fromJSON(nlohmann::json::parse(json.dump())), point);
}

TEST(DatapointJSON, TolerantReading) {
    const auto json = nlohmann::json::parse(R"({"id":"0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0",
        "table":"coil","dataType":"float32","unitID":5.0,"name":null,"scale":null,
        "simulation":null,"address":65535,"extra":[1]})");
    const auto id = UUID::fromString("0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0").value();
    const Datapoint expected(id, "", 5, T::coil, 65535, D::bool_, WordOrder::abcd, 1.0, "",
                             DisplayFormat::decimal, 0, "", Simulation{});
    EXPECT_EQ(Datapoint::fromJSON(json), expected);
}

TEST(DatapointJSON, RejectsWrongTypesRangesAndRawStrings) {
    const auto rejected = nlohmann::json::parse(R"([
        {"table":"Coil"}, {"dataType":"Float32"}, {"wordOrder":"ABCD"}, {"format":"hexadecimal"},
        {"unitID":300}, {"unitID":-1}, {"unitID":1.5}, {"unitID":"1"}, {"address":-1},
        {"address":65536}, {"scale":"1"}, {"scale":true}, {"value":[1]}, {"name":3},
        {"notes":false}, {"engineeringUnit":{}}, {"id":"not-a-uuid"}, {"id":""}, {"id":42},
        {"simulation":{"kind":"sine","minimum":0,"maximum":1}}, {"simulation":"sine"}, [], null])");
    for (const auto& json : rejected) {
        EXPECT_THROW(Datapoint::fromJSON(json), DecodingError) << json.dump();
    }
    const auto badAddress = [] { (void)Datapoint::fromJSON(nlohmann::json{{"address", -1}}); };
    EXPECT_THAT(badAddress, testing::ThrowsMessage<DecodingError>(testing::HasSubstr("address")));
}

} // namespace

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/JSONFields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <nlohmann/json.hpp>

namespace {

Datapoint makePoint(RegisterTable table, DataType type, std::uint16_t address,
                    std::uint8_t unitID = 1) {
    return Datapoint(UUID::random(), "p", unitID, table, address, type, WordOrder::abcd, 1.0, "",
                     DisplayFormat::decimal, 0, "", Simulation{});
}

TEST(Datapoint, BitTablesForceBool) {
    EXPECT_EQ(makePoint(RegisterTable::coil, DataType::float32, 0).dataType, DataType::bool_);
    EXPECT_EQ(makePoint(RegisterTable::discreteInput, DataType::int64, 0).dataType,
              DataType::bool_);
    EXPECT_EQ(makePoint(RegisterTable::inputRegister, DataType::float32, 0).dataType,
              DataType::float32);
}

TEST(Datapoint, ChangeTableKeepsOrResetsTheType) {
    struct Case {
        RegisterTable from;
        DataType type;
        RegisterTable to;
        DataType expected;
    } cases[] = {
        {RegisterTable::holdingRegister, DataType::float32, RegisterTable::inputRegister,
         DataType::float32},
        {RegisterTable::holdingRegister, DataType::bool_, RegisterTable::holdingRegister,
         DataType::uint16},
        {RegisterTable::holdingRegister, DataType::uint32, RegisterTable::coil, DataType::bool_},
        {RegisterTable::coil, DataType::bool_, RegisterTable::holdingRegister, DataType::uint16},
        {RegisterTable::coil, DataType::bool_, RegisterTable::discreteInput, DataType::bool_},
    };
    for (const auto& c : cases) {
        auto point = makePoint(c.from, c.type, 0);
        point.changeTable(c.to);
        EXPECT_EQ(point.table, c.to);
        EXPECT_EQ(point.dataType, c.expected) << c.from.rawValue() << " " << c.type.rawValue();
    }
}

TEST(Datapoint, AddressArithmeticAtTheTopOfTheAddressSpace) {
    struct Case {
        RegisterTable table;
        DataType type;
        std::uint16_t address;
        int span;
        int rangeEnd;
        std::optional<std::uint16_t> last;
    } cases[] = {
        {RegisterTable::holdingRegister, DataType::float64, 65532, 4, 65535, 65535},
        {RegisterTable::holdingRegister, DataType::float64, 65533, 4, 65536, std::nullopt},
        {RegisterTable::inputRegister, DataType::uint32, 65534, 2, 65535, 65535},
        {RegisterTable::inputRegister, DataType::int32, 65535, 2, 65536, std::nullopt},
        {RegisterTable::holdingRegister, DataType::uint16, 65535, 1, 65535, 65535},
        {RegisterTable::coil, DataType::bool_, 65535, 1, 65535, 65535},
        {RegisterTable::holdingRegister, DataType::bool_, 7, 1, 7, 7},
    };
    for (const auto& c : cases) {
        const auto point = makePoint(c.table, c.type, c.address);
        SCOPED_TRACE(std::string(c.type.rawValue()) + " at " + std::to_string(c.address));
        EXPECT_EQ(point.registerSpan(), c.span);
        EXPECT_EQ(point.addressRange(), std::make_pair(int(c.address), c.rangeEnd));
        EXPECT_EQ(point.lastAddress(), c.last);
    }
}

TEST(Datapoint, OverlapNeedsSameUnitSameTableAndMeetingRanges) {
    const auto u32At10 = makePoint(RegisterTable::holdingRegister, DataType::uint32, 10);
    EXPECT_TRUE(u32At10.overlaps(u32At10));
    EXPECT_TRUE(u32At10.overlaps(makePoint(RegisterTable::holdingRegister, DataType::uint16, 11)));
    EXPECT_TRUE(makePoint(RegisterTable::holdingRegister, DataType::uint16, 11).overlaps(u32At10));
    EXPECT_TRUE(u32At10.overlaps(makePoint(RegisterTable::holdingRegister, DataType::float64, 7)));
    EXPECT_FALSE(u32At10.overlaps(makePoint(RegisterTable::holdingRegister, DataType::uint16, 12)));
    EXPECT_FALSE(u32At10.overlaps(makePoint(RegisterTable::holdingRegister, DataType::uint16, 9)));
    EXPECT_FALSE(u32At10.overlaps(makePoint(RegisterTable::inputRegister, DataType::uint16, 11)));
    EXPECT_FALSE(
        u32At10.overlaps(makePoint(RegisterTable::holdingRegister, DataType::uint16, 11, 2)));
    // A bit datapoint spans one bit whatever registerCount its type would have.
    EXPECT_FALSE(makePoint(RegisterTable::coil, DataType::bool_, 3)
                     .overlaps(makePoint(RegisterTable::coil, DataType::bool_, 4)));
}

TEST(Datapoint, ModiconAddress) {
    struct Case {
        RegisterTable table;
        std::uint16_t address;
        const char* expected;
    } cases[] = {
        {RegisterTable::holdingRegister, 0, "40001"},
        {RegisterTable::inputRegister, 9, "30010"},
        {RegisterTable::coil, 0, "00001"},
        {RegisterTable::discreteInput, 41, "10042"},
        {RegisterTable::holdingRegister, 9998, "49999"},
        {RegisterTable::holdingRegister, 9999, "410000"},
        {RegisterTable::holdingRegister, 65535, "465536"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(makePoint(c.table, DataType::uint16, c.address).modiconAddress(), c.expected);
    }
}

TEST(Datapoint, ValuesGoThroughTheCodecWithItsTypeOrderAndScale) {
    auto point = makePoint(RegisterTable::holdingRegister, DataType::float32, 0);
    point.wordOrder = WordOrder::cdab;
    EXPECT_EQ(point.registersFor(1.0), (Registers{0x0000, 0x3F80}));
    EXPECT_EQ(point.valueFromRegisters(Registers{0x0000, 0x3F80}), 1.0);

    point.dataType = DataType::int16;
    point.scale = 0.1;
    EXPECT_EQ(point.registersFor(21.46), Registers{215});
    EXPECT_DOUBLE_EQ(point.valueFromRegisters(Registers{215}), 21.5);
    EXPECT_EQ(point.fractionDigits(), 1);
}

TEST(Datapoint, TextGoesThroughItsShape) {
    auto point = makePoint(RegisterTable::holdingRegister, DataType::int16, 0);
    point.format = DisplayFormat::hex;
    EXPECT_EQ(point.displayText(-1, "."), "0xFFFF");
    EXPECT_EQ(point.parseInput("0x1F", "."), 31);
    const auto coil = makePoint(RegisterTable::coil, DataType::bool_, 0);
    EXPECT_EQ(coil.parseInput("Aan", ","), 1);
    EXPECT_FALSE(coil.parseInput("2", ","));
}

TEST(DatapointJSON, EmptyObjectGivesDefaults) {
    const auto point = Datapoint::fromJSON(nlohmann::json::object());
    Datapoint expected;
    expected.id = point.id;
    EXPECT_EQ(point, expected);
    EXPECT_EQ(point.table, RegisterTable::holdingRegister);
    EXPECT_EQ(point.dataType, DataType::uint16);
    EXPECT_EQ(point.unitID, 1);
    EXPECT_EQ(point.simulation, (Simulation{Simulation::Kind::none, 0, 100, 10}));
    EXPECT_NE(Datapoint::fromJSON(nlohmann::json::object()).id, point.id);
}

TEST(DatapointJSON, RoundTripsEveryField) {
    const Datapoint point(UUID::random(), "Flow", 17, RegisterTable::inputRegister, 300,
                          DataType::float64, WordOrder::dcba, 0.25, "m³/h", DisplayFormat::binary,
                          -12.75, "main line", Simulation{Simulation::Kind::ramp, 1, 9, 3});
    const auto json = point.toJSON();
    EXPECT_EQ(json.size(), 13U);
    EXPECT_EQ(json["id"], point.id.toString());
    EXPECT_EQ(json["table"], "inputRegister");
    EXPECT_EQ(json["dataType"], "float64");
    EXPECT_EQ(json["simulation"]["kind"], "ramp");
    EXPECT_EQ(Datapoint::fromJSON(json), point);
    EXPECT_EQ(Datapoint::fromJSON(nlohmann::json::parse(json.dump())), point);
}

TEST(DatapointJSON, TolerantReading) {
    const auto id = UUID::random();
    auto json = nlohmann::json::parse(R"({"table":"coil","dataType":"float32","unitID":5.0,
        "name":null,"scale":null,"simulation":null,"address":65535,"extra":[1]})");
    json["id"] = id.toString();
    auto lower = id.toString();
    for (auto& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto point = Datapoint::fromJSON(json);
    EXPECT_EQ(point.id, id);
    EXPECT_EQ(point.table, RegisterTable::coil);
    EXPECT_EQ(point.dataType, DataType::bool_);
    EXPECT_EQ(point.unitID, 5);
    EXPECT_EQ(point.address, 65535);
    EXPECT_EQ(point.scale, 1.0);
    EXPECT_EQ(point.simulation, Simulation{});
    json["id"] = lower;
    EXPECT_EQ(Datapoint::fromJSON(json).id, id);
}

TEST(DatapointJSON, RejectsWrongTypesRangesAndRawStrings) {
    for (const char* text : {
             R"({"table":"Coil"})",
             R"({"dataType":"Float32"})",
             R"({"wordOrder":"ABCD"})",
             R"({"format":"hexadecimal"})",
             R"({"unitID":300})",
             R"({"unitID":-1})",
             R"({"unitID":1.5})",
             R"({"unitID":"1"})",
             R"({"address":-1})",
             R"({"address":65536})",
             R"({"scale":"1"})",
             R"({"scale":true})",
             R"({"value":[1]})",
             R"({"name":3})",
             R"({"notes":false})",
             R"({"engineeringUnit":{}})",
             R"({"id":"not-a-uuid"})",
             R"({"id":""})",
             R"({"id":42})",
             R"({"simulation":{"kind":"sine","minimum":0,"maximum":1}})",
             R"({"simulation":"sine"})",
             "[]",
             "null",
         }) {
        EXPECT_THROW(Datapoint::fromJSON(nlohmann::json::parse(text)), DecodingError) << text;
    }
}

TEST(DatapointJSON, ErrorNamesTheKey) {
    try {
        Datapoint::fromJSON(nlohmann::json::parse(R"({"address":-1})"));
        FAIL() << "expected DecodingError";
    } catch (const DecodingError& error) {
        EXPECT_THAT(error.what(), testing::HasSubstr("address"));
    }
}

} // namespace

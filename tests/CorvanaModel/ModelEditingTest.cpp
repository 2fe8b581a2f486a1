#include "Corvana/model/ModelEditing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;

Datapoint point(std::uint8_t unit, RegisterTable table, std::uint16_t address,
                DataType type = DataType::uint16, std::string name = "") {
    Datapoint datapoint;
    datapoint.unitID = unit;
    datapoint.table = table;
    datapoint.address = address;
    datapoint.dataType = table.isBit() ? DataType(DataType::bool_) : type;
    datapoint.name = std::move(name);
    return datapoint;
}

Datapoint holding(std::uint16_t address, DataType type = DataType::uint16) {
    return point(1, RegisterTable::holdingRegister, address, type);
}

std::vector<std::uint16_t> addresses(const std::vector<Datapoint>& datapoints) {
    std::vector<std::uint16_t> result;
    for (const Datapoint& datapoint : datapoints) {
        result.push_back(datapoint.address);
    }
    return result;
}

ServerUnit unitAt(std::uint8_t address, std::string name = "") {
    ServerUnit unit;
    unit.unitID = address;
    unit.name = std::move(name);
    return unit;
}

// --- Overlaps ---

struct OverlapCase {
    const char* what;
    std::vector<Datapoint> datapoints;
    std::vector<std::size_t> flagged; // indices into datapoints
};

TEST(Overlaps, FlagsSharedRegistersAndRunsPastTheEnd) {
    const std::vector<OverlapCase> cases = {
        {"float32 at 10 covers 11", {holding(10, DataType::float32), holding(11)}, {0, 1}},
        {"neighbours", {holding(10), holding(11)}, {}},
        {"uint64 at 0 covers 1 and 2",
         {holding(0, DataType::uint64), holding(1), holding(2)},
         {0, 1, 2}},
        {"list order does not matter",
         {holding(2), holding(0, DataType::uint64), holding(1)},
         {0, 1, 2}},
        {"uint32 at 65535 alone", {holding(65535, DataType::uint32)}, {0}},
        {"uint16 at 65535 fits", {holding(65535)}, {}},
        {"float64 at 65532 fits", {holding(65532, DataType::float64)}, {}},
        {"float64 at 65533 runs past", {holding(65533, DataType::float64)}, {0}},
        {"other table", {holding(5), point(1, RegisterTable::inputRegister, 5)}, {}},
        {"other unit", {holding(5), point(2, RegisterTable::holdingRegister, 5)}, {}},
        {"same coil twice",
         {point(1, RegisterTable::coil, 3), point(1, RegisterTable::coil, 3)},
         {0, 1}},
        {"third only meets the long first",
         {holding(0, DataType::uint64), holding(1), holding(3)},
         {0, 1, 2}},
        {"gap after a long one", {holding(0, DataType::uint32), holding(2), holding(3)}, {}},
        {"groups do not leak reach",
         {point(1, RegisterTable::holdingRegister, 0, DataType::uint64),
          point(1, RegisterTable::inputRegister, 1), point(2, RegisterTable::holdingRegister, 2)},
         {}},
    };
    for (const OverlapCase& c : cases) {
        std::vector<UUID> expected;
        for (std::size_t index : c.flagged) {
            expected.push_back(c.datapoints[index].id);
        }
        const auto conflicts = Overlaps::compute(c.datapoints);
        EXPECT_THAT(std::vector<UUID>(conflicts.begin(), conflicts.end()),
                    UnorderedElementsAreArray(expected))
            << c.what;
    }
}

// --- Next free address and adding ---

TEST(DatapointEditing, NextFreeAddressSkipsTakenRanges) {
    std::vector<Datapoint> all = {holding(0, DataType::float32), holding(3), holding(2)};
    // After the template at 0–1: 2 is taken, 3 too, so the first single register is 4.
    EXPECT_EQ(DatapointEditing::nextFreeAddress(all, 1, RegisterTable::holdingRegister, &all[0], 1),
              4);
    // Without a template the search starts behind the highest end.
    EXPECT_EQ(DatapointEditing::nextFreeAddress(all, 1, RegisterTable::holdingRegister, nullptr, 1),
              4);
    // Other tables and units are empty.
    EXPECT_EQ(DatapointEditing::nextFreeAddress(all, 1, RegisterTable::inputRegister, nullptr, 1),
              0);
    EXPECT_EQ(DatapointEditing::nextFreeAddress(all, 2, RegisterTable::holdingRegister, nullptr, 1),
              0);

    // Two registers do not fit into the one-register gap at 2.
    std::vector<Datapoint> gap = {holding(0, DataType::float32), holding(3), holding(6)};
    EXPECT_EQ(DatapointEditing::nextFreeAddress(gap, 1, RegisterTable::holdingRegister, &gap[0], 1),
              2);
    EXPECT_EQ(DatapointEditing::nextFreeAddress(gap, 1, RegisterTable::holdingRegister, &gap[0], 2),
              4);
    EXPECT_EQ(DatapointEditing::nextFreeAddress(gap, 1, RegisterTable::holdingRegister, &gap[0], 4),
              7);

    // A four-register span at 65533 would pass the end.
    std::vector<Datapoint> high = {holding(65532)};
    EXPECT_EQ(
        DatapointEditing::nextFreeAddress(high, 1, RegisterTable::holdingRegister, &high[0], 4), 0);
    EXPECT_EQ(
        DatapointEditing::nextFreeAddress(high, 1, RegisterTable::holdingRegister, &high[0], 3),
        65533);
}

TEST(DatapointEditing, AddAfterFloatTemplateTakesTheGap) {
    std::vector<Datapoint> all = {holding(0, DataType::float32), holding(3)};
    all[0].wordOrder = WordOrder::cdab;
    all[0].scale = 0.5;
    all[0].engineeringUnit = "kW";
    all[0].simulation.kind = Simulation::Kind::sine;

    const auto id = DatapointEditing::addDatapoint(all, 1, all[0].id);
    ASSERT_TRUE(id);
    ASSERT_EQ(all.size(), 3u);
    const Datapoint& added = all[1]; // directly after the template
    EXPECT_EQ(added.id, *id);
    EXPECT_EQ(added.address, 2);
    EXPECT_EQ(added.name, "HR 2");
    EXPECT_EQ(added.dataType, DataType::float32);
    EXPECT_EQ(added.wordOrder, WordOrder::cdab);
    EXPECT_EQ(added.scale, 1);
    EXPECT_EQ(added.engineeringUnit, "");
    EXPECT_EQ(added.value, 0);
    EXPECT_EQ(added.simulation, Simulation{});
    EXPECT_NE(added.id, all[0].id);
}

TEST(DatapointEditing, AddUsesTheUnitsLastDatapointOrDefaults) {
    std::vector<Datapoint> all = {point(1, RegisterTable::coil, 4),
                                  point(2, RegisterTable::holdingRegister, 9, DataType::int32)};

    // No id: the last datapoint of unit 1 (a coil) is the template.
    const auto coil = DatapointEditing::addDatapoint(all, 1, std::nullopt);
    ASSERT_TRUE(coil);
    EXPECT_THAT(addresses(all), ElementsAre(4, 5, 9));
    EXPECT_EQ(all[1].name, "CO 5");
    EXPECT_EQ(all[1].dataType, DataType::bool_);

    // An unknown id falls back to the unit's last datapoint too.
    ASSERT_TRUE(DatapointEditing::addDatapoint(all, 1, UUID::random()));
    EXPECT_THAT(addresses(all), ElementsAre(4, 5, 6, 9));

    // An empty unit gets a uint16 holding register at 0, appended.
    const auto fresh = DatapointEditing::addDatapoint(all, 7, std::nullopt);
    ASSERT_TRUE(fresh);
    const Datapoint& last = all.back();
    EXPECT_EQ(last.id, *fresh);
    EXPECT_EQ(last.unitID, 7);
    EXPECT_EQ(last.table, RegisterTable::holdingRegister);
    EXPECT_EQ(last.dataType, DataType::uint16);
    EXPECT_EQ(last.wordOrder, WordOrder::abcd);
    EXPECT_EQ(last.address, 0);
    EXPECT_EQ(last.name, "HR 0");

    const auto before = all;
    EXPECT_FALSE(DatapointEditing::addDatapoint(all, std::nullopt, all[0].id));
    EXPECT_EQ(all, before);
}

TEST(DatapointEditing, AddIntoAFullTableGivesAddressZero) {
    std::vector<Datapoint> all;
    all.reserve(65536);
    for (int address = 0; address <= 65535; ++address) {
        all.push_back(holding(static_cast<std::uint16_t>(address)));
    }
    const auto id = DatapointEditing::addDatapoint(all, 1, all[100].id);
    ASSERT_TRUE(id);
    EXPECT_EQ(all[101].id, *id);
    EXPECT_EQ(all[101].address, 0);
    EXPECT_EQ(all[101].name, "HR 0");

    // Behind a datapoint at 65535 there is no room either.
    std::vector<Datapoint> top = {holding(65535)};
    ASSERT_TRUE(DatapointEditing::addDatapoint(top, 1, std::nullopt));
    EXPECT_EQ(top[1].address, 0);
}

TEST(DatapointEditing, DuplicatesKeepNamesAndFindFreeAddresses) {
    std::vector<Datapoint> all = {
        point(1, RegisterTable::holdingRegister, 0, DataType::float32, "Flow"),
        point(1, RegisterTable::holdingRegister, 2, DataType::uint16, "Level"),
        point(1, RegisterTable::coil, 0, DataType::bool_, "Pump")};
    all[0].value = 3.5;
    const UUID flow = all[0].id;

    const auto copies = DatapointEditing::duplicate(all, {flow, UUID::random(), all[2].id});
    ASSERT_EQ(copies.size(), 2u);
    ASSERT_EQ(all.size(), 5u);

    // The float32 copy needs two registers: 2 is taken, so it goes to 3–4.
    EXPECT_EQ(all[1].id, copies[0]);
    EXPECT_EQ(all[1].name, "Flow");
    EXPECT_EQ(all[1].address, 3);
    EXPECT_EQ(all[1].value, 3.5);
    EXPECT_EQ(all[1].dataType, DataType::float32);
    EXPECT_EQ(all[4].id, copies[1]);
    EXPECT_EQ(all[4].name, "Pump");
    EXPECT_EQ(all[4].address, 1);
    EXPECT_TRUE(Overlaps::compute(all).empty());

    // A second copy of the same source lands behind the first copy.
    const auto again = DatapointEditing::duplicate(all, {flow});
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(all[1].id, again[0]);
    EXPECT_EQ(all[1].address, 5);
}

TEST(DatapointEditing, RemoveDropsOnlyTheGivenIds) {
    std::vector<Datapoint> all = {holding(0), holding(1), holding(2)};
    DatapointEditing::remove(all, {all[0].id, all[2].id, UUID::random()});
    EXPECT_THAT(addresses(all), ElementsAre(1));
    DatapointEditing::remove(all, {});
    EXPECT_EQ(all.size(), 1u);
}

// --- Units ---

TEST(UnitEditing, LowestFreeAddressFillsGaps) {
    EXPECT_EQ(UnitEditing::lowestFreeAddress({}), 1);
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unitAt(1), unitAt(2), unitAt(4)}), 3);
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unitAt(5), unitAt(2)}), 1);
    // Addresses outside 1–247 do not block anything.
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unitAt(0), unitAt(255)}), 1);

    std::vector<ServerUnit> all;
    for (int address = 247; address >= 1; --address) {
        all.push_back(unitAt(static_cast<std::uint8_t>(address)));
    }
    EXPECT_EQ(UnitEditing::lowestFreeAddress(all), std::nullopt);
    all.erase(all.begin() + 10); // address 237
    EXPECT_EQ(UnitEditing::lowestFreeAddress(all), 237);
}

TEST(UnitEditing, ChangeAddressRefusesTakenAndInvalidTargets) {
    struct Case {
        std::uint8_t from;
        std::uint8_t to;
        bool answer;
    };
    const Case refused[] = {{3, 4, false},   {3, 0, false}, {3, 248, false},
                            {3, 255, false}, {9, 5, false}, {3, 3, true}};
    for (const Case& c : refused) {
        std::vector<ServerUnit> units = {unitAt(3, "A"), unitAt(4, "B")};
        std::vector<Datapoint> datapoints = {point(3, RegisterTable::coil, 0),
                                             point(4, RegisterTable::coil, 0)};
        const auto unitsBefore = units;
        const auto datapointsBefore = datapoints;
        EXPECT_EQ(UnitEditing::changeUnitAddress(units, datapoints, c.from, c.to), c.answer)
            << int(c.from) << "→" << int(c.to);
        EXPECT_EQ(units, unitsBefore);
        EXPECT_EQ(datapoints, datapointsBefore);
    }
}

TEST(UnitEditing, ChangeAddressMovesDatapointsAndSorts) {
    std::vector<ServerUnit> units = {unitAt(2, "A"), unitAt(3, "B"), unitAt(9, "C")};
    std::vector<Datapoint> datapoints = {point(3, RegisterTable::coil, 0),
                                         point(2, RegisterTable::coil, 0),
                                         point(3, RegisterTable::holdingRegister, 7)};

    ASSERT_TRUE(UnitEditing::changeUnitAddress(units, datapoints, 3, 247));
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].unitID, 2);
    EXPECT_EQ(units[1].unitID, 9);
    EXPECT_EQ(units[2].unitID, 247);
    EXPECT_EQ(units[2].name, "B");
    EXPECT_EQ(datapoints[0].unitID, 247);
    EXPECT_EQ(datapoints[1].unitID, 2);
    EXPECT_EQ(datapoints[2].unitID, 247);
    EXPECT_EQ(datapoints[2].address, 7);

    ASSERT_TRUE(UnitEditing::changeUnitAddress(units, datapoints, 9, 1));
    EXPECT_EQ(units[0].unitID, 1);
    EXPECT_EQ(units[0].name, "C");
}

TEST(UnitEditing, SortKeepsOrderOfEqualAddresses) {
    std::vector<ServerUnit> units = {unitAt(7, "x"), unitAt(2), unitAt(7, "y"), unitAt(5)};
    UnitEditing::sortByAddress(units);
    std::vector<std::string> order;
    for (const ServerUnit& unit : units) {
        order.push_back(std::to_string(unit.unitID) + unit.name);
    }
    EXPECT_THAT(order, ElementsAre("2", "5", "7x", "7y"));
}

} // namespace

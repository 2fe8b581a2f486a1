#include "Corvana/model/ModelEditing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
constexpr auto HR = RegisterTable::holdingRegister;

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
    return point(1, HR, address, type);
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

TEST(Overlaps, FlagsSharedRegistersAndRunsPastTheEnd) {
    using D = DataType;
    const struct {
        std::vector<Datapoint> datapoints;
        std::string flagged; // one x per flagged datapoint, . for the others
    } cases[] = {
        {{holding(10, D::float32), holding(11)}, "xx"},
        {{holding(10), holding(11)}, ".."},
        {{holding(0, D::uint64), holding(1), holding(2)}, "xxx"},
        {{holding(2), holding(0, D::uint64), holding(1)}, "xxx"},
        {{holding(0, D::uint64), holding(1), holding(3)}, "xxx"}, // 3 meets only the first
        {{holding(0, D::uint32), holding(2), holding(3)}, "..."},
        {{holding(65535, D::uint32)}, "x"},
        {{holding(65532, D::float64)}, "."},
        {{holding(65533, D::float64)}, "x"},
        {{point(1, RegisterTable::coil, 3), point(1, RegisterTable::coil, 3)}, "xx"},
        {{holding(5), point(1, RegisterTable::inputRegister, 5), point(2, HR, 5)}, "..."},
        {{holding(0, D::uint64), point(1, RegisterTable::inputRegister, 1), point(2, HR, 2)},
         "..."}, // groups do not share their reach
    };
    for (const auto& c : cases) {
        const auto conflicts = Overlaps::compute(c.datapoints);
        std::string flagged;
        for (const Datapoint& datapoint : c.datapoints) {
            flagged += conflicts.contains(datapoint.id) ? 'x' : '.';
        }
        EXPECT_EQ(flagged, c.flagged) << "case " << &c - cases;
    }
}

TEST(DatapointEditing, NextFreeAddress) {
    const auto next = [](const std::vector<Datapoint>& all, int templateIndex, int span) {
        const Datapoint* templ = templateIndex < 0 ? nullptr : &all[templateIndex];
        return DatapointEditing::nextFreeAddress(all, 1, HR, templ, span);
    };
    const std::vector<Datapoint> spread = {holding(0, DataType::float32), holding(3), holding(2)};
    EXPECT_EQ(next(spread, 0, 1), 4);  // 2 and 3 are taken behind the template
    EXPECT_EQ(next(spread, -1, 1), 4); // behind the highest end
    EXPECT_EQ(
        DatapointEditing::nextFreeAddress(spread, 1, RegisterTable::inputRegister, nullptr, 1), 0);
    EXPECT_EQ(DatapointEditing::nextFreeAddress(spread, 2, HR, nullptr, 1), 0);

    const std::vector<Datapoint> gap = {holding(0, DataType::float32), holding(3), holding(6)};
    EXPECT_EQ(next(gap, 0, 1), 2);
    EXPECT_EQ(next(gap, 0, 2), 4); // two registers do not fit into the gap at 2
    EXPECT_EQ(next(gap, 0, 4), 7);
    EXPECT_EQ(next({holding(65532)}, 0, 3), 65533);
    EXPECT_EQ(next({holding(65532)}, 0, 4), 0); // would pass 65535
}

TEST(DatapointEditing, AddTakesTheTemplatesShapeAndTheNextFreeAddress) {
    std::vector<Datapoint> all = {holding(0, DataType::float32), holding(3)};
    all[0].wordOrder = WordOrder::cdab;
    all[0].scale = 0.5;
    all[0].engineeringUnit = "kW";
    all[0].simulation.kind = Simulation::Kind::sine;

    // After a float32 at 0–1 with a datapoint at 3: address 2, inserted behind the template.
    const auto id = DatapointEditing::addDatapoint(all, 1, all[0].id);
    ASSERT_TRUE(id);
    Datapoint expected = point(1, HR, 2, DataType::float32, "HR 2");
    expected.id = *id;
    expected.wordOrder = WordOrder::cdab;
    EXPECT_EQ(all[1], expected); // scale 1, no unit, value 0, no simulation

    // Without a (known) id the unit's last datapoint is the template; an empty unit starts at 0.
    std::vector<Datapoint> mixed = {point(1, RegisterTable::coil, 4), point(2, HR, 9)};
    ASSERT_TRUE(DatapointEditing::addDatapoint(mixed, 1, std::nullopt));
    ASSERT_TRUE(DatapointEditing::addDatapoint(mixed, 1, UUID::random()));
    EXPECT_THAT(addresses(mixed), ElementsAre(4, 5, 6, 9));
    EXPECT_EQ(mixed[1].name, "CO 5");
    const auto fresh = DatapointEditing::addDatapoint(mixed, 7, std::nullopt);
    ASSERT_TRUE(fresh);
    expected = point(7, HR, 0, DataType::uint16, "HR 0");
    expected.id = *fresh;
    EXPECT_EQ(mixed.back(), expected);

    const auto before = mixed;
    EXPECT_FALSE(DatapointEditing::addDatapoint(mixed, std::nullopt, mixed[0].id));
    EXPECT_EQ(mixed, before);

    // Holding registers full up to 65535: address 0.
    std::vector<Datapoint> full;
    for (int address = 0; address <= 65535; ++address) {
        full.push_back(holding(static_cast<std::uint16_t>(address)));
    }
    ASSERT_TRUE(DatapointEditing::addDatapoint(full, 1, full[100].id));
    EXPECT_EQ(full[101].address, 0);
    EXPECT_EQ(full[101].name, "HR 0");
}

TEST(DatapointEditing, DuplicateAndRemove) {
    std::vector<Datapoint> all = {point(1, HR, 0, DataType::float32, "Flow"),
                                  point(1, HR, 2, DataType::uint16, "Level"),
                                  point(1, RegisterTable::coil, 0, DataType::bool_, "Pump")};
    all[0].value = 3.5;
    const Datapoint flow = all[0];

    const auto copies = DatapointEditing::duplicate(all, {flow.id, UUID::random(), all[2].id});
    ASSERT_EQ(copies.size(), 2u);
    ASSERT_EQ(all.size(), 5u);
    // The float32 copy needs two registers: 2 is taken, so it goes to 3–4, behind its source.
    Datapoint expected = flow;
    expected.id = copies[0];
    expected.address = 3;
    EXPECT_EQ(all[1], expected);
    EXPECT_EQ(all[4].id, copies[1]);
    EXPECT_EQ(all[4].name, "Pump");
    EXPECT_EQ(all[4].address, 1);

    // A second copy of the same source lands directly behind it, past the first copy.
    const auto again = DatapointEditing::duplicate(all, {flow.id});
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(all[1].id, again[0]);
    EXPECT_EQ(all[1].address, 5);

    DatapointEditing::remove(all, {flow.id, copies[0], copies[1], UUID::random()});
    EXPECT_THAT(addresses(all), ElementsAre(5, 2, 0));
}

TEST(UnitEditing, LowestFreeAddress) {
    EXPECT_EQ(UnitEditing::lowestFreeAddress({}), 1);
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unitAt(1), unitAt(2), unitAt(4)}), 3);
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unitAt(5), unitAt(2)}), 1);
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unitAt(0), unitAt(255)}), 1); // outside 1–247
    std::vector<ServerUnit> all;
    for (int address = 247; address >= 1; --address) {
        all.push_back(unitAt(static_cast<std::uint8_t>(address)));
    }
    EXPECT_EQ(UnitEditing::lowestFreeAddress(all), std::nullopt);
    all.erase(all.begin() + 10); // address 237
    EXPECT_EQ(UnitEditing::lowestFreeAddress(all), 237);
}

TEST(UnitEditing, ChangeAddress) {
    // Refused (or unchanged) renumberings leave everything as it was.
    const struct {
        std::uint8_t from, to;
        bool answer;
    } unchanged[] = {{3, 4, false},   {3, 0, false}, {3, 248, false},
                     {3, 255, false}, {9, 5, false}, {3, 3, true}};
    for (const auto& c : unchanged) {
        std::vector<ServerUnit> units = {unitAt(3, "A"), unitAt(4, "B")};
        std::vector<Datapoint> datapoints = {point(3, RegisterTable::coil, 0), point(4, HR, 0)};
        const auto unitsBefore = units;
        const auto datapointsBefore = datapoints;
        EXPECT_EQ(UnitEditing::changeUnitAddress(units, datapoints, c.from, c.to), c.answer)
            << int(c.from) << "→" << int(c.to);
        EXPECT_EQ(units, unitsBefore);
        EXPECT_EQ(datapoints, datapointsBefore);
    }

    std::vector<ServerUnit> units = {unitAt(2, "A"), unitAt(3, "B"), unitAt(9, "C")};
    std::vector<Datapoint> datapoints = {point(3, RegisterTable::coil, 0),
                                         point(2, RegisterTable::coil, 0), point(3, HR, 7)};
    ASSERT_TRUE(UnitEditing::changeUnitAddress(units, datapoints, 3, 247));
    ASSERT_TRUE(UnitEditing::changeUnitAddress(units, datapoints, 9, 1));
    EXPECT_EQ(units, (std::vector<ServerUnit>{unitAt(1, "C"), unitAt(2, "A"), unitAt(247, "B")}));
    EXPECT_EQ(datapoints[0].unitID, 247);
    EXPECT_EQ(datapoints[1].unitID, 2);
    EXPECT_EQ(datapoints[2].unitID, 247);
    EXPECT_EQ(datapoints[2].address, 7);
}

} // namespace

#include "Corvana/model/DatapointEditing.h"
#include "Corvana/model/Overlaps.h"
#include "Corvana/model/UnitEditing.h"

#include "tests/support/StoreBuilders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace {

using ::testing::ElementsAre;
constexpr auto HR = RegisterTable::holdingRegister;
constexpr auto coil = RegisterTable::coil;

Datapoint holding(std::uint16_t address, DataType type = DataType::uint16) {
    return point(1, HR, address, 0, type);
}

std::vector<int> addresses(const std::vector<Datapoint>& datapoints) {
    std::vector<int> result(datapoints.size());
    std::ranges::transform(datapoints, result.begin(), &Datapoint::address);
    return result;
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
        {{holding(65535, D::uint32)}, "x"},
        {{holding(65532, D::float64)}, "."},
        {{holding(65533, D::float64)}, "x"},
        {{point(1, coil, 3, 0), point(1, coil, 3, 0)}, "xx"},
        {{holding(0, D::uint64), point(1, RegisterTable::inputRegister, 1, 0), point(2, HR, 2, 0)},
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

TEST(DatapointEditing, AddTakesTheTemplatesShapeAndTheNextFreeAddress) {
    const auto next = [](const std::vector<Datapoint>& all, int templateIndex, int span) {
        const Datapoint* templ = templateIndex < 0 ? nullptr : &all[templateIndex];
        return DatapointEditing::nextFreeAddress(all, 1, HR, templ, span);
    };
    const std::vector<Datapoint> spread = {holding(0, DataType::float32), holding(3), holding(2)};
    EXPECT_EQ(next(spread, 0, 1), 4);  // 2 and 3 are taken behind the template
    EXPECT_EQ(next(spread, -1, 1), 4); // behind the highest end
    const std::vector<Datapoint> gap = {holding(0, DataType::float32), holding(3), holding(6)};
    EXPECT_EQ(next(gap, 0, 1), 2);
    EXPECT_EQ(next(gap, 0, 2), 4); // two registers do not fit into the gap at 2
    EXPECT_EQ(next(gap, 0, 4), 7);
    EXPECT_EQ(next({holding(65532)}, 0, 3), 65533);
    EXPECT_EQ(next({holding(65532)}, 0, 4), 0); // would pass 65535

    std::vector<Datapoint> all = {holding(0, DataType::float32), holding(3)};
    std::tie(all[0].wordOrder, all[0].scale, all[0].engineeringUnit, all[0].simulation.kind) =
        std::tuple(WordOrder::cdab, 0.5, "kW", Simulation::Kind::sine);

    const auto id = DatapointEditing::addDatapoint(all, 1, all[0].id);
    ASSERT_TRUE(id);
    Datapoint expected = holding(2, DataType::float32);
    std::tie(expected.id, expected.name, expected.wordOrder) =
        std::tuple(*id, "HR 2", WordOrder::cdab);
    EXPECT_EQ(all[1], expected); // scale 1, no unit, value 0, no simulation

    // Without a (known) id the unit's last datapoint is the template; an empty unit starts at 0.
    std::vector<Datapoint> mixed = {point(1, coil, 4, 0), point(2, HR, 9, 0)};
    ASSERT_TRUE(DatapointEditing::addDatapoint(mixed, 1, std::nullopt));
    ASSERT_TRUE(DatapointEditing::addDatapoint(mixed, 1, UUID::random()));
    EXPECT_THAT(addresses(mixed), ElementsAre(4, 5, 6, 9));
    EXPECT_EQ(mixed[1].name, "CO 5");
    const auto fresh = DatapointEditing::addDatapoint(mixed, 7, std::nullopt);
    expected = point(7, HR, 0, 0);
    std::tie(expected.id, expected.name) = std::tuple(fresh.value_or(UUID()), "HR 0");
    EXPECT_EQ(mixed.back(), expected);

    std::vector<Datapoint> full; // every holding register of the unit taken
    std::ranges::generate_n(std::back_inserter(full), 65536,
                            [a = 0]() mutable { return holding(a++); });
    ASSERT_TRUE(DatapointEditing::addDatapoint(full, 1, full[100].id));
    EXPECT_EQ(std::tuple(full[101].address, full[101].name), std::tuple(0, "HR 0"));
}

TEST(DatapointEditing, DuplicateAndRemove) {
    std::vector<Datapoint> all = {holding(0, DataType::float32), holding(2), point(1, coil, 0, 0)};
    std::tie(all[0].name, all[0].value) = std::tuple("Flow", 3.5);
    const Datapoint flow = all[0];

    const auto copies = DatapointEditing::duplicate(all, {flow.id, UUID::random(), all[2].id});
    ASSERT_EQ(copies.size(), 2u);
    ASSERT_EQ(all.size(), 5u);
    // The float32 copy needs two registers: 2 is taken, so it goes to 3–4, behind its source.
    Datapoint expected = flow;
    std::tie(expected.id, expected.address) = std::tuple(copies[0], 3);
    EXPECT_EQ(all[1], expected);
    EXPECT_EQ(std::tuple(all[4].id, all[4].address), std::tuple(copies[1], 1));

    const auto again = DatapointEditing::duplicate(all, {flow.id});
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(std::tuple(all[1].id, all[1].address), std::tuple(again[0], 5));

    DatapointEditing::remove(all, {flow.id, copies[0], copies[1], UUID::random()});
    EXPECT_THAT(addresses(all), ElementsAre(5, 2, 0));
}

TEST(UnitEditing, AddressRules) {
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unit(5), unit(2)}), 1);
    EXPECT_EQ(UnitEditing::lowestFreeAddress({unit(0), unit(255), unit(1)}), 2); // outside 1–247
    const struct {
        std::uint8_t from, to;
        bool answer;
    } unchanged[] = {{3, 4, false}, {3, 0, false}, {3, 248, false}, {9, 5, false}, {3, 3, true}};
    for (const auto& c : unchanged) {
        std::vector<ServerUnit> units = {{.unitID = 3, .name = "A"}, {.unitID = 4, .name = "B"}};
        std::vector<Datapoint> datapoints = {point(3, coil, 0, 0), point(4, HR, 0, 0)};
        const auto unitsBefore = units;
        const auto datapointsBefore = datapoints;
        EXPECT_EQ(UnitEditing::changeUnitAddress(units, datapoints, c.from, c.to), c.answer)
            << int(c.from) << "→" << int(c.to);
        EXPECT_EQ(units, unitsBefore);
        EXPECT_EQ(datapoints, datapointsBefore);
    }

    std::vector<ServerUnit> units = {{.unitID = 2, .name = "A"}, {.unitID = 9, .name = "C"}};
    std::vector<Datapoint> datapoints = {point(9, coil, 0, 0), point(2, coil, 0, 0)};
    ASSERT_TRUE(UnitEditing::changeUnitAddress(units, datapoints, 9, 1));
    EXPECT_EQ(units,
              (std::vector<ServerUnit>{{.unitID = 1, .name = "C"}, {.unitID = 2, .name = "A"}}));
    EXPECT_EQ(std::tuple(datapoints[0].unitID, datapoints[1].unitID), std::tuple(1, 2));
}

} // namespace

#include "ServerCore/RegisterStore.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Policy = ServerUnit::UndefinedAddresses;
constexpr RegisterTable holdingTable = RegisterTable::holdingRegister;

// A value set to 0 differs from one never set, as a master's write of 0 is a change.
TEST(AddressMapTest, KeepsSetAddressesApartFromUnsetOnes) {
    AddressMap<std::uint16_t> map;
    map.set(255, 1);
    map.set(65535, 0);
    EXPECT_EQ(std::vector({map.find(255), map.find(256), map.find(65535)}),
              std::vector<std::optional<std::uint16_t>>({1, std::nullopt, 0}));
    EXPECT_EQ(map.size(), 2u);
    EXPECT_NE(map, AddressMap<std::uint16_t>{});
    EXPECT_NE(AddressMap<std::uint16_t>{}, map);
}

TEST(RegisterStoreTest, ConfigureKeepsValuesAppliesNewDatapointsAndDropsRemovedUnits) {
    RegisterStore store;
    const Datapoint at10 = point(1, holdingTable, 10, 5), at20 = point(1, holdingTable, 20, 7);
    const Datapoint coil = point(1, RegisterTable::coil, 0, 1);
    store.configure({unit(1), unit(2)}, {at10, coil}, true);
    store.writeRegisters(1, holdingTable, 10, Registers{99});
    store.writeRegisters(1, holdingTable, 30, Registers{43});
    store.writeBits(1, RegisterTable::coil, 0, {false});

    // A fault change keeps the master's values; a new datapoint gets its own.
    ServerUnit faulty = unit(1);
    faulty.fault = ServerUnit::Fault::badCRC;
    store.configure({faulty, unit(2)}, {at10, at20, coil}, false);
    EXPECT_EQ(holdingAt(store, 1, 10), 99);
    EXPECT_EQ(holdingAt(store, 1, 20), 7);
    EXPECT_EQ(holdingAt(store, 1, 30), 43);
    EXPECT_EQ(store.value(coil), 0.0);
    EXPECT_EQ(store.behaviour(1), faulty.behaviour());

    // A reset starts each unit empty: what a master wrote where nothing is defined, and what a
    // removed datapoint held, are gone.
    store.writeRegisters(2, holdingTable, 3, Registers{8});
    store.configure({faulty, unit(2)}, {at10, coil}, true);
    EXPECT_EQ(holdingAt(store, 1, 10), 5);
    EXPECT_EQ(store.value(coil), 1.0);
    const auto reset = store.memory(1);
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->registers[holdingTable].find(30), std::nullopt);
    EXPECT_EQ(reset->registers[holdingTable].find(20), std::nullopt);
    EXPECT_EQ(store.memory(2)->registers[holdingTable].size(), 0u);

    // A removed unit loses its memory; added again, it starts from its datapoints.
    store.configure({unit(2)}, {at10}, false);
    EXPECT_EQ(store.memory(1), std::nullopt);
    store.configure({unit(1), unit(2)}, {at10}, false);
    EXPECT_EQ(holdingAt(store, 1, 10), 5);
    EXPECT_EQ(holdingAt(store, 1, 30), 0);
}

TEST(RegisterStoreTest, RegistersPastTheAddressSpaceAreDropped) {
    RegisterStore store;
    const Datapoint p = point(1, holdingTable, 65534, 1.1, DataType::float64);
    store.configure({unit(1)}, {p}, true);
    const Registers all = ValueCodec::encode(1.1, DataType::float64, WordOrder::abcd, 1.0);
    EXPECT_EQ(store.readRegisters(1, holdingTable, {65534, 65536}), (Registers{all[0], all[1]}));
    EXPECT_EQ(store.memory(1)->registers[holdingTable].size(), 2u);
    EXPECT_EQ(store.memory(1)->defined[holdingTable].size(), 2u);
    const Registers read{all[0], all[1], 0, 0};
    EXPECT_EQ(store.value(p), ValueCodec::decode(read, DataType::float64, WordOrder::abcd, 1.0));
    EXPECT_NE(store.value(p), 1.1);
}

// Scale 0 stores unscaled, as scale 1 does; bit datapoints store any non-zero value as true.
TEST(RegisterStoreTest, DatapointValuesAreEncodedForTheirTable) {
    RegisterStore store;
    const Datapoint zero = point(1, holdingTable, 0, 12, DataType::uint16, 0.0);
    const Datapoint coil = point(1, RegisterTable::coil, 3, 2.5);
    const Datapoint input = point(1, RegisterTable::discreteInput, 3, 0.0);
    store.configure({unit(1)}, {zero, coil, input}, true);
    EXPECT_EQ(holdingAt(store, 1, 0), 12);
    EXPECT_EQ(std::vector({store.value(zero), store.value(coil), store.value(input)}),
              std::vector<std::optional<double>>({12.0, 1.0, 0.0}));
    store.setValue(zero, 300);
    EXPECT_EQ(holdingAt(store, 1, 0), 300);
}

TEST(RegisterStoreTest, AccessFollowsPolicyAndDefinedAddresses) {
    RegisterStore store;
    store.configure(
        {unit(7), unit(1), unit(2, Policy::zero), unit(5, Policy::zero, false)},
        {point(1, holdingTable, 0, 0, DataType::float32), point(1, RegisterTable::coil, 7, 0)},
        true);
    EXPECT_EQ(store.enabledUnitIDs(), (std::vector<std::uint8_t>{1, 2, 7}));
    const std::tuple<std::uint8_t, RegisterTable, AddressRange, bool> cases[] = {
        {1, holdingTable, {0, 2}, true},
        {1, holdingTable, {0, 3}, false},
        {1, holdingTable, {1, 2}, true},
        {1, RegisterTable::inputRegister, {0, 1}, false}, // same address, other table
        {1, RegisterTable::coil, {7, 8}, true},
        {1, RegisterTable::discreteInput, {0, 0}, true}, // empty range, no set for the table
        {1, holdingTable, {-1, 1}, false},
        {2, holdingTable, {0, 0}, true},
        {2, RegisterTable::inputRegister, {65535, 65536}, true},
        {2, holdingTable, {65535, 65537}, false},
        {2, RegisterTable::coil, {5, 4}, false},
        {3, RegisterTable::coil, {0, 0}, false}, // not configured
    };
    for (const auto& [id, table, range, accessible] : cases) {
        EXPECT_EQ(store.isAccessible(id, table, range), accessible)
            << int(id) << " " << table.rawValue() << " " << range.start << "..<" << range.end;
    }
    // Untouched addresses of a configured unit read as 0.
    EXPECT_EQ(store.readBits(1, RegisterTable::coil, {3, 5}), (std::vector<bool>{false, false}));
    EXPECT_EQ(holdingAt(store, 1, 40), 0);
}

} // namespace

#include "ServerCore/RegisterStore.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Policy = ServerUnit::UndefinedAddresses;
constexpr RegisterTable holdingTable = RegisterTable::holdingRegister;

std::uint16_t holding(const RegisterStore& store, std::uint8_t unit, int address) {
    return store.readRegisters(unit, holdingTable, {address, address + 1})[0];
}

TEST(AddressMapTest, KeepsSetAddressesApartFromUnsetOnes) {
    AddressMap<std::uint16_t> map;
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(map.find(0), std::nullopt);
    for (const std::uint16_t address : {0, 255, 256, 65535}) {
        map.set(address, static_cast<std::uint16_t>(address + 1));
    }
    map.set(300, 0);
    EXPECT_EQ(map.size(), 5u);
    EXPECT_EQ(map.find(255), 256);
    EXPECT_EQ(map.find(256), 257);
    EXPECT_EQ(map.find(65535), 0);
    EXPECT_EQ(map.find(300), 0);
    EXPECT_EQ(map.find(301), std::nullopt);
    EXPECT_EQ(map.get(301), 0);

    AddressMap<std::uint16_t> copy = map;
    EXPECT_EQ(copy, map);
    copy.set(256, 7);
    EXPECT_EQ(map.find(256), 257); // deep copy
    EXPECT_NE(copy, map);

    // A value set to 0 differs from one never set, as a master's write of 0 is a change.
    AddressMap<std::uint16_t> zero;
    zero.set(9, 0);
    EXPECT_NE(zero, AddressMap<std::uint16_t>{});
    EXPECT_NE(AddressMap<std::uint16_t>{}, zero);
}

TEST(RegisterStoreTest, EmptyStoreReadsNothingAndIgnoresWrites) {
    RegisterStore store;
    const Datapoint p = point(1, holdingTable, 0, 5);
    store.writeRegisters(1, holdingTable, 0, Registers{7});
    store.setValue(p, 9);
    EXPECT_EQ(store.value(p), std::nullopt);
    EXPECT_EQ(store.behaviour(1), std::nullopt);
    EXPECT_FALSE(store.isAccessible(1, holdingTable, {0, 0}));
    EXPECT_EQ(store.readRegisters(1, holdingTable, {0, 2}), (Registers{0, 0}));
    EXPECT_EQ(store.readBits(1, RegisterTable::coil, {0, 1}), std::vector<bool>{false});
    EXPECT_TRUE(store.enabledUnitIDs().empty());
}

TEST(RegisterStoreTest, ConfigureKeepsValuesAppliesNewDatapointsAndDropsRemovedUnits) {
    RegisterStore store;
    const Datapoint at10 = point(1, holdingTable, 10, 5);
    const Datapoint at20 = point(1, holdingTable, 20, 7);
    const Datapoint coil = point(1, RegisterTable::coil, 0, 1);
    store.configure({unit(1), unit(2)}, {at10, coil}, true);
    store.writeRegisters(1, holdingTable, 10, Registers{99});
    store.writeRegisters(1, holdingTable, 30, Registers{43});
    store.writeBits(1, RegisterTable::coil, 0, {false});

    // A fault change keeps the master's values; a new datapoint gets its own.
    ServerUnit faulty = unit(1);
    faulty.fault = ServerUnit::Fault::badCRC;
    faulty.delayMs = -50;
    store.configure({faulty, unit(2)}, {at10, at20, coil}, false);
    EXPECT_EQ(holding(store, 1, 10), 99);
    EXPECT_EQ(holding(store, 1, 20), 7);
    EXPECT_EQ(holding(store, 1, 30), 43);
    EXPECT_EQ(store.value(coil), 0.0);
    EXPECT_EQ(store.behaviour(1)->fault, ServerUnit::Fault::badCRC);
    EXPECT_EQ(store.behaviour(1)->delay, 0.0);

    // A datapoint that grows over an address not defined before counts as new.
    Datapoint wider = at10;
    wider.dataType = DataType::uint32;
    wider.value = 0x00030004;
    store.configure({faulty, unit(2)}, {wider, at20, coil}, false);
    EXPECT_EQ(store.readRegisters(1, holdingTable, {10, 12}), (Registers{3, 4}));

    store.configure({faulty, unit(2)}, {at10, coil}, true);
    EXPECT_EQ(holding(store, 1, 10), 5);
    EXPECT_EQ(store.value(coil), 1.0);

    // A removed unit loses its memory; added again, it starts from its datapoints.
    store.configure({unit(2)}, {at10}, false);
    EXPECT_EQ(store.value(at10), std::nullopt);
    EXPECT_EQ(store.memory(1), std::nullopt);
    store.configure({unit(1), unit(2)}, {at10}, false);
    EXPECT_EQ(holding(store, 1, 10), 5);
    EXPECT_EQ(holding(store, 1, 30), 0);

    // A later unit with the same address replaces the earlier one; datapoints of units that are
    // not configured are skipped.
    const ServerUnit second = unit(1, Policy::zero, false);
    store.configure({unit(1), second, unit(2)},
                    {point(1, holdingTable, 10, 6), point(9, holdingTable, 0, 5)}, false);
    EXPECT_EQ(store.behaviour(1), second.behaviour());
    EXPECT_EQ(holding(store, 1, 10), 5); // kept: the address was defined before
    EXPECT_EQ(store.memory(9), std::nullopt);
    EXPECT_EQ(store.memory(1)->defined[holdingTable].size(), 1u);
}

TEST(RegisterStoreTest, RegistersPastTheAddressSpaceAreDropped) {
    RegisterStore store;
    const Datapoint p = point(1, holdingTable, 65534, 1.1, DataType::float64);
    store.configure({unit(1)}, {p}, true);
    const Registers all = ValueCodec::encode(1.1, DataType::float64, WordOrder::abcd, 1.0);
    const auto memory = store.memory(1);
    const auto& stored = memory->registers[holdingTable];
    EXPECT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored.find(65534), all[0]);
    EXPECT_EQ(stored.find(65535), all[1]);
    EXPECT_EQ(memory->defined[holdingTable].size(), 2u);
    const Registers read{all[0], all[1], 0, 0};
    EXPECT_EQ(store.value(p), ValueCodec::decode(read, DataType::float64, WordOrder::abcd, 1.0));
    EXPECT_NE(store.value(p), 1.1);
}

// Scale 0 and 1 store unscaled; bit datapoints store any non-zero value as true.
TEST(RegisterStoreTest, DatapointValuesAreEncodedForTheirTable) {
    RegisterStore store;
    const Datapoint zero = point(1, holdingTable, 0, 12, DataType::uint16, 0.0);
    const Datapoint one = point(1, holdingTable, 1, 12, DataType::uint16, 1.0);
    const Datapoint tenth = point(1, holdingTable, 2, 21.46, DataType::int16, 0.1);
    const Datapoint coil = point(1, RegisterTable::coil, 3, 2.5);
    const Datapoint input = point(1, RegisterTable::discreteInput, 3, 0.0);
    store.configure({unit(1)}, {zero, one, tenth, coil, input}, true);
    EXPECT_EQ(store.readRegisters(1, holdingTable, {0, 3}), (Registers{12, 12, 215}));
    EXPECT_EQ(store.value(zero), 12.0);
    EXPECT_DOUBLE_EQ(*store.value(tenth), 21.5);
    EXPECT_EQ(store.value(coil), 1.0);
    EXPECT_EQ(store.value(input), 0.0);

    store.setValue(zero, 300);
    store.setValue(input, -1);
    EXPECT_EQ(holding(store, 1, 0), 300);
    EXPECT_EQ(store.readBits(1, RegisterTable::discreteInput, {2, 4}),
              (std::vector<bool>{false, true}));
}

TEST(RegisterStoreTest, AccessFollowsPolicyAndDefinedAddresses) {
    RegisterStore store;
    store.configure(
        {unit(7), unit(1), unit(2, Policy::zero), unit(5, Policy::zero, false)},
        {point(1, holdingTable, 0, 0, DataType::float32), point(1, RegisterTable::coil, 7, 0)},
        true);
    EXPECT_EQ(store.enabledUnitIDs(), (std::vector<std::uint8_t>{1, 2, 7}));
    const struct {
        std::uint8_t unit;
        RegisterTable table;
        AddressRange range;
        bool accessible;
    } cases[] = {
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
        {2, RegisterTable::coil, {-1, 0}, false},
        {2, RegisterTable::coil, {5, 4}, false},
        {3, RegisterTable::coil, {0, 0}, false}, // not configured
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store.isAccessible(c.unit, c.table, c.range), c.accessible)
            << int(c.unit) << " " << c.table.rawValue() << " " << c.range.start << "..<"
            << c.range.end;
    }
    // Untouched addresses of a configured unit read as 0.
    EXPECT_EQ(store.readBits(1, RegisterTable::coil, {3, 5}), (std::vector<bool>{false, false}));
    EXPECT_EQ(holding(store, 1, 40), 0);
    EXPECT_TRUE(store.readRegisters(1, RegisterTable::inputRegister, {8, 8}).empty());
}

TEST(RegisterStoreTest, WritesCreateEntriesOutsideDatapoints) {
    RegisterStore store;
    store.configure({unit(1, Policy::zero)}, {}, true);
    store.writeRegisters(1, holdingTable, 65534, Registers{1, 2});
    store.writeBits(1, RegisterTable::coil, 100, {true, false, true});
    EXPECT_EQ(store.readRegisters(1, holdingTable, {65533, 65536}), (Registers{0, 1, 2}));
    EXPECT_EQ(store.readBits(1, RegisterTable::coil, {100, 103}),
              (std::vector<bool>{true, false, true}));
    EXPECT_EQ(store.memory(1)->defined, RegisterStore::Memory{}.defined);
}

// Two threads hammering the store: every multi-register value must be seen whole, never half
// written, because each operation is atomic.
TEST(RegisterStoreTest, ConcurrentSetValueAndReadsSeeWholeValues) {
    RegisterStore store;
    const Datapoint p = point(1, holdingTable, 0, 0, DataType::uint32);
    store.configure({unit(1)}, {p}, true);
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            store.setValue(p, (i % 2) ? 0xFFFFFFFF : 0);
        }
    });
    bool torn = false;
    for (int i = 0; i < 20000 && !torn; ++i) {
        const Registers words = store.readRegisters(1, holdingTable, {0, 2});
        torn = words[0] != words[1];
    }
    writer.join();
    EXPECT_FALSE(torn);
}

} // namespace

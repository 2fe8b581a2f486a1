#include "ServerCore/RequestProcessor.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string_view>

namespace {

using Policy = ServerUnit::UndefinedAddresses;

// "01 00 0A" → {0x01, 0x00, 0x0A}
Bytes hex(std::string_view text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size() + 1; i += 3) {
        std::uint8_t byte = 0;
        std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
        bytes.push_back(byte);
    }
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes repeated(std::size_t count, std::uint8_t byte) {
    return Bytes(count, byte);
}

ServerUnit unit(std::uint8_t id, Policy policy, bool enabled = true) {
    ServerUnit u;
    u.unitID = id;
    u.undefinedAddresses = policy;
    u.enabled = enabled;
    return u;
}

Datapoint point(std::uint8_t unitID, RegisterTable table, std::uint16_t address, double value) {
    Datapoint p;
    p.unitID = unitID;
    p.table = table;
    p.address = address;
    p.dataType = table.isBit() ? DataType::bool_ : DataType::uint16;
    p.value = value;
    return p;
}

// Unit 1: datapoints at coils 0–19 (every third on), discrete inputs 0–9 (odd ones on), holding
// registers 0–9 (0x0100 + address) and input registers 0–9 (0x0200 + address), exception policy.
// Unit 2: no datapoints, "read as 0". Unit 3: only holding register 5, exception policy.
// Unit 9: "read as 0" but disabled.
std::shared_ptr<RegisterStore> makeStore() {
    std::vector<Datapoint> points;
    for (int a = 0; a < 20; ++a) {
        points.push_back(point(1, RegisterTable::coil, a, a % 3 == 0));
    }
    for (int a = 0; a < 10; ++a) {
        points.push_back(point(1, RegisterTable::discreteInput, a, a % 2));
        points.push_back(point(1, RegisterTable::holdingRegister, a, 0x0100 + a));
        points.push_back(point(1, RegisterTable::inputRegister, a, 0x0200 + a));
    }
    points.push_back(point(3, RegisterTable::holdingRegister, 5, 0));
    auto store = std::make_shared<RegisterStore>();
    store->configure({unit(1, Policy::exception), unit(2, Policy::zero), unit(3, Policy::exception),
                      unit(9, Policy::zero, false)},
                     points, true);
    return store;
}

struct Case {
    const char* name;
    std::uint8_t unit;
    Bytes request;
    Bytes response;
    std::vector<WriteEvent> writes = {};
};

WriteEvent coils(std::uint8_t unit, int start, int end) {
    return {unit, RegisterTable::coil, {start, end}};
}
WriteEvent holdings(std::uint8_t unit, int start, int end) {
    return {unit, RegisterTable::holdingRegister, {start, end}};
}

// Every check of every function code, in the order the checks run. A request that fails one
// check but would also fail a later one shows that the earlier check decides.
const Case cases[] = {
    // 01 / 02 read bits
    {"read coils", 1, hex("01 00 00 00 0A"), hex("01 02 49 02")},
    {"read coils from offset", 1, hex("01 00 03 00 03"), hex("01 01 01")},
    {"read coils 2000", 2, hex("01 00 00 07 D0"), hex("01 FA") + repeated(250, 0)},
    {"read coils 2001", 2, hex("01 00 00 07 D1"), hex("81 03")},
    {"read coils zero", 2, hex("01 00 00 00 00"), hex("81 03")},
    {"read coils trailing byte", 1, hex("01 00 00 00 01 00"), hex("81 03")},
    {"read coils short", 1, hex("01 00 00 00"), hex("81 03")},
    {"read coils undefined", 1, hex("01 00 00 00 15"), hex("81 02")},
    {"read coils quantity before address", 1, hex("01 FF FF 00 00"), hex("81 03")},
    {"read coils past 65535", 2, hex("01 FF FF 00 02"), hex("81 02")},
    {"read last coil", 2, hex("01 FF FF 00 01"), hex("01 01 00")},
    {"read discrete inputs", 1, hex("02 00 00 00 08"), hex("02 01 AA")},
    {"read discrete inputs undefined", 1, hex("02 00 09 00 02"), hex("82 02")},
    {"read discrete inputs 2001", 2, hex("02 00 00 07 D1"), hex("82 03")},
    // 03 / 04 read registers
    {"read holding", 1, hex("03 00 08 00 02"), hex("03 04 01 08 01 09")},
    {"read holding one past", 1, hex("03 00 00 00 0B"), hex("83 02")},
    {"read holding 125", 2, hex("03 00 00 00 7D"), hex("03 FA") + repeated(250, 0)},
    {"read holding 126", 2, hex("03 00 00 00 7E"), hex("83 03")},
    {"read holding zero", 2, hex("03 00 00 00 00"), hex("83 03")},
    {"read holding past 65535", 2, hex("03 FF FF 00 02"), hex("83 02")},
    {"read holding trailing byte", 1, hex("03 00 00 00 01 00"), hex("83 03")},
    {"read holding no datapoints", 3, hex("03 00 04 00 02"), hex("83 02")},
    {"read input", 1, hex("04 00 00 00 01"), hex("04 02 02 00")},
    {"read input undefined", 3, hex("04 00 05 00 01"), hex("84 02")},
    {"read input 126", 2, hex("04 00 00 00 7E"), hex("84 03")},
    // 05 write single coil
    {"write coil on", 1, hex("05 00 01 FF 00"), hex("05 00 01 FF 00"), {coils(1, 1, 2)}},
    {"write coil off", 1, hex("05 00 00 00 00"), hex("05 00 00 00 00"), {coils(1, 0, 1)}},
    {"write coil bad value", 1, hex("05 00 01 12 34"), hex("85 03")},
    {"write coil 0x00FF", 1, hex("05 00 01 00 FF"), hex("85 03")},
    {"write coil six bytes", 1, hex("05 00 01 FF 00 00"), hex("85 03")},
    {"write coil value before address", 1, hex("05 00 30 12 34"), hex("85 03")},
    {"write coil undefined", 1, hex("05 00 30 FF 00"), hex("85 02")},
    {"write last coil", 2, hex("05 FF FF FF 00"), hex("05 FF FF FF 00"), {coils(2, 65535, 65536)}},
    // 06 write single register
    {"write register", 1, hex("06 00 02 AB CD"), hex("06 00 02 AB CD"), {holdings(1, 2, 3)}},
    {"write register short", 1, hex("06 00 02 AB"), hex("86 03")},
    {"write register undefined", 3, hex("06 00 04 00 01"), hex("86 02")},
    // 08 diagnostics
    {"echo", 1, hex("08 00 00 AB CD"), hex("08 00 00 AB CD")},
    {"echo without data", 3, hex("08 00 00"), hex("08 00 00")},
    {"echo of long data", 1, hex("08 00 00") + repeated(200, 0x5A),
     hex("08 00 00") + repeated(200, 0x5A)},
    {"other sub-function", 1, hex("08 00 01 00 00"), hex("88 01")},
    {"diagnostics short", 1, hex("08 00"), hex("88 01")},
    // 15 write multiple coils
    {"write coils", 1, hex("0F 00 00 00 0A 02 0D 02"), hex("0F 00 00 00 0A"), {coils(1, 0, 10)}},
    {"write coils byte count 3", 1, hex("0F 00 00 00 0A 03 0D 02 00"), hex("8F 03")},
    {"write coils missing data", 1, hex("0F 00 00 00 0A 02 0D"), hex("8F 03")},
    {"write coils extra data", 1, hex("0F 00 00 00 0A 02 0D 02 00"), hex("8F 03")},
    {"write coils header only", 1, hex("0F 00 00 00 01"), hex("8F 03")},
    {"write coils zero", 2, hex("0F 00 00 00 00 00"), hex("8F 03")},
    {"write coils 1968",
     2,
     hex("0F 00 00 07 B0 F6") + repeated(246, 0xFF),
     hex("0F 00 00 07 B0"),
     {coils(2, 0, 1968)}},
    {"write coils 1969", 2, hex("0F 00 00 07 B1 F7") + repeated(247, 0xFF), hex("8F 03")},
    {"write coils undefined", 1, hex("0F 00 13 00 02 01 03"), hex("8F 02")},
    {"write coils past 65535", 2, hex("0F FF FF 00 02 01 03"), hex("8F 02")},
    {"write coils count before address", 1, hex("0F 00 30 00 02 02 03 00"), hex("8F 03")},
    // 16 write multiple registers
    {"write registers",
     1,
     hex("10 00 08 00 02 04 00 01 00 02"),
     hex("10 00 08 00 02"),
     {holdings(1, 8, 10)}},
    {"write registers 123",
     2,
     hex("10 00 00 00 7B F6") + repeated(246, 0x11),
     hex("10 00 00 00 7B"),
     {holdings(2, 0, 123)}},
    {"write registers 124", 2, hex("10 00 00 00 7C F8") + repeated(248, 0x11), hex("90 03")},
    {"write registers zero", 2, hex("10 00 00 00 00 00"), hex("90 03")},
    {"write registers odd byte count", 1, hex("10 00 00 00 01 03 00 01 00"), hex("90 03")},
    {"write registers missing data", 1, hex("10 00 00 00 02 04 00 01 00"), hex("90 03")},
    {"write registers header only", 1, hex("10 00 00 00 01"), hex("90 03")},
    {"write registers undefined", 1, hex("10 00 09 00 02 04 00 01 00 02"), hex("90 02")},
    {"write registers past 65535", 2, hex("10 FF FF 00 02 04 00 01 00 02"), hex("90 02")},
    // 22 mask write register
    {"mask write",
     1,
     hex("16 00 04 00 F2 00 25"),
     hex("16 00 04 00 F2 00 25"),
     {holdings(1, 4, 5)}},
    {"mask write short", 1, hex("16 00 04 00 F2 00"), hex("96 03")},
    {"mask write long", 1, hex("16 00 04 00 F2 00 25 00"), hex("96 03")},
    {"mask write undefined", 3, hex("16 00 04 00 F2 00 25"), hex("96 02")},
    // 23 read/write multiple registers
    {"read/write",
     1,
     hex("17 00 00 00 02 00 01 00 01 02 12 34"),
     hex("17 04 01 00 12 34"),
     {holdings(1, 1, 2)}},
    {"read/write 125 and 121",
     2,
     hex("17 00 00 00 7D 00 00 00 79 F2") + repeated(242, 0),
     hex("17 FA") + repeated(250, 0),
     {holdings(2, 0, 121)}},
    {"read/write read 126", 2, hex("17 00 00 00 7E 00 00 00 01 02 00 00"), hex("97 03")},
    {"read/write read zero", 2, hex("17 00 00 00 00 00 00 00 01 02 00 00"), hex("97 03")},
    {"read/write write 122", 2, hex("17 00 00 00 01 00 00 00 7A F4") + repeated(244, 0),
     hex("97 03")},
    {"read/write write zero", 2, hex("17 00 00 00 01 00 00 00 00 00"), hex("97 03")},
    {"read/write byte count", 1, hex("17 00 00 00 01 00 01 00 01 04 12 34 00 00"), hex("97 03")},
    {"read/write missing data", 1, hex("17 00 00 00 01 00 01 00 02 04 12 34"), hex("97 03")},
    {"read/write header short", 1, hex("17 00 00 00 01 00 01 00 01"), hex("97 03")},
    {"read/write read undefined", 1, hex("17 00 09 00 02 00 01 00 01 02 12 34"), hex("97 02")},
    {"read/write write undefined", 1, hex("17 00 00 00 01 00 09 00 02 04 12 34 56 78"),
     hex("97 02")},
    {"read/write write past 65535", 2, hex("17 00 00 00 01 FF FF 00 02 04 12 34 56 78"),
     hex("97 02")},
    {"read/write quantity before address", 1, hex("17 00 30 00 01 00 30 00 7A 02 12 34"),
     hex("97 03")},
    // function codes no unit executes
    {"read exception status", 1, hex("07"), hex("87 01")},
    {"device identification", 1, hex("2B 0E 01 00"), hex("AB 01")},
    {"report server id", 2, hex("11"), hex("91 01")},
    {"function 0x80", 2, hex("80 00"), hex("80 01")},
};

TEST(RequestProcessorTest, AnswersEveryCheckOfEveryFunctionCode) {
    for (const auto& c : cases) {
        auto store = makeStore();
        const RequestProcessor processor{store};
        const auto before = store->memory(c.unit);
        const auto result = processor.process(c.request, c.unit);
        EXPECT_EQ(result.response, c.response) << c.name;
        EXPECT_EQ(result.writes, c.writes) << c.name;
        if (c.response[0] & Modbus::exceptionFlag) {
            EXPECT_EQ(store->memory(c.unit), before) << c.name << ": exception changed memory";
        }
    }
}

TEST(RequestProcessorTest, ReadRegistersAnswersHighByteFirst) {
    const RequestProcessor processor{makeStore()};
    Bytes expected = hex("03 14");
    for (int a = 0; a < 10; ++a) {
        expected.push_back(0x01);
        expected.push_back(static_cast<std::uint8_t>(a));
    }
    EXPECT_EQ(processor.process(hex("03 00 00 00 0A"), 1).response, expected);
}

TEST(RequestProcessorTest, WritesReachTheStore) {
    auto store = makeStore();
    const RequestProcessor processor{store};
    processor.process(hex("0F 00 00 00 0A 02 0D 02"), 1);
    EXPECT_EQ(store->readBits(1, RegisterTable::coil, {0, 11}),
              (std::vector<bool>{true, false, true, true, false, false, false, false, false, true,
                                 false}));
    processor.process(hex("05 00 0A FF 00"), 1);
    processor.process(hex("05 00 00 00 00"), 1);
    EXPECT_EQ(store->readBits(1, RegisterTable::coil, {0, 1}), std::vector<bool>{false});
    EXPECT_EQ(store->readBits(1, RegisterTable::coil, {10, 11}), std::vector<bool>{true});

    processor.process(hex("10 00 08 00 02 04 00 01 00 02"), 1);
    processor.process(hex("06 00 00 AB CD"), 1);
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {7, 10}),
              (Registers{0x0107, 1, 2}));
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {0, 1}), Registers{0xABCD});

    // "Read as 0" stores writes where no datapoint is defined.
    processor.process(hex("06 12 34 00 07"), 2);
    EXPECT_EQ(processor.process(hex("03 12 34 00 01"), 2).response, hex("03 02 00 07"));
}

// The Modbus application protocol's example: 0x0012 AND 0xF2 OR (0x25 AND NOT 0xF2) = 0x0017.
TEST(RequestProcessorTest, MaskWriteCombinesMasksWithCurrentValue) {
    auto store = makeStore();
    const RequestProcessor processor{store};
    store->writeRegisters(1, RegisterTable::holdingRegister, 4, Registers{0x0012});
    processor.process(hex("16 00 04 00 F2 00 25"), 1);
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {4, 5}), Registers{0x0017});

    // AND mask 0: the OR mask replaces the register; AND mask FFFF: it stays.
    processor.process(hex("16 00 04 00 00 AB CD"), 1);
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {4, 5}), Registers{0xABCD});
    processor.process(hex("16 00 04 FF FF 12 34"), 1);
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {4, 5}), Registers{0xABCD});
}

TEST(RequestProcessorTest, ReadWriteSeesItsOwnWriteWhereRangesOverlap) {
    auto store = makeStore();
    const RequestProcessor processor{store};
    const auto result = processor.process(hex("17 00 02 00 04 00 03 00 02 04 AA AA BB BB"), 1);
    EXPECT_EQ(result.response, hex("17 08 01 02 AA AA BB BB 01 05"));
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {3, 5}),
              (Registers{0xAAAA, 0xBBBB}));

    // A refused write range leaves the readable range untouched too.
    const auto before = store->memory(1);
    processor.process(hex("17 00 00 00 01 00 09 00 02 04 12 34 56 78"), 1);
    EXPECT_EQ(store->memory(1), before);
}

TEST(RequestProcessorTest, BroadcastExecutesWritesOnEnabledUnitsWithoutAnswer) {
    const struct {
        const char* name;
        Bytes request;
        std::vector<WriteEvent> writes;
    } broadcasts[] = {
        // Unit 1 lacks register 0x20 (exception policy), unit 3 too; unit 9 is disabled.
        {"write register", hex("06 00 20 00 2A"), {holdings(2, 32, 33)}},
        {"write register defined on all",
         hex("06 00 05 00 2A"),
         {holdings(1, 5, 6), holdings(2, 5, 6), holdings(3, 5, 6)}},
        {"write coil", hex("05 00 00 FF 00"), {coils(1, 0, 1), coils(2, 0, 1)}},
        {"write coils", hex("0F 00 00 00 02 01 03"), {coils(1, 0, 2), coils(2, 0, 2)}},
        {"write registers", hex("10 00 00 00 01 02 00 07"), {holdings(1, 0, 1), holdings(2, 0, 1)}},
        {"mask write",
         hex("16 00 05 00 00 00 01"),
         {holdings(1, 5, 6), holdings(2, 5, 6), holdings(3, 5, 6)}},
        {"bad value everywhere", hex("05 00 00 12 34"), {}},
        {"read", hex("03 00 00 00 01"), {}},
        {"read/write", hex("17 00 00 00 01 00 01 00 01 02 12 34"), {}},
        {"echo", hex("08 00 00 12 34"), {}},
        {"unknown", hex("07"), {}},
    };
    for (const auto& b : broadcasts) {
        auto store = makeStore();
        const RequestProcessor processor{store};
        const auto disabled = store->memory(9);
        const auto result = processor.process(b.request, Modbus::broadcastAddress);
        EXPECT_EQ(result.response, std::nullopt) << b.name;
        EXPECT_EQ(result.writes, b.writes) << b.name;
        EXPECT_EQ(store->memory(9), disabled) << b.name;
    }

    auto store = makeStore();
    const RequestProcessor processor{store};
    processor.process(hex("06 00 05 00 2A"), Modbus::broadcastAddress);
    for (const std::uint8_t id : {1, 2, 3}) {
        EXPECT_EQ(store->readRegisters(id, RegisterTable::holdingRegister, {5, 6}), Registers{42});
    }
}

TEST(RequestProcessorTest, EmptyRequestGetsNothing) {
    const RequestProcessor processor{makeStore()};
    EXPECT_EQ(processor.process({}, 1), RequestProcessor::Result{});
    EXPECT_EQ(processor.process({}, 0), RequestProcessor::Result{});
    EXPECT_EQ(processor.handle({}, 1), RequestProcessor::Result{});
}

TEST(RequestProcessorTest, UnconfiguredUnitGetsIllegalAddress) {
    const RequestProcessor processor{makeStore()};
    EXPECT_EQ(processor.process(hex("03 00 00 00 01"), 200).response, hex("83 02"));
    EXPECT_EQ(processor.process(hex("08 00 00"), 200).response, hex("08 00 00"));
}

} // namespace

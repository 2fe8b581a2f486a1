#include "ServerCore/RequestProcessor.h"
#include "tests/support/ByteParts.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

using Policy = ServerUnit::UndefinedAddresses;

// Unit 1: coils 0–19 (every third on), discrete inputs 0–9 (odd ones on), holding and input
// registers 0–9 (0x0100 / 0x0200 + address). Unit 2: no datapoints, "read as 0". Unit 3: holding
// register 5 (0x0012) only. Unit 9: "read as 0" but disabled.
std::shared_ptr<RegisterStore> makeStore() {
    std::vector<Datapoint> points{point(3, RegisterTable::holdingRegister, 5, 0x0012)};
    for (int a = 0; a < 20; ++a) {
        points.push_back(point(1, RegisterTable::coil, a, a % 3 == 0));
        if (a < 10) {
            points.push_back(point(1, RegisterTable::discreteInput, a, a % 2));
            points.push_back(point(1, RegisterTable::holdingRegister, a, 0x0100 + a));
            points.push_back(point(1, RegisterTable::inputRegister, a, 0x0200 + a));
        }
    }
    auto store = std::make_shared<RegisterStore>();
    store->configure({unit(1), unit(2, Policy::zero), unit(3), unit(9, Policy::zero, false)},
                     points, true);
    return store;
}

WriteEvent coils(std::uint8_t unit, int start, int end) {
    return {unit, RegisterTable::coil, {start, end}};
}
WriteEvent holdings(std::uint8_t unit, int start, int end) {
    return {unit, RegisterTable::holdingRegister, {start, end}};
}

// Requests that all get the same answer ("" when none is due) from one unit. Every check of every
// function code, in the order the checks run: a request that fails one check but would also fail a
// later one shows that the earlier check decides.
struct Case {
    std::uint8_t unit;
    std::vector<const char*> requests;
    const char* response;
    std::vector<WriteEvent> writes = {};
};
const Case cases[] = {
    {1, {"01 00 00 00 0A"}, "01 02 49 02"},
    {1, {"01 00 03 00 03"}, "01 01 01"},
    {2, {"01 00 00 07 D0"}, "01 FA 00*250"},
    {2, {"01 FF FF 00 01"}, "01 01 00"},
    {2, {"01 00 00 07 D1", "01 00 00 00 00"}, "81 03"},
    // a trailing byte, a missing one, the quantity checked before the address
    {1, {"01 00 00 00 01 00", "01 00 00 00", "01 FF FF 00 00"}, "81 03"},
    {1, {"01 00 00 00 15"}, "81 02"},
    {2, {"01 FF FF 00 02"}, "81 02"},
    {1, {"02 00 00 00 08"}, "02 01 AA"},
    {1, {"02 00 09 00 02"}, "82 02"},
    {1, {"03 00 08 00 02"}, "03 04 01 08 01 09"},
    {2, {"03 00 00 00 7D"}, "03 FA 00*250"},
    {2, {"03 00 00 00 7E", "03 00 00 00 00", "03 00 00 00 01 00"}, "83 03"},
    {1, {"03 00 00 00 0B"}, "83 02"},
    {2, {"03 FF FF 00 02"}, "83 02"},
    {3, {"03 00 04 00 02"}, "83 02"},
    {1, {"04 00 00 00 01"}, "04 02 02 00"},
    {3, {"04 00 05 00 01"}, "84 02"},
    {1, {"05 00 01 FF 00"}, "05 00 01 FF 00", {coils(1, 1, 2)}},
    {1, {"05 00 00 00 00"}, "05 00 00 00 00", {coils(1, 0, 1)}},
    {2, {"05 FF FF FF 00"}, "05 FF FF FF 00", {coils(2, 65535, 65536)}},
    // bad values, a sixth byte, the value checked before the address
    {1, {"05 00 01 12 34", "05 00 01 00 FF", "05 00 01 FF 00 00", "05 00 30 12 34"}, "85 03"},
    {1, {"05 00 30 FF 00"}, "85 02"},
    {1, {"06 00 02 AB CD"}, "06 00 02 AB CD", {holdings(1, 2, 3)}},
    {2, {"06 12 34 00 07"}, "06 12 34 00 07", {holdings(2, 0x1234, 0x1235)}},
    {1, {"06 00 02 AB"}, "86 03"},
    {3, {"06 00 04 00 01"}, "86 02"},
    {1, {"08 00 00 AB CD"}, "08 00 00 AB CD"},
    {1, {"08 00 00 5A*200"}, "08 00 00 5A*200"},
    // ASCII delimiter and the sub-functions of other lines; too short for a sub-function
    {1, {"08 00 03 0A 00", "08 00 13 00 00", "08 00 15 00 00", "08 00"}, "88 01"},
    {1, {"08 00 0B 00 01", "08 00 0B 00", "08 00 02 00 00 00", "08 00 01 12 34"}, "88 03"},
    {1, {"0F 00 00 00 0A 02 0D 02"}, "0F 00 00 00 0A", {coils(1, 0, 10)}},
    {2, {"0F 00 00 07 B0 F6 FF*246"}, "0F 00 00 07 B0", {coils(2, 0, 1968)}},
    {2, {"0F 00 00 07 B1 F7 FF*247", "0F 00 00 00 00 00"}, "8F 03"},
    // byte count 3, data missing, data extra, no byte count, the byte count before the address
    {1,
     {"0F 00 00 00 0A 03 0D 02 00", "0F 00 00 00 0A 02 0D", "0F 00 00 00 0A 02 0D 02 00",
      "0F 00 00 00 01", "0F 00 30 00 02 02 03 00"},
     "8F 03"},
    {1, {"0F 00 13 00 02 01 03"}, "8F 02"},
    {2, {"0F FF FF 00 02 01 03"}, "8F 02"},
    {1, {"10 00 08 00 02 04 00 01 00 02"}, "10 00 08 00 02", {holdings(1, 8, 10)}},
    {2, {"10 00 00 00 7B F6 11*246"}, "10 00 00 00 7B", {holdings(2, 0, 123)}},
    {2, {"10 00 00 00 7C F8 11*248", "10 00 00 00 00 00"}, "90 03"},
    // odd byte count, data missing, no byte count
    {1, {"10 00 00 00 01 03 00 01 00", "10 00 00 00 02 04 00 01 00", "10 00 00 00 01"}, "90 03"},
    {1, {"10 00 09 00 02 04 00 01 00 02"}, "90 02"},
    {2, {"10 FF FF 00 02 04 00 01 00 02"}, "90 02"},
    {3, {"16 00 05 00 F2 00 25"}, "16 00 05 00 F2 00 25", {holdings(3, 5, 6)}},
    {1, {"16 00 04 00 F2 00", "16 00 04 00 F2 00 25 00"}, "96 03"},
    {3, {"16 00 04 00 F2 00 25"}, "96 02"},
    // 23 read/write multiple registers: the write comes first, the read sees it where they overlap
    {1, {"17 00 00 00 02 00 01 00 01 02 12 34"}, "17 04 01 00 12 34", {holdings(1, 1, 2)}},
    {1,
     {"17 00 02 00 04 00 03 00 02 04 AA AA BB BB"},
     "17 08 01 02 AA AA BB BB 01 05",
     {holdings(1, 3, 5)}},
    {2, {"17 00 00 00 7D 00 00 00 79 F2 00*242"}, "17 FA 00*250", {holdings(2, 0, 121)}},
    // read 126, read 0, write 122, write 0
    {2,
     {"17 00 00 00 7E 00 00 00 01 02 00 00", "17 00 00 00 00 00 00 00 01 02 00 00",
      "17 00 00 00 01 00 00 00 7A F4 00*244", "17 00 00 00 01 00 00 00 00 00"},
     "97 03"},
    // byte count, data missing, header short, the quantity before the address
    {1,
     {"17 00 00 00 01 00 01 00 01 04 12 34 00 00", "17 00 00 00 01 00 01 00 02 04 12 34",
      "17 00 00 00 01 00 01 00 01", "17 00 30 00 01 00 30 00 7A 02 12 34"},
     "97 03"},
    // read range undefined; write range undefined, which leaves the read range untouched too
    {1,
     {"17 00 09 00 02 00 01 00 01 02 12 34", "17 00 00 00 01 00 09 00 02 04 12 34 56 78"},
     "97 02"},
    {2, {"17 00 00 00 01 FF FF 00 02 04 12 34 56 78"}, "97 02"},
    {3, {"18 00 05"}, "98 02"}, // a count of 0x12 would be too many anyway
    // function codes no unit executes, MEI types other than 14; an empty request and an
    // unconfigured unit
    {1, {"09"}, "89 01"},
    {1, {"14 07 06 00 04 00 00 00 02"}, "94 01"},
    {1, {"2B 0D 01 00", "2B"}, "AB 01"},
    {2, {"80 00"}, "80 01"},
    {1, {""}, ""},
    {200, {"03 00 00 00 01"}, "83 02"},
    // broadcast: writes on every enabled unit that accepts them (unit 1 and 3 lack register
    // 0x20, unit 9 is disabled), never an answer
    {0, {"06 00 20 00 2A"}, "", {holdings(2, 32, 33)}},
    {0, {"06 00 05 00 2A"}, "", {holdings(1, 5, 6), holdings(2, 5, 6), holdings(3, 5, 6)}},
    {0, {"05 00 00 FF 00"}, "", {coils(1, 0, 1), coils(2, 0, 1)}},
    {0, {"0F 00 00 00 02 01 03"}, "", {coils(1, 0, 2), coils(2, 0, 2)}},
    {0, {"10 00 00 00 01 02 00 07"}, "", {holdings(1, 0, 1), holdings(2, 0, 1)}},
    {0, {"16 00 05 00 00 00 01"}, "", {holdings(1, 5, 6), holdings(2, 5, 6), holdings(3, 5, 6)}},
    // a bad value everywhere, functions that only read or report, an empty request
    {0,
     {"05 00 00 12 34", "03 00 00 00 01", "17 00 00 00 01 00 01 00 01 02 12 34", "08 00 00 12 34",
      "08 00 0E 00 00", "07", "0B", "0C", "11", "18 00 00", "2B 0E 01 00", ""},
     ""},
};

TEST(RequestProcessorTest, AnswersEveryCheckOfEveryFunctionCode) {
    const auto pristine = makeStore();
    for (const auto& [unit, requests, response, writes] : cases) {
        for (const char* request : requests) {
            SCOPED_TRACE(testing::Message() << "unit " << int(unit) << ": " << request);
            const auto store = makeStore();
            const auto result = RequestProcessor{store}.process(hex(request), unit);
            EXPECT_EQ(result.response, *response ? std::optional(hex(response)) : std::nullopt);
            EXPECT_EQ(result.writes, writes);
            // A unit no write names is unchanged: exceptions write nothing at all.
            for (const std::uint8_t id : {1, 2, 3, 9}) {
                if (std::none_of(writes.begin(), writes.end(),
                                 [id](const WriteEvent& w) { return w.unit == id; })) {
                    EXPECT_EQ(store->memory(id), pristine->memory(id)) << "unit " << int(id);
                }
            }
        }
    }
}

// What a write leaves in the store (the engine's libmodbus tests read back the plain writes).
const std::tuple<std::uint8_t, const char*, std::uint8_t, const char*, const char*> readBacks[] = {
    {2, "05 FF FF FF 00", 2, "01 FF FF 00 01", "01 01 01"},
    {2, "06 12 34 00 07", 2, "03 12 34 00 01", "03 02 00 07"}, // "read as 0" keeps it
    // mask write, the standard's example: 0x0012 AND 0xF2 OR (0x25 AND NOT 0xF2) = 0x0017
    {3, "16 00 05 00 F2 00 25", 3, "03 00 05 00 01", "03 02 00 17"},
    {3, "16 00 05 00 00 AB CD", 3, "03 00 05 00 01", "03 02 AB CD"},
    {3, "16 00 05 FF FF 12 34", 3, "03 00 05 00 01", "03 02 00 12"},
    {0, "06 00 05 00 2A", 1, "03 00 05 00 01", "03 02 00 2A"},
    {0, "06 00 05 00 2A", 2, "03 00 05 00 01", "03 02 00 2A"},
    {0, "06 00 05 00 2A", 3, "03 00 05 00 01", "03 02 00 2A"},
};

TEST(RequestProcessorTest, WritesReachTheStore) {
    for (const auto& [unit, write, readUnit, read, response] : readBacks) {
        const RequestProcessor processor{makeStore()};
        processor.process(hex(write), unit);
        EXPECT_EQ(processor.process(hex(read), readUnit).response, hex(response)) << write;
    }
}

} // namespace

#include "ServerCore/FaultRule.h"
#include "ModbusCore/JSONFields.h"
#include "ServerCore/FaultRules.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerUnit.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;
using Schedule = FaultRule::Schedule;
using Effect = FaultRule::Effect;
using Shape = FaultRules::RequestShape;

FaultRule rule(Schedule schedule, Effect effect, FaultRule::Match match = {},
               std::string name = "r") {
    return FaultRule{std::move(name), true, std::move(match), schedule, effect};
}

const Effect badCRC{.kind = Effect::Kind::badCRC};

// Every kind written with exactly the keys it reads, and read back equal.
TEST(FaultRuleJSON, WritesOnlyTheKeysAKindReadsAndRoundTrips) {
    const std::pair<FaultRule, const char*> cases[] = {
        {rule({}, {.kind = Effect::Kind::noResponse, .dropRequest = true}),
         R"({"name":"r","enabled":true,"schedule":{"kind":"always"},
             "effect":{"kind":"noResponse","dropRequest":true}})"},
        {rule({.kind = Schedule::Kind::everyNth, .n = 5}, badCRC,
              {.functions = {3}, .addressFrom = 100, .addressTo = 120}),
         R"({"name":"r","enabled":true,"match":{"functions":[3],"addressFrom":100,"addressTo":120},
             "schedule":{"kind":"everyNth","n":5},"effect":{"kind":"badCRC"}})"},
        {rule({.kind = Schedule::Kind::probability, .probability = 0.1},
              {.kind = Effect::Kind::exception, .code = 6}, {.quantityFrom = 2}),
         R"({"name":"r","enabled":true,"match":{"quantityFrom":2},
             "schedule":{"kind":"probability","probability":0.1},
             "effect":{"kind":"exception","code":6}})"},
        {rule({.kind = Schedule::Kind::window, .from = 1.5, .to = 4},
              {.kind = Effect::Kind::delay, .ms = 2500}),
         R"({"name":"r","enabled":true,"schedule":{"kind":"window","from":1.5,"to":4.0},
             "effect":{"kind":"delay","ms":2500}})"},
        {rule({.kind = Schedule::Kind::periodic, .on = 3, .period = 30},
              {.kind = Effect::Kind::wrongUnit, .unitID = 9}),
         R"({"name":"r","enabled":true,"schedule":{"kind":"periodic","on":3.0,"period":30.0},
             "effect":{"kind":"wrongUnit","unitID":9}})"},
        {rule({.kind = Schedule::Kind::firstN, .n = 2},
              {.kind = Effect::Kind::fewerValues, .count = 1}),
         R"({"name":"r","enabled":true,"schedule":{"kind":"firstN","n":2},
             "effect":{"kind":"fewerValues","count":1}})"},
        {rule({.kind = Schedule::Kind::afterN, .n = 7}, {.kind = Effect::Kind::noise, .bytes = 4}),
         R"({"name":"r","enabled":true,"schedule":{"kind":"afterN","n":7},
             "effect":{"kind":"noise","bytes":4}})"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(value.toJSON(), json::parse(text)) << text;
        EXPECT_EQ(FaultRule::fromJSON(json::parse(value.toJSON().dump())), value) << text;
    }
    for (const Effect::Kind kind : Effect::Kind::allCases()) { // every raw name reads back
        FaultRule each = rule({}, {.kind = kind, .code = 1, .ms = 10, .bytes = 2, .count = 1});
        const FaultRule read = FaultRule::fromJSON(each.toJSON());
        EXPECT_EQ(read.effect.kind, kind) << kind.rawValue();
        EXPECT_EQ(read.toJSON(), each.toJSON()) << kind.rawValue();
    }
}

TEST(FaultRuleJSON, RefusesBadValuesNamingTheKey) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"schedule":{"kind":"always"}})", "\"effect\""},
        {R"({"effect":{"kind":"explode"}})", "explode"},
        {R"({"schedule":{"kind":"everyNth","n":0},"effect":{"kind":"badCRC"}})", "\"n\""},
        {R"({"schedule":{"kind":"firstN"},"effect":{"kind":"badCRC"}})", "\"n\""},
        {R"({"schedule":{"kind":"probability","probability":1.5},"effect":{"kind":"badCRC"}})",
         "\"probability\""},
        {R"({"schedule":{"kind":"window","from":5,"to":5},"effect":{"kind":"badCRC"}})",
         "\"from\""},
        {R"({"schedule":{"kind":"window","from":-1,"to":5},"effect":{"kind":"badCRC"}})",
         "\"from\""},
        {R"({"schedule":{"kind":"periodic","on":0,"period":5},"effect":{"kind":"badCRC"}})",
         "\"on\""},
        {R"({"schedule":{"kind":"periodic","on":6,"period":5},"effect":{"kind":"badCRC"}})",
         "\"on\""},
        {R"({"effect":{"kind":"exception","code":0}})", "\"code\""},
        {R"({"effect":{"kind":"wrongFunction","code":256}})", "\"code\""},
        {R"({"effect":{"kind":"delay","ms":600001}})", "\"ms\""},
        {R"({"effect":{"kind":"byteDelay","ms":-1}})", "\"ms\""},
        {R"({"effect":{"kind":"extraBytes","bytes":256}})", "\"bytes\""},
        {R"({"effect":{"kind":"truncate","bytes":0}})", "\"bytes\""},
        {R"({"effect":{"kind":"fewerValues","count":0}})", "\"count\""},
        {R"({"effect":{"kind":"wrongUnit","unitID":300}})", "\"unitID\""},
        {R"({"effect":{"kind":"noResponse","dropRequest":"yes"}})", "\"dropRequest\""},
        {R"({"match":{"functions":[0]},"effect":{"kind":"badCRC"}})", "\"functions\""},
        {R"({"match":{"functions":3},"effect":{"kind":"badCRC"}})", "\"functions\""},
        {R"({"match":{"addressFrom":70000},"effect":{"kind":"badCRC"}})", "\"addressFrom\""},
        {R"({"match":{"addressFrom":20,"addressTo":10},"effect":{"kind":"badCRC"}})",
         "\"addressFrom\""},
        {R"({"match":{"quantityFrom":5,"quantityTo":4},"effect":{"kind":"badCRC"}})",
         "\"quantityFrom\""},
        {R"({"name":5,"effect":{"kind":"badCRC"}})", "\"name\""},
        {R"([1])", "fault rule"},
    };
    for (const auto& [text, named] : cases) {
        try {
            FaultRule::fromJSON(json::parse(text));
            ADD_FAILURE() << "accepted " << text;
        } catch (const DecodingError& error) {
            EXPECT_NE(std::string(error.what()).find(named), std::string::npos)
                << text << ": " << error.what();
        }
    }
}

// A bad rule refuses the unit and says which rule.
TEST(FaultRuleJSON, ABadRuleRefusesItsUnit) {
    ServerUnit unit;
    unit.faultRules = {rule({}, badCRC, {}, "first"), rule({}, {.kind = Effect::Kind::truncate})};
    try {
        ServerUnit::fromJSON(unit.toJSON());
        ADD_FAILURE() << "accepted a truncate without bytes";
    } catch (const DecodingError& error) {
        EXPECT_NE(std::string(error.what()).find("fault rule 2"), std::string::npos)
            << error.what();
    }
    EXPECT_THROW(ServerUnit::fromJSON(json::parse(R"({"unitID":1,"faultRules":{}})")),
                 DecodingError);
}

TEST(FaultRules, RequestShapeByFunctionCode) {
    const std::pair<Bytes, Shape> cases[] = {
        {{0x01, 0x00, 0x10, 0x00, 0x08}, {0x01, 16, 8}},
        {{0x03, 0x00, 0x64, 0x00, 0x0A}, {0x03, 100, 10}},
        {{0x04, 0xFF, 0xFF, 0x00, 0x01}, {0x04, 65535, 1}},
        {{0x05, 0x00, 0x07, 0xFF, 0x00}, {0x05, 7, 1}},
        {{0x06, 0x00, 0x03, 0x00, 0x2A}, {0x06, 3, 1}},
        {{0x0F, 0x00, 0x02, 0x00, 0x0A, 0x02, 0xFF, 0x03}, {0x0F, 2, 10}},
        {{0x10, 0x00, 0x04, 0x00, 0x02, 0x04, 0, 7, 0, 8}, {0x10, 4, 2}},
        {{0x16, 0x00, 0x06, 0x00, 0xF2, 0x00, 0x25}, {0x16, 6, 1}},
        {{0x17, 0x00, 0x01, 0x00, 0x03, 0x00, 0x09, 0x00, 0x01, 0x02, 0, 1}, {0x17, 1, 3}},
        {{0x18, 0x04, 0xDE}, {0x18, 0x04DE, std::nullopt}},
        {{0x08, 0x00, 0x00, 0x12, 0x34}, {0x08, std::nullopt, std::nullopt}},
        {{0x2B, 0x0E, 0x01, 0x00}, {0x2B, std::nullopt, std::nullopt}},
        {{0x03, 0x00}, {0x03, std::nullopt, std::nullopt}}, // too short for its fields
        {{}, {}},
    };
    for (const auto& [pdu, shape] : cases) {
        EXPECT_EQ(FaultRules::shapeOf(pdu), shape) << hexText(pdu);
    }
}

TEST(FaultRules, MatchByFunctionAddressAndQuantity) {
    const FaultRule::Match holding{.functions = {3, 16}, .addressFrom = 100, .addressTo = 120};
    const FaultRule::Match small{.quantityTo = 2};
    const std::tuple<FaultRule::Match, Shape, bool> cases[] = {
        {{}, {0x08, std::nullopt, std::nullopt}, true}, // an open rule matches everything
        {holding, {0x03, 100, 10}, true},
        {holding, {0x03, 120, 125}, true}, // the start address decides
        {holding, {0x03, 99, 1}, false},
        {holding, {0x03, 121, 1}, false},
        {holding, {0x04, 110, 1}, false},
        {holding, {0x10, 110, 2}, true},
        {holding, {0x18, 110, std::nullopt}, false},
        {{.addressFrom = 100}, {0x18, 110, std::nullopt}, true}, // FIFO: address only
        {holding, {0x08, std::nullopt, std::nullopt}, false},    // no address: only open rules
        {small, {0x03, 0, 2}, true},
        {small, {0x03, 0, 3}, false},
        {small, {0x18, 5, std::nullopt}, false},
    };
    for (const auto& [match, shape, expected] : cases) {
        EXPECT_EQ(FaultRules::matches(match, shape), expected)
            << int(shape.function) << " " << shape.address.value_or(-1);
    }
}

// Which of the first twelve matching requests fire, at one request a second from t = 0.
TEST(FaultRules, EachScheduleFiresExactlyOnItsRequests) {
    using Fired = std::vector<int>;
    const std::pair<Schedule, Fired> cases[] = {
        {{}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {{.kind = Schedule::Kind::everyNth, .n = 5}, {5, 10}},
        {{.kind = Schedule::Kind::everyNth, .n = 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {{.kind = Schedule::Kind::firstN, .n = 3}, {1, 2, 3}},
        {{.kind = Schedule::Kind::afterN, .n = 10}, {11, 12}},
        {{.kind = Schedule::Kind::probability, .probability = 0}, {}},
        {{.kind = Schedule::Kind::probability, .probability = 1},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        // Request i arrives at i - 1 seconds: 2 ≤ t < 4.5 are requests 3, 4 and 5.
        {{.kind = Schedule::Kind::window, .from = 2, .to = 4.5}, {3, 4, 5}},
        // On for 2 s of every 5 s: t = 0, 1, 5, 6, 10, 11.
        {{.kind = Schedule::Kind::periodic, .on = 2, .period = 5}, {1, 2, 6, 7, 11, 12}},
    };
    for (const auto& [schedule, expected] : cases) {
        FaultRules::Random random(7);
        Fired fired;
        for (int i = 1; i <= 12; ++i) {
            if (FaultRules::fires(schedule, static_cast<std::uint64_t>(i), i - 1.0, random)) {
                fired.push_back(i);
            }
        }
        EXPECT_EQ(fired, expected) << schedule.kind.rawValue();
    }
}

// The first enabled rule that matches and fires wins; later rules do not even count the request.
TEST(FaultRules, FirstMatchingRuleThatFiresWinsAndCounts) {
    std::vector<FaultRule> rules{
        rule({}, badCRC, {.functions = {6}}),                     // writes only
        rule({.kind = Schedule::Kind::everyNth, .n = 2}, badCRC), // every 2nd of all
        rule({}, {.kind = Effect::Kind::noResponse}),             // the rest
        rule({}, {.kind = Effect::Kind::duplicate}),              // never reached
    };
    std::vector<FaultRule::Counts> counts(rules.size());
    FaultRules::Random random(1);
    const Shape read{0x03, 0, 1}, write{0x06, 0, 1};
    std::vector<std::optional<std::size_t>> chosen;
    for (const Shape& shape : {read, read, write, read, read}) {
        chosen.push_back(FaultRules::evaluate(rules, counts, shape, 0, random));
    }
    EXPECT_EQ(chosen, (std::vector<std::optional<std::size_t>>{2, 1, 0, 2, 1}));
    EXPECT_EQ(counts, (std::vector<FaultRule::Counts>{{1, 1}, {4, 2}, {2, 2}, {0, 0}}));

    rules[1].enabled = false; // a switched-off rule neither matches nor counts
    EXPECT_EQ(FaultRules::evaluate(rules, counts, read, 0, random), 2u);
    EXPECT_EQ(counts[1], (FaultRule::Counts{4, 2}));
}

// Counts live in the store: kept for rules that stay equal when the units are configured again,
// zero for changed rules, and zero again when the server starts.
TEST(FaultRuleStore, CountsSurviveConfigureForUnchangedRules) {
    RegisterStore store;
    ServerUnit unit;
    unit.unitID = 4;
    unit.faultRules = {rule({.kind = Schedule::Kind::everyNth, .n = 2}, badCRC, {}, "a"),
                       rule({}, {.kind = Effect::Kind::early}, {}, "b")};
    store.configure({unit}, {}, true);
    const Shape read{0x03, 0, 1};
    std::vector<std::size_t> fired;
    for (int i = 0; i < 4; ++i) {
        fired.push_back(store.fireFaultRule(4, read, 0)->index);
    }
    EXPECT_EQ(fired, (std::vector<std::size_t>{1, 0, 1, 0}));
    EXPECT_EQ(store.faultCounts(4), (std::vector<FaultRule::Counts>{{4, 2}, {2, 2}}));
    EXPECT_TRUE(store.faultCounts(9).empty());
    EXPECT_FALSE(store.fireFaultRule(9, read, 0));

    // Rule b moves to the front unchanged, a changes, c is new.
    FaultRule changed = unit.faultRules[0];
    changed.schedule.n = 3;
    unit.faultRules = {unit.faultRules[1], changed, rule({}, badCRC, {}, "c")};
    store.configure({unit}, {}, false);
    EXPECT_EQ(store.faultCounts(4), (std::vector<FaultRule::Counts>{{2, 2}, {0, 0}, {0, 0}}));
    const auto now = store.fireFaultRule(4, read, 0);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->index, 0u); // rules changed while running apply from the next request
    EXPECT_EQ(now->name, "b");
    EXPECT_EQ(now->effect.kind, Effect::Kind::early);

    store.resetDiagnostics();
    EXPECT_EQ(store.faultCounts(4), (std::vector<FaultRule::Counts>{{0, 0}, {0, 0}, {0, 0}}));
}

// The same seed gives the same faults in every run: the generator restarts with each server
// start. A tenth of the requests fire, near enough.
TEST(FaultRuleStore, SeedMakesRunsRepeatable) {
    RegisterStore store;
    ServerUnit unit;
    unit.faultRules = {rule({.kind = Schedule::Kind::probability, .probability = 0.1}, badCRC)};
    store.configure({unit}, {}, true);
    const auto run = [&] {
        store.resetDiagnostics(); // as at every start
        std::vector<bool> fired;
        std::vector<std::uint64_t> randoms;
        for (int i = 0; i < 10000; ++i) {
            const auto hit = store.fireFaultRule(1, {0x03, 0, 1}, 0);
            fired.push_back(hit.has_value());
            if (hit) {
                randoms.push_back(hit->random);
            }
        }
        return std::pair(fired, randoms);
    };
    store.setFaultSeed(2026);
    const auto first = run();
    EXPECT_EQ(run(), first);
    const auto count = std::count(first.first.begin(), first.first.end(), true);
    EXPECT_GT(count, 900); // a fixed seed: the same count every run
    EXPECT_LT(count, 1100);
    store.setFaultSeed(2027);
    EXPECT_NE(run(), first);
    store.setFaultSeed(2026);
    EXPECT_EQ(run(), first);
}

} // namespace

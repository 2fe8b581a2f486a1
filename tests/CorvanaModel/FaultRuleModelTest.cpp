#include "Corvana/model/FaultRuleEditing.h"
#include "Corvana/model/FaultRulePresets.h"
#include "Corvana/model/FaultRuleSummary.h"
#include "Corvana/model/ServerModel.h"

#include "Localization/FaultTexts.h"

#include "TestEnvironment.h"

#include "tests/support/ModelStubs.h"
#include "tests/support/PseudoTerminal.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <set>
#include <string>

namespace {

using ScheduleKind = FaultRule::Schedule::Kind;
using EffectKind = FaultRule::Effect::Kind;
using Preset = FaultRulePresets::Preset;

FaultRule named(std::string name, EffectKind effect = EffectKind::badCRC) {
    FaultRule rule;
    rule.name = std::move(name);
    rule.effect.kind = effect;
    return rule;
}

// The rules' one-letter names in order.
std::string names(const std::vector<FaultRule>& rules) {
    std::string result;
    for (const FaultRule& rule : rules) {
        result += rule.name;
    }
    return result;
}

TEST(FaultRuleEditing, ListOperationsKeepOrderAndRefuseUnknownIndices) {
    namespace E = FaultRuleEditing;
    using Index = std::optional<std::size_t>;
    const struct {
        const char* name;
        bool changed;
        const char* expected; // the list unchanged when the change reports false
        std::function<bool(std::vector<FaultRule>&)> change;
    } cases[] = {
        {"insert at the end", true, "abcx", [](auto& r) { return E::insert(r, named("x")) == 3; }},
        {"insert after the first", true, "axbc",
         [](auto& r) { return E::insert(r, named("x"), 0) == 1; }},
        {"insert after an unknown index appends", true, "abcx",
         [](auto& r) { return E::insert(r, named("x"), 9) == 3; }},
        {"duplicate the middle", true, "abbc",
         [](auto& r) { return E::duplicate(r, 1) == Index(2); }},
        {"duplicate unknown", false, "abc", [](auto& r) { return E::duplicate(r, 3).has_value(); }},
        {"remove the first", true, "bc", [](auto& r) { return E::remove(r, 0); }},
        {"remove unknown", false, "abc", [](auto& r) { return E::remove(r, 3); }},
        {"move the last up", true, "acb", [](auto& r) { return E::move(r, 2, -1) == Index(1); }},
        {"move the first down", true, "bac", [](auto& r) { return E::move(r, 0, 1) == Index(1); }},
        {"move the first to the end", true, "bca",
         [](auto& r) { return E::move(r, 0, 5) == Index(2); }},
        {"move the first up", false, "abc", [](auto& r) { return E::move(r, 0, -1).has_value(); }},
        {"move the last down", false, "abc", [](auto& r) { return E::move(r, 2, 1).has_value(); }},
        {"replace", true, "axc", [](auto& r) { return E::replace(r, 1, named("x")); }},
        {"replace by an equal rule", false, "abc", [](auto& r) { return E::replace(r, 1, r[1]); }},
        {"switch off", true, "abc", [](auto& r) { return E::setEnabled(r, 1, false); }},
        {"switch on what is on", false, "abc", [](auto& r) { return E::setEnabled(r, 1, true); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<FaultRule> rules = {named("a"), named("b"), named("c")};
        EXPECT_EQ(c.change(rules), c.changed);
        EXPECT_EQ(names(rules), c.expected);
    }
}

TEST(FaultRuleEditing, ParsesFunctionCodesAndBounds) {
    const struct {
        const char* text;
        std::optional<std::vector<std::uint8_t>> codes;
    } lists[] = {
        {"", std::vector<std::uint8_t>{}},
        {"  ", std::vector<std::uint8_t>{}},
        {"3", std::vector<std::uint8_t>{3}},
        {"16, 3 ,3", std::vector<std::uint8_t>{3, 16}},
        {"1 2;4", std::vector<std::uint8_t>{1, 2, 4}},
        {"255", std::vector<std::uint8_t>{255}},
        {"0", std::nullopt},
        {"256", std::nullopt},
        {"3, x", std::nullopt},
        {"-3", std::nullopt},
        {"0x03", std::nullopt},
    };
    for (const auto& c : lists) {
        EXPECT_EQ(FaultRuleEditing::parseFunctionCodes(c.text), c.codes) << c.text;
    }
    EXPECT_EQ(FaultRuleEditing::functionCodesText({3, 16}), "3, 16");

    const struct {
        const char* text;
        bool valid;
        std::optional<int> bound;
    } bounds[] = {
        {"", true, std::nullopt}, {" 100 ", true, 100}, {"0", true, 0},   {"65535", true, 65535},
        {"65536", false, 7},      {"1e3", false, 7},    {"+5", false, 7}, {"abc", false, 7},
    };
    for (const auto& c : bounds) {
        std::optional<int> bound = 7; // left alone when refused
        EXPECT_EQ(FaultRuleEditing::parseBound(c.text, bound), c.valid) << c.text;
        EXPECT_EQ(bound, c.bound) << c.text;
    }
}

TEST(FaultRuleEditing, ProblemsAreThoseTheProjectFileRefuses) {
    using S = ScheduleKind;
    const struct {
        const char* name;
        FaultRule::Match match;
        FaultRule::Schedule schedule;
        bool refused;
    } cases[] = {
        {"a plain rule", {}, {}, false},
        {"addresses in order", {.addressFrom = 4, .addressTo = 4}, {}, false},
        {"addresses reversed", {.addressFrom = 5, .addressTo = 4}, {}, true},
        {"quantities reversed", {.quantityFrom = 10, .quantityTo = 1}, {}, true},
        {"an empty window", {}, {.kind = S::window, .from = 30, .to = 30}, true},
        {"a window", {}, {.kind = S::window, .to = 30}, false},
        {"on for the whole period", {}, {.kind = S::periodic, .on = 30, .period = 30}, false},
        {"on longer than the period", {}, {.kind = S::periodic, .on = 31, .period = 30}, true},
        {"never on", {}, {.kind = S::periodic, .period = 30}, true},
    };
    const L10n::ScopedLanguage english(Language::en);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FaultRule rule{"r", true, c.match, c.schedule, {.kind = EffectKind::badCRC}};
        const auto problem = FaultRuleEditing::problem(rule);
        EXPECT_EQ(problem.has_value(), c.refused);
        // What the editor accepts, the project file reads back.
        bool loads = true;
        try {
            (void)FaultRule::fromJSON(rule.toJSON());
        } catch (const std::exception&) {
            loads = false;
        }
        EXPECT_EQ(loads, !c.refused);
    }
}

FaultRule rule(FaultRule::Schedule schedule, FaultRule::Effect effect,
               FaultRule::Match match = {}) {
    return FaultRule{"", true, std::move(match), schedule, effect};
}

TEST(FaultRuleSummary, OneLineInTheUsersLanguage) {
    using S = ScheduleKind;
    using E = EffectKind;
    const struct {
        FaultRule rule;
        const char* english;
        const char* german;
    } cases[] = {
        {rule({.kind = S::everyNth, .n = 5}, {.kind = E::badCRC},
              {.functions = {3}, .addressFrom = 100, .addressTo = 120}),
         "Every 5th read of holding registers 100–120: bad CRC",
         "Jede 5. Leseanfrage auf Holding-Register 100–120: falsche CRC"},
        {rule({.kind = S::probability, .probability = 0.1}, {.kind = E::noResponse}),
         "10 % of requests: no response", "10 % der Anfragen: keine Antwort"},
        {rule({.kind = S::window, .from = 30, .to = 60}, {.kind = E::delay, .ms = 2000}),
         "From 30 s to 60 s, every request: delay 2000 ms",
         "Von 30 s bis 60 s jede Anfrage: 2000 ms Verzögerung"},
        {rule({.kind = S::periodic, .on = 3, .period = 30}, {.kind = E::exception, .code = 6}),
         "For 3 s every 30 s, every request: exception 06 (Server device busy)",
         "Alle 30 s für 3 s jede Anfrage: Ausnahme 06 (Gerät beschäftigt)"},
        {rule({.kind = S::firstN, .n = 1}, {.kind = E::truncate, .bytes = 1}),
         "The first request: last byte cut off", "Die erste Anfrage: letztes Byte abgeschnitten"},
        {rule({.kind = S::firstN, .n = 3}, {.kind = E::noise, .bytes = 4}, {.functions = {5, 15}}),
         "The first 3 writes of coils: 4 noise bytes before the reply",
         "Die ersten 3 Schreibanfragen auf Coils: 4 Störbytes vor der Antwort"},
        {rule({.kind = S::afterN, .n = 10}, {.kind = E::wrongUnit, .unitID = 7}),
         "Every request after the first 10: reply from unit 7",
         "Jede Anfrage nach den ersten 10: Antwort von Unit 7"},
        {rule({.kind = S::everyNth, .n = 22}, {.kind = E::fewerValues, .count = 2},
              {.functions = {4, 8}, .addressFrom = 10, .quantityTo = 8}),
         "Every 22nd request with function 4, 8 at addresses from 10 (quantity up to 8): 2 values "
         "fewer",
         "Jede 22. Anfrage mit Funktion 4, 8 an Adresse ab 10 (Anzahl bis 8): 2 Werte weniger"},
        {rule({.kind = S::everyNth, .n = 13}, {.kind = E::duplicate}, {.functions = {16}}),
         "Every 13th write of holding registers: reply sent twice",
         "Jede 13. Schreibanfrage auf Holding-Register: Antwort zweimal gesendet"},
        {rule({.kind = S::everyNth, .n = 1}, {.kind = E::noResponse, .dropRequest = true}),
         "Every request: no response, request dropped",
         "Jede Anfrage: keine Antwort, Anfrage verworfen"},
        {rule({.kind = S::always}, {.kind = E::byteDelay, .ms = 10},
              {.functions = {1}, .addressFrom = 7, .addressTo = 7}),
         "Every read of coils 7: 10 ms between bytes",
         "Jede Leseanfrage auf Coils 7: 10 ms zwischen den Bytes"},
        {rule({.kind = S::probability, .probability = 0.025}, {.kind = E::corruptData}),
         "2.5 % of requests: one data bit flipped", "2,5 % der Anfragen: ein Datenbit gekippt"},
    };
    for (const auto& c : cases) {
        {
            const L10n::ScopedLanguage english(Language::en);
            EXPECT_EQ(FaultRuleSummary::text(c.rule), c.english);
        }
        const L10n::ScopedLanguage german(Language::de);
        EXPECT_EQ(FaultRuleSummary::text(c.rule, ","), c.german);
    }
}

TEST(FaultRuleSummary, OrdinalsAndEveryEffectReadInEveryLanguage) {
    const L10n::ScopedLanguage english(Language::en);
    const struct {
        int n;
        const char* text;
    } ordinals[] = {{2, "2nd"},   {3, "3rd"},   {4, "4th"},     {11, "11th"},  {12, "12th"},
                    {13, "13th"}, {21, "21st"}, {101, "101st"}, {111, "111th"}};
    for (const auto& o : ordinals) {
        EXPECT_EQ(L10n::Faults::ordinal(o.n), o.text);
    }
    for (const Language language : Language::allCases()) {
        const L10n::ScopedLanguage scope(language);
        std::set<std::string> effects;
        for (const EffectKind kind : EffectKind::allCases()) {
            FaultRule::Effect effect;
            effect.kind = kind;
            effect.code = effect.ms = effect.bytes = effect.unitID = effect.count = 2;
            const std::string text = FaultRuleSummary::effectText(effect);
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(text.find('{'), std::string::npos) << text;
            effects.insert(text);
        }
        EXPECT_EQ(effects.size(), EffectKind::allCases().size()) << language.rawValue();
        for (const ScheduleKind kind : ScheduleKind::allCases()) {
            const std::string text =
                FaultRuleSummary::whenText(rule({.kind = kind}, {.kind = EffectKind::badCRC}));
            EXPECT_EQ(text.find('{'), std::string::npos) << text;
        }
    }
}

TEST(FaultRulePresets, EachIsAValidNamedRuleThatSurvivesTheProjectFile) {
    const L10n::ScopedLanguage english(Language::en);
    const struct {
        Preset preset;
        const char* summary;
    } expected[] = {
        {Preset::dropTenPercent, "10 % of requests: no response"},
        {Preset::everyFifthBadCRC, "Every 5th request: bad CRC"},
        {Preset::busyPeriodically,
         "For 3 s every 30 s, every request: exception 06 (Server device busy)"},
        {Preset::lateReply, "Every request: delay 1500 ms"},
        {Preset::slowBytes, "Every request: 10 ms between bytes"},
        {Preset::wrongUnit, "Every request: reply from unit 6"},
    };
    ASSERT_EQ(std::size(expected), FaultRulePresets::all.size());
    std::set<std::string> names;
    for (const auto& e : expected) {
        const FaultRule rule = FaultRulePresets::rule(e.preset, 5);
        EXPECT_EQ(FaultRuleSummary::text(rule), e.summary);
        EXPECT_FALSE(FaultRuleEditing::problem(rule));
        EXPECT_TRUE(rule.enabled);
        EXPECT_EQ(FaultRule::fromJSON(rule.toJSON()), rule);
        names.insert(rule.name);
    }
    EXPECT_EQ(names.size(), FaultRulePresets::all.size());
    EXPECT_EQ(FaultRulePresets::rule(Preset::wrongUnit, 247).effect.unitID, 1);
}

// What the master gets for a read of holding register 0 of the example device.
class FaultRulesWhileRunningTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<ServerModel>(nullptr, dialogs);
        model->init();
        model->setSelectedPath(QString::fromStdString(pty.path()));
        model->start();
        ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    }
    void TearDown() override { model->stop(); }

    Bytes ask() {
        pty.send(readRequest);
        return pty.receive(readResponse.size());
    }
    std::uint64_t fired(std::size_t rule) {
        const auto counts = model->faultCounts(1);
        return rule < counts.size() ? counts[rule].fired : 0;
    }

    TestEnvironment environment;
    NoDialogs dialogs;
    PseudoTerminal pty;
    std::unique_ptr<ServerModel> model;
};

TEST_F(FaultRulesWhileRunningTest, EveryChangeTakesEffectWithTheNextRequest) {
    const Bytes normal = ask();
    ASSERT_EQ(normal.size(), readResponse.size());
    EXPECT_TRUE(model->faultCounts(1).empty());

    model->insertFaultRule(1, FaultRulePresets::rule(Preset::wrongUnit, 1));
    Bytes reply = ask();
    ASSERT_EQ(reply.size(), normal.size());
    EXPECT_EQ(reply[0], 2);
    EXPECT_TRUE(processEventsUntil([&] { return fired(0) == 1; }));

    // A rule in front takes the request first.
    FaultRule badCRC = FaultRulePresets::rule(Preset::everyFifthBadCRC, 1);
    badCRC.schedule.kind = ScheduleKind::always;
    model->insertFaultRule(1, badCRC, std::nullopt);
    model->moveFaultRule(1, 1, -1);
    reply = ask();
    ASSERT_EQ(reply.size(), normal.size());
    EXPECT_EQ(reply[0], 1);
    EXPECT_NE(reply, normal);
    EXPECT_TRUE(processEventsUntil([&] { return fired(0) == 1; }));

    model->setFaultRuleEnabled(1, 0, false);
    EXPECT_EQ(ask()[0], 2);
    model->removeFaultRule(1, 1);
    EXPECT_EQ(ask(), normal);
    model->undo(); // the wrong unit comes back
    EXPECT_EQ(ask()[0], 2);
}

} // namespace

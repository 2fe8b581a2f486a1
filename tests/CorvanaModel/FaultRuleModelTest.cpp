#include "Corvana/model/FaultRuleEditing.h"
#include "Corvana/model/FaultRulePresets.h"
#include "Corvana/model/FaultRuleSummary.h"
#include "Corvana/model/ProjectFile.h"
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

std::vector<std::string> names(const std::vector<FaultRule>& rules) {
    std::vector<std::string> result;
    for (const FaultRule& rule : rules) {
        result.push_back(rule.name);
    }
    return result;
}

TEST(FaultRuleEditing, ListOperationsKeepOrderAndRefuseUnknownIndices) {
    const std::vector<FaultRule> abc = {named("a"), named("b"), named("c")};
    const struct {
        const char* name;
        std::function<bool(std::vector<FaultRule>&)> change;
        std::vector<std::string> expected; // unchanged list when the change reports false
        bool changed;
    } cases[] = {
        {"insert at the end",
         [](auto& r) { return FaultRuleEditing::insert(r, named("x")) == 3; },
         {"a", "b", "c", "x"},
         true},
        {"insert after the first",
         [](auto& r) { return FaultRuleEditing::insert(r, named("x"), 0) == 1; },
         {"a", "x", "b", "c"},
         true},
        {"insert after an unknown index appends",
         [](auto& r) { return FaultRuleEditing::insert(r, named("x"), 9) == 3; },
         {"a", "b", "c", "x"},
         true},
        {"duplicate the middle",
         [](auto& r) { return FaultRuleEditing::duplicate(r, 1) == std::optional<std::size_t>(2); },
         {"a", "b", "b", "c"},
         true},
        {"duplicate unknown",
         [](auto& r) { return FaultRuleEditing::duplicate(r, 3).has_value(); },
         {"a", "b", "c"},
         false},
        {"remove the first",
         [](auto& r) { return FaultRuleEditing::remove(r, 0); },
         {"b", "c"},
         true},
        {"remove unknown",
         [](auto& r) { return FaultRuleEditing::remove(r, 3); },
         {"a", "b", "c"},
         false},
        {"move the last up",
         [](auto& r) { return FaultRuleEditing::move(r, 2, -1) == std::optional<std::size_t>(1); },
         {"a", "c", "b"},
         true},
        {"move the first down",
         [](auto& r) { return FaultRuleEditing::move(r, 0, 1) == std::optional<std::size_t>(1); },
         {"b", "a", "c"},
         true},
        {"move the first to the end",
         [](auto& r) { return FaultRuleEditing::move(r, 0, 5) == std::optional<std::size_t>(2); },
         {"b", "c", "a"},
         true},
        {"move the first up",
         [](auto& r) { return FaultRuleEditing::move(r, 0, -1).has_value(); },
         {"a", "b", "c"},
         false},
        {"move the last down",
         [](auto& r) { return FaultRuleEditing::move(r, 2, 1).has_value(); },
         {"a", "b", "c"},
         false},
        {"replace",
         [](auto& r) { return FaultRuleEditing::replace(r, 1, named("x")); },
         {"a", "x", "c"},
         true},
        {"replace by an equal rule",
         [](auto& r) { return FaultRuleEditing::replace(r, 1, r[1]); },
         {"a", "b", "c"},
         false},
        {"switch off",
         [](auto& r) { return FaultRuleEditing::setEnabled(r, 1, false); },
         {"a", "b", "c"},
         true},
        {"switch on what is on",
         [](auto& r) { return FaultRuleEditing::setEnabled(r, 1, true); },
         {"a", "b", "c"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<FaultRule> rules = abc;
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
    const struct {
        const char* name;
        std::function<void(FaultRule&)> change;
        bool refused;
    } cases[] = {
        {"a plain rule", [](FaultRule&) {}, false},
        {"addresses in order", [](FaultRule& r) { r.match.addressFrom = r.match.addressTo = 4; },
         false},
        {"addresses reversed",
         [](FaultRule& r) {
             r.match.addressFrom = 5;
             r.match.addressTo = 4;
         },
         true},
        {"quantities reversed",
         [](FaultRule& r) {
             r.match.quantityFrom = 10;
             r.match.quantityTo = 1;
         },
         true},
        {"an empty window",
         [](FaultRule& r) {
             r.schedule.kind = ScheduleKind::window;
             r.schedule.from = r.schedule.to = 30;
         },
         true},
        {"a window",
         [](FaultRule& r) {
             r.schedule.kind = ScheduleKind::window;
             r.schedule.to = 30;
         },
         false},
        {"on for the whole period",
         [](FaultRule& r) {
             r.schedule.kind = ScheduleKind::periodic;
             r.schedule.on = r.schedule.period = 30;
         },
         false},
        {"on longer than the period",
         [](FaultRule& r) {
             r.schedule.kind = ScheduleKind::periodic;
             r.schedule.on = 31;
             r.schedule.period = 30;
         },
         true},
        {"never on",
         [](FaultRule& r) {
             r.schedule.kind = ScheduleKind::periodic;
             r.schedule.period = 30;
         },
         true},
    };
    const L10n::ScopedLanguage english(Language::en);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultRule rule = named("r");
        c.change(rule);
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

FaultRule rule(ScheduleKind schedule, EffectKind effect,
               const std::function<void(FaultRule&)>& details = {}) {
    FaultRule result;
    result.schedule.kind = schedule;
    result.effect.kind = effect;
    if (details) {
        details(result);
    }
    return result;
}

struct SummaryCase {
    FaultRule rule;
    const char* english;
    const char* german;
};

TEST(FaultRuleSummary, OneLineInTheUsersLanguage) {
    const auto holding100to120 = [](FaultRule& r) {
        r.match.functions = {3};
        r.match.addressFrom = 100;
        r.match.addressTo = 120;
        r.schedule.n = 5;
    };
    const SummaryCase cases[] = {
        {rule(ScheduleKind::everyNth, EffectKind::badCRC, holding100to120),
         "Every 5th read of holding registers 100–120: bad CRC",
         "Jede 5. Leseanfrage auf Holding-Register 100–120: falsche CRC"},
        {rule(ScheduleKind::probability, EffectKind::noResponse,
              [](FaultRule& r) { r.schedule.probability = 0.1; }),
         "10 % of requests: no response", "10 % der Anfragen: keine Antwort"},
        {rule(ScheduleKind::window, EffectKind::delay,
              [](FaultRule& r) {
                  r.schedule.from = 30;
                  r.schedule.to = 60;
                  r.effect.ms = 2000;
              }),
         "From 30 s to 60 s, every request: delay 2000 ms",
         "Von 30 s bis 60 s jede Anfrage: 2000 ms Verzögerung"},
        {rule(ScheduleKind::periodic, EffectKind::exception,
              [](FaultRule& r) {
                  r.schedule.on = 3;
                  r.schedule.period = 30;
                  r.effect.code = 6;
              }),
         "For 3 s every 30 s, every request: exception 06 (Server device busy)",
         "Alle 30 s für 3 s jede Anfrage: Ausnahme 06 (Gerät beschäftigt)"},
        {rule(ScheduleKind::firstN, EffectKind::truncate,
              [](FaultRule& r) {
                  r.schedule.n = 1;
                  r.effect.bytes = 1;
              }),
         "The first request: last byte cut off", "Die erste Anfrage: letztes Byte abgeschnitten"},
        {rule(ScheduleKind::firstN, EffectKind::noise,
              [](FaultRule& r) {
                  r.match.functions = {5, 15};
                  r.schedule.n = 3;
                  r.effect.bytes = 4;
              }),
         "The first 3 writes of coils: 4 noise bytes before the reply",
         "Die ersten 3 Schreibanfragen auf Coils: 4 Störbytes vor der Antwort"},
        {rule(ScheduleKind::afterN, EffectKind::wrongUnit,
              [](FaultRule& r) {
                  r.schedule.n = 10;
                  r.effect.unitID = 7;
              }),
         "Every request after the first 10: reply from unit 7",
         "Jede Anfrage nach den ersten 10: Antwort von Unit 7"},
        {rule(ScheduleKind::everyNth, EffectKind::fewerValues,
              [](FaultRule& r) {
                  r.match.functions = {4, 8};
                  r.match.addressFrom = 10;
                  r.match.quantityTo = 8;
                  r.schedule.n = 22;
                  r.effect.count = 2;
              }),
         "Every 22nd request with function 4, 8 at addresses from 10 (quantity up to 8): 2 values "
         "fewer",
         "Jede 22. Anfrage mit Funktion 4, 8 an Adresse ab 10 (Anzahl bis 8): 2 Werte weniger"},
        {rule(ScheduleKind::everyNth, EffectKind::duplicate,
              [](FaultRule& r) {
                  r.match.functions = {16};
                  r.schedule.n = 13;
              }),
         "Every 13th write of holding registers: reply sent twice",
         "Jede 13. Schreibanfrage auf Holding-Register: Antwort zweimal gesendet"},
        {rule(ScheduleKind::everyNth, EffectKind::noResponse,
              [](FaultRule& r) {
                  r.schedule.n = 1;
                  r.effect.dropRequest = true;
              }),
         "Every request: no response, request dropped",
         "Jede Anfrage: keine Antwort, Anfrage verworfen"},
        {rule(ScheduleKind::always, EffectKind::byteDelay,
              [](FaultRule& r) {
                  r.match.functions = {1};
                  r.match.addressFrom = r.match.addressTo = 7;
                  r.effect.ms = 10;
              }),
         "Every read of coils 7: 10 ms between bytes",
         "Jede Leseanfrage auf Coils 7: 10 ms zwischen den Bytes"},
        {rule(ScheduleKind::probability, EffectKind::corruptData,
              [](FaultRule& r) { r.schedule.probability = 0.025; }),
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
            const std::string text = FaultRuleSummary::whenText(rule(kind, EffectKind::badCRC));
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
    ServerProject project = ServerProject::example();
    std::set<std::string> names;
    for (const auto& e : expected) {
        const FaultRule rule = FaultRulePresets::rule(e.preset, 5);
        EXPECT_EQ(FaultRuleSummary::text(rule), e.summary);
        EXPECT_FALSE(FaultRuleEditing::problem(rule));
        EXPECT_TRUE(rule.enabled);
        names.insert(rule.name);
        project.units.front().faultRules.push_back(rule);
    }
    EXPECT_EQ(names.size(), FaultRulePresets::all.size());
    EXPECT_EQ(FaultRulePresets::rule(Preset::wrongUnit, 247).effect.unitID, 1);

    QString error;
    const auto decoded = ProjectFile::decode(ProjectFile::encode(project), &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->units, project.units);
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

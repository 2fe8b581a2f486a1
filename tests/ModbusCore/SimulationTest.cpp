#include "ModbusCore/Simulation.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

TEST(SimulationKind, RawValuesRoundTripAndAreCaseSensitive) {
    for (auto kind : Simulation::Kind::allCases()) {
        EXPECT_EQ(Simulation::Kind::fromRaw(kind.rawValue()), kind);
    }
    EXPECT_EQ(Simulation::Kind(Simulation::Kind::random).rawValue(), "random");
    EXPECT_FALSE(Simulation::Kind::fromRaw("Sine"));
    EXPECT_FALSE(Simulation::Kind::fromRaw(""));
}

struct ValueCase {
    const char* label;
    Simulation::Kind::Value kind;
    double minimum, maximum, period, elapsed, expected;
};

class SimulationValue : public testing::TestWithParam<ValueCase> {};

TEST_P(SimulationValue, FollowsTheKindsCurve) {
    const auto& c = GetParam();
    const Simulation simulation{c.kind, c.minimum, c.maximum, c.period};
    const auto value = simulation.valueAt(c.elapsed);
    ASSERT_TRUE(value.has_value());
    EXPECT_NEAR(*value, c.expected, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SimulationValue,
    testing::Values(
        ValueCase{"counterStart", Simulation::Kind::counter, 0, 10, 1, 0, 0},
        ValueCase{"counterTop", Simulation::Kind::counter, 0, 10, 1, 10.5, 10},
        ValueCase{"counterWraps", Simulation::Kind::counter, 0, 10, 1, 11, 0},
        ValueCase{"counterAfterWrap", Simulation::Kind::counter, 0, 10, 1, 12.9, 1},
        ValueCase{"counterEmptyRange", Simulation::Kind::counter, 5, 5, 1, 7, 5},
        ValueCase{"counterSwappedBounds", Simulation::Kind::counter, 10, 0, 1, 3, 3},
        ValueCase{"counterSwappedWraps", Simulation::Kind::counter, 10, 0, 1, 11, 0},
        ValueCase{"counterFractionalFirst", Simulation::Kind::counter, 0.5, 3, 1, 0, 0.5},
        ValueCase{"counterFractionalSecond", Simulation::Kind::counter, 0.5, 3, 1, 1, 1.5},
        ValueCase{"counterFractionalThird", Simulation::Kind::counter, 0.5, 3, 1, 2, 2.5},
        ValueCase{"counterFractionalWraps", Simulation::Kind::counter, 0.5, 3, 1, 3, 0.5},
        ValueCase{"rampStart", Simulation::Kind::ramp, 0, 100, 10, 0, 0},
        ValueCase{"rampHalfPeriod", Simulation::Kind::ramp, 0, 100, 10, 5, 50},
        ValueCase{"rampSecondPeriod", Simulation::Kind::ramp, 0, 100, 10, 12.5, 25},
        ValueCase{"rampSwappedBounds", Simulation::Kind::ramp, 100, 20, 4, 2, 60},
        ValueCase{"sineStartsMidway", Simulation::Kind::sine, 0, 100, 8, 0, 50},
        ValueCase{"sineQuarterIsHigh", Simulation::Kind::sine, 0, 100, 8, 2, 100},
        ValueCase{"sineThreeQuartersIsLow", Simulation::Kind::sine, 0, 100, 8, 6, 0},
        ValueCase{"randomFirstPeriodIsLow", Simulation::Kind::random, 10, 20, 5, 0, 10},
        ValueCase{"randomFirstPeriodEnd", Simulation::Kind::random, 10, 20, 5, 4.9, 10},
        // Pinned values of the hash for n = 1, 2 and -1 (two's complement).
        ValueCase{"randomPeriodOne", Simulation::Kind::random, 0, 1e6, 1, 1.5, 450215},
        ValueCase{"randomPeriodTwo", Simulation::Kind::random, 1e6, 0, 1, 2, 744517},
        ValueCase{"randomNegativePeriod", Simulation::Kind::random, 0, 1e6, 1, -0.5, 795287},
        ValueCase{"toggleStartsLow", Simulation::Kind::toggle, 0, 100, 1, 0.5, 0},
        ValueCase{"toggleSecondPeriodHigh", Simulation::Kind::toggle, 0, 100, 1, 1.5, 100},
        ValueCase{"togglePeriodZeroRunsAtMinimum", Simulation::Kind::toggle, 0, 100, 0, 0.15, 100},
        ValueCase{"togglePeriodZeroThirdStep", Simulation::Kind::toggle, 0, 100, 0, 0.25, 0},
        ValueCase{"toggleNegativePeriod", Simulation::Kind::toggle, 0, 100, -5, 0.15, 100},
        ValueCase{"togglePeriodAtMinimum", Simulation::Kind::toggle, 0, 100, 0.1, 0.15, 100},
        ValueCase{"toggleJustAboveMinimum", Simulation::Kind::toggle, 0, 100, 0.2, 0.15, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Simulation, NoneHasNoValue) {
    EXPECT_FALSE(Simulation{}.valueAt(0));
    EXPECT_FALSE(Simulation{}.valueAt(123.4));
}

TEST(Simulation, RandomHoldsForAPeriodAndStaysInRange) {
    const Simulation simulation{Simulation::Kind::random, -5, 5, 2};
    EXPECT_EQ(simulation.valueAt(2.0), simulation.valueAt(3.99));
    bool changed = false;
    for (int n = 0; n < 500; ++n) {
        auto value = simulation.valueAt(2.0 * n);
        ASSERT_TRUE(value);
        EXPECT_GE(*value, -5);
        EXPECT_LE(*value, 5);
        changed = changed || *value != -5;
    }
    EXPECT_TRUE(changed);
}

// lo + (hi − lo) × r ÷ 1000000 evaluated in that order; dividing r first is off in the last bit.
TEST(Simulation, RandomValueIsExactToTheLastBit) {
    const std::pair<double, double> cases[] = {{10, 4.50215}, {3, 1.350645}, {100, 45.0215}};
    for (const auto& [hi, expected] : cases) {
        const Simulation simulation{Simulation::Kind::random, 0, hi, 1};
        EXPECT_EQ(simulation.valueAt(1.5), expected) << hi; // n = 1, r = 450215
    }
}

TEST(Simulation, PeriodCountOutsideInt64RestsAtLowerBound) {
    for (auto kind : Simulation::Kind::allCases()) {
        if (kind == Simulation::Kind::none) {
            continue;
        }
        const Simulation simulation{kind, 30, -7, 0};
        for (double t :
             {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
              std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300}) {
            EXPECT_EQ(simulation.valueAt(t), -7) << kind.rawValue() << " at " << t;
        }
    }
}

TEST(Simulation, CounterWithHugeSpanIsCapped) {
    const Simulation simulation{Simulation::Kind::counter, -1e300, 1e300, 1};
    EXPECT_EQ(simulation.valueAt(2147483648.0), -1e300); // wraps after 2^31 steps
}

TEST(SimulationJSON, RoundTrips) {
    const Simulation simulation{Simulation::Kind::sine, -2.5, 7.25, 0.3};
    EXPECT_EQ(Simulation::fromJSON(simulation.toJSON()), simulation);
    EXPECT_EQ(
        simulation.toJSON(),
        nlohmann::json::parse(R"({"kind":"sine","minimum":-2.5,"maximum":7.25,"period":0.3})"));
}

TEST(SimulationJSON, RejectsIncompleteOrMalformedObjects) {
    const auto complete =
        nlohmann::json::parse(R"({"kind":"ramp","minimum":0,"maximum":1,"period":2})");
    for (const auto& key : {"kind", "minimum", "maximum", "period"}) {
        auto missing = complete;
        missing.erase(key);
        EXPECT_THROW(Simulation::fromJSON(missing), DecodingError) << key;
        auto null = complete;
        null[key] = nullptr;
        EXPECT_THROW(Simulation::fromJSON(null), DecodingError) << key;
    }
    for (const char* text :
         {R"({"kind":"Ramp","minimum":0,"maximum":1,"period":2})",
          R"({"kind":"ramp","minimum":"0","maximum":1,"period":2})",
          R"({"kind":1,"minimum":0,"maximum":1,"period":2})",
          R"({"kind":"ramp","minimum":0,"maximum":1,"period":true})", "[]", "5"}) {
        EXPECT_THROW(Simulation::fromJSON(nlohmann::json::parse(text)), DecodingError) << text;
    }
}

} // namespace

#include "ModbusCore/Simulation.h"
#include "ModbusCore/JSONFields.h"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <tuple>

namespace {

using K = Simulation::Kind;

TEST(Simulation, KindsFollowTheirCurves) {
    // Kind, minimum, maximum, period, seconds elapsed, expected value. The random rows pin the
    // hash for n = 1 and -1; toggle periods below 0.1 s run at 0.1 s.
    const std::tuple<K::Value, double, double, double, double, double> cases[] = {
        {K::counter, 0, 10, 1, 10.5, 10},    {K::counter, 0, 10, 1, 11, 0},
        {K::counter, 5, 5, 1, 7, 5},         {K::counter, 10, 0, 1, 3, 3},
        {K::counter, 0.5, 3, 1, 1, 1.5},     {K::ramp, 0, 100, 10, 5, 50},
        {K::ramp, 0, 100, 10, 12.5, 25},     {K::ramp, 100, 20, 4, 2, 60},
        {K::sine, 0, 100, 8, 0, 50},         {K::sine, 0, 100, 8, 2, 100},
        {K::sine, 0, 100, 8, 6, 0},          {K::random, 10, 20, 5, 4.9, 10},
        {K::random, 0, 1e6, 1, 1.5, 450215}, {K::random, 0, 1e6, 1, -0.5, 795287},
        {K::toggle, 0, 100, 1, 1.5, 100},    {K::toggle, 0, 100, 0, 0.15, 100},
        {K::toggle, 0, 100, 0, 0.25, 0},     {K::toggle, 0, 100, -5, 0.15, 100},
    };
    for (const auto& [kind, minimum, maximum, period, elapsed, expected] : cases) {
        const auto value = Simulation{kind, minimum, maximum, period}.valueAt(elapsed);
        ASSERT_TRUE(value.has_value());
        EXPECT_NEAR(*value, expected, 1e-9) << K(kind).rawValue() << " at " << elapsed;
    }
}

TEST(Simulation, NoneHasNoValueAndRandomHoldsForAPeriodInRange) {
    EXPECT_FALSE(Simulation{}.valueAt(123.4));
    const Simulation simulation{K::random, -5, 5, 2};
    bool changed = false;
    for (int n = 0; n < 500; ++n) {
        const auto value = simulation.valueAt(2.0 * n);
        ASSERT_TRUE(value && *value >= -5 && *value <= 5) << n;
        EXPECT_EQ(simulation.valueAt(2.0 * n + 1.99), value);
        changed = changed || *value != -5;
    }
    EXPECT_TRUE(changed);
}

TEST(Simulation, PeriodCountOutsideInt64RestsAtLowerBound) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (auto kind : {K::counter, K::ramp, K::sine, K::random, K::toggle}) {
        const Simulation simulation{kind, 30, -7, 0};
        for (double t : {infinity, -infinity, std::numeric_limits<double>::quiet_NaN(), 1e300}) {
            EXPECT_EQ(simulation.valueAt(t), -7) << K(kind).rawValue() << " at " << t;
        }
    }
    const Simulation hugeCounter{K::counter, -1e300, 1e300, 1};
    EXPECT_EQ(hugeCounter.valueAt(2147483648.0), -1e300); // wraps after 2^31 steps
}

TEST(SimulationJSON, RoundTrips) {
    const Simulation simulation{K::sine, -2.5, 7.25, 0.3};
    EXPECT_EQ(
        simulation.toJSON(),
        nlohmann::json::parse(R"({"kind":"sine","minimum":-2.5,"maximum":7.25,"period":0.3})"));
    for (auto kind : K::allCases()) {
        const Simulation other{kind, 1, 2, 3};
        EXPECT_EQ(Simulation::fromJSON(other.toJSON()), other) << K(kind).rawValue();
    }
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
    const std::pair<const char*, nlohmann::json> wrong[] = {
        {"kind", "Ramp"}, {"kind", 1}, {"minimum", "0"}, {"period", true}};
    for (const auto& [key, value] : wrong) {
        auto json = complete;
        json[key] = value;
        EXPECT_THROW(Simulation::fromJSON(json), DecodingError) << json.dump();
    }
    EXPECT_THROW(Simulation::fromJSON(nlohmann::json::array()), DecodingError);
}

} // namespace

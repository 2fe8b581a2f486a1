#include "ModbusCore/Simulation.h"

#include "Localization/EnumCases.h"
#include "ModbusCore/JSONFields.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<std::string_view, 6> kindRawValues{"none", "counter", "ramp",
                                                        "sine", "random",  "toggle"};

// Periods at or below this, zero and negative ones included, run with it.
constexpr double minimumPeriod = 0.1;
constexpr double twoPi = 6.283185307179586;
constexpr std::int64_t maxCounterSteps = 2147483647;

// A fixed mix of the period number: the same n gives the same step 0…1000000 in every run.
std::uint64_t randomStep(std::int64_t n) {
    std::uint64_t h = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ULL;
    h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ULL;
    return (h ^ (h >> 29)) % 1000001;
}

} // namespace

std::optional<Simulation::Kind> Simulation::Kind::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<Simulation::Kind, 6>& Simulation::Kind::allCases() {
    static constexpr std::array<Kind, 6> cases{none, counter, ramp, sine, random, toggle};
    return cases;
}

std::string_view Simulation::Kind::rawValue() const {
    return kindRawValues[value];
}

std::optional<double> Simulation::valueAt(double elapsed) const {
    if (kind == Kind::none) {
        return std::nullopt;
    }
    const double lo = std::min(minimum, maximum);
    const double hi = std::max(minimum, maximum);
    const double p = period > minimumPeriod ? period : minimumPeriod;
    const double periods = elapsed / p;

    // The caller passes finite, non-negative seconds; anything whose period count does not fit
    // an int64 (infinite, NaN, or centuries beyond any run) rests at the lower bound.
    constexpr double int64Limit = 9223372036854775808.0; // 2^63
    const double whole = std::floor(periods);
    if (!(whole >= -int64Limit && whole < int64Limit)) {
        return lo;
    }
    const auto n = static_cast<std::int64_t>(whole);

    switch (kind) {
    case Kind::none:
        break;
    case Kind::counter: {
        // Written so that NaN and infinite spans end up at the cap instead of an invalid cast.
        const double span = std::floor(hi - lo);
        const std::int64_t steps = span < static_cast<double>(maxCounterSteps)
                                       ? static_cast<std::int64_t>(span)
                                       : maxCounterSteps;
        const std::int64_t cycle = steps + 1;
        // Euclidean remainder keeps the value within lo...lo + steps even for negative times.
        const std::int64_t step = ((n % cycle) + cycle) % cycle;
        return lo + static_cast<double>(step);
    }
    case Kind::ramp:
        return lo + (hi - lo) * std::fmod(periods, 1.0);
    case Kind::sine:
        return lo + (hi - lo) * (std::sin(twoPi * elapsed / p) * 0.5 + 0.5);
    case Kind::random:
        // Multiplied before dividing, so the value is the same to the last bit wherever computed.
        return lo + (hi - lo) * static_cast<double>(randomStep(n)) / 1000000.0;
    case Kind::toggle:
        return n % 2 == 0 ? lo : hi;
    }
    return std::nullopt;
}

nlohmann::json Simulation::toJSON() const {
    nlohmann::json json = nlohmann::json::object();
    json["kind"] = std::string(kind.rawValue());
    json["minimum"] = minimum;
    json["maximum"] = maximum;
    json["period"] = period;
    return json;
}

Simulation Simulation::fromJSON(const nlohmann::json& json) {
    const auto& object = JSONFields::requireObject(json, "\"simulation\"");
    const auto raw = JSONFields::requiredString(object, "kind");
    const auto kind = Kind::fromRaw(raw);
    if (!kind) {
        throw DecodingError("unknown value '" + raw + "' for \"kind\"");
    }
    Simulation simulation;
    simulation.kind = *kind;
    simulation.minimum = JSONFields::requiredNumber(object, "minimum");
    simulation.maximum = JSONFields::requiredNumber(object, "maximum");
    simulation.period = JSONFields::requiredNumber(object, "period");
    return simulation;
}

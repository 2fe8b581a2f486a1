#pragma once

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// Lets a datapoint's value change by itself while the server runs.
struct Simulation {
    struct Kind {
        enum Value : std::uint8_t { none, counter, ramp, sine, random, toggle };

        constexpr Kind(Value v)
            : value(v) {}
        constexpr operator Value() const { return value; }

        static std::optional<Kind> fromRaw(std::string_view raw);
        static const std::array<Kind, 6>& allCases();
        std::string_view rawValue() const;

        Value value;
    };

    Kind kind = Kind::none;
    double minimum = 0;
    double maximum = 100;
    double period = 10; // seconds

    // The simulated engineering value `elapsed` seconds after the start; nullopt for none.
    std::optional<double> valueAt(double elapsed) const;

    bool operator==(const Simulation&) const = default;

    nlohmann::json toJSON() const;
    // All four keys required; throws DecodingError.
    static Simulation fromJSON(const nlohmann::json& json);
};

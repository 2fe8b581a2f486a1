#pragma once

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One scheduled fault of a unit: which of its requests it matches, when it fires among those,
// and what it does to the reply. A unit tries its rules in order; the first that matches and
// fires shapes the reply, and with none the unit's own fault settings apply.
struct FaultRule {
    // Which requests the rule looks at. Every bound is inclusive and optional; a request without
    // an address or quantity (diagnostics, identification) matches only a rule that leaves them
    // open.
    struct Match {
        std::vector<std::uint8_t> functions = {}; // empty: every function code
        std::optional<int> addressFrom = {};
        std::optional<int> addressTo = {};
        std::optional<int> quantityFrom = {};
        std::optional<int> quantityTo = {};

        bool operator==(const Match&) const = default;
    };

    // When a matching request fires the rule. Counting kinds count matching requests from 1;
    // time kinds count seconds since the server started.
    struct Schedule {
        struct Kind {
            enum Value : std::uint8_t {
                always,
                everyNth,    // n
                probability, // probability, from the project's seeded generator
                firstN,      // n
                afterN,      // n
                window,      // from ≤ t < to
                periodic,    // on for `on` seconds at the start of every `period`
            };

            constexpr Kind(Value v)
                : value(v) {}
            constexpr operator Value() const { return value; }

            static std::optional<Kind> fromRaw(std::string_view raw);
            static const std::array<Kind, 7>& allCases();
            std::string_view rawValue() const;

            Value value;
        };

        Kind kind = Kind::always;
        int n = 1;
        double probability = 0; // 0–1
        double from = 0;        // seconds
        double to = 0;
        double on = 0;
        double period = 0;

        bool operator==(const Schedule&) const = default;
    };

    // What the rule does to the reply the request would have had (an exception reply included).
    struct Effect {
        struct Kind {
            enum Value : std::uint8_t {
                noResponse,    // dropRequest: neither executed nor answered
                exception,     // code 1–255
                badCRC,        //
                delay,         // ms before the reply
                byteDelay,     // ms between the reply's bytes
                truncate,      // bytes dropped from the end
                wrongUnit,     // unitID in the reply, CRC valid
                wrongFunction, // code in the reply, CRC valid
                fewerValues,   // count values fewer in a read reply
                extraBytes,    // bytes random bytes after the frame
                duplicate,     // the reply twice, t3.5 apart
                staleReply,    // the unit's previous reply instead
                noise,         // bytes random bytes, t3.5, then the reply
                early,         // no wait for t3.5
                corruptData,   // one data bit flipped, CRC recomputed
            };

            constexpr Kind(Value v)
                : value(v) {}
            constexpr operator Value() const { return value; }

            static std::optional<Kind> fromRaw(std::string_view raw);
            static const std::array<Kind, 15>& allCases();
            std::string_view rawValue() const;

            Value value;
        };

        Kind kind = Kind::noResponse;
        int code = 0;
        int ms = 0;
        int bytes = 0;
        int unitID = 0;
        int count = 0;
        bool dropRequest = false;

        bool operator==(const Effect&) const = default;
    };

    // How often the rule matched and fired since the server started (or the rule last changed).
    struct Counts {
        std::uint64_t matched = 0;
        std::uint64_t fired = 0;

        bool operator==(const Counts&) const = default;
    };

    std::string name;
    bool enabled = true;
    Match match;
    Schedule schedule;
    Effect effect;

    // The file's limits, which the editor shares so that whatever it accepts loads again.
    static constexpr int maxByte = 255;
    // Ten minutes: longer than any master waits, short enough that a typo does not hang a run.
    static constexpr int maxMilliseconds = 600000;
    static constexpr int maxCount = std::numeric_limits<int>::max();

    bool operator==(const FaultRule&) const = default;

    // The project file's form. Only the keys the kinds use are written.
    nlohmann::json toJSON() const;
    // Keys a kind does not use may be missing; wrong types or out-of-range values throw
    // DecodingError naming the key.
    static FaultRule fromJSON(const nlohmann::json& json);
};

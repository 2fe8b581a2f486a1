#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// A persisted record that cannot be read; the message names the key and what was wrong.
struct DecodingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Tolerant reading of persisted JSON records: a missing key or null gives nullopt (the caller's
// default); a present key of the wrong type throws DecodingError. Integers accept integral
// floating-point numbers (5.0) but not 5.5, and must fit the range given.
namespace JSONFields {

// Limits for reading JSON text of unknown origin.
struct ParseLimits {
    int maxDepth = 16;                // nested arrays and objects
    std::int64_t maxValues = 1 << 22; // every scalar, array and object counts one
};

// Parses text in time and memory linear in its size: a first pass checks the limits without
// building anything, a second builds the tree. Throws DecodingError for text that is not JSON
// or breaks a limit.
nlohmann::json parseBounded(std::string_view text, ParseLimits limits);

const nlohmann::json& requireObject(const nlohmann::json& value, std::string_view what);

std::optional<std::string> optionalString(const nlohmann::json& object, std::string_view key);
std::optional<bool> optionalBool(const nlohmann::json& object, std::string_view key);
std::optional<double> optionalNumber(const nlohmann::json& object, std::string_view key);
std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, std::string_view key,
                                            std::int64_t minimum, std::int64_t maximum);

// As above, but a missing key or null throws DecodingError too.
std::string requiredString(const nlohmann::json& object, std::string_view key);
double requiredNumber(const nlohmann::json& object, std::string_view key);
std::int64_t requiredInteger(const nlohmann::json& object, std::string_view key,
                             std::int64_t minimum, std::int64_t maximum);

// Enumerations persisted by raw string: E::fromRaw decides; an unknown string throws.
template <class E>
std::optional<E> optionalEnum(const nlohmann::json& object, std::string_view key) {
    auto raw = optionalString(object, key);
    if (!raw) {
        return std::nullopt;
    }
    if (auto e = E::fromRaw(*raw)) {
        return e;
    }
    throw DecodingError("unknown value '" + *raw + "' for \"" + std::string(key) + "\"");
}

} // namespace JSONFields

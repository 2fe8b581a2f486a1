#pragma once

#include "Localization/ControlTexts.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Reading the fields of one control request. A field that is missing or wrong ends the command
// with a RequestError, whose message becomes the reply's "error"; nothing is changed before all
// fields are read.
namespace ControlRequest {

struct RequestError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Keys every request may carry besides its own: the command and an "id" echoed in the reply.
inline void allowOnly(const nlohmann::json& request, std::initializer_list<std::string_view> keys) {
    for (const auto& [key, value] : request.items()) {
        if (key != "command" && key != "id" &&
            std::find(keys.begin(), keys.end(), key) == keys.end()) {
            throw RequestError(L10n::Control::unknownKey(key));
        }
    }
}

inline const nlohmann::json* find(const nlohmann::json& request, std::string_view key) {
    const auto found = request.find(key);
    return found == request.end() || found->is_null() ? nullptr : &*found;
}

inline const nlohmann::json& require(const nlohmann::json& request, std::string_view key) {
    const nlohmann::json* value = find(request, key);
    if (value == nullptr) {
        throw RequestError(L10n::Control::missingKey(key));
    }
    return *value;
}

// A whole number in minimum…maximum; 5.0 counts as 5.
inline std::int64_t integer(const nlohmann::json& value, std::string_view key, std::int64_t minimum,
                            std::int64_t maximum) {
    if (value.is_number_integer() || value.is_number_unsigned()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX) {
            throw RequestError(L10n::Control::invalidKey(key));
        }
        const auto number = value.get<std::int64_t>();
        if (number >= minimum && number <= maximum) {
            return number;
        }
    } else if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::floor(number) == number && number >= static_cast<double>(minimum) &&
            number <= static_cast<double>(maximum)) {
            return static_cast<std::int64_t>(number);
        }
    }
    throw RequestError(L10n::Control::invalidKey(key));
}

inline std::string text(const nlohmann::json& value, std::string_view key) {
    if (!value.is_string()) {
        throw RequestError(L10n::Control::invalidKey(key));
    }
    return value.get<std::string>();
}

} // namespace ControlRequest

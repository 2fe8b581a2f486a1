#include "ModbusCore/JSONFields.h"

#include <cmath>
#include <limits>

namespace JSONFields {

namespace {

std::string quoted(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

// The member's value, or nullptr when the key is missing or null (both mean "use the default").
const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    auto it = object.find(std::string(key));
    if (it == object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

const nlohmann::json& requiredMember(const nlohmann::json& object, std::string_view key) {
    if (auto value = member(object, key)) {
        return *value;
    }
    throw DecodingError("missing " + quoted(key));
}

std::string readString(const nlohmann::json& value, std::string_view key) {
    if (!value.is_string()) {
        throw DecodingError(quoted(key) + " must be a string");
    }
    return value.get<std::string>();
}

bool readBool(const nlohmann::json& value, std::string_view key) {
    if (!value.is_boolean()) {
        throw DecodingError(quoted(key) + " must be true or false");
    }
    return value.get<bool>();
}

double readNumber(const nlohmann::json& value, std::string_view key) {
    // JSON booleans are not numbers here, unlike in some readers.
    if (!value.is_number()) {
        throw DecodingError(quoted(key) + " must be a number");
    }
    double number = value.get<double>();
    // The text form cannot hold infinities or NaN; a value built in memory might.
    if (!std::isfinite(number)) {
        throw DecodingError(quoted(key) + " must be a finite number");
    }
    return number;
}

std::int64_t readInteger(const nlohmann::json& value, std::string_view key, std::int64_t minimum,
                         std::int64_t maximum) {
    auto outOfRange = [&] {
        return DecodingError(quoted(key) + " must be an integer from " + std::to_string(minimum) +
                             " to " + std::to_string(maximum));
    };
    std::int64_t integer = 0;
    if (value.is_number_unsigned()) {
        auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            throw outOfRange();
        }
        integer = static_cast<std::int64_t>(u);
    } else if (value.is_number_integer()) {
        integer = value.get<std::int64_t>();
    } else if (value.is_number_float()) {
        // Other writers may store whole numbers as 5.0; fractions are not integers.
        double number = value.get<double>();
        if (!std::isfinite(number) || std::trunc(number) != number) {
            throw DecodingError(quoted(key) + " must be a whole number");
        }
        // 2^63 is the first double past the int64 range; anything at or beyond cannot be cast.
        constexpr double limit = 9223372036854775808.0;
        if (number < -limit || number >= limit) {
            throw outOfRange();
        }
        integer = static_cast<std::int64_t>(number);
    } else {
        throw DecodingError(quoted(key) + " must be a number");
    }
    if (integer < minimum || integer > maximum) {
        throw outOfRange();
    }
    return integer;
}

} // namespace

const nlohmann::json& requireObject(const nlohmann::json& value, std::string_view what) {
    if (!value.is_object()) {
        throw DecodingError(std::string(what) + " must be a JSON object");
    }
    return value;
}

std::optional<std::string> optionalString(const nlohmann::json& object, std::string_view key) {
    if (auto value = member(object, key)) {
        return readString(*value, key);
    }
    return std::nullopt;
}

std::optional<bool> optionalBool(const nlohmann::json& object, std::string_view key) {
    if (auto value = member(object, key)) {
        return readBool(*value, key);
    }
    return std::nullopt;
}

std::optional<double> optionalNumber(const nlohmann::json& object, std::string_view key) {
    if (auto value = member(object, key)) {
        return readNumber(*value, key);
    }
    return std::nullopt;
}

std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, std::string_view key,
                                            std::int64_t minimum, std::int64_t maximum) {
    if (auto value = member(object, key)) {
        return readInteger(*value, key, minimum, maximum);
    }
    return std::nullopt;
}

std::string requiredString(const nlohmann::json& object, std::string_view key) {
    return readString(requiredMember(object, key), key);
}

double requiredNumber(const nlohmann::json& object, std::string_view key) {
    return readNumber(requiredMember(object, key), key);
}

std::int64_t requiredInteger(const nlohmann::json& object, std::string_view key,
                             std::int64_t minimum, std::int64_t maximum) {
    return readInteger(requiredMember(object, key), key, minimum, maximum);
}

} // namespace JSONFields

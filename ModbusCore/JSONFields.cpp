#include "ModbusCore/JSONFields.h"

#include <cmath>
#include <cstddef>
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

// Counts values and nesting and stops at the first limit broken; builds nothing.
class LimitCheck : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit LimitCheck(ParseLimits limits)
        : limits_(limits) {}

    std::optional<std::string> failure; // set when a limit stopped the pass

    bool null() override { return count(); }
    bool boolean(bool) override { return count(); }
    bool number_integer(number_integer_t) override { return count(); }
    bool number_unsigned(number_unsigned_t) override { return count(); }
    bool number_float(number_float_t, const string_t&) override { return count(); }
    bool string(string_t&) override { return count(); }
    bool binary(binary_t&) override { return count(); }
    bool start_object(std::size_t) override { return open(); }
    bool key(string_t&) override { return true; }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        failure = error.what();
        return false;
    }

private:
    bool count() {
        if (++values_ > limits_.maxValues) {
            failure = "too many values";
            return false;
        }
        return true;
    }
    bool open() {
        if (++depth_ > limits_.maxDepth) {
            failure = "nested too deeply";
            return false;
        }
        return count();
    }
    bool close() {
        --depth_;
        return true;
    }

    ParseLimits limits_;
    std::int64_t values_ = 0;
    int depth_ = 0;
};

} // namespace

nlohmann::json parseBounded(std::string_view text, ParseLimits limits) {
    LimitCheck check(limits);
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &check)) {
        throw DecodingError(check.failure.value_or("not JSON"));
    }
    // The text is known to be JSON within the limits; a plain parse is linear.
    return nlohmann::json::parse(text.begin(), text.end());
}

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

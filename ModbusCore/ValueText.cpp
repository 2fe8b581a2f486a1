#include "ModbusCore/ValueText.h"

#include "ModbusCore/TextForms.h"
#include "ModbusCore/ValueCodec.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace ValueText {

namespace {

// Float32 carries about seven significant decimal digits, so more would only show noise.
constexpr int significantDigitsShown = 7;
// Outside 1e-6 ≤ |v| < 1e15 the plain notation would be mostly zeros: use "1.5e20", "2.5e-7".
constexpr int smallestPlainExponent = -6;
constexpr int largestPlainExponent = 14;

using Text::trimmed;
using TextForms::isOneOf;
using TextForms::lowercased;

std::string replacingAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    std::size_t start = 0;
    for (auto found = text.find(from); found != std::string_view::npos;
         found = text.find(from, start)) {
        result.append(text.substr(start, found - start)).append(to);
        start = found + from.size();
    }
    return result.append(text.substr(start));
}

std::string paddedDigits(std::uint64_t raw, int base, int width) {
    std::array<char, 64> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), raw, base).ptr;
    std::string digits(buffer.data(), end);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    }
    return digits;
}

std::string hexText(std::uint64_t raw, int width) {
    std::string digits = paddedDigits(raw, 16, width);
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
    return "0x" + digits;
}

std::string binaryText(std::uint64_t raw, int width) {
    const std::string digits = paddedDigits(raw, 2, width);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); i += 4) {
        if (i > 0) {
            grouped.push_back(' ');
        }
        grouped.append(digits, i, 4);
    }
    return grouped;
}

bool isZeroText(std::string_view digits) {
    return digits.find_first_not_of("0.") == std::string_view::npos;
}

// A finite value with at most seven significant digits, trailing zeros dropped, "." as point.
std::string significantText(double value) {
    std::array<char, 32> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                   std::chars_format::scientific, significantDigitsShown - 1)
                         .ptr;
    // "-d.dddddde+XX": rounding to seven digits may carry into the exponent, so read it back.
    std::string_view text(buffer.data(), end);
    const bool negative = text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    const auto e = text.find('e');
    std::string digits(1, text.front());
    digits.append(text.substr(2, e - 2));
    digits.erase(std::max<std::size_t>(digits.find_last_not_of('0') + 1, 1));
    std::string_view exponentText = text.substr(e + 1);
    if (exponentText.front() == '+') {
        exponentText.remove_prefix(1);
    }
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);

    std::string result;
    if (exponent < smallestPlainExponent || exponent > largestPlainExponent) {
        result = digits.substr(0, 1);
        if (digits.size() > 1) {
            result.append(".").append(digits, 1);
        }
        result.append("e").append(std::to_string(exponent));
    } else if (exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        result = digits.substr(0, integerDigits);
        result.append(integerDigits - result.size(), '0');
        if (digits.size() > integerDigits) {
            result.append(".").append(digits, integerDigits);
        }
    } else {
        result = "0.";
        result.append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    }
    return negative && digits != "0" ? "-" + result : result;
}

std::string fixedText(double value, int decimals) {
    if (decimals == 0) {
        value = std::round(value); // halves away from zero, as the codec stores them
    }
    // Room for the 309 integer digits of the largest double, sign, point and decimals.
    std::array<char, 330> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                   std::chars_format::fixed, decimals)
                         .ptr;
    std::string_view text(buffer.data(), end);
    if (text.front() == '-' && isZeroText(text.substr(1))) {
        text.remove_prefix(1); // no "-0.0"
    }
    return std::string(text);
}

std::optional<double> parseBool(std::string_view word) {
    if (isOneOf(word, {"1", "on", "true", "aan", "ein", "oui", "si", "sí", "yes", "ja"})) {
        return 1.0;
    }
    if (isOneOf(word, {"0", "off", "false", "uit", "aus", "non", "no", "nee", "nein"})) {
        return 0.0;
    }
    return std::nullopt;
}

// digits is the text after "0x" or "0b"; the number is the type's raw bit pattern.
std::optional<double> parseBitPattern(const ValueShape& shape, std::string_view digits, int base) {
    const DataType type = shape.dataType;
    if (base == 2 && type.isFloat()) {
        return std::nullopt;
    }
    std::uint64_t raw = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, raw, base);
    if (digits.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    const int width = type.registerCount() * 16;
    if (width < 64 && (raw >> width) != 0) {
        return std::nullopt;
    }
    return ValueCodec::scaled(ValueCodec::decodeRaw(raw, type), shape.scale);
}

std::optional<double> parseDecimal(const ValueShape& shape, std::string_view input) {
    std::string number(trimmed(input));
    if (number.find(',') != std::string::npos && number.find('.') == std::string::npos) {
        std::replace(number.begin(), number.end(), ',', '.');
    }
    std::string_view text = number;
    // from_chars takes no leading plus; strtod in the C locale does.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('+') || text.starts_with('-')) {
            return std::nullopt;
        }
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }

    const DataType type = shape.dataType;
    const auto [low, high] = type.valueRange();
    const double raw = ValueCodec::unscaled(value, shape.scale);
    const double rounded = std::round(raw);
    if ((rounded >= low && rounded <= high) || (type.isFloat() && raw >= low && raw <= high)) {
        return value;
    }
    return std::nullopt;
}

} // namespace

int fractionDigits(double scale) {
    const double magnitude = std::fabs(scale);
    if (std::isnan(scale) || magnitude == 0.0 || magnitude >= 1.0) {
        return 0;
    }
    // The allowance keeps a scale computed a hair below 0.001 at three digits, not four.
    const double digits = std::ceil(-std::log10(magnitude) - 1e-9);
    return static_cast<int>(std::min(digits, 6.0));
}

std::string displayText(const ValueShape& shape, double value, std::string_view decimalSeparator) {
    const DataType type = shape.dataType;
    if (shape.table.isBit() || type == DataType::bool_) {
        return value == 0.0 ? "0" : "1";
    }
    if (!type.isFloat() && shape.format != DisplayFormat::decimal) {
        const std::uint64_t raw =
            ValueCodec::encodeRaw(ValueCodec::unscaled(value, shape.scale), type);
        return shape.format == DisplayFormat::hex ? hexText(raw, type.hexDigits())
                                                  : binaryText(raw, type.binaryDigits());
    }
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0.0 ? "-∞" : "∞";
    }
    const std::string text =
        type.isFloat() ? significantText(value) : fixedText(value, fractionDigits(shape.scale));
    return replacingAll(text, ".", decimalSeparator);
}

std::optional<double> parseInput(const ValueShape& shape, std::string_view text,
                                 std::string_view decimalSeparator) {
    std::string input(trimmed(text));
    // Any other locale separator is read as a point.
    if (!decimalSeparator.empty() && decimalSeparator != "." && decimalSeparator != ",") {
        input = replacingAll(input, decimalSeparator, ".");
    }
    input = lowercased(input);
    std::erase(input, ' ');

    if (shape.table.isBit() || shape.dataType == DataType::bool_) {
        return parseBool(input);
    }
    const std::string_view view = input;
    if (view.starts_with("0x")) {
        return parseBitPattern(shape, view.substr(2), 16);
    }
    if (view.starts_with("0b")) {
        return parseBitPattern(shape, view.substr(2), 2);
    }
    return parseDecimal(shape, view);
}

} // namespace ValueText

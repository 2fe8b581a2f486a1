#include "ModbusCore/ValueCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace ValueCodec {

namespace {

constexpr double twoTo63 = 0x1p63;
constexpr double twoTo64 = 0x1p64;
// Halfway between the largest float and 2^128: from here on single precision rounds to infinity.
constexpr double float32Overflow = 0x1.ffffffp127;

std::uint64_t float32Bits(double value) {
    float single = 0.0f;
    if (std::isnan(value)) {
        single = std::numeric_limits<float>::quiet_NaN();
    } else if (std::fabs(value) >= float32Overflow) {
        // Checked here because converting an out-of-range double to float is undefined in C++.
        const float infinity = std::numeric_limits<float>::infinity();
        single = value < 0.0 ? -infinity : infinity;
    } else {
        single = static_cast<float>(value);
    }
    return std::bit_cast<std::uint32_t>(single);
}

// Clamped into [low, high] and rounded with halves away from zero; NaN gives 0.
double clampedInteger(double value, DataType type) {
    if (std::isnan(value)) {
        return 0.0;
    }
    const auto [low, high] = type.valueRange();
    return std::round(std::clamp(value, low, high));
}

std::uint16_t swappedBytes(std::uint16_t word) {
    return static_cast<std::uint16_t>((word << 8) | (word >> 8));
}

} // namespace

std::uint64_t encodeRaw(double value, DataType type) {
    switch (type) {
    case DataType::bool_:
        return value > 0.0 ? 1 : 0;
    case DataType::uint16:
    case DataType::uint32:
        return static_cast<std::uint64_t>(clampedInteger(value, type));
    case DataType::int16:
        return static_cast<std::uint16_t>(static_cast<std::int16_t>(clampedInteger(value, type)));
    case DataType::int32:
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(clampedInteger(value, type)));
    case DataType::uint64: {
        const double integer = clampedInteger(value, type);
        return integer >= twoTo64 ? std::numeric_limits<std::uint64_t>::max()
                                  : static_cast<std::uint64_t>(integer);
    }
    case DataType::int64: {
        if (std::isnan(value)) {
            return 0;
        }
        const double integer = std::round(value);
        if (integer <= -twoTo63) {
            return std::bit_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::min());
        }
        if (integer >= twoTo63) {
            return std::bit_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        }
        return std::bit_cast<std::uint64_t>(static_cast<std::int64_t>(integer));
    }
    case DataType::float32:
        return float32Bits(value);
    case DataType::float64:
        return std::bit_cast<std::uint64_t>(value);
    }
    return 0;
}

double decodeRaw(std::uint64_t raw, DataType type) {
    switch (type) {
    case DataType::bool_:
        return static_cast<double>(raw & 1);
    case DataType::uint16:
        return static_cast<std::uint16_t>(raw);
    case DataType::int16:
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw));
    case DataType::uint32:
        return static_cast<std::uint32_t>(raw);
    case DataType::int32:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
    case DataType::uint64:
        return static_cast<double>(raw);
    case DataType::int64:
        return static_cast<double>(std::bit_cast<std::int64_t>(raw));
    case DataType::float32:
        return std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    case DataType::float64:
        return std::bit_cast<double>(raw);
    }
    return 0.0;
}

Registers registersFromRaw(std::uint64_t raw, DataType type, WordOrder order) {
    const int count = type.registerCount();
    Registers words(static_cast<std::size_t>(count));
    // Big-endian layout first: word 0 holds the most significant 16 bits (byte order ABCD).
    for (int i = 0; i < count; ++i) {
        words[static_cast<std::size_t>(i)] =
            static_cast<std::uint16_t>(raw >> (16 * (count - 1 - i)));
    }
    if (count < 2) {
        return words;
    }
    if (order.swapsWords()) {
        std::reverse(words.begin(), words.end());
    }
    if (order.swapsBytes()) {
        std::transform(words.begin(), words.end(), words.begin(), swappedBytes);
    }
    return words;
}

std::uint64_t rawFromRegisters(std::span<const std::uint16_t> registers, DataType type,
                               WordOrder order) {
    const auto count = std::min(registers.size(), static_cast<std::size_t>(type.registerCount()));
    Registers words(registers.begin(), registers.begin() + static_cast<std::ptrdiff_t>(count));
    if (words.size() >= 2) {
        if (order.swapsBytes()) {
            std::transform(words.begin(), words.end(), words.begin(), swappedBytes);
        }
        if (order.swapsWords()) {
            std::reverse(words.begin(), words.end());
        }
    }
    std::uint64_t raw = 0;
    for (std::uint16_t word : words) {
        raw = (raw << 16) | word;
    }
    return raw;
}

Registers encode(double value, DataType type, WordOrder order, double scale) {
    return registersFromRaw(encodeRaw(unscaled(value, scale), type), type, order);
}

double decode(std::span<const std::uint16_t> registers, DataType type, WordOrder order,
              double scale) {
    return scaled(decodeRaw(rawFromRegisters(registers, type, order), type), scale);
}

double unscaled(double value, double scale) {
    return scale == 0.0 || scale == 1.0 ? value : value / scale;
}

double scaled(double raw, double scale) {
    return scale == 0.0 || scale == 1.0 ? raw : raw * scale;
}

} // namespace ValueCodec

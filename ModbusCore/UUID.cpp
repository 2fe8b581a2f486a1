#include "ModbusCore/UUID.h"

#include <random>

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

// Byte boundaries after which the text form has a hyphen: 8-4-4-4-12 hex digits.
constexpr bool hyphenAfter(std::size_t byteIndex) {
    return byteIndex == 3 || byteIndex == 5 || byteIndex == 7 || byteIndex == 9;
}

std::optional<std::uint8_t> hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

std::mt19937_64& generator() {
    // Seeded once per thread from the system's entropy source, so ids from two runs or two
    // threads never repeat a sequence.
    thread_local std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(),
                           device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    return engine;
}

} // namespace

UUID UUID::random() {
    UUID id;
    auto& engine = generator();
    for (std::size_t i = 0; i < id.bytes.size(); i += 8) {
        std::uint64_t word = engine();
        for (std::size_t j = 0; j < 8; ++j) {
            id.bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
        }
    }
    // RFC 4122 section 4.4: version 4 in the high nibble of byte 6, variant 10xx in byte 8.
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0F) | 0x40);
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3F) | 0x80);
    return id;
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    constexpr std::size_t textLength = 36;
    if (text.size() != textLength) {
        return std::nullopt;
    }
    UUID id;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < id.bytes.size(); ++i) {
        auto high = hexValue(text[pos]);
        auto low = hexValue(text[pos + 1]);
        if (!high || !low) {
            return std::nullopt;
        }
        id.bytes[i] = static_cast<std::uint8_t>(*high << 4 | *low);
        pos += 2;
        if (hyphenAfter(i)) {
            if (text[pos] != '-') {
                return std::nullopt;
            }
            ++pos;
        }
    }
    return id;
}

std::string UUID::toString() const {
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += hexDigits[bytes[i] >> 4];
        text += hexDigits[bytes[i] & 0x0F];
        if (hyphenAfter(i)) {
            text += '-';
        }
    }
    return text;
}

std::size_t std::hash<UUID>::operator()(const UUID& id) const noexcept {
    // FNV-1a over the 16 bytes.
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (auto byte : id.bytes) {
        h = (h ^ byte) * 0x100000001B3ULL;
    }
    return static_cast<std::size_t>(h);
}

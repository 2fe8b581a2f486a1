#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// A random (version 4) UUID, written upper-case and hyphenated.
struct UUID {
    std::array<std::uint8_t, 16> bytes{};

    // From a std::random_device-seeded generator, never a fixed seed.
    static UUID random();
    // Accepts the hyphenated 8-4-4-4-12 form in either case; nullopt otherwise.
    static std::optional<UUID> fromString(std::string_view text);
    std::string toString() const;

    auto operator<=>(const UUID&) const = default;
};

template <>
struct std::hash<UUID> {
    std::size_t operator()(const UUID& id) const noexcept;
};

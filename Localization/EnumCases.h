#pragma once

#include <array>
#include <cstddef>
#include <optional>

// The case whose rawValue equals raw: the lookup behind every fromRaw of the enumerations.
template <class Enum, std::size_t N, class Raw>
std::optional<Enum> caseWithRaw(const std::array<Enum, N>& cases, const Raw& raw) {
    for (Enum candidate : cases) {
        if (candidate.rawValue() == raw) {
            return candidate;
        }
    }
    return std::nullopt;
}

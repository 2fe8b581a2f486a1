#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The five interface languages. Decided once per process from the user's preferred languages.
struct Language {
    enum Value : std::uint8_t { en, nl, de, fr, es };

    constexpr Language(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<Language> fromRaw(std::string_view raw);
    static const std::array<Language, 5>& allCases();
    std::string_view rawValue() const;

    // The first preferred tag whose language code (the part before '_', '.', '@' or '-') is one
    // of ours; "C" and "POSIX" name no language; en when none matches.
    static Language choose(const std::vector<std::string>& preferredTags);

    // LANGUAGE (colon-separated), then LC_ALL, LC_MESSAGES and LANG, read as text.
    static std::vector<std::string> preferredTagsFromEnvironment();

    // Computed on first use and kept for the life of the process.
    static Language current();

    Value value;
};

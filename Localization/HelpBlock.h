#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One line of a help table: a key (a button, a column, a mark) and what it means.
struct HelpRow {
    std::string key;
    std::string value;

    bool operator==(const HelpRow&) const = default;
};

// One typed piece of a help topic. Only the fields of its kind are used: `text` for paragraph,
// heading and tip, `items` for bullets, `rows` for table, `name` (the image resource) and `text`
// (the caption) for screenshot. Texts may hold **bold** and `code` markup.
struct HelpBlock {
    struct Kind {
        enum Value : std::uint8_t { paragraph, heading, bullets, table, tip, screenshot };

        constexpr Kind(Value v)
            : value(v) {}
        constexpr operator Value() const { return value; }

        static std::optional<Kind> fromRaw(std::string_view raw);
        static const std::array<Kind, 6>& allCases();
        std::string_view rawValue() const;

        Value value;
    };

    Kind kind = Kind::paragraph;
    std::string text;
    std::vector<std::string> items;
    std::vector<HelpRow> rows;
    std::string name;

    static HelpBlock paragraph(std::string text);
    static HelpBlock heading(std::string text);
    static HelpBlock bullets(std::vector<std::string> items);
    static HelpBlock table(std::vector<HelpRow> rows);
    static HelpBlock tip(std::string text);
    static HelpBlock screenshot(std::string name, std::string caption);

    // Every text the reader sees in this block, in reading order (a screenshot gives its caption).
    std::vector<std::string_view> texts() const;

    bool operator==(const HelpBlock&) const = default;
};

template <>
struct std::hash<HelpRow> {
    std::size_t operator()(const HelpRow& row) const noexcept;
};

template <>
struct std::hash<HelpBlock> {
    std::size_t operator()(const HelpBlock& block) const noexcept;
};

namespace HelpHash {
// Mixes `hash` into `seed` (the boost recipe), for the hashes of help values.
inline void combine(std::size_t& seed, std::size_t hash) {
    seed ^= hash + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}
} // namespace HelpHash

#pragma once

#include "Localization/Language.h"

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

struct HelpTopic {
    std::string id; // stable, not translated
    std::string title;
    std::string symbol; // name of the symbol image shown beside the title
    std::vector<HelpBlock> blocks;

    // The eight topics in reading order, in the language of this run.
    static std::vector<HelpTopic> all();
    static std::vector<HelpTopic> all(Language language);

    // Trimmed of spaces and tabs, an empty search lists every topic; otherwise the topics whose
    // searchable text contains the search text, compared without regard to case.
    static std::vector<HelpTopic> filter(const std::vector<HelpTopic>& topics,
                                         std::string_view searchText);

    // The title and every block text, joined with single spaces.
    std::string searchableText() const;
    bool matches(std::string_view searchText) const;

    bool operator==(const HelpTopic&) const = default;
};

// The help window's own texts, shipped with the topics of each language.
struct HelpTexts {
    std::string windowTitle;   // "Corvana Help"
    std::string searchPrompt;  // "Search help"
    std::string noTopicsFound; // "No topics found"
    std::string tipLabel;      // "Tip"

    static const HelpTexts& current();
    static const HelpTexts& forLanguage(Language language);

    bool operator==(const HelpTexts&) const = default;
};

// The complete help of one language, as read from its JSON resource.
struct HelpContent {
    HelpTexts texts;
    std::vector<HelpTopic> topics;

    // Never throws: malformed JSON gives empty content, a malformed topic or block is skipped and
    // missing texts stay empty.
    static HelpContent parse(std::string_view json);
    static const HelpContent& forLanguage(Language language);
};

// What the help window shows: the chosen topic and the search field.
struct HelpViewState {
    std::string selection; // id of the chosen topic
    std::string searchText;

    // Opens on the first topic.
    HelpViewState();
    explicit HelpViewState(const std::vector<HelpTopic>& topics);

    std::vector<HelpTopic> visibleTopics(const std::vector<HelpTopic>& topics) const;
};

template <>
struct std::hash<HelpRow> {
    std::size_t operator()(const HelpRow& row) const noexcept;
};

template <>
struct std::hash<HelpBlock> {
    std::size_t operator()(const HelpBlock& block) const noexcept;
};

template <>
struct std::hash<HelpTopic> {
    std::size_t operator()(const HelpTopic& topic) const noexcept;
};

#pragma once

#include "Localization/HelpBlock.h"
#include "Localization/Language.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

template <>
struct std::hash<HelpTopic> {
    std::size_t operator()(const HelpTopic& topic) const noexcept;
};

#pragma once

#include "Localization/HelpTopic.h"
#include "Localization/Language.h"

#include <string>
#include <string_view>
#include <vector>

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

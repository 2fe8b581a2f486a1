#include "Localization/HelpTopic.h"

#include "Localization/HelpContent.h"
#include "Localization/HelpSearch.h"
#include "Localization/L10n.h"
#include "Localization/TextTrim.h"

std::vector<HelpTopic> HelpTopic::all() {
    // The same language as the catalogue's texts on this thread.
    return all(L10n::language());
}

std::vector<HelpTopic> HelpTopic::all(Language language) {
    return HelpContent::forLanguage(language).topics;
}

std::string HelpTopic::searchableText() const {
    std::string text = title;
    for (const auto& block : blocks) {
        for (auto piece : block.texts()) {
            text += ' ';
            text += piece;
        }
    }
    return text;
}

bool HelpTopic::matches(std::string_view searchText) const {
    return HelpSearch::contains(searchableText(), Text::trimmed(searchText));
}

std::vector<HelpTopic> HelpTopic::filter(const std::vector<HelpTopic>& topics,
                                         std::string_view searchText) {
    std::vector<HelpTopic> found;
    for (const auto& topic : topics) {
        if (topic.matches(searchText)) {
            found.push_back(topic);
        }
    }
    return found;
}

std::size_t std::hash<HelpTopic>::operator()(const HelpTopic& topic) const noexcept {
    std::size_t seed = std::hash<std::string>{}(topic.id);
    HelpHash::combine(seed, std::hash<std::string>{}(topic.title));
    HelpHash::combine(seed, std::hash<std::string>{}(topic.symbol));
    for (const auto& block : topic.blocks) {
        HelpHash::combine(seed, std::hash<HelpBlock>{}(block));
    }
    return seed;
}

#include "Localization/TextLookup.h"

#include "Localization/L10n.h"

#include <vector>

namespace L10n::Catalogue {

// The key itself when even English lacks it, so a mistake shows instead of crashing.
std::string_view lookup(std::string_view key) {
    const auto& current = texts(language());
    if (auto found = current.find(key); found != current.end()) {
        return found->second;
    }
    const auto& english = texts(Language::en);
    if (auto found = english.find(key); found != english.end()) {
        return found->second;
    }
    return key;
}

std::string text(std::string_view key) {
    return std::string(lookup(key));
}

namespace {

template <class Range>
std::string fillPattern(std::string_view pattern, const Range& values) {
    std::string result;
    result.reserve(pattern.size() + 16);
    std::size_t position = 0;
    while (position < pattern.size()) {
        const auto open = pattern.find('{', position);
        const auto close = open == std::string_view::npos ? open : pattern.find('}', open);
        if (close == std::string_view::npos) {
            result.append(pattern.substr(position));
            break;
        }
        result.append(pattern.substr(position, open - position));
        const std::string_view name = pattern.substr(open + 1, close - open - 1);
        const std::pair<std::string_view, std::string_view>* match = nullptr;
        for (const auto& value : values) {
            if (value.first == name) {
                match = &value;
            }
        }
        if (match != nullptr) {
            result.append(match->second);
        } else {
            result.append(pattern.substr(open, close - open + 1));
        }
        position = close + 1;
    }
    return result;
}

} // namespace

// Replaces each "{name}" of the text by its value in one pass, so inserted values are never
// scanned for placeholders themselves.
std::string fill(std::string_view key, Values values) {
    return fillPattern(lookup(key), values);
}

std::string countText(std::string_view key, int count, Values values) {
    const std::string number = std::to_string(count);
    const std::string fullKey = std::string(key) + (count == 1 ? ".one" : ".other");
    std::vector<std::pair<std::string_view, std::string_view>> all(values);
    all.emplace_back("count", number);
    return fillPattern(lookup(fullKey), all);
}

} // namespace L10n::Catalogue

#include "Localization/Language.h"

#include "Localization/EnumCases.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::array<std::string_view, 5> rawValues = {"en", "nl", "de", "fr", "es"};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// "de_CH.UTF-8", "de-CH", "de@euro" and "de" all name German.
std::string_view languageCode(std::string_view tag) {
    return tag.substr(0, tag.find_first_of("_.@-"));
}

void appendIfSet(std::vector<std::string>& tags, const char* name) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
        tags.emplace_back(value);
    }
}

} // namespace

std::optional<Language> Language::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<Language, 5>& Language::allCases() {
    static const std::array<Language, 5> cases = {en, nl, de, fr, es};
    return cases;
}

std::string_view Language::rawValue() const {
    return rawValues.at(value);
}

Language Language::choose(const std::vector<std::string>& preferredTags) {
    for (const auto& tag : preferredTags) {
        const std::string_view code = languageCode(tag);
        // "C" and "POSIX" fall through here too: neither equals one of our codes.
        for (Language language : allCases()) {
            if (equalsIgnoringCase(code, language.rawValue())) {
                return language;
            }
        }
    }
    return en;
}

std::vector<std::string> Language::preferredTagsFromEnvironment() {
    std::vector<std::string> tags;
    // LANGUAGE is gettext's ordered list of fallbacks, e.g. "de_CH:de:en".
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            if (!entry.empty()) {
                tags.emplace_back(entry);
            }
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
    }
    appendIfSet(tags, "LC_ALL");
    appendIfSet(tags, "LC_MESSAGES");
    appendIfSet(tags, "LANG");
    return tags;
}

Language Language::current() {
    static const Language language = choose(preferredTagsFromEnvironment());
    return language;
}

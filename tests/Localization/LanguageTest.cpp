#include "Localization/Language.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using Tags = std::vector<std::string>;

TEST(Language, ChoosesTheFirstPreferredLanguageWeHave) {
    const struct {
        Tags tags;
        Language expected;
    } cases[] = {
        {{"de_CH", "en_US"}, Language::de},
        {{"ja_JP", "fr_FR"}, Language::fr},
        {{"ja"}, Language::en},
        {{"DE-at"}, Language::de},
        {{"fr@euro"}, Language::fr},
        {{"es.ISO-8859-1"}, Language::es},
        {{"", "C", "POSIX", "C.UTF-8", "nl_NL.UTF-8"}, Language::nl},
        {{"english", "e", "nld"}, Language::en}, // a prefix or longer code is no match
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Language::choose(c.tags), c.expected) << c.tags.front();
    }
}

TEST(Language, ReadsTheVariablesInOrderSkippingEmptyEntries) {
    constexpr std::array<const char*, 4> names = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::array<std::optional<std::string>, 4> saved;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const char* value = std::getenv(names[i]);
        saved[i] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    const struct {
        std::array<const char*, 4> values; // nullptr: unset
        Tags tags;
        Language expected;
    } cases[] = {
        {{}, {}, Language::en},
        {{"de_CH:en", nullptr, nullptr, "fr_FR.UTF-8"},
         {"de_CH", "en", "fr_FR.UTF-8"},
         Language::de},
        {{"ja::fr:", "", "nl_NL", "de_DE.UTF-8"},
         {"ja", "fr", "nl_NL", "de_DE.UTF-8"},
         Language::fr},
        {{nullptr, nullptr, nullptr, "C"}, {"C"}, Language::en},
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            c.values[i] ? setenv(names[i], c.values[i], 1) : unsetenv(names[i]);
        }
        EXPECT_EQ(Language::preferredTagsFromEnvironment(), c.tags) << &c - cases;
        EXPECT_EQ(Language::choose(Language::preferredTagsFromEnvironment()), c.expected);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
    }
}

} // namespace

#include "Localization/Language.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(Language, ChoosesTheFirstPreferredLanguageWeHave) {
    const struct {
        std::vector<std::string> tags;
        Language expected;
    } cases[] = {
        {{"de_CH", "en_US"}, Language::de},
        {{"ja_JP", "fr_FR"}, Language::fr},
        {{"ja"}, Language::en},
        {{}, Language::en},
        {{"C", "nl_NL.UTF-8"}, Language::nl},
        {{"POSIX"}, Language::en},
        {{"C.UTF-8", "es"}, Language::es},
        {{"DE-at"}, Language::de},
        {{"fr@euro"}, Language::fr},
        {{"es.ISO-8859-1"}, Language::es},
        {{"", "nl"}, Language::nl},
        {{"english", "e", "nld"}, Language::en}, // a prefix or longer code is no match
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Language::choose(c.tags), c.expected)
            << (c.tags.empty() ? std::string("(none)") : c.tags.front());
    }
}

TEST(Language, RawValuesRoundTrip) {
    for (Language language : Language::allCases()) {
        EXPECT_EQ(Language::fromRaw(language.rawValue()), language);
    }
    EXPECT_EQ(Language::fromRaw("EN"), std::nullopt);
    EXPECT_EQ(Language::fromRaw(""), std::nullopt);
}

// Sets the four variables for one test and puts the old values back afterwards.
class LanguageEnvironment : public ::testing::Test {
protected:
    static constexpr std::array<const char*, 4> names = {"LANGUAGE", "LC_ALL", "LC_MESSAGES",
                                                         "LANG"};

    void SetUp() override {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (const char* value = std::getenv(names[i])) {
                saved_[i] = value;
            }
            unsetenv(names[i]);
        }
    }

    void TearDown() override {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (saved_[i]) {
                setenv(names[i], saved_[i]->c_str(), 1);
            } else {
                unsetenv(names[i]);
            }
        }
    }

    std::array<std::optional<std::string>, 4> saved_;
};

TEST_F(LanguageEnvironment, NothingSetMeansEnglish) {
    EXPECT_TRUE(Language::preferredTagsFromEnvironment().empty());
    EXPECT_EQ(Language::choose(Language::preferredTagsFromEnvironment()), Language::en);
}

TEST_F(LanguageEnvironment, LanguageListComesFirst) {
    setenv("LANGUAGE", "de_CH:en", 1);
    setenv("LANG", "fr_FR.UTF-8", 1);
    const std::vector<std::string> expected = {"de_CH", "en", "fr_FR.UTF-8"};
    EXPECT_EQ(Language::preferredTagsFromEnvironment(), expected);
    EXPECT_EQ(Language::choose(Language::preferredTagsFromEnvironment()), Language::de);
}

TEST_F(LanguageEnvironment, VariablesAreReadInOrderSkippingEmptyOnes) {
    setenv("LANGUAGE", "ja::fr:", 1);
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "nl_NL", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    const std::vector<std::string> expected = {"ja", "fr", "nl_NL", "de_DE.UTF-8"};
    EXPECT_EQ(Language::preferredTagsFromEnvironment(), expected);
}

TEST_F(LanguageEnvironment, EmptyLanguageFallsBackToLocale) {
    setenv("LANGUAGE", "", 1);
    setenv("LC_ALL", "es_ES.UTF-8", 1);
    EXPECT_EQ(Language::choose(Language::preferredTagsFromEnvironment()), Language::es);
}

TEST_F(LanguageEnvironment, CLocaleIsEnglish) {
    setenv("LANG", "C", 1);
    EXPECT_EQ(Language::choose(Language::preferredTagsFromEnvironment()), Language::en);
}

} // namespace

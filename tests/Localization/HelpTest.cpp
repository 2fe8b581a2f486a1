#include "Localization/HelpContent.h"
#include "Localization/HelpSearch.h"
#include "Localization/HelpTopic.h"
#include "Localization/HelpViewState.h"
#include "Localization/L10n.h"
#include "Localization/TextTrim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

std::vector<std::string> idsOf(const std::vector<HelpTopic>& topics) {
    std::vector<std::string> ids;
    for (const auto& topic : topics) {
        ids.push_back(topic.id);
    }
    return ids;
}

// Every text a reader of the topic sees, with the title first.
std::vector<std::string> textsOf(const HelpTopic& topic) {
    std::vector<std::string> texts{topic.title};
    for (const auto& block : topic.blocks) {
        for (auto text : block.texts()) {
            texts.emplace_back(text);
        }
    }
    return texts;
}

std::string withoutCode(const std::string& text) {
    std::string prose;
    bool inCode = false;
    for (char c : text) {
        if (c == '`') {
            inCode = !inCode;
        } else if (!inCode) {
            prose += c;
        }
    }
    return prose;
}

std::size_t count(std::string_view text, std::string_view piece) {
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string_view::npos;
         at = text.find(piece, at + piece.size())) {
        ++n;
    }
    return n;
}

} // namespace

// MARK: - Content

TEST(HelpContent, EnglishHasItsTopicsWithTheirSymbols) {
    const auto topics = HelpTopic::all(Language::en);
    EXPECT_THAT(idsOf(topics),
                ElementsAre("start", "units", "faults", "datapoints", "simulation", "csv", "log",
                            "master", "network", "troubleshooting", "scripts", "shortcuts"));
    std::vector<std::string> symbols;
    for (const auto& topic : topics) {
        symbols.push_back(topic.symbol);
    }
    EXPECT_THAT(symbols, ElementsAre("play.circle", "cpu", "exclamationmark.triangle", "tablecells",
                                     "waveform.path", "doc.text", "text.alignleft",
                                     "chart.line.uptrend.xyaxis", "network",
                                     "wrench.and.screwdriver", "terminal", "keyboard"));
    ASSERT_FALSE(topics.empty());
    EXPECT_EQ(topics[0].title, "Getting started");
    EXPECT_EQ(topics[2].title, "Fault rules");
    EXPECT_EQ(topics[5].title, "Spreadsheets and CSV");

    const auto& texts = HelpTexts::forLanguage(Language::en);
    EXPECT_EQ(texts.windowTitle, "Corvana Help");
    EXPECT_EQ(texts.searchPrompt, "Search help");
    EXPECT_EQ(texts.noTopicsFound, "No topics found");
    EXPECT_EQ(texts.tipLabel, "Tip");
}

TEST(HelpContent, TheStartTopicShowsTheMainWindow) {
    for (Language language : Language::allCases()) {
        const auto topics = HelpTopic::all(language);
        ASSERT_FALSE(topics.empty()) << language.rawValue();
        int screenshots = 0;
        for (const auto& block : topics.front().blocks) {
            if (block.kind == HelpBlock::Kind::screenshot) {
                ++screenshots;
                EXPECT_EQ(block.name, "main-window") << language.rawValue();
            }
        }
        EXPECT_EQ(screenshots, 1) << language.rawValue();
    }
}

// Every language tells the same story: same topics, same blocks, same table and list lengths.
TEST(HelpContent, EveryLanguageHasTheStructureOfEnglish) {
    const auto english = HelpTopic::all(Language::en);
    for (Language language : Language::allCases()) {
        SCOPED_TRACE(std::string(language.rawValue()));
        const auto topics = HelpTopic::all(language);
        ASSERT_EQ(topics.size(), english.size());
        for (std::size_t t = 0; t < topics.size(); ++t) {
            const auto& topic = topics[t];
            const auto& reference = english[t];
            SCOPED_TRACE(reference.id);
            EXPECT_EQ(topic.id, reference.id);
            EXPECT_EQ(topic.symbol, reference.symbol);
            ASSERT_EQ(topic.blocks.size(), reference.blocks.size());
            for (std::size_t b = 0; b < topic.blocks.size(); ++b) {
                const auto& block = topic.blocks[b];
                const auto& expected = reference.blocks[b];
                EXPECT_EQ(block.kind, expected.kind) << "block " << b;
                EXPECT_EQ(block.items.size(), expected.items.size()) << "block " << b;
                EXPECT_EQ(block.rows.size(), expected.rows.size()) << "block " << b;
                EXPECT_EQ(block.name, expected.name) << "block " << b;
            }
        }
    }
}

TEST(HelpContent, NoTextIsEmptyAndMarkupIsClosed) {
    for (Language language : Language::allCases()) {
        SCOPED_TRACE(std::string(language.rawValue()));
        const auto& help = HelpTexts::forLanguage(language);
        for (const auto* text :
             {&help.windowTitle, &help.searchPrompt, &help.noTopicsFound, &help.tipLabel}) {
            EXPECT_FALSE(text->empty());
        }
        for (const auto& topic : HelpTopic::all(language)) {
            for (const auto& block : topic.blocks) {
                EXPECT_FALSE(block.texts().empty()) << topic.id;
            }
            for (const auto& text : textsOf(topic)) {
                EXPECT_FALSE(text.empty()) << topic.id;
                EXPECT_EQ(count(text, "`") % 2, 0u) << text;
                EXPECT_EQ(count(withoutCode(text), "**") % 2, 0u) << text;
                // Shortcuts are written for a PC keyboard.
                EXPECT_EQ(text.find("⌘"), std::string::npos) << text;
                EXPECT_EQ(text.find("⇧"), std::string::npos) << text;
            }
        }
    }
}

TEST(HelpContent, FrenchPutsASpaceBeforeColonAndQuestionMark) {
    for (const auto& topic : HelpTopic::all(Language::fr)) {
        for (const auto& text : textsOf(topic)) {
            const auto prose = withoutCode(text);
            for (std::size_t i = 0; i < prose.size(); ++i) {
                if (prose[i] != ':' && prose[i] != '?') {
                    continue;
                }
                const bool space = (i >= 1 && prose[i - 1] == ' ') ||
                                   (i >= 2 && prose.compare(i - 2, 2, "\u00A0") == 0);
                EXPECT_TRUE(space) << text;
            }
        }
    }
}

// MARK: - Search

struct SearchCase {
    Language language;
    const char* search;
    std::vector<std::string> expected;
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.language.rawValue() << " '" << c.search << "'";
}

class HelpSearchTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(HelpSearchTest, ListsTheTopicsThatContainTheText) {
    const auto& [language, search, expected] = GetParam();
    const auto found = HelpTopic::filter(HelpTopic::all(language), search);
    EXPECT_THAT(idsOf(found), ElementsAreArray(expected)) << "search '" << search << "'";
}

const std::vector<std::string> allIDs{
    "start", "units",  "faults",  "datapoints",      "simulation", "csv",
    "log",   "master", "network", "troubleshooting", "scripts",    "shortcuts"};

INSTANTIATE_TEST_SUITE_P(
    Topics, HelpSearchTest,
    ::testing::Values(
        SearchCase{Language::en, "crc", {"units", "faults", "log", "master", "network"}},
        SearchCase{Language::en, "8N2", {"troubleshooting"}}, // only in a bullet
        SearchCase{Language::en, " \t crc\t ", {"units", "faults", "log", "master", "network"}},
        SearchCase{Language::en, "   ", allIDs}, SearchCase{Language::en, "", allIDs},
        SearchCase{Language::en, "xylophone", {}},
        SearchCase{Language::en, "CTRL+SHIFT+D", {"shortcuts"}},            // a table key
        SearchCase{Language::en, "the traffic with the master", {"start"}}, // a caption
        SearchCase{Language::de, "CRC", {"units", "faults", "log", "master", "network"}},
        SearchCase{Language::de, "8n2", {"troubleshooting"}},
        SearchCase{Language::de, "\t", allIDs}, SearchCase{Language::de, "Xylophon", {}},
        SearchCase{Language::de, "GLEICHMÄSSIG", {"simulation"}},
        SearchCase{Language::de, "gleichmässig", {"simulation"}},
        SearchCase{Language::de, "Gleichmäßig", {"simulation"}},
        SearchCase{Language::de, "STÖRUNGEN", {"units", "network"}},
        SearchCase{Language::de, "ÜBLICH", {"faults", "datapoints", "network"}},
        SearchCase{Language::de, "SCHLIESSEN", {"start", "troubleshooting", "shortcuts"}},
        SearchCase{Language::fr, "ÉCHELLE", {"datapoints"}},
        SearchCase{Language::es, "AÑADIR", {"faults", "shortcuts"}},
        SearchCase{Language::en, "mbpoll -m tcp", {"network"}},
        SearchCase{Language::fr, "PASSERELLE", {"network"}}));

TEST(HelpSearch, SearchableTextJoinsEveryBlockTextWithSingleSpaces) {
    const HelpTopic topic{"t",
                          "Title",
                          "cpu",
                          {HelpBlock::paragraph("p"), HelpBlock::heading("h"),
                           HelpBlock::bullets({"b1", "b2"}),
                           HelpBlock::table({{"k1", "v1"}, {"k2", "v2"}}), HelpBlock::tip("t"),
                           HelpBlock::screenshot("image-name", "caption")}};
    EXPECT_EQ(topic.searchableText(), "Title p h b1 b2 k1 v1 k2 v2 t caption");
    // Pieces are separated, and the image's resource name is not text the reader sees.
    EXPECT_TRUE(topic.matches("b1 b2"));
    EXPECT_FALSE(topic.matches("b1b2"));
    EXPECT_FALSE(topic.matches("image-name"));
}

TEST(HelpSearch, FoldCase) {
    const struct {
        const char* text;
        const char* folded;
    } cases[] = {
        {"ABC xyz 123", "abc xyz 123"},
        {"ÀÉÎÕÜ ÇÑ Ø Þ", "àéîõü çñ ø þ"},
        {"×÷", "×÷"}, // signs, not letters
        {"Straße GRÖẞE", "strasse grösse"},
        {"Ÿ ÿ", "ÿ ÿ"},
        {"ŁÓDŹ Ĳ Ŋ Ĺ Ž Œ", "łódź ĳ ŋ ĺ ž œ"},
        {"ſ", "s"},
        {"ĸ ŉ ı", "ĸ ŉ ı"}, // no upper-case partner
        {"→ ✎ ✕ Ω", "→ ✎ ✕ Ω"},
        {"\xC3", "\xC3"},                        // truncated sequence
        {"A\xC0\x80Z", "a\xC0\x80z"},            // overlong NUL
        {"\xFF\xC3\x84", "\xFF\xC3\xA4"},        // stray byte, then Ä
        {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"} // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HelpSearch::foldCase(c.text), c.folded) << c.text;
    }
}

TEST(HelpSearch, TrimsOnlySpacesAndTabs) {
    EXPECT_EQ(Text::trimmed(" \t a b \t "), "a b");
    EXPECT_EQ(Text::trimmed(" \t "), "");
    EXPECT_EQ(Text::trimmed("\na\n"), "\na\n");
}

// MARK: - Decoding and view state

TEST(HelpContent, MalformedJSONNeverThrows) {
    const char* inputs[] = {
        "",
        "{",
        "[]",
        "null",
        R"({"topics": 5, "texts": []})",
        R"({"topics": [5, {"title": "no id"}, {"id": "x", "blocks": 7}]})",
        R"({"topics": [{"id": "x", "blocks": [
            {"paragraph": 1}, {"unknown": "a"}, {"tip": "a", "heading": "b"}, {},
            {"bullets": ["a", 2]}, {"table": [{"key": "k"}, 3]}, {"screenshot": "s"}]}]})",
    };
    for (const char* input : inputs) {
        EXPECT_NO_THROW(HelpContent::parse(input)) << input;
    }
    EXPECT_THAT(HelpContent::parse("{").topics, IsEmpty());

    const auto content = HelpContent::parse(inputs[6]);
    ASSERT_EQ(content.topics.size(), 1u);
    EXPECT_EQ(content.topics[0].blocks,
              (std::vector<HelpBlock>{HelpBlock::bullets({"a"}), HelpBlock::table({{"k", ""}})}));

    const auto skipped = HelpContent::parse(inputs[5]);
    EXPECT_EQ(idsOf(skipped.topics), std::vector<std::string>{"x"});
}

TEST(HelpViewState, OpensOnTheFirstTopicWithAnEmptySearch) {
    const auto topics = HelpTopic::all(Language::en);
    HelpViewState state(topics);
    EXPECT_EQ(state.selection, "start");
    EXPECT_EQ(state.searchText, "");
    EXPECT_EQ(state.visibleTopics(topics), topics);

    state.searchText = "LibreOffice";
    EXPECT_THAT(idsOf(state.visibleTopics(topics)), ElementsAre("csv"));

    EXPECT_EQ(HelpViewState(std::vector<HelpTopic>{}).selection, "");
}

TEST(HelpContent, FollowsTheLanguageOfTheCatalogue) {
    for (Language language : Language::allCases()) {
        L10n::ScopedLanguage scoped(language);
        EXPECT_EQ(HelpTopic::all(), HelpTopic::all(language)) << language.rawValue();
        EXPECT_EQ(HelpTexts::current(), HelpTexts::forLanguage(language)) << language.rawValue();
    }
}

#include "Corvana/model/ControlProtocol.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using ControlProtocol::LineSplitter;

struct Fed {
    std::vector<std::string> lines; // "<overlong>" for an over-long line
};

Fed feedAll(LineSplitter& splitter, const std::vector<std::string>& pieces) {
    Fed fed;
    for (const std::string& piece : pieces) {
        for (const auto& line : splitter.feed(piece)) {
            fed.lines.push_back(line.overlong ? "<overlong>" : line.text);
        }
    }
    return fed;
}

TEST(ControlProtocol, LineSplitterJoinsPiecesAndBoundsLongLines) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
    } cases[] = {
        {"one line", {"abc\n"}, {"abc"}},
        {"split over reads", {"a", "b", "c\nd", "e\n"}, {"abc", "de"}},
        {"CRLF", {"abc\r\n"}, {"abc"}},
        {"incomplete stays", {"abc"}, {}},
        {"empty lines", {"\n\n"}, {"", ""}},
        {"at the limit", {"12345678\n"}, {"12345678"}},
        {"over the limit, once", {"123456789", "0123456789", "\nok\n"}, {"<overlong>", "ok"}},
        {"over the limit in pieces", {"12345", "6789"}, {"<overlong>"}},
        {"over the limit then a line", {"123456789\nshort\n"}, {"<overlong>", "short"}},
    };
    for (const auto& c : cases) {
        LineSplitter splitter(8);
        EXPECT_EQ(feedAll(splitter, c.pieces).lines, c.lines) << c.name;
    }
}

TEST(ControlProtocol, DecodesOnlyObjectsWithACommand) {
    const L10n::ScopedLanguage english(Language::en);
    const struct {
        const char* line;
        std::string error; // empty: decodes
    } cases[] = {
        {R"({"command":"status"})", ""},
        {R"( {"command":"get","unit":1,"name":"Mode"} )", ""},
        {"{not json", L10n::Control::invalidJSON()},
        {"", L10n::Control::invalidJSON()},
        {"[1,2]", L10n::Control::notAnObject()},
        {R"({"unit":1})", L10n::Control::notAnObject()},
        {R"({"command":5})", L10n::Control::notAnObject()},
        {"\"status\"", L10n::Control::notAnObject()},
        {R"({"command":"status"} trailing)", L10n::Control::invalidJSON()},
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]"
         "]]]]"
         "]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]",
         L10n::Control::invalidJSON()},
    };
    for (const auto& c : cases) {
        const auto decoded = ControlProtocol::decodeRequest(c.line);
        if (c.error.empty()) {
            EXPECT_TRUE(std::holds_alternative<nlohmann::json>(decoded)) << c.line;
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(decoded)) << c.line;
            EXPECT_EQ(std::get<std::string>(decoded), c.error) << c.line;
        }
    }
}

TEST(ControlProtocol, RepliesAreSingleLinesEvenForBrokenText) {
    EXPECT_EQ(ControlProtocol::encodeLine(ControlProtocol::okReply({{"value", 1}})),
              "{\"ok\":true,\"value\":1}\n");
    EXPECT_EQ(ControlProtocol::encodeLine(ControlProtocol::errorReply("a\nb")),
              "{\"error\":\"a\\nb\",\"ok\":false}\n");
    const std::string broken = ControlProtocol::encodeLine({{"text", "\xFF\xFE"}});
    EXPECT_EQ(broken, "{\"text\":\"\xEF\xBF\xBD\xEF\xBF\xBD\"}\n");
}

TEST(ControlProtocol, ArgumentsBecomeARequest) {
    const L10n::ScopedLanguage english(Language::en);
    using Arguments = std::vector<std::string>;
    const struct {
        Arguments arguments;
        nlohmann::json request; // null: the error below
        std::string error;
    } cases[] = {
        {{"status"}, {{"command", "status"}}, ""},
        {{"set", "unit=1", "name=Mode", "value=3"},
         {{"command", "set"}, {"unit", 1}, {"name", "Mode"}, {"value", 3}},
         ""},
        {{"set", "unit=1", "name=Setpoint", "value=21.5"},
         {{"command", "set"}, {"unit", 1}, {"name", "Setpoint"}, {"value", 21.5}},
         ""},
        // Text as typed in the window stays text.
        {{"set", "unit=1", "name=a=b", "value=0x1F"},
         {{"command", "set"}, {"unit", 1}, {"name", "a=b"}, {"value", "0x1F"}},
         ""},
        {{"set", "unit=1", "name=Pump", "value=21,5"},
         {{"command", "set"}, {"unit", 1}, {"name", "Pump"}, {"value", "21,5"}},
         ""},
        {{"unit", "unit=2", "enabled=false", "name="},
         {{"command", "unit"}, {"unit", 2}, {"enabled", false}, {"name", ""}},
         ""},
        {{"rules", "unit=1", R"(set=[{"effect":{"kind":"noResponse"}}])"},
         {{"command", "rules"},
          {"unit", 1},
          {"set", nlohmann::json::array({{{"effect", {{"kind", "noResponse"}}}}})}},
         ""},
        {{"set", "unit=1", "name=[broken"},
         {{"command", "set"}, {"unit", 1}, {"name", "[broken"}},
         ""},
        {{R"({"command":"get","unit":1,"name":"Mode"})"},
         {{"command", "get"}, {"unit", 1}, {"name", "Mode"}},
         ""},
        {{}, nullptr, L10n::Control::missingCommand()},
        {{"set", "unit"}, nullptr, L10n::Control::badPair("unit")},
        {{"set", "=1"}, nullptr, L10n::Control::badPair("=1")},
        {{R"({"unit":1})"}, nullptr, L10n::Control::notAnObject()},
    };
    for (const auto& c : cases) {
        const auto request = ControlProtocol::requestFromArguments(c.arguments);
        if (c.request.is_null()) {
            ASSERT_TRUE(std::holds_alternative<std::string>(request));
            EXPECT_EQ(std::get<std::string>(request), c.error);
        } else {
            ASSERT_TRUE(std::holds_alternative<nlohmann::json>(request)) << c.request;
            EXPECT_EQ(std::get<nlohmann::json>(request), c.request);
        }
    }
}

TEST(ControlProtocol, DefaultSocketFollowsTheRuntimeFolder) {
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto runtime = saved("XDG_RUNTIME_DIR");
    const auto temporary = saved("TMPDIR");
    const auto set = [](const char* name, const std::optional<std::string>& value) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    };
    const std::string uid = std::to_string(::getuid());
    const struct {
        std::optional<std::string> runtime, temporary;
        std::string expected;
    } cases[] = {
        {"/run/user/1000", "/var/tmp", "/run/user/1000/corvana/control.sock"},
        {"relative", std::nullopt, "/tmp/corvana-" + uid + "/control.sock"},
        {std::nullopt, "/var/tmp/", "/var/tmp/corvana-" + uid + "/control.sock"},
        {std::nullopt, "tmp", "/tmp/corvana-" + uid + "/control.sock"},
    };
    for (const auto& c : cases) {
        set("XDG_RUNTIME_DIR", c.runtime);
        set("TMPDIR", c.temporary);
        EXPECT_EQ(ControlProtocol::defaultSocketPath(), c.expected);
    }
    set("XDG_RUNTIME_DIR", runtime);
    set("TMPDIR", temporary);
}

} // namespace

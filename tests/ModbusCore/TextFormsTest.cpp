#include "ModbusCore/TextForms.h"

#include <gtest/gtest.h>

namespace {

TEST(TextFormsTest, TrimsSpacesAndTabsOnly) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {" \tHR \t", "HR"}, {"a b", "a b"}, {"\t \t", ""}, {"", ""}, {"\nx", "\nx"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(TextForms::trimmed(text), expected) << text;
    }
}

TEST(TextFormsTest, LowercasesASCIIAndLatin1Capitals) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"SÍ", "sí"},       {"UNITÉ ÀÞ", "unité àþ"},
        {"×", "×"},         // the multiplication sign sits among the capitals
        {"é", "é"},         // already small
        {"A\xC3", "a\xC3"}, // a lead byte cut off at the end
        {"m³/H", "m³/h"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(TextForms::lowercased(text), expected) << text;
    }
}

} // namespace

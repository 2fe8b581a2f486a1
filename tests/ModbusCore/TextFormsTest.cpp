#include "ModbusCore/TextForms.h"

#include <gtest/gtest.h>

namespace {

TEST(TextFormsTest, TrimsBlanksAndLowercasesASCIIAndLatin1Capitals) {
    EXPECT_EQ(TextForms::trimmed(" \tHR \t"), "HR");
    EXPECT_EQ(TextForms::trimmed("\nx"), "\nx");
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"UNITÉ ÀÞ", "unité àþ"},
        {"×", "×"},         // the multiplication sign sits among the capitals
        {"A\xC3", "a\xC3"}, // a lead byte cut off at the end
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(TextForms::lowercased(text), expected) << text;
    }
}

} // namespace

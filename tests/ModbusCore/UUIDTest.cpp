#include "ModbusCore/UUID.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(UUID, RandomIsVersionFourUniqueAndRoundTripsAsText) {
    std::set<UUID> seen;
    for (int i = 0; i < 1000; ++i) {
        const auto id = UUID::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] >> 6, 2); // RFC 4122 variant
        EXPECT_TRUE(seen.insert(id).second);
        EXPECT_EQ(UUID::fromString(id.toString()), id);
    }
}

TEST(UUID, TextIsUpperCaseAndReadInEitherCase) {
    const auto id = UUID::fromString("0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->bytes[0], 0x0F);
    EXPECT_EQ(id->bytes[15], 0xF0);
    EXPECT_EQ(id->toString(), "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
    for (const char* text : {
             "",
             "0F1E2D3C4B5A49688776A5B4C3D2E1F0",      // no hyphens
             "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F",   // one digit short
             "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F00", // one digit long
             "0F1E2D3C-4B5A4-968-8776-A5B4C3D2E1F0",  // hyphen misplaced
             "0F1E2D3G-4B5A-4968-8776-A5B4C3D2E1F0",  // not hex
         }) {
        EXPECT_FALSE(UUID::fromString(text)) << text;
    }
}

} // namespace

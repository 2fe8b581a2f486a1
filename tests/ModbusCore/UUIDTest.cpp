#include "ModbusCore/UUID.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(UUID, RandomIsVersionFourUniqueAndRoundTripsAsUpperCaseText) {
    std::set<UUID> seen;
    for (int i = 0; i < 1000; ++i) {
        const auto id = UUID::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] >> 6, 2); // RFC 4122 variant
        EXPECT_TRUE(seen.insert(id).second);
        EXPECT_EQ(UUID::fromString(id.toString()), id);
    }
    // Written upper-case, read in either case.
    const auto read = UUID::fromString("0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->bytes[0], 0x0F);
    EXPECT_EQ(read->toString(), "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
    for (const char* text :
         {"", "0F1E2D3C4B5A49688776A5B4C3D2E1F0", "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F",
          "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F00", "0F1E2D3C-4B5A4-968-8776-A5B4C3D2E1F0",
          "0F1E2D3G-4B5A-4968-8776-A5B4C3D2E1F0"}) {
        EXPECT_FALSE(UUID::fromString(text)) << text;
    }
}

} // namespace

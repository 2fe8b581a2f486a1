#include "ModbusSerial/SerialLinkError.h"
#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

using E = SerialLinkError;

TEST(SerialLinkError, EnglishMessagesAndEquality) {
    L10n::ScopedLanguage english(Language::en);
    const std::string noEntry = std::strerror(ENOENT);
    const std::pair<E, std::string> cases[] = {
        {E(E::invalidPath, "/tmp/x"), "'/tmp/x' is not a valid serial port."},
        {E(E::openFailed, "/dev/ttyUSB0", ENOENT), "Cannot open /dev/ttyUSB0: " + noEntry + "."},
        {E(E::busy, "/dev/ttyUSB0"),
         "/dev/ttyUSB0 is already in use by another program. Close that program and try again."},
        {E(E::disconnected), "The adapter was disconnected."},
    };
    for (const auto& [error, message] : cases) {
        EXPECT_EQ(error.message(), message);
        EXPECT_STREQ(error.what(), message.c_str());
    }
    // Equal by case and the payload the case carries.
    EXPECT_NE(E(E::busy, "/dev/ttyS0"), E(E::busy, "/dev/ttyS1"));
    EXPECT_NE(E(E::busy, "/dev/ttyS0"), E(E::invalidPath, "/dev/ttyS0"));
    EXPECT_NE(E(E::openFailed, "/dev/ttyS0", EIO), E(E::openFailed, "/dev/ttyS0", ENOENT));
    EXPECT_EQ(E(E::busy, "/dev/ttyS0", EIO), E(E::busy, "/dev/ttyS0"));
}

} // namespace

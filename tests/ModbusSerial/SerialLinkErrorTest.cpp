#include "ModbusSerial/SerialLinkError.h"
#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

using E = SerialLinkError;

TEST(SerialLinkError, EnglishMessages) {
    L10n::ScopedLanguage english(Language::en);
    const std::string noEntry = std::strerror(ENOENT);
    const std::string io = std::strerror(EIO);
    const std::pair<E, std::string> cases[] = {
        {E(E::invalidPath, "/tmp/x"), "'/tmp/x' is not a valid serial port."},
        {E(E::openFailed, "/dev/ttyUSB0", ENOENT), "Cannot open /dev/ttyUSB0: " + noEntry + "."},
        {E(E::busy, "/dev/ttyUSB0"),
         "/dev/ttyUSB0 is already in use by another program. Close that program and try again."},
        {E(E::configurationFailed, EIO), "Configuring the serial port failed: " + io + "."},
        {E(E::unsupportedBaudRate, 230400), "Baud rate 230400 is not supported by this adapter."},
        {E(E::writeFailed, EIO), "Sending failed: " + io + "."},
        {E(E::notOpen), "The serial port is not open."},
        {E(E::timeout), "No response from the device."},
        {E(E::disconnected), "The adapter was disconnected."},
    };
    for (const auto& [error, message] : cases) {
        EXPECT_EQ(error.message(), message);
        EXPECT_STREQ(error.what(), message.c_str());
    }
}

TEST(SerialLinkError, EqualityByCaseAndPayload) {
    EXPECT_NE(E(E::busy, "/dev/ttyS0"), E(E::busy, "/dev/ttyS1"));
    EXPECT_NE(E(E::busy, "/dev/ttyS0"), E(E::invalidPath, "/dev/ttyS0"));
    EXPECT_NE(E(E::openFailed, "/dev/ttyS0", EIO), E(E::openFailed, "/dev/ttyS0", ENOENT));
    // A payload the case does not carry is not part of it.
    EXPECT_EQ(E(E::notOpen, "/dev/ttyS0"), E(E::notOpen));
    EXPECT_EQ(E(E::busy, "/dev/ttyS0", EIO), E(E::busy, "/dev/ttyS0"));
}

} // namespace

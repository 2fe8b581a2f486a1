#include "ModbusSerial/SerialLinkError.h"
#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

TEST(SerialLinkError, EnglishMessages) {
    L10n::ScopedLanguage english(Language::en);
    const std::string noEntry = std::strerror(ENOENT);
    const std::string io = std::strerror(EIO);
    struct Case {
        SerialLinkError error;
        std::string message;
    };
    const Case cases[] = {
        {SerialLinkError(SerialLinkError::invalidPath, "/tmp/x"),
         "'/tmp/x' is not a valid serial port."},
        {SerialLinkError(SerialLinkError::openFailed, "/dev/ttyUSB0", ENOENT),
         "Cannot open /dev/ttyUSB0: " + noEntry + "."},
        {SerialLinkError(SerialLinkError::busy, "/dev/ttyUSB0"),
         "/dev/ttyUSB0 is already in use by another program. Close that program and try again."},
        {SerialLinkError(SerialLinkError::configurationFailed, EIO),
         "Configuring the serial port failed: " + io + "."},
        {SerialLinkError(SerialLinkError::unsupportedBaudRate, 230400),
         "Baud rate 230400 is not supported by this adapter."},
        {SerialLinkError(SerialLinkError::writeFailed, EIO), "Sending failed: " + io + "."},
        {SerialLinkError(SerialLinkError::notOpen), "The serial port is not open."},
        {SerialLinkError(SerialLinkError::timeout), "No response from the device."},
        {SerialLinkError(SerialLinkError::disconnected), "The adapter was disconnected."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.message(), c.message);
        EXPECT_STREQ(c.error.what(), c.message.c_str());
    }
}

TEST(SerialLinkError, EqualityByCaseAndPayload) {
    using E = SerialLinkError;
    EXPECT_EQ(E(E::busy, "/dev/ttyS0"), E(E::busy, "/dev/ttyS0"));
    EXPECT_NE(E(E::busy, "/dev/ttyS0"), E(E::busy, "/dev/ttyS1"));
    EXPECT_NE(E(E::busy, "/dev/ttyS0"), E(E::invalidPath, "/dev/ttyS0"));
    EXPECT_NE(E(E::openFailed, "/dev/ttyS0", EIO), E(E::openFailed, "/dev/ttyS0", ENOENT));
    EXPECT_NE(E(E::writeFailed, EIO), E(E::configurationFailed, EIO));
    // A payload the case does not carry is not part of it.
    EXPECT_EQ(E(E::notOpen, "/dev/ttyS0"), E(E::notOpen));
    EXPECT_EQ(E(E::busy, "/dev/ttyS0", EIO), E(E::busy, "/dev/ttyS0"));
    EXPECT_EQ(E(E::unsupportedBaudRate, 14400).rate(), 14400);
}

} // namespace

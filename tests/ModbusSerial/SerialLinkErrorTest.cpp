#include "ModbusSerial/SerialLinkError.h"
#include "Localization/L10n.h"
#include "ModbusSerial/PortAccess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <grp.h>
#include <unistd.h>

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
        {E(E::accessDenied, "/dev/ttyUSB0", "dialout"),
         "You may not use /dev/ttyUSB0: it belongs to the group “dialout”. Join that group with "
         "“sudo usermod -aG dialout $USER”, then log out and log in again."},
        {E(E::busyProbing, "/dev/ttyACM0"),
         "/dev/ttyACM0 is busy: ModemManager is checking the newly plugged adapter for a modem. "
         "Try again in a few seconds; the help explains how to keep ModemManager away from the "
         "adapter."},
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
    EXPECT_NE(E(E::accessDenied, "/dev/ttyS0", "dialout"),
              E(E::accessDenied, "/dev/ttyS0", "uucp"));
    EXPECT_EQ(E(E::busy, "/dev/ttyS0", "dialout"), E(E::busy, "/dev/ttyS0"));
}

// A port owned by root's group, or by a group without a name, has no group to join: the message
// names Debian's group for serial adapters and the administrator instead.
TEST(SerialLinkError, AccessDeniedWithoutAGroupToJoinInEveryLanguage) {
    for (const auto language :
         {Language::en, Language::nl, Language::de, Language::fr, Language::es}) {
        L10n::ScopedLanguage scoped(language);
        const std::string joinable = E(E::accessDenied, "/dev/ttyUSB0", "uucp").message();
        EXPECT_NE(joinable.find("sudo usermod -aG uucp $USER"), std::string::npos) << joinable;
        for (const char* group : {"root", ""}) {
            const std::string message = E(E::accessDenied, "/dev/ttyUSB0", group).message();
            EXPECT_NE(message.find("sudo usermod -aG dialout $USER"), std::string::npos) << message;
            EXPECT_NE(message.find("/dev/ttyUSB0"), std::string::npos) << message;
        }
        const std::string probing = E(E::busyProbing, "/dev/ttyACM0").message();
        EXPECT_NE(probing.find("ModemManager"), std::string::npos) << probing;
    }
}

TEST(PortAccess, OwningGroupAndRunningProcesses) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("corvana-proc-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto process = [&](const std::string& id, const std::string& command) {
        std::filesystem::create_directories(folder / id);
        std::ofstream(folder / id / "comm") << command << '\n';
    };
    process("1", "systemd");
    process("self", "ModemManager"); // not a process number
    process("77", "ModemManagerX");
    EXPECT_FALSE(PortAccess::isRunning("ModemManager", folder));
    process("815", "ModemManager");
    EXPECT_TRUE(PortAccess::isRunning("ModemManager", folder));
    EXPECT_FALSE(PortAccess::isRunning("ModemManager", folder / "missing"));

    const std::string file = folder / "comm-owned";
    std::ofstream(file) << "x";
    const group* own = ::getgrgid(::getegid());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(PortAccess::owningGroup(file), std::string(own->gr_name));
    EXPECT_EQ(PortAccess::owningGroup(folder / "missing"), std::nullopt);
    std::filesystem::remove_all(folder);
}

} // namespace

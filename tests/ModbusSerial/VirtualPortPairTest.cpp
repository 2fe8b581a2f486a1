#include "ModbusSerial/VirtualPortPair.h"
#include "ModbusSerial/SerialLink.h"
#include "tests/support/InjectedFaults.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>
#include <system_error>

namespace {

std::string target(const std::string& link) {
    char target[256] = {};
    return ::readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

TEST(VirtualPortPair, CarriesBytesAcrossReopenedEndsAndHangsUpWhenGone) {
    std::optional<VirtualPortPair> pair(std::in_place);
    // Both ends opened at 8E1 twice in a row: a pseudo-terminal ignoring parity must not make the
    // second open fail, nor a user closing an end hang the pair up.
    SerialLink server(pair->serverPath(), {});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        server.close();
        SerialLink master(pair->masterPath(), {});
        ASSERT_NO_THROW(server.open());
        ASSERT_NO_THROW(master.open());
        master.write(readRequest);
        EXPECT_EQ(readSome(server, readRequest.size()), readRequest);
        server.write(readResponse);
        EXPECT_EQ(readSome(master, readResponse.size()), readResponse);
    }
    // Gone means its terminals are closed: the end still open is hung up.
    pair.reset();
    EXPECT_THROW((void)server.read(5), SerialLinkError);
}

TEST(VirtualPortPair, SymlinkToTheMasterEnd) {
    // Unique: test runs of several build trees share the temporary folder.
    std::string linkPath = ::testing::TempDir() + "corvana-virtual-port-XXXXXX";
    FileDescriptor file(::mkstemp(linkPath.data()));
    ASSERT_TRUE(file.isOpen());
    // Anything but a symlink at that path is not ours to remove.
    try {
        VirtualPortPair pair(linkPath);
        ADD_FAILURE() << "made a pair over a file";
    } catch (const VirtualPortPairError& error) {
        EXPECT_EQ(error.step(), VirtualPortPairError::linkPathTaken);
        EXPECT_EQ(error.code(), std::errc::file_exists);
    }
    EXPECT_EQ(::unlink(linkPath.c_str()), 0); // still there
    {
        VirtualPortPair pair(linkPath);
        EXPECT_EQ(target(linkPath), pair.masterPath());
        VirtualPortPair second(linkPath); // replaces a stale link of an earlier run
        EXPECT_EQ(target(linkPath), second.masterPath());
    }
    EXPECT_EQ(target(linkPath), "");

    // A link elsewhere is the user's: refused, and still there afterwards.
    for (const char* foreign : {"/etc/hostname", "/dev/ttyUSB0", "relative/pts/3"}) {
        ASSERT_EQ(::symlink(foreign, linkPath.c_str()), 0);
        EXPECT_THROW(VirtualPortPair{linkPath}, std::system_error) << foreign;
        EXPECT_EQ(target(linkPath), foreign);
        EXPECT_EQ(::unlink(linkPath.c_str()), 0);
    }
    ASSERT_EQ(::symlink("/dev/pts/999999", linkPath.c_str()), 0); // dangling, of a pair long gone
    {
        VirtualPortPair pair(linkPath);
        EXPECT_EQ(target(linkPath), pair.masterPath());
    }
}

// The copying thread retries interrupted calls instead of dropping what it was moving.
TEST(VirtualPortPair, InterruptedCopyingLosesNothing) {
    InjectedFaults faults;
    InjectedFaults::reset();
    VirtualPortPair pair;
    SerialLink server(pair.serverPath(), {});
    SerialLink master(pair.masterPath(), {});
    server.open();
    master.open();
    for (InjectedFault* fault : {&InjectedFaults::poll, &InjectedFaults::read}) {
        fault->arm(EINTR);
        master.write(readRequest);
        EXPECT_EQ(readSome(server, readRequest.size()), readRequest);
    }
    InjectedFaults::reset();
}

} // namespace

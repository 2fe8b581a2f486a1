#include "ModbusSerial/VirtualPortPair.h"
#include "ModbusSerial/SerialLink.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <system_error>

namespace {

const Bytes request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes response = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B};

Bytes readSome(SerialLink& link, std::size_t count) {
    Bytes received;
    for (int quiet = 0; received.size() < count && quiet < 100;) {
        Bytes chunk = link.read(0.02);
        quiet = chunk.empty() ? quiet + 1 : 0;
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    return received;
}

bool exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

TEST(VirtualPortPair, CarriesBytesAcrossReopenedEnds) {
    VirtualPortPair pair;
    EXPECT_TRUE(SerialLink::isValidPath(pair.serverPath()));
    EXPECT_TRUE(SerialLink::isValidPath(pair.masterPath()));
    EXPECT_NE(pair.serverPath(), pair.masterPath());
    EXPECT_TRUE(pair.linkPath().empty());

    // The server side opened at 8E1 twice in a row, the master side reopened with it: a user
    // closing an end must not hang the pair up.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        SerialLink server(pair.serverPath(), {9600, 8, Parity::even, 1});
        SerialLink master(pair.masterPath(), {9600, 8, Parity::even, 1});
        ASSERT_NO_THROW(server.open());
        ASSERT_NO_THROW(master.open());
        master.write(request);
        EXPECT_EQ(readSome(server, request.size()), request);
        server.write(response);
        EXPECT_EQ(readSome(master, response.size()), response);
    }
}

TEST(VirtualPortPair, SymlinkToTheMasterEnd) {
    // One path per process: test runs of several build trees share the temporary folder.
    const std::string linkPath =
        ::testing::TempDir() + "corvana-virtual-port-" + std::to_string(::getpid());
    ::unlink(linkPath.c_str());
    {
        VirtualPortPair pair(linkPath);
        EXPECT_EQ(pair.linkPath(), linkPath);
        char target[256] = {};
        ASSERT_GT(::readlink(linkPath.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(target, pair.masterPath());
        // A stale link of an earlier run is replaced.
        VirtualPortPair second(linkPath);
        EXPECT_EQ(::readlink(linkPath.c_str(), target, sizeof target - 1),
                  static_cast<ssize_t>(second.masterPath().size()));
    }
    EXPECT_FALSE(exists(linkPath));

    // Anything else at that path is not ours to remove.
    std::ofstream(linkPath) << "keep";
    EXPECT_THROW(VirtualPortPair{linkPath}, std::system_error);
    EXPECT_TRUE(exists(linkPath));
    ::unlink(linkPath.c_str());
}

} // namespace

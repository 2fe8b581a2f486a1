#include "ModbusSerial/SerialLink.h"
#include "PseudoTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

const SerialConfiguration modbusDefault{9600, 8, Parity::even, 1};
const Bytes request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes response = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B};
const Bytes writeRequest = {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};

// Reads until `count` bytes came or the line stayed silent for a while.
Bytes readSome(SerialLink& link, std::size_t count) {
    Bytes received;
    for (int quiet = 0; received.size() < count && quiet < 100;) {
        Bytes chunk = link.read(0.02);
        quiet = chunk.empty() ? quiet + 1 : 0;
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    return received;
}

TEST(SerialLink, PathCheck) {
    for (const char* path : {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyAMA0",
                             "/dev/rfcomm0", "/dev/pts/3"}) {
        EXPECT_TRUE(SerialLink::isValidPath(path)) << path;
    }
    for (const char* path : {"/dev/pts/x", "/dev/pts/", "/dev/../tty", "/tmp/ttyUSB0", "/dev/tty/x",
                             "/dev/sda", "/dev/ttyUSB0/..", "dev/ttyS0", ""}) {
        EXPECT_FALSE(SerialLink::isValidPath(path)) << path;
    }
    EXPECT_TRUE(SerialLink::isValidPath("/dev/tty" + std::string(124, 'X')));  // 127 after /dev/
    EXPECT_FALSE(SerialLink::isValidPath("/dev/tty" + std::string(125, 'X'))); // 128
}

TEST(SerialLink, OpenFailures) {
    using E = SerialLinkError;
    auto openError = [](SerialLink& link) -> std::optional<E> {
        try {
            link.open();
        } catch (const E& error) {
            return error;
        }
        return std::nullopt;
    };
    // Rejected before the device is touched, so even an existing file does not matter.
    SerialLink invalid("/dev/null", modbusDefault);
    EXPECT_EQ(openError(invalid), E(E::invalidPath, "/dev/null"));
    SerialLink missing("/dev/pts/999999", modbusDefault);
    EXPECT_EQ(openError(missing), E(E::openFailed, "/dev/pts/999999", ENOENT));
    SerialLink notATerminal("/dev/null", modbusDefault, true);
    EXPECT_EQ(openError(notATerminal), E(E::configurationFailed, ENOTTY));
    EXPECT_FALSE(notATerminal.isOpen());

    PseudoTerminal terminal;
    SerialLink first(terminal.path(), modbusDefault);
    first.open();
    SerialLink second(terminal.path(), modbusDefault, true);
    EXPECT_EQ(openError(second), E(E::busy, terminal.path()));
    first.close();
    EXPECT_EQ(openError(second), std::nullopt);
    second.close();

    // A refused rate gives the device back untouched and holds nothing.
    SerialLink refused(terminal.path(), {0, 8, Parity::even, 1});
    EXPECT_EQ(openError(refused), E(E::unsupportedBaudRate, 0));
    EXPECT_FALSE(refused.isOpen());
    SerialLink tolerant(terminal.path(), {0, 8, Parity::even, 1}, true);
    EXPECT_EQ(openError(tolerant), std::nullopt);
    EXPECT_EQ(openError(first), E(E::busy, terminal.path()));
}

TEST(SerialLink, ClosedLinkAndReopen) {
    PseudoTerminal terminal;
    SerialLink link(terminal.path(), modbusDefault);
    EXPECT_THROW(link.read(0.01), SerialLinkError);
    try {
        link.write(request);
        FAIL();
    } catch (const SerialLinkError& error) {
        EXPECT_EQ(error.kind(), SerialLinkError::notOpen);
    }
    link.open();
    EXPECT_NO_THROW(link.open());
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(link.read(0.02).empty());
    link.close();
    link.close();
    EXPECT_FALSE(link.isOpen());
}

TEST(SerialLink, BytesFlowBothWays) {
    PseudoTerminal terminal;
    SerialLink link(terminal.path(), {19200, 8, Parity::none, 1});
    link.open();
    terminal.send(request);
    EXPECT_EQ(readSome(link, request.size()), request);
    link.write(response);
    EXPECT_EQ(terminal.receive(response.size()), response);
    link.write({});
}

TEST(SerialLink, DisconnectedWhenTheFarSideGoes) {
    for (bool reading : {true, false}) {
        PseudoTerminal terminal;
        SerialLink link(terminal.path(), modbusDefault);
        link.open();
        terminal.hangUp();
        try {
            reading ? (void)link.read(0.05) : link.write(response);
            FAIL() << reading;
        } catch (const SerialLinkError& error) {
            EXPECT_EQ(error.kind(), SerialLinkError::disconnected) << error.what();
        }
    }
}

TEST(SerialLink, WritesWaitOneFrameGap) {
    PseudoTerminal terminal;
    auto clock = std::make_shared<FakeClock>();
    SerialLink link(terminal.path(), modbusDefault, false, clock);
    link.open();
    const auto gap = std::chrono::duration<double>(link.frameGap());
    EXPECT_NEAR(gap.count(), 11 * 3.5 / 9600, 1e-9);

    link.write(response); // nothing heard yet: no wait
    EXPECT_TRUE(clock->sleeps.empty());
    auto sent = clock->now();
    link.write(response);
    ASSERT_EQ(clock->sleeps.size(), 1u);
    EXPECT_GE(clock->sleeps[0] - sent, gap);

    terminal.send(request);
    readSome(link, request.size());
    auto heard = clock->now();
    clock->advance(1ms);
    link.write(response);
    ASSERT_EQ(clock->sleeps.size(), 2u);
    EXPECT_GE(clock->sleeps[1] - heard, gap);

    clock->advance(5ms); // silent long enough already
    link.write(response);
    EXPECT_EQ(clock->sleeps.size(), 2u);
}

TEST(SerialLink, RecognisesPseudoTerminals) {
    PseudoTerminal terminal;
    EXPECT_TRUE(TerminalDevice::isPseudoTerminal(terminal.device()));
    FileDescriptor null(::open("/dev/null", O_RDWR | O_CLOEXEC)); // a character device too
    EXPECT_FALSE(TerminalDevice::isPseudoTerminal(null.get()));
    EXPECT_FALSE(TerminalDevice::isPseudoTerminal(-1));
}

// A pseudo-terminal never echoes: a master repeating a write, whose answer repeats the request
// byte for byte, is heard every time however soon it follows the answer.
TEST(SerialLink, PseudoTerminalKeepsARepeatedRequest) {
    for (bool waitingAtDrainTime : {false, true}) {
        SCOPED_TRACE(waitingAtDrainTime ? "waiting at drain time" : "sent right after");
        PseudoTerminal terminal;
        auto clock = std::make_shared<FakeClock>();
        SerialLink link(terminal.path(), {115200, 8, Parity::none, 1}, false, clock);
        link.open();
        terminal.send(writeRequest);
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_EQ(readSome(link, writeRequest.size()), writeRequest);
            if (waitingAtDrainTime) {
                clock->onNextNow = [&] {
                    terminal.send(writeRequest);
                    terminal.waitUntilDeviceHasInput();
                };
            }
            link.write(writeRequest);
            ASSERT_EQ(terminal.receive(writeRequest.size()), writeRequest);
            if (!waitingAtDrainTime) {
                terminal.send(writeRequest); // the clock stands still: well inside 2 ms
            }
        }
        EXPECT_EQ(readSome(link, writeRequest.size()), writeRequest);
        EXPECT_TRUE(link.read(0.01).empty());
    }
}

// The far end echoes what the link sent (as a two-wire adapter does) and then a master sends.
TEST(SerialLink, EchoIsDroppedAndRequestsKept) {
    struct Case {
        const char* name;
        Bytes waitingBeforeSending;
        Bytes afterSending;
        std::chrono::microseconds delay; // of afterSending, after the transmission
        Bytes expected;
        bool beforeDrainReturns = false; // afterSending already waiting when the drain ends
    };
    auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {"immediate echo", {}, join(writeRequest, request), 0us, request},
        {"echo 1 ms late", {}, join(writeRequest, request), 1000us, request},
        {"request waiting at drain time", {}, request, 0us, request, true},
        {"request sent after the answer", {}, request, 0us, request},
        {"same request already waiting", writeRequest, request, 0us, join(writeRequest, request)},
        {"repeat after the settle time", {}, writeRequest, 3000us, writeRequest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PseudoTerminal terminal;
        auto clock = std::make_shared<FakeClock>();
        SerialLink link(terminal.path(), {115200, 8, Parity::none, 1}, false, clock);
        link.forceEchoWindow(); // stands in for an adapter that echoes
        link.open();
        if (!c.waitingBeforeSending.empty()) {
            terminal.send(c.waitingBeforeSending);
            terminal.waitUntilDeviceHasInput();
        }
        if (c.beforeDrainReturns) {
            // The link's first look at the clock in a write on a quiet line is when the
            // transmission has ended.
            clock->onNextNow = [&] {
                terminal.send(c.afterSending);
                terminal.waitUntilDeviceHasInput();
            };
        }
        link.write(writeRequest); // a function 06 answer repeats the request byte for byte
        ASSERT_EQ(terminal.receive(writeRequest.size()), writeRequest);
        clock->advance(c.delay);
        if (!c.beforeDrainReturns) {
            terminal.send(c.afterSending);
        }
        EXPECT_EQ(readSome(link, c.expected.size()), c.expected);
        EXPECT_TRUE(link.read(0.01).empty());
    }
}

} // namespace

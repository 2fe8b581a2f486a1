#include "ModbusSerial/SerialLink.h"
#include "ModbusSerial/Termios2.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;
using E = SerialLinkError;

const SerialConfiguration fast{115200, 8, Parity::none, 1};

std::optional<E> errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}

TEST(SerialLink, PathCheck) {
    for (const char* path : {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyAMA0",
                             "/dev/rfcomm0", "/dev/pts/3"}) {
        EXPECT_TRUE(SerialLink::isValidPath(path)) << path;
    }
    for (const char* path : {"/dev/pts/x", "/dev/pts/", "/dev/../tty", "/tmp/ttyUSB0", "/dev/tty/x",
                             "/dev/sda", "/dev/ttyUSB0/..", "/dev/tty..", "dev/ttyS0", ""}) {
        EXPECT_FALSE(SerialLink::isValidPath(path)) << path;
    }
    EXPECT_TRUE(SerialLink::isValidPath("/dev/tty" + std::string(124, 'X')));  // 127 after /dev/
    EXPECT_FALSE(SerialLink::isValidPath("/dev/tty" + std::string(125, 'X'))); // 128
}

TEST(SerialLink, OpenFailures) {
    // Rejected before the device is touched, so even an existing file does not matter.
    SerialLink invalid("/dev/null", {});
    EXPECT_EQ(errorOf([&] { invalid.open(); }), E(E::invalidPath, "/dev/null"));
    SerialLink missing("/dev/pts/999999", {});
    EXPECT_EQ(errorOf([&] { missing.open(); }), E(E::openFailed, "/dev/pts/999999", ENOENT));
    SerialLink notATerminal("/dev/null", {}, true);
    EXPECT_EQ(errorOf([&] { notATerminal.open(); }), E(E::configurationFailed, ENOTTY));
    EXPECT_FALSE(notATerminal.isOpen());

    // Busy even for root, who passes TIOCEXCL.
    PseudoTerminal terminal;
    SerialLink first(terminal.path(), {});
    first.open();
    SerialLink second(terminal.path(), {}, true);
    EXPECT_EQ(errorOf([&] { second.open(); }), E(E::busy, terminal.path()));
    first.close();
    EXPECT_EQ(errorOf([&] { second.open(); }), std::nullopt);
    second.close();

    // A refused rate gives the device back untouched and holds nothing.
    TerminalAttributes before;
    TerminalAttributes after;
    ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), before), 0);
    SerialLink refused(terminal.path(), {0, 8, Parity::even, 1});
    EXPECT_EQ(errorOf([&] { refused.open(); }), E(E::unsupportedBaudRate, 0));
    EXPECT_FALSE(refused.isOpen());
    ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), after), 0);
    EXPECT_EQ(after, before);
    SerialLink tolerant(terminal.path(), {0, 8, Parity::even, 1}, true);
    EXPECT_EQ(errorOf([&] { tolerant.open(); }), std::nullopt);
    EXPECT_EQ(errorOf([&] { first.open(); }), E(E::busy, terminal.path()));
}

TEST(SerialLink, LifecycleBytesTimeOutAndDisconnection) {
    PseudoTerminal terminal;
    SerialLink link(terminal.path(), fast);
    EXPECT_EQ(errorOf([&] { (void)link.read(0.01); }), E(E::notOpen));
    EXPECT_EQ(errorOf([&] { link.write(readRequest); }), E(E::notOpen));
    link.open();
    EXPECT_EQ(errorOf([&] { link.open(); }), std::nullopt); // already open
    EXPECT_TRUE(link.isOpen());

    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.read(0.05).empty());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms); // waited the whole time-out

    link.close();
    link.close();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(errorOf([&] { link.write(readRequest); }), E(E::notOpen));

    FileDescriptor null(::open("/dev/null", O_RDWR | O_CLOEXEC)); // a character device too
    EXPECT_TRUE(TerminalDevice::isPseudoTerminal(terminal.device()));
    EXPECT_FALSE(TerminalDevice::isPseudoTerminal(null.get()));
    EXPECT_FALSE(TerminalDevice::isPseudoTerminal(-1));

    // The far side goes.
    link.open();
    terminal.hangUp();
    EXPECT_EQ(errorOf([&] { (void)link.read(5); }), E(E::disconnected));
    EXPECT_EQ(errorOf([&] { link.write(readResponse); }), E(E::disconnected));
}

TEST(SerialLink, WritesWaitOneFrameGap) {
    LinkOnTerminal rig; // 9600 8E1
    auto& clock = *rig.clock;
    const auto gap = std::chrono::duration<double>(rig.link.frameGap());
    EXPECT_NEAR(gap.count(), 11 * 3.5 / 9600, 1e-9);

    rig.link.write(readResponse); // nothing heard yet: no wait
    EXPECT_TRUE(clock.sleeps.empty());
    auto sent = clock.now();
    rig.link.write(readResponse);
    ASSERT_EQ(clock.sleeps.size(), 1u);
    EXPECT_GE(clock.sleeps[0] - sent, gap);

    clock.advance(5ms); // silent long enough already
    rig.link.write(readResponse);
    EXPECT_EQ(clock.sleeps.size(), 1u);

    clock.advance(5ms); // and then a request is heard
    rig.terminal.send(readRequest);
    readSome(rig.link, readRequest.size());
    auto heard = clock.now();
    clock.advance(1ms);
    rig.link.write(readResponse);
    ASSERT_EQ(clock.sleeps.size(), 2u);
    EXPECT_GE(clock.sleeps[1] - heard, gap);
}

// The link answers writeRequest; then the far end sends `heard`, `after` the transmission ended
// or already waiting when the drain returns. A pseudo-terminal never echoes, so there a repeated
// identical request is heard however soon it follows the answer.
TEST(SerialLink, EchoIsDroppedAndRequestsKept) {
    Bytes echoThenRequest = writeRequest;
    echoThenRequest.insert(echoThenRequest.end(), readRequest.begin(), readRequest.end());
    struct Case {
        const char* name;
        bool echoes;
        Bytes waitingBeforeSending;
        Bytes heard;
        std::chrono::microseconds after;
        bool atDrainTime;
        Bytes expected;
    };
    const Case cases[] = {
        {"immediate echo", true, {}, echoThenRequest, 0us, false, readRequest},
        {"echo 1 ms late", true, {}, echoThenRequest, 1000us, false, readRequest},
        {"request waiting at drain time", true, {}, readRequest, 0us, true, readRequest},
        {"same request already waiting", true, writeRequest, readRequest, 0us, false,
         echoThenRequest},
        {"repeat after the settle time", true, {}, writeRequest, 3000us, false, writeRequest},
        {"plain terminal, repeat sent at once", false, {}, writeRequest, 0us, false, writeRequest},
        {"plain terminal, repeat waiting", false, {}, writeRequest, 0us, true, writeRequest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinkOnTerminal rig(fast, c.echoes);
        if (!c.waitingBeforeSending.empty()) {
            rig.terminal.deliver(c.waitingBeforeSending);
        }
        if (c.atDrainTime) {
            // On a quiet line the link first asks for the time once the transmission has ended.
            rig.clock->onNextNow = [&] { rig.terminal.deliver(c.heard); };
        }
        rig.link.write(writeRequest);
        ASSERT_EQ(rig.terminal.receive(writeRequest.size()), writeRequest);
        rig.clock->advance(c.after);
        if (!c.atDrainTime) {
            rig.terminal.send(c.heard);
        }
        EXPECT_EQ(readSome(rig.link, c.expected.size()), c.expected);
        EXPECT_TRUE(rig.link.read(0.01).empty());
    }
}

// Saved attributes as a terminal in cooked mode leaves them, with flags open must clear.
termios2 cookedAttributes() {
    termios2 t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B38400 | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR | HUPCL;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VTIME] = 5;
    return t;
}

TEST(Termios2, RawAttributesForEachFrameAndRate) {
    struct Case {
        SerialConfiguration configuration;
        tcflag_t frame; // of CSIZE | PARENB | PARODD | CSTOPB
    };
    const Case cases[] = {
        {{14400, 8, Parity::even, 1}, CS8 | PARENB},
        {{250000, 8, Parity::none, 1}, CS8},
        {{1200, 7, Parity::odd, 2}, CS7 | PARENB | PARODD | CSTOPB},
        {{230400, 8, Parity::none, 2}, CS8 | CSTOPB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configuration.summary());
        termios2 t = Termios2::raw(cookedAttributes(), c.configuration);
        // Exactly the frame, receiver on, modem lines and flow control off, hang-up on close kept.
        EXPECT_EQ(t.c_cflag, c.frame | CREAD | CLOCAL | HUPCL | B9600);
        EXPECT_EQ(t.c_iflag, c.frame & PARENB ? INPCK : 0u); // nothing translated or held back
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 1);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_EQ(t.c_ospeed, 9600u);
        // Any rate (BOTHER), input speed following output; the rest stays.
        const auto rate = static_cast<speed_t>(c.configuration.baudRate);
        t = Termios2::withBaudRate(t, c.configuration.baudRate);
        EXPECT_EQ(t.c_cflag, c.frame | CREAD | CLOCAL | HUPCL | BOTHER);
        EXPECT_EQ(std::pair(t.c_ispeed, t.c_ospeed), std::pair(rate, rate));
    }
}

// On a pseudo-terminal the kernel ignores parity and character size; the rest must stick, and
// close must give the device back as it was found.
TEST(Termios2, OpenAppliesAndCloseRestores) {
    PseudoTerminal terminal;
    TerminalAttributes before;
    TerminalAttributes applied;
    TerminalAttributes after;
    ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), before), 0);
    SerialLink link(terminal.path(), {14400, 7, Parity::odd, 2});
    ASSERT_NO_THROW(link.open());
    ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), applied), 0);
    termios2 t = Termios2::fromAttributes(applied);
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_ospeed, 14400u);
    link.close();
    ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), after), 0);
    EXPECT_EQ(after, before);
}

} // namespace

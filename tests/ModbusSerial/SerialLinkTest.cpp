#include "ModbusSerial/SerialLink.h"
#include "ModbusSerial/PortAccess.h"
#include "ModbusSerial/Termios2.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <tuple>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using E = SerialLinkError;

const SerialConfiguration fast{115200, 8, Parity::none, 1};
const Bytes otherWrite = {0x01, 0x06, 0x00, 0x02, 0x00, 0x05, 0xE8, 0x09};

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(SerialLink, PathCheck) {
    for (const char* path : {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyAMA0",
                             "/dev/rfcomm0", "/dev/pts/3", "/dev/tty64", "/dev/ttyS0"}) {
        EXPECT_TRUE(SerialLink::isValidPath(path)) << path;
    }
    for (const char* path : {"/dev/pts/x", "/dev/pts/", "/dev/../tty", "/tmp/ttyUSB0", "/dev/tty/x",
                             "/dev/sda", "/dev/ttyUSB0/..", "/dev/tty..", "dev/ttyS0", "",
                             "/dev/tty", "/dev/tty0", "/dev/tty1", "/dev/tty63", "/dev/console"}) {
        EXPECT_FALSE(SerialLink::isValidPath(path)) << path;
    }
    EXPECT_TRUE(SerialLink::isValidPath("/dev/tty" + std::string(124, 'X')));  // 127 after /dev/
    EXPECT_FALSE(SerialLink::isValidPath("/dev/tty" + std::string(125, 'X'))); // 128
}

// Links are judged by their target: a by-id name reaches its adapter, a link to the user's own
// terminal does not. Errors name the path as the user gave it.
TEST(SerialLink, SymlinksAreResolvedBeforeThePathCheck) {
    PseudoTerminal terminal;
    const std::string folder = ::testing::TempDir() + "corvana-by-id-" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string byID = folder + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::string toTerminal = folder + "/usb-console";
    ASSERT_EQ(::symlink(terminal.path().c_str(), byID.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/tty", toTerminal.c_str()), 0);
    SerialLink link(byID, {});
    EXPECT_EQ(errorOf([&] { link.open(); }), std::nullopt);
    EXPECT_TRUE(link.isOpen());
    for (const std::string& path : {toTerminal, std::string("/dev/tty"), std::string("/dev/tty0"),
                                    std::string("/dev/console")}) {
        SerialLink refused(path, {});
        EXPECT_EQ(errorOf([&] { refused.open(); }), E(E::invalidPath, path)) << path;
    }
    ::unlink(byID.c_str());
    ::unlink(toTerminal.c_str());
    ::rmdir(folder.c_str());
}

TEST(SerialLink, OpenFailures) {
    PseudoTerminal terminal, held;
    SerialLink holder(held.path(), {});
    holder.open();
    // Path, whether a test device is allowed, configuration, and the error open gives.
    const std::tuple<std::string, bool, SerialConfiguration, E> cases[] = {
        {"/dev/null", false, {}, E(E::invalidPath, "/dev/null")}, // before the device is touched
        {"/dev/pts/999999", false, {}, E(E::openFailed, "/dev/pts/999999", ENOENT)},
        {"/dev/null", true, {}, E(E::configurationFailed, ENOTTY)},
        // Even for root, who passes TIOCEXCL.
        {held.path(),
         true,
         {},
         E(PortAccess::modemManagerRunning() ? E::busyProbing : E::busy, held.path())},
        {terminal.path(), false, {0, 8, Parity::even, 1}, E(E::unsupportedBaudRate, 0)},
    };
    for (const auto& [path, allowsTestDevice, configuration, error] : cases) {
        SerialLink link(path, configuration, allowsTestDevice);
        EXPECT_EQ(errorOf([&] { link.open(); }), error) << path;
        EXPECT_FALSE(link.isOpen());
    }
}

// A port the user may not open names the group that may, so the message can say which group to
// join.
TEST(SerialLink, RefusedPortNamesItsGroup) {
    PseudoTerminal terminal;
    ASSERT_EQ(::chmod(terminal.path().c_str(), 0), 0);
    // Root opens anything; a thread with another file-system user loses that right.
    const bool root = ::geteuid() == 0;
    if (root) {
        ::setfsuid(65534);
    }
    SerialLink link(terminal.path(), {});
    const auto error = errorOf([&] { link.open(); });
    if (root) {
        ::setfsuid(0);
    }
    const auto group = PortAccess::owningGroup(terminal.path());
    ASSERT_TRUE(group.has_value());
    EXPECT_EQ(error, E(E::accessDenied, terminal.path(), *group));
    EXPECT_FALSE(link.isOpen());
}

TEST(SerialLink, LifecycleBytesTimeOutAndDisconnection) {
    PseudoTerminal terminal;
    SerialLink link(terminal.path(), fast);
    EXPECT_EQ(errorOf([&] { (void)link.read(0.01); }), E(E::notOpen));
    link.open();
    EXPECT_EQ(errorOf([&] { link.open(); }), std::nullopt); // already open

    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.read(0.05).empty());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms); // waited the whole time-out

    link.close();
    link.close();
    EXPECT_EQ(errorOf([&] { link.write(readRequest); }), E(E::notOpen));

    // The far side goes.
    link.open();
    terminal.hangUp();
    EXPECT_EQ(errorOf([&] { (void)link.read(5); }), E(E::disconnected));
    EXPECT_EQ(errorOf([&] { link.write(readResponse); }), E(E::disconnected, EIO));
}

TEST(SerialLink, WritesWaitOneFrameGap) {
    LinkOnTerminal rig; // 9600 8E1
    auto& clock = *rig.clock;
    const auto gap = std::chrono::duration<double>(rig.link.frameGap());

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
// or just as the drain returns. A pseudo-terminal never echoes, so there a repeated
// identical request is heard however soon it follows the answer.
TEST(SerialLink, EchoIsDroppedAndRequestsKept) {
    // Name, echoing line, bytes heard, when, at drain time, bytes read.
    using Case = std::tuple<const char*, bool, Bytes, std::chrono::microseconds, bool, Bytes>;
    const Case cases[] = {
        {"immediate echo", true, writeRequest + readRequest, 0us, false, readRequest},
        {"echo 1 ms late", true, writeRequest + readRequest, 1000us, false, readRequest},
        {"request waiting at drain time", true, readRequest, 0us, true, readRequest},
        // Having seen one echo does not make the line an echoing one.
        {"echo, then repeated", true, writeRequest + writeRequest, 0us, false, writeRequest},
        {"another write sharing the first bytes", true, otherWrite, 0us, false, otherWrite},
        {"repeat after the settle time", true, writeRequest, 3000us, false, writeRequest},
        {"plain terminal, repeat sent at once", false, writeRequest, 0us, false, writeRequest},
    };
    for (const auto& [name, echoes, heard, after, atDrainTime, expected] : cases) {
        SCOPED_TRACE(name);
        LinkOnTerminal rig(fast, echoes);
        if (atDrainTime) {
            // On a quiet line the link first asks for the time once the transmission has ended.
            rig.clock->onNextNow = [&rig, &bytes = heard] { rig.terminal.deliver(bytes); };
        }
        rig.link.write(writeRequest);
        ASSERT_EQ(rig.terminal.receive(writeRequest.size()), writeRequest);
        rig.clock->advance(after);
        if (!atDrainTime) {
            rig.terminal.send(heard);
        }
        EXPECT_EQ(readSome(rig.link, expected.size()), expected);
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
    // The configuration and its bits of CSIZE | PARENB | PARODD | CSTOPB.
    const std::pair<SerialConfiguration, tcflag_t> cases[] = {
        {{14400, 8, Parity::even, 1}, CS8 | PARENB},
        {{250000, 8, Parity::none, 1}, CS8},
        {{1200, 7, Parity::odd, 2}, CS7 | PARENB | PARODD | CSTOPB},
        {{230400, 8, Parity::none, 2}, CS8 | CSTOPB},
    };
    for (const auto& [configuration, frame] : cases) {
        SCOPED_TRACE(configuration.summary());
        termios2 t = Termios2::raw(cookedAttributes(), configuration);
        // Exactly the frame, receiver on, modem lines and flow control off, hang-up on close kept.
        EXPECT_EQ(t.c_cflag, frame | CREAD | CLOCAL | HUPCL | B9600);
        EXPECT_EQ(t.c_iflag, frame & PARENB ? INPCK : 0u); // nothing translated or held back
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 1);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_EQ(t.c_ospeed, 9600u);
        // Any rate (BOTHER), input speed following output; the rest stays.
        const auto rate = static_cast<speed_t>(configuration.baudRate);
        t = Termios2::withBaudRate(t, configuration.baudRate);
        EXPECT_EQ(t.c_cflag, frame | CREAD | CLOCAL | HUPCL | BOTHER);
        EXPECT_EQ(std::pair(t.c_ispeed, t.c_ospeed), std::pair(rate, rate));
    }
}

// On a pseudo-terminal the kernel ignores parity and character size; the rest must stick, and
// close must give the device back as it was found.
TEST(Termios2, OpenAppliesAndCloseRestores) {
    PseudoTerminal terminal;
    TerminalAttributes before, applied, after;
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

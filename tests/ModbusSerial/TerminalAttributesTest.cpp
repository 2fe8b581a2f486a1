#include "ModbusSerial/SerialLink.h"
#include "ModbusSerial/Termios2.h"
#include "PseudoTerminal.h"

#include <gtest/gtest.h>

namespace {

// Saved attributes as a terminal in cooked mode leaves them, with flags open must clear.
termios2 cookedAttributes() {
    termios2 t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B38400 | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR | HUPCL;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;
    return t;
}

TEST(Termios2, FrameFlagsForEachSetting) {
    struct Case {
        SerialConfiguration configuration;
        tcflag_t size;
        bool parity;
        bool odd;
        bool twoStopBits;
    };
    const Case cases[] = {
        {{9600, 8, Parity::even, 1}, CS8, true, false, false},
        {{9600, 8, Parity::none, 1}, CS8, false, false, false},
        {{19200, 7, Parity::odd, 2}, CS7, true, true, true},
        {{19200, 8, Parity::none, 2}, CS8, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configuration.summary());
        termios2 t = Termios2::raw(cookedAttributes(), c.configuration);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ((t.c_cflag & PARENB) != 0, c.parity);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity);
        EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStopBits);
    }
}

TEST(Termios2, RawModeKeepsOnlyHangUpOnClose) {
    termios2 t = Termios2::raw(cookedAttributes(), {});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | CMSPAR), 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | HUPCL), tcflag_t(CREAD | CLOCAL | HUPCL));
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cflag & (CBAUD | CIBAUD), tcflag_t(B9600));
    EXPECT_EQ(t.c_ospeed, 9600u);
}

TEST(Termios2, ArbitraryRates) {
    for (int rate : {14400, 230400, 250000, 1200}) {
        termios2 t = Termios2::withBaudRate(Termios2::raw(cookedAttributes(), {}), rate);
        EXPECT_EQ(t.c_cflag & (CBAUD | CIBAUD), tcflag_t(BOTHER)) << rate;
        EXPECT_EQ(t.c_ospeed, speed_t(rate));
        EXPECT_EQ(t.c_ispeed, speed_t(rate));
        EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8)); // the frame is left alone
    }
}

// On a pseudo-terminal the kernel ignores parity and character size; the rest must stick, and
// close must give the device back as it was found.
TEST(Termios2, OpenAppliesAndCloseRestores) {
    PseudoTerminal terminal;
    TerminalAttributes before;
    ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), before), 0);
    for (SerialConfiguration configuration : {SerialConfiguration{9600, 8, Parity::even, 1},
                                              SerialConfiguration{9600, 8, Parity::even, 1},
                                              SerialConfiguration{14400, 7, Parity::odd, 2}}) {
        SCOPED_TRACE(configuration.summary());
        SerialLink link(terminal.path(), configuration);
        ASSERT_NO_THROW(link.open());
        TerminalAttributes applied;
        ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), applied), 0);
        termios2 t = Termios2::fromAttributes(applied);
        EXPECT_EQ(t.c_cflag & CSTOPB, configuration.stopBits == 2 ? tcflag_t(CSTOPB) : 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(t.c_ospeed, speed_t(configuration.baudRate));
        link.close();
        TerminalAttributes after;
        ASSERT_EQ(TerminalDevice::getAttributes(terminal.device(), after), 0);
        EXPECT_EQ(after, before);
    }
}

} // namespace

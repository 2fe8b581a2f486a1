#include "Localization/L10n.h"
#include "ModbusSerial/SerialLink.h"
#include "tests/support/InjectedFaults.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>

namespace {

using E = SerialLinkError;
using Faults = InjectedFaults;
const SerialConfiguration fast{.baudRate = 115200, .parity = Parity::none};

// Every test starts with nothing armed and leaves nothing armed.
class SerialLinkFaults : public testing::Test {
protected:
    void SetUp() override { Faults::reset(); }
    void TearDown() override { Faults::reset(); }

    Faults faults;
    L10n::ScopedLanguage english{Language::en};
};

// A failing transmission ends in the error its errno calls for, with the system's words kept.
TEST_F(SerialLinkFaults, WriteErrors) {
    struct Case {
        const char* name;
        std::function<void()> arm;
        E error;
    };
    const Case cases[] = {
        {"adapter gone", [] { Faults::write.arm(EIO); }, E(E::disconnected, EIO)},
        {"device gone", [] { Faults::write.arm(ENXIO); }, E(E::disconnected, ENXIO)},
        {"refused", [] { Faults::write.arm(EINVAL); }, E(E::writeFailed, EINVAL)},
        {"refused after a partial write",
         [] {
             Faults::shortWrite = 2;
             Faults::write.arm(EPERM, 1);
         },
         E(E::writeFailed, EPERM)},
        {"drain fails", [] { Faults::ioctl.arm(EIO); }, E(E::disconnected, EIO)},
        {"stalled output",
         [] {
             Faults::write.arm(EAGAIN);
             Faults::pollTimesOut = true;
         },
         E(E::timeout)},
        {"waiting for room fails",
         [] {
             Faults::write.arm(EAGAIN);
             Faults::poll.arm(EIO);
         },
         E(E::disconnected, EIO)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinkOnTerminal rig(fast);
        c.arm();
        const auto error = errorOf([&] { rig.link.write(readResponse); });
        ASSERT_EQ(error, c.error);
        if (error->code() != 0) {
            EXPECT_NE(error->message().find(E::systemText(error->code())), std::string::npos)
                << error->message();
        }
        Faults::reset();
    }
}

// Interrupted, full or partial writes and an interrupted drain still put the whole frame on the
// line, once.
TEST_F(SerialLinkFaults, InterruptedAndPartialWritesComplete) {
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"interrupted", [] { Faults::write.arm(EINTR); }},
        {"partial", [] { Faults::shortWrite = 3; }},
        {"full queue", [] { Faults::write.arm(EAGAIN); }},
        {"waiting for room interrupted",
         [] {
             Faults::write.arm(EAGAIN);
             Faults::poll.arm(EINTR);
         }},
        {"drain interrupted", [] { Faults::ioctl.arm(EINTR); }},
    };
    for (const auto& [name, arm] : cases) {
        SCOPED_TRACE(name);
        LinkOnTerminal rig(fast);
        arm();
        EXPECT_EQ(errorOf([&] { rig.link.write(readResponse); }), std::nullopt);
        EXPECT_EQ(rig.terminal.receive(readResponse.size()), readResponse);
        Faults::reset();
    }
}

// A read that fails reports the loss with the system's words; interruptions and an empty queue
// lose nothing of what arrived.
TEST_F(SerialLinkFaults, ReadErrorsAndInterruptions) {
    {
        LinkOnTerminal rig(fast);
        rig.terminal.deliver(readRequest);
        Faults::read.arm(EIO);
        const auto error = errorOf([&] { (void)rig.link.read(1); });
        ASSERT_EQ(error, E(E::disconnected, EIO));
        EXPECT_EQ(error->message(), "The adapter was disconnected. " + E::systemText(EIO) + ".");
    }
    {
        LinkOnTerminal rig(fast);
        Faults::poll.arm(ENOMEM);
        EXPECT_EQ(errorOf([&] { (void)rig.link.read(0.01); }), E(E::disconnected, ENOMEM));
    }
    const std::pair<const char*, std::function<void()>> harmless[] = {
        {"poll interrupted", [] { Faults::poll.arm(EINTR); }},
        {"read interrupted", [] { Faults::read.arm(EINTR); }},
        {"nothing there after all", [] { Faults::read.arm(EAGAIN); }},
    };
    for (const auto& [name, arm] : harmless) {
        SCOPED_TRACE(name);
        LinkOnTerminal rig(fast);
        rig.terminal.deliver(readRequest);
        arm();
        EXPECT_EQ(readSome(rig.link, readRequest.size()), readRequest);
        Faults::reset();
    }
}

// Opening fails cleanly, with the error number, when a terminal control fails.
TEST_F(SerialLinkFaults, OpenWithFailingControls) {
    for (int goodControls : {0, 1, 2}) { // exclusive use, reading, setting the attributes
        SCOPED_TRACE(goodControls);
        PseudoTerminal terminal;
        SerialLink link(terminal.path(), fast);
        Faults::ioctl.arm(ENOTTY, goodControls);
        EXPECT_EQ(errorOf([&] { link.open(); }), E(E::configurationFailed, ENOTTY));
        EXPECT_FALSE(link.isOpen());
        Faults::reset();
        EXPECT_EQ(errorOf([&] { link.open(); }), std::nullopt); // nothing was left behind
    }
}

} // namespace

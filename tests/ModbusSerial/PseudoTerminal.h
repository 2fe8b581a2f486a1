#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/SerialClock.h"
#include "ModbusSerial/TerminalDevice.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A pseudo-terminal standing in for a serial adapter: the link opens path(); the test plays the
// far end of the cable on the controller side. The test keeps the device side open, so a link
// closing never hangs the terminal up.
class PseudoTerminal {
public:
    PseudoTerminal() {
        controller_ = FileDescriptor(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        std::array<char, 128> name{};
        if (!controller_.isOpen() || ::grantpt(controller_.get()) != 0 ||
            ::unlockpt(controller_.get()) != 0 ||
            ::ptsname_r(controller_.get(), name.data(), name.size()) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        path_ = name.data();
        device_ = FileDescriptor(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        // Raw, or the terminal would echo what the far end sends.
        TerminalAttributes attributes;
        TerminalDevice::getAttributes(device_.get(), attributes);
        TerminalDevice::setAttributes(device_.get(), TerminalDevice::rawAttributes(attributes, {}));
    }

    const std::string& path() const { return path_; }
    int device() const { return device_.get(); }

    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(controller_.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // What the link sent, once `count` bytes are there (or nothing arrives for 2 s).
    Bytes receive(std::size_t count) {
        Bytes received;
        std::array<std::uint8_t, 512> buffer{};
        pollfd request{controller_.get(), POLLIN, 0};
        while (received.size() < count && ::poll(&request, 1, 2000) > 0) {
            ssize_t n = ::read(controller_.get(), buffer.data(), buffer.size());
            if (n <= 0) {
                break;
            }
            received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        }
        return received;
    }

    // Bytes sent travel to the device side asynchronously.
    void waitUntilDeviceHasInput() {
        pollfd request{device_.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&request, 1, 2000), 1);
    }

    void hangUp() { controller_.reset(); }

private:
    FileDescriptor controller_;
    FileDescriptor device_;
    std::string path_;
};

// Time stands still unless the test or a sleep moves it.
class FakeClock : public SerialClock {
public:
    TimePoint now() const override {
        if (auto action = std::exchange(onNextNow, nullptr)) {
            action();
        }
        return now_;
    }
    void sleepUntil(TimePoint time) override {
        sleeps.push_back(time);
        if (time > now_) {
            now_ = time;
        }
    }
    void advance(std::chrono::nanoseconds step) { now_ += step; }

    std::vector<TimePoint> sleeps;
    // Runs once, when the link next asks for the time: lets bytes arrive at a chosen moment.
    mutable std::function<void()> onNextNow;

private:
    TimePoint now_ = TimePoint() + std::chrono::hours(1);
};

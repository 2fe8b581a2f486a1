#pragma once

#include "ModbusSerial/SerialLink.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Frames the tests exchange. A function 06 answer repeats its request byte for byte, so an
// answer and its echo look alike.
inline const Bytes readRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
inline const Bytes readResponse = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B};
inline const Bytes writeRequest = {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};

// How long the tests wait for bytes in flight: generous, as CI runs them side by side on a
// loaded machine. Only a failing test ever waits this long.
inline constexpr std::chrono::milliseconds patience{10000};

// Reads until `count` bytes came or patience ran out.
inline Bytes readSome(SerialLink& link, std::size_t count) {
    Bytes received;
    for (auto giveUp = std::chrono::steady_clock::now() + patience;
         received.size() < count && std::chrono::steady_clock::now() < giveUp;) {
        Bytes chunk = link.read(0.05);
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    return received;
}

// The error `action` throws, if it throws one.
inline std::optional<SerialLinkError> errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SerialLinkError& error) {
        return error;
    }
    return std::nullopt;
}

// A pseudo-terminal standing in for a serial adapter: the link opens path(); the test plays the
// far end of the cable on the controller side. The test keeps the device side open, so a link
// closing never hangs the terminal up. Until a link opens it the terminal is cooked (it would
// echo), so tests send only to an open link. `wait` bounds every wait for bytes.
class PseudoTerminal {
public:
    explicit PseudoTerminal(std::chrono::milliseconds wait = patience)
        : wait_(wait) {
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
    }

    const std::string& path() const { return path_; }
    int device() const { return device_.get(); }

    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(controller_.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Sends, and waits until the bytes, which travel asynchronously, reached the device side.
    void deliver(const Bytes& bytes) {
        send(bytes);
        pollfd ready{device_.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, int(wait_.count())), 1);
    }

    // What the link sent, once `count` bytes are there or nothing more arrives within the wait.
    Bytes receive(std::size_t count) {
        Bytes received;
        std::array<std::uint8_t, 512> buffer{};
        pollfd ready{controller_.get(), POLLIN, 0};
        while (received.size() < count && ::poll(&ready, 1, int(wait_.count())) > 0) {
            ssize_t n = ::read(controller_.get(), buffer.data(), buffer.size());
            if (n <= 0) {
                break;
            }
            received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        }
        return received;
    }

    // The adapter is pulled: the terminal is gone for good.
    void hangUp() { controller_.reset(); }

    // The adapter is pulled and plugged back in under the same path: every open descriptor of
    // the device is hung up, the terminal itself stays. Needs CAP_SYS_ADMIN.
    bool hangUpDevice() {
        if (::ioctl(device_.get(), TIOCVHANGUP) != 0) {
            return false;
        }
        device_.reset(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        return device_.isOpen();
    }

private:
    std::chrono::milliseconds wait_;
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
        now_ = std::max(now_, time);
    }
    void advance(std::chrono::nanoseconds step) { now_ += step; }

    std::vector<TimePoint> sleeps;
    // Runs once, when the link next asks for the time: lets bytes arrive at a chosen moment.
    mutable std::function<void()> onNextNow;

private:
    TimePoint now_ = TimePoint() + std::chrono::hours(1);
};

// An open link on a pseudo-terminal, on a clock that stands still.
struct LinkOnTerminal {
    explicit LinkOnTerminal(SerialConfiguration configuration = {}, bool echoes = false)
        : link(terminal.path(), configuration, false, clock) {
        if (echoes) {
            link.forceEchoWindow(); // stands in for an adapter that echoes
        }
        link.open();
    }
    PseudoTerminal terminal;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    SerialLink link;
};

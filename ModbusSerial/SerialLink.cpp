#include "ModbusSerial/SerialLink.h"

#include "ModbusCore/SerialTiming.h"
#include "ModbusSerial/PortAccess.h"
#include "ModbusSerial/SystemCalls.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>

namespace {

using namespace std::chrono_literals;

// A transmission that cannot proceed this long has a stuck device behind it.
constexpr int writeStallMilliseconds = 1000;
// Input kept before a transmission; the rest waits in the device's own queue.
constexpr std::size_t pendingLimit = 4096;
constexpr std::size_t maxPathLength = 128;

enum class Step { opening, locking, configuring, settingRate, reading, writing };

SerialLinkError busyError(const std::string& path) {
    return SerialLinkError(PortAccess::modemManagerRunning() ? SerialLinkError::busyProbing
                                                             : SerialLinkError::busy,
                           path);
}

// The one place where an error number becomes the link's error.
SerialLinkError errorFor(Step step, int code, const std::string& path, int rate) {
    switch (step) {
    case Step::opening:
        if (code == EBUSY) {
            return busyError(path);
        }
        if (code == EACCES) {
            return SerialLinkError(SerialLinkError::accessDenied, path,
                                   PortAccess::owningGroup(path).value_or(std::string()));
        }
        return SerialLinkError(SerialLinkError::openFailed, path, code);
    case Step::locking:
        if (code == EBUSY || code == EWOULDBLOCK) {
            return busyError(path);
        }
        return SerialLinkError(SerialLinkError::configurationFailed, code);
    case Step::configuring:
        return SerialLinkError(SerialLinkError::configurationFailed, code);
    case Step::settingRate:
        return SerialLinkError(SerialLinkError::unsupportedBaudRate, rate);
    case Step::reading:
        // A removed adapter shows up as a hang-up, end of file or EIO alike.
        return SerialLinkError(SerialLinkError::disconnected, code);
    case Step::writing:
        if (code == EIO || code == ENXIO || code == ENODEV) {
            return SerialLinkError(SerialLinkError::disconnected, code);
        }
        return SerialLinkError(SerialLinkError::writeFailed, code);
    }
    return SerialLinkError(SerialLinkError::configurationFailed, code);
}

// poll's time-out: rounded up to whole milliseconds, at least 1.
int milliseconds(double seconds) {
    if (!(seconds * 1000 > 1)) {
        return 1;
    }
    if (seconds * 1000 >= INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(std::ceil(seconds * 1000));
}

// TIOCEXCL marks the terminal, not our descriptor, so it is undone when an open fails later.
class ExclusiveUse {
public:
    explicit ExclusiveUse(int fd)
        : fd_(fd) {}
    ~ExclusiveUse() {
        if (fd_ >= 0) {
            TerminalDevice::releaseExclusiveUse(fd_);
        }
    }
    ExclusiveUse(const ExclusiveUse&) = delete;
    ExclusiveUse& operator=(const ExclusiveUse&) = delete;
    void keep() { fd_ = -1; }

private:
    int fd_;
};

// Linux device numbers (Documentation/admin-guide/devices.txt): major 4 below minor 64 are the
// virtual consoles, major 5 minor 0 the controlling terminal and minor 1 the system console.
// Serving one would put the user's own terminal into raw, exclusive mode.
constexpr unsigned consoleMajor = 4;
constexpr unsigned firstSerialMinorOfConsoleMajor = 64;
constexpr unsigned alternateTTYMajor = 5;
constexpr unsigned controllingTerminalMinor = 0;
constexpr unsigned systemConsoleMinor = 1;

bool isConsoleDevice(unsigned deviceMajor, unsigned deviceMinor) {
    return (deviceMajor == consoleMajor && deviceMinor < firstSerialMinorOfConsoleMajor) ||
           (deviceMajor == alternateTTYMajor &&
            (deviceMinor == controllingTerminalMinor || deviceMinor == systemConsoleMinor));
}

// "tty" and "tty0" … "tty63" after "/dev/".
bool isConsoleName(std::string_view name) {
    constexpr std::string_view tty = "tty";
    if (name == tty) {
        return true;
    }
    const std::string_view number = name.substr(tty.size());
    if (number.empty() || number.size() > 2 || (number.size() == 2 && number[0] == '0') ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    int value = 0;
    for (char c : number) {
        value = value * 10 + (c - '0');
    }
    return value < static_cast<int>(firstSerialMinorOfConsoleMajor);
}

} // namespace

SerialLink::SerialLink(std::string path, SerialConfiguration configuration, bool allowsTestDevice)
    : SerialLink(std::move(path), configuration, allowsTestDevice, SerialClock::system()) {}

SerialLink::SerialLink(std::string path, SerialConfiguration configuration, bool allowsTestDevice,
                       std::shared_ptr<SerialClock> clock)
    : path_(std::move(path))
    , configuration_(configuration)
    , allowsTestDevice_(allowsTestDevice)
    , clock_(clock ? std::move(clock) : SerialClock::system()) {}

SerialLink::~SerialLink() {
    close();
}

void SerialLink::open() {
    if (isOpen()) {
        return;
    }
    auto fail = [this](Step step, int code) {
        throw errorFor(step, code, path_, configuration_.baudRate);
    };
    if (!allowsTestDevice_ && !isServablePath(path_)) {
        throw SerialLinkError(SerialLinkError::invalidPath, path_);
    }

    FileDescriptor fd(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isOpen()) {
        fail(Step::opening, errno);
    }
    // The lock comes first so that exclusive mode is never set on a port someone else holds.
    // Root passes TIOCEXCL; the lock, which cooperating serial programs take too, stops it.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        fail(Step::locking, errno);
    }
    if (int error = TerminalDevice::takeExclusiveUse(fd.get())) {
        fail(Step::locking, error);
    }
    ExclusiveUse exclusive(fd.get());

    TerminalAttributes saved;
    if (int error = TerminalDevice::getAttributes(fd.get(), saved)) {
        fail(Step::configuring, error);
    }
    if (int error = TerminalDevice::setAttributes(
            fd.get(), TerminalDevice::rawAttributes(saved, configuration_))) {
        fail(Step::configuring, error);
    }
    if (int error = TerminalDevice::setBaudRate(fd.get(), configuration_.baudRate)) {
        // A test device (a pseudo-terminal) stays at 9600 baud.
        if (!allowsTestDevice_) {
            TerminalDevice::setAttributes(fd.get(), saved);
            fail(Step::settingRate, error);
        }
    }
    TerminalDevice::flushInputAndOutput(fd.get());

    exclusive.keep();
    originalAttributes_ = saved;
    lastActivity_ = TimePoint::min();
    echoFilter_ = EchoFilter();
    pending_.clear();
    isPseudoTerminal_ = TerminalDevice::isPseudoTerminal(fd.get());
    fd_ = std::move(fd);
}

void SerialLink::close() noexcept {
    if (!isOpen()) {
        return;
    }
    TerminalDevice::setAttributes(fd_.get(), originalAttributes_);
    TerminalDevice::releaseExclusiveUse(fd_.get());
    ::flock(fd_.get(), LOCK_UN);
    fd_.reset();
    echoFilter_ = EchoFilter();
    pending_.clear();
}

double SerialLink::frameGap() const {
    // A device refusing a rate below 1 runs at 9600 baud (test devices only).
    int rate = configuration_.baudRate >= 1 ? configuration_.baudRate : 9600;
    return SerialTiming::frameGap(rate, configuration_.characterBits());
}

Bytes SerialLink::read(double timeout) {
    if (!isOpen()) {
        throw SerialLinkError(SerialLinkError::notOpen);
    }
    if (pending_.empty()) {
        keep(echoFilter_.expire(clock_->now()));
    }
    if (!pending_.empty()) {
        return takePending();
    }

    int wait = milliseconds(timeout);
    if (auto deadline = echoFilter_.deadline()) {
        // Wake when the echo window closes, to hand on what it holds.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - clock_->now());
        wait = std::clamp(static_cast<int>(std::min<std::int64_t>(left.count(), wait)), 1, wait);
    }
    pollfd request{fd_.get(), POLLIN, 0};
    int ready = SystemCalls::current().poll(&request, 1, wait);
    if (ready < 0) {
        if (errno == EINTR) {
            return {};
        }
        throw errorFor(Step::reading, errno, path_, configuration_.baudRate);
    }
    if (ready == 0) {
        keep(echoFilter_.expire(clock_->now()));
        return takePending();
    }
    if (request.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        throw errorFor(Step::reading, 0, path_, configuration_.baudRate);
    }
    std::size_t count = readAvailable();
    if (count > 0) {
        auto now = clock_->now();
        lastActivity_ = now;
        keep(echoFilter_.feed(ByteView(buffer_.data(), count), now));
    }
    return takePending();
}

void SerialLink::write(ByteView frame) {
    write(frame, Pacing::afterFrameGap);
}

void SerialLink::write(ByteView frame, Pacing pacing) {
    if (!isOpen()) {
        throw SerialLinkError(SerialLinkError::notOpen);
    }
    // No transmission starts before the line has been silent for t3.5 (Modbus over serial line
    // V1.02, 2.5.1.1).
    if (pacing == Pacing::afterFrameGap && lastActivity_ != TimePoint::min()) {
        auto gap =
            std::chrono::ceil<std::chrono::nanoseconds>(std::chrono::duration<double>(frameGap()));
        auto earliest = lastActivity_ + gap;
        if (clock_->now() < earliest) {
            clock_->sleepUntil(earliest);
        }
    }
    const bool watching = watchesEcho();
    if (watching) {
        collectInputBeforeSending();
    }
    writeAll(frame);
    if (int error = TerminalDevice::drain(fd_.get())) {
        throw errorFor(Step::writing, error, path_, configuration_.baudRate);
    }
    if (watching) {
        collectInputAfterSending(frame);
    } else {
        lastActivity_ = clock_->now();
    }
}

bool SerialLink::isValidPath(std::string_view path) {
    constexpr std::string_view dev = "/dev/";
    constexpr std::string_view pts = "pts/";
    if (!path.starts_with(dev)) {
        return false;
    }
    std::string_view name = path.substr(dev.size());
    if (name.starts_with(pts)) {
        std::string_view number = name.substr(pts.size());
        return !number.empty() && number.size() < maxPathLength &&
               std::all_of(number.begin(), number.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
    }
    return (name.starts_with("tty") || name.starts_with("rfcomm")) &&
           name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos &&
           name.size() < maxPathLength && !isConsoleName(name);
}

bool SerialLink::isServablePath(const std::string& path) {
    std::array<char, PATH_MAX> resolved{};
    if (::realpath(path.c_str(), resolved.data()) == nullptr) {
        return isValidPath(path); // opening it fails with the reason
    }
    if (!isValidPath(resolved.data())) {
        return false;
    }
    // The name alone does not tell: a console may have been given another name by a rule.
    struct stat status {};
    return ::stat(resolved.data(), &status) != 0 || !S_ISCHR(status.st_mode) ||
           !isConsoleDevice(major(status.st_rdev), minor(status.st_rdev));
}

std::size_t SerialLink::readAvailable() {
    for (;;) {
        ssize_t count = SystemCalls::current().read(fd_.get(), buffer_.data(), buffer_.size());
        if (count > 0) {
            return static_cast<std::size_t>(count);
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        throw errorFor(Step::reading, count < 0 ? errno : 0, path_, configuration_.baudRate);
    }
}

void SerialLink::collectInputBeforeSending() {
    // What arrived before the transmission cannot be its echo, whatever it looks like (a
    // master repeating a request that timed out, for one).
    keep(echoFilter_.release());
    while (pending_.size() < pendingLimit) {
        std::size_t count = readAvailable();
        if (count == 0) {
            break;
        }
        lastActivity_ = clock_->now();
        pending_.insert(pending_.end(), buffer_.begin(), buffer_.begin() + count);
    }
}

void SerialLink::collectInputAfterSending(ByteView frame) {
    auto drained = clock_->now();
    echoFilter_.expect(frame, drained + echoSettleTime);
    // Input already waiting arrived during the transmission; judged now, before this thread
    // can be held up elsewhere.
    while (std::size_t count = readAvailable()) {
        keep(echoFilter_.feed(ByteView(buffer_.data(), count), drained));
        if (count < buffer_.size()) {
            break;
        }
    }
    lastActivity_ = drained;
}

void SerialLink::writeAll(ByteView frame) {
    std::size_t offset = 0;
    while (offset < frame.size()) {
        ssize_t count =
            SystemCalls::current().write(fd_.get(), frame.data() + offset, frame.size() - offset);
        if (count > 0) {
            offset += static_cast<std::size_t>(count);
            continue;
        }
        int error = count < 0 ? errno : EAGAIN;
        if (error == EINTR) {
            continue;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            pollfd request{fd_.get(), POLLOUT, 0};
            const int ready = SystemCalls::current().poll(&request, 1, writeStallMilliseconds);
            if (ready == 0) {
                throw SerialLinkError(SerialLinkError::timeout);
            }
            if (ready < 0 && errno != EINTR) {
                throw errorFor(Step::writing, errno, path_, configuration_.baudRate);
            }
            continue;
        }
        throw errorFor(Step::writing, error, path_, configuration_.baudRate);
    }
}

void SerialLink::keep(const Bytes& bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

Bytes SerialLink::takePending() {
    auto count = static_cast<std::ptrdiff_t>(std::min(pending_.size(), bufferSize));
    Bytes out(pending_.begin(), pending_.begin() + count);
    pending_.erase(pending_.begin(), pending_.begin() + count);
    return out;
}

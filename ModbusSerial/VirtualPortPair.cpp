#include "ModbusSerial/VirtualPortPair.h"

#include "ModbusSerial/SystemCalls.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace {

[[noreturn]] void throwSystemError(VirtualPortPairError::Step step, const char* what) {
    throw VirtualPortPairError(step, errno, what);
}

void setFlags(int fd, int statusFlags) {
    int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status | statusFlags) != 0 ||
        ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        throwSystemError(VirtualPortPairError::makingTerminals, "fcntl");
    }
}

// Moves what one side's user wrote to the other side. When the other side's buffer is full
// (nobody reading there), the rest is dropped, as on a cable without a listener.
void copy(int from, int to) {
    const SystemCalls& calls = SystemCalls::current();
    std::array<char, 4096> buffer;
    ssize_t count = 0;
    do {
        count = calls.read(from, buffer.data(), buffer.size());
    } while (count < 0 && errno == EINTR);
    if (count <= 0) {
        return;
    }
    ssize_t offset = 0;
    while (offset < count) {
        ssize_t written =
            calls.write(to, buffer.data() + offset, static_cast<size_t>(count - offset));
        if (written > 0) {
            offset += written;
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

constexpr std::string_view pseudoTerminalFolder = "/dev/pts/";
constexpr int maxLinkAttempts = 100;

// What the symlink at path points to; empty when it is none.
std::string linkTarget(const std::string& path) {
    std::array<char, 256> target{};
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size() - 1);
    return length > 0 ? std::string(target.data(), static_cast<std::size_t>(length)) : "";
}

} // namespace

VirtualPortPair::VirtualPortPair()
    : VirtualPortPair(std::string()) {}

VirtualPortPair::VirtualPortPair(std::string linkPath)
    : server_(makeEnd())
    , master_(makeEnd())
    , linkPath_(std::move(linkPath)) {
    stop_ = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop_.isOpen()) {
        throwSystemError(VirtualPortPairError::startingThread, "eventfd");
    }
    makeLink();
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        removeLink();
        throw VirtualPortPairError(VirtualPortPairError::startingThread, error.code().value(),
                                   "thread");
    }
}

VirtualPortPair::~VirtualPortPair() {
    std::uint64_t one = 1;
    // Cannot fail: an eventfd write only overflows after 2^64 - 2 of them.
    [[maybe_unused]] auto written = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
    removeLink();
}

VirtualPortPair::End VirtualPortPair::makeEnd() {
    // Raw from the start: a terminal in its default cooked mode would echo what the other side
    // sends and hold bytes back until a newline.
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;
    ::cfsetspeed(&raw, B9600);
    int controller = -1;
    int device = -1;
    if (::openpty(&controller, &device, nullptr, &raw, nullptr) != 0) {
        throwSystemError(VirtualPortPairError::makingTerminals, "openpty");
    }
    End end{FileDescriptor(controller), FileDescriptor(device), {}};
    setFlags(controller, O_NONBLOCK);
    setFlags(device, 0);
    std::array<char, 128> name{};
    if (::ttyname_r(device, name.data(), name.size()) != 0) {
        throwSystemError(VirtualPortPairError::makingTerminals, "ttyname_r");
    }
    end.path = name.data();
    return end;
}

void VirtualPortPair::makeLink() {
    if (linkPath_.empty()) {
        return;
    }
    // Only a link left by an earlier pair (one into /dev/pts/) may be replaced; anything else
    // at the path is someone's and stays.
    struct stat status {};
    if (::lstat(linkPath_.c_str(), &status) == 0 &&
        (!S_ISLNK(status.st_mode) || !linkTarget(linkPath_).starts_with(pseudoTerminalFolder))) {
        throw VirtualPortPairError(VirtualPortPairError::linkPathTaken, EEXIST, linkPath_);
    }
    // Made under a name of its own and renamed into place, so the path never points elsewhere
    // in between and a stale link is replaced in one step.
    for (int attempt = 0;; ++attempt) {
        const std::string temporary =
            linkPath_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (::symlink(master_.path.c_str(), temporary.c_str()) != 0) {
            if (errno == EEXIST && attempt < maxLinkAttempts) {
                continue;
            }
            throwSystemError(VirtualPortPairError::makingLink, "symlink");
        }
        if (::rename(temporary.c_str(), linkPath_.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            throw VirtualPortPairError(VirtualPortPairError::makingLink, error, linkPath_);
        }
        return;
    }
}

void VirtualPortPair::removeLink() noexcept {
    if (linkPath_.empty()) {
        return;
    }
    // Only our own link: someone may have replaced it meanwhile.
    if (linkTarget(linkPath_) == master_.path) {
        ::unlink(linkPath_.c_str());
    }
}

void VirtualPortPair::run() {
    std::array<pollfd, 3> fds = {{{server_.controller.get(), POLLIN, 0},
                                  {master_.controller.get(), POLLIN, 0},
                                  {stop_.get(), POLLIN, 0}}};
    for (;;) {
        if (SystemCalls::current().poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[2].revents != 0) {
            return;
        }
        for (std::size_t side = 0; side < 2; ++side) {
            short events = fds[side].revents;
            if (events & POLLIN) {
                copy(fds[side].fd, fds[1 - side].fd);
            } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
                // Cannot happen while the device side is held open; never spin on it.
                fds[side].fd = -1;
            }
        }
    }
}

#include "Corvana/model/SignalPipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t writeEnd = -1;

} // namespace

SignalPipe::SignalPipe() {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readEnd_ = ends[0];
    writeEnd = ends[1];
    struct sigaction action = {};
    action.sa_handler = &SignalPipe::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < stopSignals.size(); ++i) {
        ::sigaction(stopSignals[i], &action, &previous_[i]);
    }
}

SignalPipe::~SignalPipe() {
    if (readEnd_ < 0) {
        return;
    }
    for (std::size_t i = 0; i < stopSignals.size(); ++i) {
        ::sigaction(stopSignals[i], &previous_[i], nullptr);
    }
    ::close(writeEnd);
    writeEnd = -1;
    ::close(readEnd_);
}

void SignalPipe::drain() const {
    std::array<char, 16> buffer{};
    while (::read(readEnd_, buffer.data(), buffer.size()) > 0) {
    }
}

void SignalPipe::handle(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

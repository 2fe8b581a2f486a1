#include "Corvana/model/SignalPipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler's copy of the write end, which the pipe's FileDescriptor owns.
volatile std::sig_atomic_t writeEnd = -1;

} // namespace

SignalPipe::SignalPipe() {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = errno;
        return;
    }
    readEnd_.reset(ends[0]);
    writeEnd_.reset(ends[1]);
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
    if (!readEnd_.isOpen()) {
        return;
    }
    for (std::size_t i = 0; i < stopSignals.size(); ++i) {
        ::sigaction(stopSignals[i], &previous_[i], nullptr);
    }
    writeEnd = -1; // before the descriptor goes, so no handler writes to a reused number
}

void SignalPipe::drain() const {
    std::array<char, 16> buffer{};
    while (::read(readEnd_.get(), buffer.data(), buffer.size()) > 0) {
    }
}

void SignalPipe::handle(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

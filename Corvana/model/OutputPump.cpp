#include "Corvana/model/OutputPump.h"

#include <algorithm>
#include <cerrno>

#include <limits.h>
#include <poll.h>
#include <unistd.h>

namespace {

// How often a writer waiting for a stalled reader looks whether it should give up.
constexpr int abandonCheckMilliseconds = 100;

} // namespace

OutputPump::OutputPump(Sink sink, std::size_t maxWaitingBytes, Notice notice)
    : sink_(std::move(sink))
    , maxWaitingBytes_(maxWaitingBytes)
    , notice_(std::move(notice))
    , thread_([this] { run(); }) {}

OutputPump::~OutputPump() {
    finish(std::chrono::milliseconds(0));
}

void OutputPump::write(std::string_view line) {
    if (failed_) {
        return;
    }
    {
        const std::lock_guard guard(lock_);
        if (stopping_) {
            return;
        }
        if (waiting_.size() + line.size() > maxWaitingBytes_) {
            ++dropped_;
            return;
        }
        if (dropped_ > 0) {
            waiting_ += notice_(dropped_);
            dropped_ = 0;
        }
        waiting_.append(line);
    }
    wake_.notify_one();
}

bool OutputPump::finish(std::chrono::milliseconds patience) {
    std::unique_lock guard(lock_);
    if (!thread_.joinable()) {
        return waiting_.empty() && !writing_;
    }
    if (dropped_ > 0) {
        waiting_ += notice_(dropped_);
        dropped_ = 0;
    }
    wake_.notify_one();
    const bool flushed = drained_.wait_for(
        guard, patience, [this] { return (waiting_.empty() && !writing_) || failed_; });
    stopping_ = true;
    abandon_ = true;
    guard.unlock();
    wake_.notify_one();
    thread_.join(); // the sink gives up within a tenth of a second
    return flushed && !failed_;
}

void OutputPump::run() {
    std::unique_lock guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        std::string text;
        text.swap(waiting_);
        writing_ = true;
        guard.unlock();
        const bool written = failed_ || sink_(text, abandon_);
        guard.lock();
        writing_ = false;
        if (!written && !abandon_ && !failed_) {
            failed_ = true;
            waiting_.clear();
            guard.unlock();
            if (onFailure) {
                onFailure();
            }
            guard.lock();
        }
        if (waiting_.empty()) {
            drained_.notify_all();
        }
    }
}

OutputPump::Sink OutputPump::fileSink(int fd) {
    return [fd](std::string_view text, const std::atomic<bool>& abandon) {
        while (!text.empty()) {
            pollfd ready{fd, POLLOUT, 0};
            const int polled = ::poll(&ready, 1, abandonCheckMilliseconds);
            if (abandon) {
                return false;
            }
            if (polled < 0 && errno != EINTR) {
                return false;
            }
            if (polled <= 0) {
                continue;
            }
            // A pipe that polls writable takes PIPE_BUF bytes without blocking.
            const std::size_t piece = std::min<std::size_t>(text.size(), PIPE_BUF);
            const ssize_t count = ::write(fd, text.data(), piece);
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (count <= 0) {
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(count));
        }
        return true;
    };
}

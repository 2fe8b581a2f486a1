#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// Hands text to a thread that writes it, so the caller (the event loop of `corvana serve`) never
// waits for a slow or stalled reader of its output. The text waiting is bounded: what does not
// fit is left out and counted, and the next text that fits is preceded by a notice saying how
// many lines were left out.
class OutputPump {
public:
    // Writes all of text or answers false (the output is gone). It may wait, but must give up
    // once `abandon` is set.
    using Sink = std::function<bool(std::string_view text, const std::atomic<bool>& abandon)>;
    // The notice line (with its line break) for a count of lines left out.
    using Notice = std::function<std::string(std::uint64_t lines)>;

    OutputPump(Sink sink, std::size_t maxWaitingBytes, Notice notice);
    // Waits for nothing: what is still waiting is abandoned (finish first to flush it).
    ~OutputPump();

    OutputPump(const OutputPump&) = delete;
    OutputPump& operator=(const OutputPump&) = delete;

    // Queues one line (its line break included); never blocks.
    void write(std::string_view line);
    // Waits at most `patience` for everything queued to be written; then the thread ends and
    // the rest is abandoned. Answers whether everything was written.
    bool finish(std::chrono::milliseconds patience);
    // Whether the sink failed (the reader went away); later lines are dropped quietly.
    bool failed() const { return failed_; }
    // Called once, on the writing thread, when the sink fails.
    std::function<void()> onFailure;

    // Writes to a file descriptor that may block (a pipe, a terminal) in pieces the descriptor
    // accepts without blocking, polling so that abandon is seen within a tenth of a second.
    static Sink fileSink(int fd);

private:
    void run();

    const Sink sink_;
    const std::size_t maxWaitingBytes_;
    const Notice notice_;

    std::mutex lock_;
    std::condition_variable wake_;    // something to write, or stop
    std::condition_variable drained_; // nothing left waiting
    std::string waiting_;
    std::uint64_t dropped_ = 0;
    bool writing_ = false;
    bool stopping_ = false;
    std::atomic<bool> abandon_{false};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

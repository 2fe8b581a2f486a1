#include "Corvana/model/EventQueue.h"
#include "Corvana/model/OutputPump.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A flood beyond the capacity is counted, not queued; the port's start and loss always get
// through, and a write left out asks for the live values to be read again.
TEST(EventQueue, KeepsStateEventsAndCountsWhatAFloodLeavesOut) {
    EventQueue queue(4);
    EXPECT_TRUE(queue.push(ServerEvent::started())); // idle: the caller schedules a take
    EXPECT_FALSE(queue.push(ServerEvent::request(1, {0x03}, {})));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(queue.push(ServerEvent::otherUnit(9, {})));
    }
    // Full from here.
    EXPECT_FALSE(queue.push(ServerEvent::response(1, {0x83, 0x02}, {}, false)));
    EXPECT_FALSE(queue.push(ServerEvent::response(1, {0x03, 0x00}, {}, false)));
    EXPECT_FALSE(queue.push(ServerEvent::otherUnit(9, {})));
    EXPECT_FALSE(queue.push(ServerEvent::garbage({0xFF})));
    EXPECT_FALSE(queue.push(ServerEvent::wrote({})));
    EXPECT_FALSE(queue.push(ServerEvent::serialLost("/dev/pts/9")));

    EventQueue::Batch first = queue.take(3);
    ASSERT_EQ(first.events.size(), 3u);
    EXPECT_TRUE(first.events[0].is<ServerEvent::Started>());
    EXPECT_TRUE(first.more);
    EXPECT_EQ(first.dropped.counts,
              (ServerStatistics{.responses = 2, .exceptions = 1, .otherUnits = 1, .errors = 1}));
    EXPECT_EQ(first.dropped.lines, 3u);
    EXPECT_EQ(first.dropped.busTraffic, 1u);
    EXPECT_TRUE(first.dropped.writes);

    EventQueue::Batch second = queue.take(3);
    ASSERT_EQ(second.events.size(), 2u);
    EXPECT_TRUE(second.events[1].is<ServerEvent::SerialLost>());
    EXPECT_FALSE(second.more);
    EXPECT_FALSE(second.dropped.any());
    EXPECT_TRUE(queue.push(ServerEvent::started())); // idle again
}

// A sink that waits until the test opens its gate and collects what it is given.
struct GatedSink {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;
    std::string written;

    OutputPump::Sink sink() {
        return [this](std::string_view text, const std::atomic<bool>& abandon) {
            std::unique_lock guard(lock);
            opened.wait(guard, [&] { return open || abandon; });
            written += text;
            return true;
        };
    }
    void release() {
        {
            const std::lock_guard guard(lock);
            open = true;
        }
        opened.notify_all();
    }
};

TEST(OutputPump, AStalledReaderCostsBoundedMemoryAndTheRestIsCounted) {
    GatedSink gated;
    OutputPump pump(gated.sink(), 100,
                    [](std::uint64_t lines) { return std::to_string(lines) + " left out\n"; });
    // 9-byte lines: the writer holds the first ones, at most 100 bytes wait, the rest is left out.
    for (int i = 0; i < 1000; ++i) {
        char line[24];
        std::snprintf(line, sizeof line, "line %03d\n", i);
        pump.write(line);
    }
    gated.release();
    EXPECT_TRUE(pump.finish(10s));
    // Every line is either written or counted in a notice.
    const std::string& written = gated.written;
    EXPECT_TRUE(written.starts_with("line 000\n"));
    EXPECT_TRUE(written.ends_with(" left out\n")) << written;
    std::size_t accounted = 0;
    std::istringstream text(written);
    for (std::string line; std::getline(text, line);) {
        accounted += line.starts_with("line ") ? 1 : std::stoul(line);
    }
    EXPECT_EQ(accounted, 1000u) << written;
    EXPECT_LE(written.size(), 250u);
}

TEST(OutputPump, AFullPipeNeverBlocksTheCallerAndFinishGivesUp) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    std::atomic<int> failures = 0;
    {
        // More may wait than the pipe holds, so the writer is stuck at the end.
        OutputPump pump(OutputPump::fileSink(ends[1]), 1 << 20,
                        [](std::uint64_t) { return std::string("dropped\n"); });
        pump.onFailure = [&] { ++failures; };
        const std::string line(1000, 'x');
        for (int i = 0; i < 10'000; ++i) { // 10 MB into a pipe nobody reads
            pump.write(line + "\n");
        }
        EXPECT_FALSE(pump.finish(200ms));
    }
    EXPECT_EQ(failures, 0); // stalled is not gone
    ::close(ends[1]);
    ::close(ends[0]);

    // A reader that went away is a failure, reported once.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    OutputPump pump(OutputPump::fileSink(ends[1]), 1 << 16,
                    [](std::uint64_t) { return std::string(); });
    pump.onFailure = [&] { ++failures; };
    pump.write("one\n");
    pump.write("two\n");
    pump.finish(10s);
    EXPECT_TRUE(pump.failed());
    EXPECT_EQ(failures, 1);
    ::close(ends[1]);
    std::signal(SIGPIPE, previous);
}

} // namespace

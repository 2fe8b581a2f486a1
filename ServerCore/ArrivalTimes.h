#pragma once

#include "ServerCore/MasterReport.h"

#include <chrono>
#include <cstddef>
#include <deque>

// When the bytes the frame splitter holds arrived, read by read, so that a frame taken from the
// front of the splitter gets the times of its first and last byte and the silences inside it.
// A read returns as soon as bytes came, so its time stands for theirs. The engine thread's own.
class ArrivalTimes {
public:
    using TimePoint = MasterReport::TimePoint;

    // Silences longer than characterGap (t1.5) inside a frame are counted.
    explicit ArrivalTimes(std::chrono::nanoseconds characterGap)
        : characterGap_(characterGap) {}

    void arrived(std::size_t count, TimePoint when);
    // The splitter holds `buffered` bytes: forget the times of any older ones it dropped.
    void keepNewest(std::size_t buffered);
    // The times of the oldest `count` bytes, which leave; `fallback` when none are known.
    MasterReport::Arrival take(std::size_t count, TimePoint fallback);

private:
    struct Read {
        std::size_t count;
        TimePoint when;
    };
    std::chrono::nanoseconds characterGap_;
    std::deque<Read> reads_; // oldest first; bounded by the splitter's buffer
    std::size_t total_ = 0;
};

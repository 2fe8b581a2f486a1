#pragma once

#include "ModbusCore/Bytes.h"

#include <chrono>
#include <cstddef>
#include <optional>

// Some two-wire RS-485 adapters hear their own transmission. After a frame is sent, input that
// repeats it from its first byte and arrives by the deadline (the end of the transmission plus a
// settle time) is that echo and is dropped; every other byte is handed on in order. Each frame
// is judged on its own, so a line is never assumed to echo: a master's next request, even one
// already waiting when the transmission ends, gets through.
//
// Pure: the caller reads the device and says when the bytes were read.
class EchoFilter {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Starts watching for the echo of `frame` (nothing to watch for an empty frame). Bytes still
    // held from an earlier frame are returned, as they were not its echo.
    Bytes expect(ByteView frame, TimePoint deadline);

    // Stops watching; returns the bytes held so far.
    Bytes release();

    // Bytes read at `time`; returns those that are not echo, in order. Bytes that so far match
    // the frame are held until it is clear whether they are its echo.
    Bytes feed(ByteView bytes, TimePoint time);

    // Once the deadline has passed, the held bytes (a partial match) are not an echo: returns
    // them and stops watching.
    Bytes expire(TimePoint time);

    // The time until which bytes are being watched for; nullopt when not watching.
    std::optional<TimePoint> deadline() const;

    std::size_t heldCount() const { return matched_; }

private:
    Bytes stopWatching(ByteView rest);

    Bytes frame_;
    std::size_t matched_ = 0;
    TimePoint deadline_{};
    bool watching_ = false;
};

#include "ModbusSerial/EchoFilter.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using TimePoint = EchoFilter::TimePoint;

const TimePoint sent = TimePoint() + 1h; // end of the transmission
const TimePoint deadline = sent + 2ms;   // end of the echo window
const Bytes frame = {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};
const Bytes request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes otherWrite = {0x01, 0x06, 0x00, 0x02, 0x00, 0x05, 0xE8, 0x09};

struct Chunk {
    Bytes bytes;
    std::chrono::microseconds after; // read this long after the transmission ended
};

struct Case {
    const char* name;
    std::vector<Chunk> chunks;
    Bytes handedOn;
};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TEST(EchoFilter, DropsOnlyTheEcho) {
    const Bytes head(frame.begin(), frame.begin() + 3);
    const Bytes tail(frame.begin() + 3, frame.end());
    const Case cases[] = {
        {"immediate echo", {{frame, 0us}}, {}},
        {"echo 1 ms late", {{frame, 1000us}}, {}},
        {"echo in pieces", {{head, 0us}, {tail, 1500us}}, {}},
        {"echo then request", {{join({frame, request}), 0us}}, request},
        {"request waiting at drain time", {{request, 0us}}, request},
        {"request sharing the first bytes",
         {{Bytes(otherWrite.begin(), otherWrite.begin() + 3), 0us},
          {Bytes(otherWrite.begin() + 3, otherWrite.end()), 100us}},
         otherWrite},
        {"repeat after the window", {{frame, 2500us}}, frame},
        {"partial echo never completed", {{head, 0us}, {request, 3000us}}, join({head, request})},
        {"echo followed by the same frame", {{frame, 0us}, {frame, 500us}}, frame},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EchoFilter filter;
        EXPECT_TRUE(filter.expect(frame, deadline).empty());
        Bytes handedOn;
        for (const auto& chunk : c.chunks) {
            auto time = sent + chunk.after;
            auto out = filter.expire(time);
            handedOn.insert(handedOn.end(), out.begin(), out.end());
            out = filter.feed(chunk.bytes, time);
            handedOn.insert(handedOn.end(), out.begin(), out.end());
        }
        auto out = filter.expire(deadline + 1us);
        handedOn.insert(handedOn.end(), out.begin(), out.end());
        EXPECT_EQ(handedOn, c.handedOn);
        EXPECT_FALSE(filter.deadline());
    }
}

TEST(EchoFilter, EveryFrameIsJudgedAfresh) {
    EchoFilter filter;
    EXPECT_EQ(filter.feed(frame, sent), frame); // nothing sent yet
    filter.expect(frame, deadline);
    EXPECT_TRUE(filter.feed(frame, sent).empty());
    // Having seen one echo does not make the line an echoing one.
    EXPECT_EQ(filter.feed(frame, sent + 1ms), frame);
    // A new frame releases what was held for the previous one.
    filter.expect(frame, deadline);
    EXPECT_TRUE(filter.feed(Bytes{0x01, 0x06}, sent).empty());
    EXPECT_EQ(filter.heldCount(), 2u);
    EXPECT_EQ(filter.expect(request, deadline), (Bytes{0x01, 0x06}));
    EXPECT_TRUE(filter.expect({}, deadline).empty());
    EXPECT_FALSE(filter.deadline()); // nothing to watch for an empty frame
}

} // namespace

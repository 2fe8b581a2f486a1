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

// Bytes read at the end of the transmission, then more read `after` it.
TEST(EchoFilter, DropsOnlyTheEcho) {
    struct Case {
        const char* name;
        Bytes first;
        Bytes second;
        std::chrono::microseconds after;
        Bytes handedOn;
    };
    const Bytes head(frame.begin(), frame.begin() + 3);
    const Case cases[] = {
        {"echo in pieces", head, Bytes(frame.begin() + 3, frame.end()), 1500us, {}},
        {"another write sharing the first bytes", head,
         Bytes(otherWrite.begin() + 3, otherWrite.end()), 100us, otherWrite},
        {"partial echo never completed", head, {0x2A}, 3000us, {0x01, 0x06, 0x00, 0x2A}},
        // Having seen one echo does not make the line an echoing one.
        {"echo followed by the same frame", frame, frame, 500us, frame},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EchoFilter filter;
        EXPECT_TRUE(filter.expect(frame, deadline).empty());
        Bytes handedOn = filter.feed(c.first, sent);
        for (const Bytes& more :
             {filter.expire(sent + c.after), filter.feed(c.second, sent + c.after),
              filter.expire(deadline + 1us)}) {
            handedOn.insert(handedOn.end(), more.begin(), more.end());
        }
        EXPECT_EQ(handedOn, c.handedOn);
        EXPECT_FALSE(filter.deadline());
    }
}

TEST(EchoFilter, NextFrameReleasesWhatWasHeld) {
    EchoFilter filter;
    EXPECT_EQ(filter.feed(frame, sent), frame); // nothing sent yet
    filter.expect(frame, deadline);
    EXPECT_TRUE(filter.feed(Bytes{0x01, 0x06}, sent).empty());
    EXPECT_EQ(filter.expect(request, deadline), (Bytes{0x01, 0x06}));
    EXPECT_TRUE(filter.expect({}, deadline).empty());
    EXPECT_FALSE(filter.deadline()); // nothing to watch for an empty frame
}

} // namespace

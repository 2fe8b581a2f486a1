#include "ModbusSerial/EchoFilter.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using TimePoint = EchoFilter::TimePoint;

const TimePoint sent = TimePoint() + 1h; // end of the transmission
const TimePoint deadline = sent + 2ms;   // end of the echo window
const Bytes frame = {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};
const Bytes head(frame.begin(), frame.begin() + 3);

// Whole echoes and other input through the link are covered by the SerialLink tests.
TEST(EchoFilter, DropsAnEchoInPiecesAndHandsOnWhatIsHeldWhenItEnds) {
    EchoFilter filter;
    EXPECT_TRUE(filter.expect(frame, deadline).empty());
    EXPECT_TRUE(filter.feed(head, sent).empty());
    EXPECT_TRUE(filter.feed(Bytes(frame.begin() + 3, frame.end()), sent + 1500us).empty());
    EXPECT_TRUE(filter.expire(deadline + 1us).empty());
    EXPECT_FALSE(filter.deadline());

    // A partial echo never completed, then the next frame.
    EXPECT_TRUE(filter.expect(frame, deadline).empty());
    EXPECT_TRUE(filter.feed(head, sent).empty());
    EXPECT_EQ(filter.expire(deadline + 1us), head);
    EXPECT_FALSE(filter.deadline());
    filter.expect(frame, deadline);
    EXPECT_TRUE(filter.feed(head, sent).empty());
    EXPECT_EQ(filter.expect(Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}, deadline), head);
}

} // namespace

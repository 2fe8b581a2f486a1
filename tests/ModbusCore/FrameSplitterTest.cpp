#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/RTUFrame.h"
#include "ModbusCore/SerialTiming.h"
#include "tests/support/ByteParts.h"

#include <gtest/gtest.h>

#include <numeric>
#include <tuple>
#include <vector>

namespace {

using Frame = FrameSplitter::Frame;

const Bytes readRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};

Bytes frame(std::uint8_t unit, const Bytes& pdu) {
    return RTUFrame::build(unit, pdu);
}

// Calls nextFrame as the engine does, until it has nothing more to say.
std::vector<Frame> drain(FrameSplitter& splitter, bool lineIdle, bool longSilence) {
    std::vector<Frame> frames;
    while (auto next = splitter.nextFrame(lineIdle, longSilence)) {
        frames.push_back(*next);
        if (frames.size() > 2000) {
            ADD_FAILURE() << "nextFrame does not terminate";
            break;
        }
    }
    return frames;
}

// lineIdle and longSilence.
using Flags = std::pair<bool, bool>;
const Flags busy{false, false}, idle{true, false}, silent{true, true};

TEST(FrameSplitterTest, SplitsOneBufferByTheRules) {
    const Bytes readResponse = frame(0x01, {0x03, 0x04, 0x00, 0x01, 0x00, 0x02});
    const Bytes exception = frame(0x01, {0x83, 0x02});
    const Bytes writeEcho = frame(0x05, {0x06, 0x00, 0x10, 0x12, 0x34});
    const Bytes writeMultiple = frame(0x02, {0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0, 1, 0, 2});
    const Bytes unknownCode = frame(0x01, {0x41});
    const Bytes partialDeviceID = {0x01, 0x2B, 0x0E, 0x01};
    const Bytes noise = {0x00, 0x11, 0x22};
    const Frame request = Frame::request(readRequest);
    const Frame response = Frame::response(readResponse);
    const Frame exceptionFrame = Frame::response(exception);
    const Bytes noisyRequest = join({{0xFF}, readRequest});
    const Bytes noisyException = join({noise, exception});
    const Bytes partial = head(readRequest, 5);
    const Bytes cutRequest = join({{0x77}, head(readRequest, 6)});
    // A read response also has a request length, which is the only shape tried when
    // resynchronising; the noise and the response go out together.
    const Bytes noisyResponse = join({{0x01, 0x03}, readResponse});
    // Whatever is not handed out in a frame must stay in the buffer.
    const std::tuple<const char*, Bytes, Flags, std::vector<Frame>> cases[] = {
        {"empty", {}, silent, {}},
        {"request while bytes arrive", readRequest, busy, {request}},
        {"back to back", join({readRequest, readRequest}), busy, {request, request}},
        {"read response", readResponse, busy, {response}},
        {"exception response", exception, busy, {exceptionFrame}},
        {"write echo counts as request", writeEcho, busy, {Frame::request(writeEcho)}},
        {"length from byte count", writeMultiple, busy, {Frame::request(writeMultiple)}},
        {"noise kept while bytes arrive", noisyRequest, busy, {}},
        {"noise byte, request", noisyRequest, idle, {Frame::garbage({0xFF}), request}},
        {"noise, exception", noisyException, idle, {Frame::garbage(noise), exceptionFrame}},
        {"partial request waits for long silence", partial, idle, {}},
        {"partial request after long silence", partial, silent, {Frame::garbage(partial)}},
        {"partial multiple write waits", head(writeMultiple, 10), idle, {}},
        {"partial device identification waits", partialDeviceID, idle, {}},
        {"partial device identification after long silence",
         partialDeviceID,
         silent,
         {Frame::garbage(partialDeviceID)}},
        {"unknown code closed by silence", unknownCode, idle, {Frame::request(unknownCode)}},
        {"single byte closed by silence", {0x42}, idle, {Frame::garbage({0x42})}},
        {"incomplete frame is no anchor", cutRequest, silent, {Frame::garbage(cutRequest)}},
        {"response behind noise", noisyResponse, idle, {Frame::garbage(noisyResponse)}},
    };
    for (const auto& [name, input, flags, expected] : cases) {
        FrameSplitter splitter;
        splitter.append(input);
        const auto frames = drain(splitter, flags.first, flags.second);
        EXPECT_EQ(frames, expected) << name;
        std::size_t taken = 0;
        for (const Frame& f : expected) {
            taken += f.bytes.size();
        }
        EXPECT_EQ(splitter.buffer(), Bytes(input.begin() + taken, input.end())) << name;
    }
}

TEST(FrameSplitterTest, ReassemblesSplitReads) {
    const Bytes response = frame(0x11, {0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64});
    const Bytes exception = frame(0x11, {0x90, 0x04});
    const Bytes write = frame(0x11, {0x17, 0, 1, 0, 1, 0, 2, 0, 1, 2, 0x12, 0x34});
    const Bytes stream = join({readRequest, response, exception, write, readRequest});
    const std::vector<Frame> expected{Frame::request(readRequest), Frame::response(response),
                                      Frame::response(exception), Frame::request(write),
                                      Frame::request(readRequest)};
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        FrameSplitter splitter;
        std::vector<Frame> frames;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t end = std::min(stream.size(), at + chunk);
            splitter.append(ByteView(stream).subspan(at, end - at));
            const auto more = drain(splitter, false, false);
            frames.insert(frames.end(), more.begin(), more.end());
        }
        EXPECT_EQ(frames, expected) << "chunk " << chunk;
        EXPECT_TRUE(splitter.buffer().empty());
    }
}

TEST(FrameSplitterTest, OverflowKeepsNewest512) {
    Bytes ramp(1100);
    std::iota(ramp.begin(), ramp.end(), std::uint8_t{0});
    // Sizes of two appends and how many of the newest bytes remain.
    const std::tuple<std::size_t, std::size_t, std::size_t> cases[] = {
        {1100, 0, 512}, {1024, 0, 1024}, {1000, 24, 1024}, {1000, 25, 512}, {600, 500, 512}};
    for (const auto& [first, second, kept] : cases) {
        FrameSplitter splitter;
        splitter.append(ByteView(ramp).first(first));
        splitter.append(ByteView(ramp).subspan(first, second));
        const std::size_t total = first + second;
        EXPECT_EQ(splitter.buffer(), Bytes(ramp.begin() + (total - kept), ramp.begin() + total))
            << first << " + " << second;
    }
}

// Character bits are checked through SerialConfiguration.
TEST(SerialTimingTest, FrameGap) {
    const std::tuple<int, int, double> cases[] = {
        {1200, 11, 0.0320833}, {9600, 11, 0.0040104}, {9600, 10, 0.0036458}, {19200, 11, 0.0020052},
        {19201, 11, 0.00175},  {38400, 11, 0.00175},  {115200, 10, 0.00175}};
    for (const auto& [baud, bits, gap] : cases) {
        EXPECT_NEAR(SerialTiming::frameGap(baud, bits), gap, 1e-7) << baud;
    }
}

} // namespace

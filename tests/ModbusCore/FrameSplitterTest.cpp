#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/RTUFrame.h"
#include "ModbusCore/SerialTiming.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace {

using Frame = FrameSplitter::Frame;

const Bytes readRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};

Bytes frame(std::uint8_t unit, const Bytes& pdu) {
    return RTUFrame::build(unit, pdu);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes head(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + n);
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

std::string describe(const std::vector<Frame>& frames) {
    static const char* const kinds[] = {"request", "response", "garbage"};
    std::string text;
    for (const Frame& f : frames) {
        text += std::string(kinds[static_cast<int>(f.kind)]) + "[" + hexText(f.bytes) + "] ";
    }
    return text;
}

TEST(FrameSplitterTest, SplitsOneBufferByTheRules) {
    const Bytes readResponse = frame(0x01, {0x03, 0x04, 0x00, 0x01, 0x00, 0x02});
    const Bytes exception = frame(0x01, {0x83, 0x02});
    const Bytes writeEcho = frame(0x05, {0x06, 0x00, 0x10, 0x12, 0x34});
    const Bytes writeMultiple = frame(0x02, {0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0, 1, 0, 2});
    const Bytes unknownCode = frame(0x01, {0x41});
    const Bytes partialDeviceID = {0x01, 0x2B, 0x0E, 0x01};
    const Bytes noise = {0x00, 0x11, 0x22};
    const struct {
        const char* name;
        Bytes input;
        bool lineIdle;
        bool longSilence;
        std::vector<Frame> frames;
        Bytes left;
    } cases[] = {
        {"empty, busy", {}, false, false, {}, {}},
        {"empty, silent", {}, true, true, {}, {}},
        {"request while bytes arrive",
         readRequest,
         false,
         false,
         {Frame::request(readRequest)},
         {}},
        {"back-to-back requests",
         join({readRequest, readRequest}),
         false,
         false,
         {Frame::request(readRequest), Frame::request(readRequest)},
         {}},
        {"read response", readResponse, false, false, {Frame::response(readResponse)}, {}},
        {"exception response", exception, false, false, {Frame::response(exception)}, {}},
        {"write echo counts as request", writeEcho, false, false, {Frame::request(writeEcho)}, {}},
        {"length from byte count",
         writeMultiple,
         false,
         false,
         {Frame::request(writeMultiple)},
         {}},
        {"request then response",
         join({readRequest, readResponse}),
         false,
         false,
         {Frame::request(readRequest), Frame::response(readResponse)},
         {}},
        {"noise kept while bytes arrive",
         join({{0xFF}, readRequest}),
         false,
         false,
         {},
         join({{0xFF}, readRequest})},
        {"noise byte then request",
         join({{0xFF}, readRequest}),
         true,
         false,
         {Frame::garbage({0xFF}), Frame::request(readRequest)},
         {}},
        {"noise then exception response",
         join({noise, exception}),
         true,
         false,
         {Frame::garbage(noise), Frame::response(exception)},
         {}},
        {"partial request waits for long silence",
         head(readRequest, 5),
         true,
         false,
         {},
         head(readRequest, 5)},
        {"partial request after long silence",
         head(readRequest, 5),
         true,
         true,
         {Frame::garbage(head(readRequest, 5))},
         {}},
        {"partial request kept while bytes arrive",
         head(readRequest, 7),
         false,
         true,
         {},
         head(readRequest, 7)},
        {"partial multiple write waits",
         head(writeMultiple, 10),
         true,
         false,
         {},
         head(writeMultiple, 10)},
        {"unsupported partial request not waited for",
         partialDeviceID,
         true,
         false,
         {Frame::garbage(partialDeviceID)},
         {}},
        {"unknown code closed by silence",
         unknownCode,
         true,
         false,
         {Frame::request(unknownCode)},
         {}},
        {"unknown code while bytes arrive", unknownCode, false, false, {}, unknownCode},
        {"single byte closed by silence", {0x42}, true, false, {Frame::garbage({0x42})}, {}},
        {"incomplete frame is no anchor",
         join({{0x77}, head(readRequest, 6)}),
         true,
         true,
         {Frame::garbage(join({{0x77}, head(readRequest, 6)}))},
         {}},
        // A read response also has a request length, which is the only shape tried when
        // resynchronising; the noise and the response go out together.
        {"read response behind noise is not an anchor",
         join({{0x01, 0x03}, readResponse}),
         true,
         false,
         {Frame::garbage(join({{0x01, 0x03}, readResponse}))},
         {}},
    };
    for (const auto& c : cases) {
        FrameSplitter splitter;
        splitter.append(c.input);
        const auto frames = drain(splitter, c.lineIdle, c.longSilence);
        EXPECT_EQ(frames, c.frames) << c.name << ": " << describe(frames);
        EXPECT_EQ(splitter.buffer(), c.left) << c.name;
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
        EXPECT_EQ(frames, expected) << "chunk " << chunk << ": " << describe(frames);
        EXPECT_TRUE(splitter.buffer().empty());
    }
}

TEST(FrameSplitterTest, OverflowKeepsNewest512) {
    Bytes ramp(1100);
    std::iota(ramp.begin(), ramp.end(), std::uint8_t{0});
    const struct {
        std::size_t first;
        std::size_t second;
        std::size_t kept;
    } cases[] = {{1100, 0, 512},  {1024, 0, 1024},  {1000, 24, 1024},
                 {1000, 25, 512}, {1000, 100, 512}, {600, 500, 512}};
    for (const auto& c : cases) {
        FrameSplitter splitter;
        splitter.append(ByteView(ramp).first(c.first));
        splitter.append(ByteView(ramp).subspan(c.first, c.second));
        const std::size_t total = c.first + c.second;
        EXPECT_EQ(splitter.buffer(), Bytes(ramp.begin() + (total - c.kept), ramp.begin() + total))
            << c.first << " + " << c.second;
    }
}

TEST(FrameSplitterTest, ExpectedLengths) {
    const struct {
        Bytes start;
        std::optional<std::size_t> request;
        std::optional<std::size_t> response;
    } cases[] = {
        {{0x01}, std::nullopt, std::nullopt},
        {{0x01, 0x03}, 8, std::nullopt},
        {{0x01, 0x03, 0x04}, 8, 9},
        {{0x01, 0x07}, 4, 5},
        {{0x01, 0x10, 0, 1, 0, 2}, std::nullopt, 8},
        {{0x01, 0x10, 0, 1, 0, 2, 4}, 13, 8},
        {{0x01, 0x16}, 10, 10},
        {{0x01, 0x17, 0, 0, 0, 1, 0, 0, 0, 1}, std::nullopt, 5},
        {{0x01, 0x17, 0, 0, 0, 1, 0, 0, 0, 1, 2}, 15, 5},
        {{0x01, 0x18, 0x00}, 6, std::nullopt},
        {{0x01, 0x18, 0x01, 0x02}, 6, 0x0102 + 6},
        {{0x01, 0x2B}, 7, std::nullopt},
        {{0x01, 0x14, 0x07}, std::nullopt, 12},
        {{0x01, 0x41}, std::nullopt, std::nullopt},
        {{0x01, 0x83}, std::nullopt, 5},
        {{0x01, 0x00}, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FrameSplitter::expectedRequestLength(c.start), c.request) << hexText(c.start);
        EXPECT_EQ(FrameSplitter::expectedResponseLength(c.start), c.response) << hexText(c.start);
    }
}

TEST(SerialTimingTest, CharacterBitsAndFrameGap) {
    EXPECT_EQ(SerialTiming::characterBits(8, true, 1), 11);
    EXPECT_EQ(SerialTiming::characterBits(8, false, 1), 10);
    EXPECT_EQ(SerialTiming::characterBits(7, true, 2), 11);
    EXPECT_EQ(SerialTiming::characterBits(8, false, 2), 11);

    const struct {
        int baud;
        int bits;
        double gap;
    } cases[] = {
        {1200, 11, 0.0320833}, {9600, 11, 0.0040104}, {9600, 10, 0.0036458}, {19200, 11, 0.0020052},
        {19201, 11, 0.00175},  {38400, 11, 0.00175},  {115200, 10, 0.00175},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(SerialTiming::frameGap(c.baud, c.bits), c.gap, 1e-7) << c.baud;
    }
}

} // namespace

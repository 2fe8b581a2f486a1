#include "ModbusCore/TCPStreamSplitter.h"
#include "ModbusCore/MBAPFrame.h"
#include "ModbusCore/RTUFrame.h"
#include "tests/support/ByteParts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Frame = TCPStreamSplitter::Frame;
using Fault = TCPStreamSplitter::Fault;
using Reason = Fault::Reason;
using Result = TCPStreamSplitter::Result;

const Bytes readPDU{0x03, 0x00, 0x00, 0x00, 0x0A};
const Bytes writePDU{0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02};

Frame mbap(std::uint16_t transaction, std::uint8_t unit, const Bytes& pdu) {
    return {.unit = unit,
            .pdu = pdu,
            .bytes = MBAPFrame::build(transaction, unit, pdu),
            .header = MBAPHeader{transaction, 0, static_cast<std::uint16_t>(pdu.size() + 1), unit}};
}

Frame rtu(std::uint8_t unit, const Bytes& pdu) {
    return {.unit = unit, .pdu = pdu, .bytes = RTUFrame::build(unit, pdu), .header = std::nullopt};
}

// Appends each read and drains the splitter after it, as the listener does.
std::vector<Result> split(TCPFraming framing, const std::vector<Bytes>& reads) {
    TCPStreamSplitter splitter(framing);
    std::vector<Result> results;
    for (const Bytes& read : reads) {
        splitter.append(read);
        while (auto result = splitter.next()) {
            results.push_back(*result);
            if (results.size() > 1000) {
                ADD_FAILURE() << "next does not terminate";
                return results;
            }
        }
    }
    return results;
}

std::vector<Bytes> byteByByte(const std::vector<Bytes>& reads) {
    std::vector<Bytes> bytes;
    for (const Bytes& read : reads) {
        for (std::uint8_t byte : read) {
            bytes.push_back({byte});
        }
    }
    return bytes;
}

struct Case {
    std::string name;
    TCPFraming framing;
    std::vector<Bytes> reads;
    std::vector<Result> expected;
};

TEST(TCPStreamSplitterTest, SplitsStreamsWhateverTheReadsAre) {
    const Frame read1 = mbap(0x1234, 1, readPDU);
    const Frame write7 = mbap(0xFFFF, 7, writePDU);
    const Frame shortest = mbap(1, 255, {0x07});
    const Bytes longestPDU = join({{0x10, 0x00, 0x00, 0x00, 0x7B, 0xF6}, Bytes(247, 0xAB)});
    const Frame longest = mbap(2, 1, longestPDU);
    const Bytes badProtocol = {0x00, 0x01, 0x00, 0x01, 0x00, 0x06, 0x01, 0x03, 0, 0, 0, 1};
    const Bytes lengthOne = {0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01};
    const Bytes length255 = {0x00, 0x01, 0x00, 0x00, 0x00, 0xFF};
    const Frame rtuRead = rtu(1, readPDU);
    const Frame rtuWrite = rtu(2, writePDU);
    const Frame rtuDiagnostic = rtu(3, {0x07}); // 4 bytes by length alone
    Bytes damaged = RTUFrame::build(1, readPDU);
    damaged.back() ^= 0x01;
    const Bytes unknown = RTUFrame::build(1, Bytes{0x41});

    const std::vector<Case> cases = {
        {"MBAP frame", TCPFraming::tcp, {read1.bytes}, {read1}},
        {"MBAP pipelined in one read",
         TCPFraming::tcp,
         {join({read1.bytes, write7.bytes, shortest.bytes})},
         {read1, write7, shortest}},
        {"MBAP split across reads",
         TCPFraming::tcp,
         {head(read1.bytes, 3), Bytes(read1.bytes.begin() + 3, read1.bytes.end())},
         {read1}},
        {"MBAP longest PDU", TCPFraming::tcp, {longest.bytes}, {longest}},
        {"MBAP incomplete", TCPFraming::tcp, {head(write7.bytes, 10)}, {}},
        {"protocol ID not 0",
         TCPFraming::tcp,
         {badProtocol},
         {Fault{Reason::protocolID, 1, head(badProtocol, 4)}}},
        {"length 1", TCPFraming::tcp, {lengthOne}, {Fault{Reason::length, 1, head(lengthOne, 6)}}},
        {"length 255", TCPFraming::tcp, {length255}, {Fault{Reason::length, 255, length255}}},
        {"frame, then a bad header, then nothing more",
         TCPFraming::tcp,
         {join({read1.bytes, badProtocol, read1.bytes})},
         {read1, Fault{Reason::protocolID, 1, head(badProtocol, 4)}}},
        {"RTU frame", TCPFraming::rtuOverTCP, {rtuRead.bytes}, {rtuRead}},
        {"RTU back to back, length from byte count",
         TCPFraming::rtuOverTCP,
         {join({rtuWrite.bytes, rtuRead.bytes, rtuDiagnostic.bytes})},
         {rtuWrite, rtuRead, rtuDiagnostic}},
        {"RTU incomplete byte count", TCPFraming::rtuOverTCP, {head(rtuWrite.bytes, 6)}, {}},
        {"RTU bad CRC", TCPFraming::rtuOverTCP, {damaged}, {Fault{Reason::badCRC, 0x03, damaged}}},
        {"RTU unknown function",
         TCPFraming::rtuOverTCP,
         {unknown},
         {Fault{Reason::unknownFunction, 0x41, head(unknown, 2)}}},
        {"RTU an MBAP frame is garbage",
         TCPFraming::rtuOverTCP,
         {read1.bytes},
         {Fault{Reason::unknownFunction, 0x34, {0x12, 0x34}}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(split(c.framing, c.reads), c.expected) << c.name;
        EXPECT_EQ(split(c.framing, byteByByte(c.reads)), c.expected) << c.name << ", byte by byte";
    }
}

TEST(TCPStreamSplitterTest, HoldsAtMostItsBufferAndFailsOnMore) {
    TCPStreamSplitter splitter(TCPFraming::tcp);
    const Frame frame = mbap(9, 1, readPDU);
    const Bytes partial = head(frame.bytes, 5);
    splitter.append(partial);
    EXPECT_EQ(splitter.next(), std::nullopt);
    EXPECT_EQ(splitter.room(), TCPStreamSplitter::maxBuffered - partial.size());

    splitter.append(Bytes(splitter.room() + 3, 0x00));
    EXPECT_EQ(splitter.next(), Result(Fault{Reason::overflow, 3, {}}));
    EXPECT_TRUE(splitter.failed());
    EXPECT_EQ(splitter.room(), 0U);
    EXPECT_EQ(splitter.pending(), 0U);
    splitter.append(frame.bytes);
    EXPECT_EQ(splitter.next(), std::nullopt);
}

TEST(TCPStreamSplitterTest, KeepsStreamingPastManyFrames) {
    // Far more frames than the buffer holds at once: consumed bytes must make room again.
    TCPStreamSplitter splitter(TCPFraming::rtuOverTCP);
    const Frame frame = rtu(1, readPDU);
    std::size_t frames = 0;
    for (int read = 0; read < 2000; ++read) {
        splitter.append(join({frame.bytes, head(frame.bytes, 3)}));
        splitter.append(Bytes(frame.bytes.begin() + 3, frame.bytes.end()));
        while (auto result = splitter.next()) {
            ASSERT_EQ(*result, Result(frame));
            ++frames;
        }
        ASSERT_EQ(splitter.pending(), 0U);
    }
    EXPECT_EQ(frames, 4000U);
}

TEST(MBAPFrameTest, ParsesAndBuildsTheHeader) {
    const Bytes frame = MBAPFrame::build(0xA1B2, 0x11, readPDU);
    EXPECT_EQ(frame, join({{0xA1, 0xB2, 0x00, 0x00, 0x00, 0x06, 0x11}, readPDU}));
    const MBAPHeader header{0xA1B2, 0, 6, 0x11};
    EXPECT_EQ(MBAPFrame::parseHeader(frame), header);
    EXPECT_EQ(MBAPFrame::buildHeader(header), head(frame, MBAPFrame::headerSize));
    EXPECT_EQ(MBAPFrame::parseHeader(head(frame, 6)), std::nullopt);
    // A reply echoes transaction and unit; its length follows its own PDU.
    EXPECT_EQ(MBAPFrame::buildReply(header, Bytes{0x83, 0x02}),
              (Bytes{0xA1, 0xB2, 0x00, 0x00, 0x00, 0x03, 0x11, 0x83, 0x02}));
}

} // namespace

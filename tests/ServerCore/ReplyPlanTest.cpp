#include "ServerCore/ReplyPlan.h"

#include "ModbusCore/MBAPFrame.h"
#include "ModbusCore/RTUFrame.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

using namespace std::chrono_literals;
using Kind = FaultRule::Effect::Kind;
using Chunk = ReplyPlan::Chunk;
using Chunks = std::vector<Chunk>;

const Bytes threeRegisters{0x03, 0x06, 0x01, 0x00, 0x01, 0x01, 0x01, 0x02};
const Bytes tenCoils{0x01, 0x02, 0xAD, 0x03}; // 10 bits: 1010 1101, 11
const Bytes writeEcho{0x06, 0x00, 0x03, 0x00, 0x2A};
const Bytes previousReply{0x03, 0x02, 0x12, 0x34};

Bytes frame(const Bytes& pdu, std::uint8_t unit = 7) {
    return RTUFrame::build(unit, pdu);
}

ReplyPlan plan(Kind kind, const Bytes& pdu = threeRegisters, FaultRule::Effect effect = {},
               std::chrono::nanoseconds unitDelay = {}) {
    static const Bytes previous = frame(previousReply);
    effect.kind = kind;
    return ReplyPlan::make({7, pdu, 3, previous, unitDelay}, &effect, 99);
}

// The bytes and timing of every effect that does not depend on random bytes.
TEST(ReplyPlan, EachEffectShapesTheBytesAndTheirTiming) {
    Bytes damaged = frame(threeRegisters);
    damaged.back() ^= 0x5A;
    Bytes cut = frame(threeRegisters);
    cut.resize(cut.size() - 3);
    Chunks slow;
    for (const std::uint8_t byte : frame(writeEcho)) {
        slow.push_back({{byte}, slow.empty() ? 50ms : 20ms, slow.empty()});
    }
    const std::tuple<const char*, ReplyPlan, Chunks, Bytes> cases[] = {
        {"no effect",
         ReplyPlan::make({7, threeRegisters, {}, {}, 50ms}, nullptr),
         {{frame(threeRegisters), 50ms, true}},
         threeRegisters},
        {"no response", plan(Kind::noResponse), {}, {}},
        {"exception",
         plan(Kind::exception, writeEcho, {.code = 0x42}),
         {{frame({0x86, 0x42}), 0ns, true}},
         {0x86, 0x42}},
        {"exception of an exception",
         plan(Kind::exception, {0x83, 0x02}, {.code = 4}),
         {{frame({0x83, 0x04}), 0ns, true}},
         {0x83, 0x04}},
        {"bad CRC", plan(Kind::badCRC), {{damaged, 0ns, true}}, threeRegisters},
        {"delay adds to the unit's",
         plan(Kind::delay, threeRegisters, {.ms = 300}, 50ms),
         {{frame(threeRegisters), 350ms, true}},
         threeRegisters},
        {"byte delay", plan(Kind::byteDelay, writeEcho, {.ms = 20}, 50ms), slow, writeEcho},
        {"truncate",
         plan(Kind::truncate, threeRegisters, {.bytes = 3}),
         {{cut, 0ns, true}},
         threeRegisters},
        {"truncate all", plan(Kind::truncate, threeRegisters, {.bytes = 200}), {}, threeRegisters},
        {"wrong unit",
         plan(Kind::wrongUnit, threeRegisters, {.unitID = 9}),
         {{frame(threeRegisters, 9), 0ns, true}},
         threeRegisters},
        {"wrong function",
         plan(Kind::wrongFunction, threeRegisters, {.code = 4}),
         {{frame({0x04, 0x06, 0x01, 0x00, 0x01, 0x01, 0x01, 0x02}), 0ns, true}},
         {0x04, 0x06, 0x01, 0x00, 0x01, 0x01, 0x01, 0x02}},
        {"fewer registers",
         plan(Kind::fewerValues, threeRegisters, {.count = 1}),
         {{frame({0x03, 0x04, 0x01, 0x00, 0x01, 0x01}), 0ns, true}},
         {0x03, 0x04, 0x01, 0x00, 0x01, 0x01}},
        {"no registers left",
         plan(Kind::fewerValues, threeRegisters, {.count = 5}),
         {{frame({0x03, 0x00}), 0ns, true}},
         {0x03, 0x00}},
        {"fewer values of a write: unchanged",
         plan(Kind::fewerValues, writeEcho, {.count = 1}),
         {{frame(writeEcho), 0ns, true}},
         writeEcho},
        {"duplicate",
         plan(Kind::duplicate),
         {{frame(threeRegisters), 0ns, true}, {frame(threeRegisters), 0ns, true}},
         threeRegisters},
        {"stale reply", plan(Kind::staleReply), {{frame(previousReply), 0ns, true}}, previousReply},
        {"early", plan(Kind::early), {{frame(threeRegisters), 0ns, false}}, threeRegisters},
    };
    for (const auto& [name, made, chunks, pdu] : cases) {
        EXPECT_EQ(made.chunks, chunks) << name;
        EXPECT_EQ(made.pdu, pdu) << name;
        EXPECT_EQ(made.corruptedCRC, std::string_view(name) == "bad CRC") << name;
    }
}

// Ten coils read as seven: one byte, the bits above the seventh cleared, the byte count agreeing.
TEST(ReplyPlan, FewerBitsCountAgainstTheRequestedQuantity) {
    const FaultRule::Effect three{.kind = Kind::fewerValues, .count = 3};
    const ReplyPlan made = ReplyPlan::make({7, tenCoils, 10, {}, {}}, &three);
    EXPECT_EQ(made.pdu, (Bytes{0x01, 0x01, 0x2D}));
    EXPECT_EQ(made.chunks, (Chunks{{frame({0x01, 0x01, 0x2D}), 0ns, true}}));
}

TEST(ReplyPlan, StaleReplyBeforeAnyOtherSendsThisOne) {
    const FaultRule::Effect stale{.kind = Kind::staleReply};
    const ReplyPlan made = ReplyPlan::make({7, writeEcho, 1, {}, {}}, &stale);
    EXPECT_EQ(made.chunks, (Chunks{{frame(writeEcho), 0ns, true}}));
}

// On Modbus TCP the effects act on the MBAP frame with the request's transaction ID; there is no
// CRC to damage, and a stale reply is the previous MBAP frame, its old transaction ID and all.
TEST(ReplyPlan, ModbusTCPShapesTheMBAPFrame) {
    const auto mbap = [](const Bytes& pdu, std::uint8_t unit = 7, std::uint16_t id = 0x1234) {
        return MBAPFrame::build(id, unit, pdu);
    };
    const Bytes previous = mbap(previousReply, 7, 0x1111);
    const auto onTCP = [&](Kind kind, FaultRule::Effect effect = {}) {
        effect.kind = kind;
        return ReplyPlan::make({.unit = 7,
                                .pdu = threeRegisters,
                                .requestQuantity = 3,
                                .previousFrame = previous,
                                .unitDelay = {},
                                .transport = Transport::tcp,
                                .transactionID = 0x1234},
                               &effect, 99);
    };
    Bytes cut = mbap(threeRegisters);
    cut.resize(cut.size() - 3);
    const std::tuple<const char*, ReplyPlan, Chunks, Bytes> cases[] = {
        {"bad CRC", onTCP(Kind::badCRC), {{mbap(threeRegisters), 0ns, true}}, threeRegisters},
        {"truncate", onTCP(Kind::truncate, {.bytes = 3}), {{cut, 0ns, true}}, threeRegisters},
        {"wrong unit",
         onTCP(Kind::wrongUnit, {.unitID = 9}),
         {{mbap(threeRegisters, 9), 0ns, true}},
         threeRegisters},
        {"stale reply", onTCP(Kind::staleReply), {{previous, 0ns, true}}, previousReply},
        {"duplicate",
         onTCP(Kind::duplicate),
         {{mbap(threeRegisters), 0ns, true}, {mbap(threeRegisters), 0ns, true}},
         threeRegisters},
    };
    for (const auto& [name, made, chunks, pdu] : cases) {
        EXPECT_EQ(made.chunks, chunks) << name;
        EXPECT_EQ(made.pdu, pdu) << name;
        EXPECT_FALSE(made.corruptedCRC) << name;
    }
    // RTU over TCP carries the serial line's bytes.
    const FaultRule::Effect damage{.kind = Kind::badCRC};
    EXPECT_EQ(ReplyPlan::make({.unit = 7,
                               .pdu = threeRegisters,
                               .requestQuantity = 3,
                               .previousFrame = {},
                               .unitDelay = {},
                               .transport = Transport::rtuOverTCP,
                               .transactionID = 0},
                              &damage),
              plan(Kind::badCRC));
}

// Random parts: the frame stays intact around them, and the same number gives the same bytes.
TEST(ReplyPlan, RandomBytesAroundAnIntactFrame) {
    const Bytes reply = frame(threeRegisters);

    const ReplyPlan extra = plan(Kind::extraBytes, threeRegisters, {.bytes = 5});
    ASSERT_EQ(extra.chunks.size(), 1u);
    const Bytes& burst = extra.chunks[0].bytes;
    ASSERT_EQ(burst.size(), reply.size() + 5);
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), burst.begin()));

    const ReplyPlan noise = plan(Kind::noise, threeRegisters, {.bytes = 4});
    ASSERT_EQ(noise.chunks.size(), 2u);
    EXPECT_EQ(noise.chunks[0].bytes.size(), 4u);
    EXPECT_TRUE(noise.chunks[0].afterSilence);
    EXPECT_EQ(noise.chunks[1], (Chunk{reply, 0ns, true})); // t3.5 after the noise
    EXPECT_EQ(noise.burst().size(), 4 + reply.size());

    EXPECT_EQ(plan(Kind::noise, threeRegisters, {.bytes = 4}), noise);
    EXPECT_EQ(plan(Kind::extraBytes, threeRegisters, {.bytes = 5}), extra);
}

// Exactly one bit differs, in the values of a read (never the byte count) or after the function
// code of any other reply; the CRC is valid.
TEST(ReplyPlan, CorruptDataFlipsOneDataBitUnderAValidCRC) {
    const std::pair<Bytes, std::size_t> cases[] = {
        {threeRegisters, 2}, {tenCoils, 2}, {writeEcho, 1}, {Bytes{0x83, 0x02}, 1}};
    for (const auto& [pdu, firstData] : cases) {
        for (std::uint64_t random = 0; random < 64; ++random) {
            const FaultRule::Effect flip{.kind = Kind::corruptData};
            const ReplyPlan made = ReplyPlan::make({7, pdu, {}, {}, {}}, &flip, random);
            ASSERT_EQ(made.pdu.size(), pdu.size());
            int flipped = 0;
            for (std::size_t i = 0; i < pdu.size(); ++i) {
                flipped += std::popcount(static_cast<unsigned>(pdu[i] ^ made.pdu[i]));
                if (i < firstData) {
                    EXPECT_EQ(made.pdu[i], pdu[i]) << hexText(pdu);
                }
            }
            EXPECT_EQ(flipped, 1) << hexText(pdu);
            ASSERT_EQ(made.chunks.size(), 1u);
            EXPECT_EQ(made.chunks[0].bytes, frame(made.pdu));
        }
    }
}

} // namespace

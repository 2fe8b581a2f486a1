#include "ServerCore/ReplyPlan.h"

#include "ModbusCore/MBAPFrame.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"

#include <algorithm>

namespace {

using Kind = FaultRule::Effect::Kind;
using std::chrono::milliseconds;

// Damages the CRC's high byte so that the CRC is always wrong and the rest stays intact.
constexpr std::uint8_t badCRCMask = 0x5A;
// Read replies: function code, byte count, values.
constexpr std::size_t byteCountOffset = 1;
constexpr std::size_t valuesOffset = 2;
constexpr int bitsPerByte = 8;
constexpr int bytesPerRegister = 2;

// splitmix64: a small, fast generator for the few random bytes of one effect.
class ByteSource {
public:
    explicit ByteSource(std::uint64_t seed)
        : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    Bytes bytes(int count) {
        Bytes out(static_cast<std::size_t>(count));
        for (auto& byte : out) {
            byte = static_cast<std::uint8_t>(next());
        }
        return out;
    }

private:
    std::uint64_t state_;
};

bool isException(ByteView pdu) {
    return !pdu.empty() && (pdu[0] & Modbus::exceptionFlag) != 0;
}

bool isBitRead(std::uint8_t fc) {
    return fc == FunctionCode::readCoils || fc == FunctionCode::readDiscreteInputs;
}

bool isRegisterRead(std::uint8_t fc) {
    return fc == FunctionCode::readHoldingRegisters || fc == FunctionCode::readInputRegisters ||
           fc == FunctionCode::readWriteMultipleRegisters;
}

// A read reply with `count` values fewer, its byte count agreeing; any other reply unchanged.
Bytes withFewerValues(Bytes pdu, int count, std::optional<int> requestQuantity) {
    if (isException(pdu) || pdu.size() < valuesOffset) {
        return pdu;
    }
    const std::uint8_t fc = pdu[0];
    const int byteCount = pdu[byteCountOffset];
    if (isRegisterRead(fc)) {
        const int registers = std::max(byteCount / bytesPerRegister - count, 0);
        pdu.resize(valuesOffset + static_cast<std::size_t>(registers * bytesPerRegister));
        pdu[byteCountOffset] = static_cast<std::uint8_t>(registers * bytesPerRegister);
    } else if (isBitRead(fc)) {
        const int bits = std::max(requestQuantity.value_or(byteCount * bitsPerByte) - count, 0);
        const int bytes = (bits + bitsPerByte - 1) / bitsPerByte;
        pdu.resize(valuesOffset + static_cast<std::size_t>(bytes));
        pdu[byteCountOffset] = static_cast<std::uint8_t>(bytes);
        if (const int used = bits % bitsPerByte; used != 0) {
            pdu.back() &= static_cast<std::uint8_t>((1U << used) - 1); // unused bits are 0
        }
    }
    return pdu;
}

// One bit of the data flipped: a read reply's values, else whatever follows the function code
// (an echoed address and value, an exception code).
Bytes withFlippedBit(Bytes pdu, ByteSource& random) {
    const bool read =
        !isException(pdu) && !pdu.empty() && (isBitRead(pdu[0]) || isRegisterRead(pdu[0]));
    const std::size_t start = read ? valuesOffset : 1;
    if (pdu.size() <= start) {
        return pdu;
    }
    const std::uint64_t bit = random.next() % ((pdu.size() - start) * bitsPerByte);
    pdu[start + bit / bitsPerByte] ^= static_cast<std::uint8_t>(1U << (bit % bitsPerByte));
    return pdu;
}

} // namespace

Bytes ReplyPlan::burst() const {
    Bytes all;
    for (const Chunk& chunk : chunks) {
        all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
    }
    return all;
}

Bytes ReplyPlan::frame(Transport transport, std::uint8_t unit, std::uint16_t transactionID,
                       ByteView pdu) {
    if (transport == Transport::tcp) {
        return MBAPFrame::build(transactionID, unit, pdu);
    }
    return RTUFrame::build(unit, pdu);
}

ReplyPlan ReplyPlan::make(const Reply& reply, const FaultRule::Effect* effect,
                          std::uint64_t random) {
    ReplyPlan plan;
    plan.pdu.assign(reply.pdu.begin(), reply.pdu.end());
    const auto single = [&](Bytes frame, std::chrono::nanoseconds extra = {}) {
        plan.chunks.push_back({std::move(frame), reply.unitDelay + extra, true});
    };
    const bool mbap = reply.transport == Transport::tcp;
    const auto build = [&](std::uint8_t unit, ByteView pdu) {
        return frame(reply.transport, unit, reply.transactionID, pdu);
    };
    if (!effect) {
        single(build(reply.unit, plan.pdu));
        return plan;
    }
    ByteSource source(random);
    switch (effect->kind) {
    case Kind::noResponse:
        plan.pdu.clear();
        break;
    case Kind::exception: {
        const std::uint8_t fc = plan.pdu.empty() ? 0 : plan.pdu[0] & ~Modbus::exceptionFlag;
        plan.pdu = {static_cast<std::uint8_t>(fc | Modbus::exceptionFlag),
                    static_cast<std::uint8_t>(effect->code)};
        single(build(reply.unit, plan.pdu));
        break;
    }
    case Kind::badCRC: {
        Bytes frame = build(reply.unit, plan.pdu);
        if (!mbap) {
            frame.back() ^= badCRCMask;
            plan.corruptedCRC = true;
        }
        single(std::move(frame));
        break;
    }
    case Kind::delay:
        single(build(reply.unit, plan.pdu), milliseconds(effect->ms));
        break;
    case Kind::byteDelay: {
        const Bytes frame = build(reply.unit, plan.pdu);
        for (std::size_t i = 0; i < frame.size(); ++i) {
            if (i == 0) {
                single({frame[0]});
            } else {
                plan.chunks.push_back({{frame[i]}, milliseconds(effect->ms), false});
            }
        }
        break;
    }
    case Kind::truncate: {
        Bytes frame = build(reply.unit, plan.pdu);
        const auto dropped = std::min(frame.size(), static_cast<std::size_t>(effect->bytes));
        frame.resize(frame.size() - dropped);
        if (!frame.empty()) {
            single(std::move(frame));
        }
        break;
    }
    case Kind::wrongUnit:
        single(build(static_cast<std::uint8_t>(effect->unitID), plan.pdu));
        break;
    case Kind::wrongFunction:
        if (!plan.pdu.empty()) {
            plan.pdu[0] = static_cast<std::uint8_t>(effect->code);
        }
        single(build(reply.unit, plan.pdu));
        break;
    case Kind::fewerValues:
        plan.pdu = withFewerValues(std::move(plan.pdu), effect->count, reply.requestQuantity);
        single(build(reply.unit, plan.pdu));
        break;
    case Kind::extraBytes: {
        Bytes frame = build(reply.unit, plan.pdu);
        const Bytes extra = source.bytes(effect->bytes);
        frame.insert(frame.end(), extra.begin(), extra.end());
        single(std::move(frame));
        break;
    }
    case Kind::duplicate: {
        Bytes frame = build(reply.unit, plan.pdu);
        single(frame);
        plan.chunks.push_back({std::move(frame), {}, true}); // the link keeps t3.5 between
        break;
    }
    case Kind::staleReply:
        // Before the unit's first reply there is nothing older to send: this one goes out.
        if (mbap && reply.previousFrame.size() > MBAPFrame::headerSize) {
            plan.pdu.assign(reply.previousFrame.begin() + MBAPFrame::headerSize,
                            reply.previousFrame.end());
            single(Bytes(reply.previousFrame.begin(), reply.previousFrame.end()));
        } else if (!mbap && reply.previousFrame.size() >= Modbus::minFrameLength) {
            plan.pdu.assign(reply.previousFrame.begin() + 1,
                            reply.previousFrame.end() - Modbus::crcLength);
            single(Bytes(reply.previousFrame.begin(), reply.previousFrame.end()));
        } else {
            single(build(reply.unit, plan.pdu));
        }
        break;
    case Kind::noise:
        single(source.bytes(effect->bytes));
        plan.chunks.push_back({build(reply.unit, plan.pdu), {}, true});
        break;
    case Kind::early:
        plan.chunks.push_back({build(reply.unit, plan.pdu), reply.unitDelay, false});
        break;
    case Kind::corruptData:
        plan.pdu = withFlippedBit(std::move(plan.pdu), source);
        single(build(reply.unit, plan.pdu));
        break;
    }
    return plan;
}

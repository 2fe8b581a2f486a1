#include "ServerCore/FaultRules.h"

#include "ModbusCore/ModbusCodes.h"

#include <algorithm>
#include <cmath>

namespace FaultRules {

namespace {

// PDU layouts: function code, then 16-bit fields.
constexpr std::size_t addressOffset = 1;
constexpr std::size_t quantityOffset = 3;
constexpr std::size_t addressEnd = 3;
constexpr std::size_t quantityEnd = 5;

bool inside(const std::optional<int>& value, const std::optional<int>& from,
            const std::optional<int>& to) {
    if (!from && !to) {
        return true;
    }
    return value && (!from || *value >= *from) && (!to || *value <= *to);
}

// A uniform number in [0, 1) from the generator's top 53 bits, the same on every platform.
double uniform(Random& random) {
    constexpr double scale = 0x1.0p-53;
    return static_cast<double>(random() >> 11) * scale;
}

} // namespace

RequestShape shapeOf(ByteView pdu) {
    RequestShape shape;
    if (pdu.empty()) {
        return shape;
    }
    shape.function = pdu[0];
    const bool hasAddress = pdu.size() >= addressEnd;
    const bool hasQuantity = pdu.size() >= quantityEnd;
    switch (shape.function) {
    case FunctionCode::readCoils:
    case FunctionCode::readDiscreteInputs:
    case FunctionCode::readHoldingRegisters:
    case FunctionCode::readInputRegisters:
    case FunctionCode::writeMultipleCoils:
    case FunctionCode::writeMultipleRegisters:
    case FunctionCode::readWriteMultipleRegisters: // the read part comes first
        if (hasQuantity) {
            shape.address = readUInt16(pdu, addressOffset);
            shape.quantity = readUInt16(pdu, quantityOffset);
        }
        break;
    case FunctionCode::writeSingleCoil:
    case FunctionCode::writeSingleRegister:
    case FunctionCode::maskWriteRegister:
        if (hasAddress) {
            shape.address = readUInt16(pdu, addressOffset);
            shape.quantity = 1;
        }
        break;
    case FunctionCode::readFIFOQueue:
        if (hasAddress) {
            shape.address = readUInt16(pdu, addressOffset);
        }
        break;
    default:
        break;
    }
    return shape;
}

bool matches(const FaultRule::Match& match, const RequestShape& request) {
    if (!match.functions.empty() && std::find(match.functions.begin(), match.functions.end(),
                                              request.function) == match.functions.end()) {
        return false;
    }
    return inside(request.address, match.addressFrom, match.addressTo) &&
           inside(request.quantity, match.quantityFrom, match.quantityTo);
}

bool fires(const FaultRule::Schedule& schedule, std::uint64_t matched, double seconds,
           Random& random) {
    using Kind = FaultRule::Schedule::Kind;
    const auto n = static_cast<std::uint64_t>(std::max(schedule.n, 1));
    switch (schedule.kind) {
    case Kind::always:
        return true;
    case Kind::everyNth:
        return matched % n == 0;
    case Kind::probability:
        return uniform(random) < schedule.probability;
    case Kind::firstN:
        return matched <= n;
    case Kind::afterN:
        return matched > n;
    case Kind::window:
        return seconds >= schedule.from && seconds < schedule.to;
    case Kind::periodic:
        return schedule.period > 0 && std::fmod(seconds, schedule.period) < schedule.on;
    }
    return false;
}

std::optional<std::size_t> evaluate(std::span<const FaultRule> rules,
                                    std::span<FaultRule::Counts> counts,
                                    const RequestShape& request, double seconds, Random& random) {
    const std::size_t count = std::min(rules.size(), counts.size());
    for (std::size_t i = 0; i < count; ++i) {
        const FaultRule& rule = rules[i];
        if (!rule.enabled || !matches(rule.match, request)) {
            continue;
        }
        FaultRule::Counts& tally = counts[i];
        ++tally.matched;
        if (fires(rule.schedule, tally.matched, seconds, random)) {
            ++tally.fired;
            return i;
        }
    }
    return std::nullopt;
}

} // namespace FaultRules

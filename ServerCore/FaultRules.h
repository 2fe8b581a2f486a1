#pragma once

#include "ModbusCore/Bytes.h"
#include "ServerCore/FaultRule.h"

#include <cstdint>
#include <optional>
#include <random>
#include <span>

// Which fault rule of a unit fires for a request. Pure and allocation-free: the store calls it
// under its lock for every request to a unit with rules.
namespace FaultRules {

// The generator of probability schedules and random bytes; the same seed gives the same run.
using Random = std::mt19937_64;

// What a rule can match of a request: its function code, and the start address and quantity of
// the functions that have them.
struct RequestShape {
    std::uint8_t function = 0;
    std::optional<int> address;
    std::optional<int> quantity;

    bool operator==(const RequestShape&) const = default;
};

// From the request PDU: 01–04, 0F and 10 give address and quantity; 05, 06 and 16 one value at
// their address; 17 its read part; 18 its address only; every other function, and a PDU too
// short for its fields, neither.
RequestShape shapeOf(ByteView pdu);

bool matches(const FaultRule::Match& match, const RequestShape& request);

// Whether the schedule fires for the matched-th matching request (counting from 1), `seconds`
// after the server started. Only a probability schedule draws from random.
bool fires(const FaultRule::Schedule& schedule, std::uint64_t matched, double seconds,
           Random& random);

// Tries the enabled rules in order and counts in `counts` (one per rule) what each matched and
// fired; stops at the first that fires and gives its index.
std::optional<std::size_t> evaluate(std::span<const FaultRule> rules,
                                    std::span<FaultRule::Counts> counts,
                                    const RequestShape& request, double seconds, Random& random);

} // namespace FaultRules

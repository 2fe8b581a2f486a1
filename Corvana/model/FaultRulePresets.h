#pragma once

#include "ServerCore/FaultRule.h"

#include <array>
#include <cstdint>

// The common faults a user adds with one click, each a complete, named rule.
namespace FaultRulePresets {

enum class Preset {
    dropTenPercent,   // 10 % of requests unanswered
    everyFifthBadCRC, // every 5th reply with a damaged CRC
    busyPeriodically, // exception 06 for 3 s of every 30 s
    lateReply,        // 1500 ms, past most masters' time-out
    slowBytes,        // 10 ms between the reply's bytes
    wrongUnit,        // the reply carries the next unit's address
};

inline constexpr std::array<Preset, 6> all = {Preset::dropTenPercent,   Preset::everyFifthBadCRC,
                                              Preset::busyPeriodically, Preset::lateReply,
                                              Preset::slowBytes,        Preset::wrongUnit};

// The rule for a unit with address `unit`, named in the language of the run.
FaultRule rule(Preset preset, std::uint8_t unit);

// An empty rule: every request, no response, named "New rule".
FaultRule emptyRule();

} // namespace FaultRulePresets

#pragma once

#include "ServerCore/FaultRule.h"

#include <string>
#include <string_view>

// A fault rule in one line of plain language, in the language of the run: "Every 5th read of
// holding registers 100–120: bad CRC". Fractions use the given decimal separator.
namespace FaultRuleSummary {

std::string text(const FaultRule& rule, std::string_view decimalSeparator = ".");
// The part after the colon: "bad CRC", "delay 2000 ms".
std::string effectText(const FaultRule::Effect& effect);
// The part before it: "Every 5th read of holding registers 100–120".
std::string whenText(const FaultRule& rule, std::string_view decimalSeparator = ".");

} // namespace FaultRuleSummary

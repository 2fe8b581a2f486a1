#pragma once

#include "ModbusCore/Datapoint.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The rules of typing a value for a datapoint, shared by the value cell and the control socket,
// so both refuse and round alike. Messages are in the user's language.
namespace ValueEntry {

// The engineering values the datapoint's type holds at its scale, smallest first.
std::pair<double, double> valueRange(const Datapoint& datapoint);

// Why typed text is no value of the datapoint ("abc" is not a number; 70000 does not fit
// UInt16 (0 to 65535)); nullopt when it is one.
std::optional<std::string> problem(const Datapoint& datapoint, std::string_view typed,
                                   std::string_view decimalSeparator);

// That the stored value differs from a valid typed one (a fraction in a whole-number type);
// nullopt when it does not.
std::optional<std::string> roundingNote(const Datapoint& datapoint, std::string_view typed,
                                        double value, std::string_view decimalSeparator);

} // namespace ValueEntry

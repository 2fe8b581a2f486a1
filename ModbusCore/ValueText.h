#pragma once

#include "ModbusCore/ValueTypes.h"

#include <optional>
#include <string>
#include <string_view>

// How a value cell shows and reads a value. Only the table, data type, scale and display format
// of a datapoint matter. decimalSeparator is the user's locale's ("." or ","); tests pass both.
struct ValueShape {
    RegisterTable table = RegisterTable::holdingRegister;
    DataType dataType = DataType::uint16;
    double scale = 1.0;
    DisplayFormat format = DisplayFormat::decimal;
};

namespace ValueText {

// Decimals that a decimal display of an integer type shows: 0 for |scale| >= 1 or 0, else
// ceil(-log10(|scale|)) up to 6.
int fractionDigits(double scale);

std::string displayText(const ValueShape& shape, double value, std::string_view decimalSeparator);

// The engineering value typed text stands for, or nullopt when it is invalid for the shape.
std::optional<double> parseInput(const ValueShape& shape, std::string_view text,
                                 std::string_view decimalSeparator);

} // namespace ValueText

#include "Corvana/model/ValueEntry.h"

#include "Localization/L10n.h"
#include "ModbusCore/ValueCodec.h"
#include "ModbusCore/ValueText.h"

#include <cfloat>

namespace ValueEntry {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

std::pair<double, double> valueRange(const Datapoint& datapoint) {
    std::pair<double, double> raw;
    switch (datapoint.dataType) {
    case DataType::bool_:
        raw = {0, 1};
        break;
    case DataType::uint16:
        raw = {0, 65535};
        break;
    case DataType::int16:
        raw = {-32768, 32767};
        break;
    case DataType::uint32:
        raw = {0, 4294967295.0};
        break;
    case DataType::int32:
        raw = {-2147483648.0, 2147483647};
        break;
    case DataType::uint64:
        raw = {0, 18446744073709551615.0};
        break;
    case DataType::int64:
        raw = {-9223372036854775808.0, 9223372036854775807.0};
        break;
    case DataType::float32:
        raw = {-FLT_MAX, FLT_MAX};
        break;
    case DataType::float64:
        raw = {-DBL_MAX, DBL_MAX};
        break;
    }
    const double first = ValueCodec::scaled(raw.first, datapoint.scale);
    const double second = ValueCodec::scaled(raw.second, datapoint.scale);
    return first <= second ? std::pair{first, second} : std::pair{second, first};
}

std::optional<std::string> problem(const Datapoint& datapoint, std::string_view typed,
                                   std::string_view decimalSeparator) {
    const std::string text(trimmed(typed));
    if (datapoint.parseInput(text, decimalSeparator)) {
        return std::nullopt;
    }
    // A number of any kind is one that does not fit this datapoint's type.
    const auto anyNumber = [&](DataType type) {
        const ValueShape shape{RegisterTable::holdingRegister, type, 1.0, datapoint.format};
        return ValueText::parseInput(shape, text, decimalSeparator).has_value();
    };
    if (!anyNumber(DataType::float64) && !anyNumber(DataType::int64)) {
        return L10n::Table::notANumber(text);
    }
    const auto [minimum, maximum] = valueRange(datapoint);
    const ValueShape decimal{datapoint.table, datapoint.dataType, datapoint.scale,
                             DisplayFormat::decimal};
    const int typeIndex = static_cast<int>(datapoint.dataType.value);
    return L10n::Table::valueOutOfRange(text, L10n::Table::dataTypeName(typeIndex),
                                        ValueText::displayText(decimal, minimum, decimalSeparator),
                                        ValueText::displayText(decimal, maximum, decimalSeparator));
}

std::optional<std::string> roundingNote(const Datapoint& datapoint, std::string_view typed,
                                        double value, std::string_view decimalSeparator) {
    if (datapoint.dataType.isFloat() || datapoint.dataType == DataType::bool_) {
        return std::nullopt;
    }
    const Registers registers =
        ValueCodec::encode(value, datapoint.dataType, datapoint.wordOrder, datapoint.scale);
    const double stored =
        ValueCodec::decode(registers, datapoint.dataType, datapoint.wordOrder, datapoint.scale);
    if (stored == value) {
        return std::nullopt;
    }
    return L10n::Table::valueRounded(std::string(trimmed(typed)),
                                     datapoint.displayText(stored, decimalSeparator));
}

} // namespace ValueEntry

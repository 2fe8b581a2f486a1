#include "ModbusCore/ValueTypes.h"

#include "Localization/EnumCases.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/TextForms.h"

#include <limits>
#include <string>

namespace {

using TextForms::isOneOf;

// Trimmed of spaces and tabs and lower-cased.
std::string normalized(std::string_view text, bool removeInnerSpaces) {
    std::string result = TextForms::lowercased(Text::trimmed(text));
    if (removeInnerSpaces) {
        std::erase(result, ' ');
    }
    return result;
}

} // namespace

// MARK: RegisterTable

std::optional<RegisterTable> RegisterTable::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

std::optional<RegisterTable> RegisterTable::parse(std::string_view text) {
    const std::string word = normalized(text, true);
    // "input" alone means the discrete inputs; input registers must say "register" or "3".
    if (isOneOf(word, {"co", "coil", "coils", "0x", "0"})) {
        return coil;
    }
    if (isOneOf(word, {"di", "discreteinput", "discreteinputs", "discrete", "input", "1x", "1"})) {
        return discreteInput;
    }
    if (isOneOf(word, {"hr", "holdingregister", "holdingregisters", "holding", "4x", "4"})) {
        return holdingRegister;
    }
    if (isOneOf(word, {"ir", "inputregister", "inputregisters", "3x", "3"})) {
        return inputRegister;
    }
    return std::nullopt;
}

const std::array<RegisterTable, 4>& RegisterTable::allCases() {
    static constexpr std::array<RegisterTable, 4> cases{coil, discreteInput, holdingRegister,
                                                        inputRegister};
    return cases;
}

std::string_view RegisterTable::rawValue() const {
    switch (value) {
    case coil:
        return "coil";
    case discreteInput:
        return "discreteInput";
    case holdingRegister:
        return "holdingRegister";
    case inputRegister:
        return "inputRegister";
    }
    return {};
}

bool RegisterTable::isBit() const {
    return value == coil || value == discreteInput;
}

bool RegisterTable::isWritable() const {
    return value == coil || value == holdingRegister;
}

std::string_view RegisterTable::shortCode() const {
    switch (value) {
    case coil:
        return "CO";
    case discreteInput:
        return "DI";
    case holdingRegister:
        return "HR";
    case inputRegister:
        return "IR";
    }
    return {};
}

int RegisterTable::modiconPrefix() const {
    switch (value) {
    case coil:
        return 0;
    case discreteInput:
        return 1;
    case holdingRegister:
        return 4;
    case inputRegister:
        return 3;
    }
    return 0;
}

int RegisterTable::maxReadQuantity() const {
    return isBit() ? Modbus::maxReadBits : Modbus::maxReadRegisters;
}

// MARK: DataType

std::optional<DataType> DataType::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

std::optional<DataType> DataType::parse(std::string_view text) {
    const std::string word = normalized(text, false);
    if (auto exact = fromRaw(word)) {
        return exact;
    }
    static constexpr std::pair<std::string_view, Value> aliases[] = {
        {"bit", bool_},    {"boolean", bool_},  {"u16", uint16},    {"word", uint16},
        {"uint", uint16},  {"i16", int16},      {"s16", int16},     {"int", int16},
        {"short", int16},  {"u32", uint32},     {"dword", uint32},  {"udint", uint32},
        {"i32", int32},    {"s32", int32},      {"dint", int32},    {"long", int32},
        {"f32", float32},  {"float", float32},  {"real", float32},  {"u64", uint64},
        {"ulint", uint64}, {"i64", int64},      {"s64", int64},     {"lint", int64},
        {"f64", float64},  {"double", float64}, {"lreal", float64},
    };
    for (const auto& [alias, type] : aliases) {
        if (word == alias) {
            return type;
        }
    }
    return std::nullopt;
}

const std::array<DataType, 9>& DataType::allCases() {
    static constexpr std::array<DataType, 9> cases{bool_,   uint16, int16, uint32, int32,
                                                   float32, uint64, int64, float64};
    return cases;
}

std::vector<DataType> DataType::choices(RegisterTable table) {
    if (table.isBit()) {
        return {bool_};
    }
    return {allCases().begin(), allCases().end()};
}

std::string_view DataType::rawValue() const {
    switch (value) {
    case bool_:
        return "bool";
    case uint16:
        return "uint16";
    case int16:
        return "int16";
    case uint32:
        return "uint32";
    case int32:
        return "int32";
    case float32:
        return "float32";
    case uint64:
        return "uint64";
    case int64:
        return "int64";
    case float64:
        return "float64";
    }
    return {};
}

int DataType::registerCount() const {
    switch (value) {
    case bool_:
    case uint16:
    case int16:
        return 1;
    case uint32:
    case int32:
    case float32:
        return 2;
    case uint64:
    case int64:
    case float64:
        return 4;
    }
    return 1;
}

bool DataType::isSigned() const {
    return value == int16 || value == int32 || value == int64;
}

bool DataType::isFloat() const {
    return value == float32 || value == float64;
}

bool DataType::isMultiRegister() const {
    return registerCount() > 1;
}

std::pair<double, double> DataType::valueRange() const {
    switch (value) {
    case bool_:
        return {0.0, 1.0};
    case uint16:
        return {0.0, 65535.0};
    case int16:
        return {-32768.0, 32767.0};
    case uint32:
        return {0.0, 4294967295.0};
    case int32:
        return {-2147483648.0, 2147483647.0};
    case float32: {
        const double largest = std::numeric_limits<float>::max();
        return {-largest, largest};
    }
    case uint64:
        // The largest uint64 rounds up to 2^64 in a double.
        return {0.0, 0x1p64};
    case int64:
        return {-0x1p63, 0x1p63};
    case float64: {
        const double largest = std::numeric_limits<double>::max();
        return {-largest, largest};
    }
    }
    return {0.0, 0.0};
}

int DataType::hexDigits() const {
    return value == bool_ ? 0 : registerCount() * 4;
}

int DataType::binaryDigits() const {
    return value == bool_ ? 0 : registerCount() * 16;
}

// MARK: WordOrder

std::optional<WordOrder> WordOrder::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

std::optional<WordOrder> WordOrder::parse(std::string_view text) {
    return fromRaw(normalized(text, false));
}

const std::array<WordOrder, 4>& WordOrder::allCases() {
    static constexpr std::array<WordOrder, 4> cases{abcd, cdab, badc, dcba};
    return cases;
}

std::string_view WordOrder::rawValue() const {
    switch (value) {
    case abcd:
        return "abcd";
    case cdab:
        return "cdab";
    case badc:
        return "badc";
    case dcba:
        return "dcba";
    }
    return {};
}

std::string_view WordOrder::displayName() const {
    switch (value) {
    case abcd:
        return "ABCD";
    case cdab:
        return "CDAB";
    case badc:
        return "BADC";
    case dcba:
        return "DCBA";
    }
    return {};
}

bool WordOrder::swapsWords() const {
    return value == cdab || value == dcba;
}

bool WordOrder::swapsBytes() const {
    return value == badc || value == dcba;
}

// MARK: DisplayFormat

std::optional<DisplayFormat> DisplayFormat::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

std::optional<DisplayFormat> DisplayFormat::parse(std::string_view text) {
    const std::string word = normalized(text, false);
    if (isOneOf(word, {"decimal", "dec", ""})) {
        return decimal;
    }
    if (isOneOf(word, {"hex", "hexadecimal"})) {
        return hex;
    }
    if (isOneOf(word, {"binary", "bin"})) {
        return binary;
    }
    return std::nullopt;
}

const std::array<DisplayFormat, 3>& DisplayFormat::allCases() {
    static constexpr std::array<DisplayFormat, 3> cases{decimal, hex, binary};
    return cases;
}

std::string_view DisplayFormat::rawValue() const {
    switch (value) {
    case decimal:
        return "decimal";
    case hex:
        return "hex";
    case binary:
        return "binary";
    }
    return {};
}

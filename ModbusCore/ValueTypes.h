#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

// The four Modbus data tables. Persisted by rawValue.
struct RegisterTable {
    enum Value : std::uint8_t { coil, discreteInput, holdingRegister, inputRegister };

    constexpr RegisterTable(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<RegisterTable> fromRaw(std::string_view raw); // exact, case-sensitive
    static std::optional<RegisterTable> parse(std::string_view text);  // forgiving, for people
    static const std::array<RegisterTable, 4>& allCases();

    std::string_view rawValue() const;
    bool isBit() const;
    bool isWritable() const;
    std::string_view shortCode() const; // "CO", "DI", "HR", "IR"
    int modiconPrefix() const;
    int maxReadQuantity() const;

    Value value;
};

struct DataType {
    // bool is a keyword; the raw value stays "bool".
    enum Value : std::uint8_t {
        bool_,
        uint16,
        int16,
        uint32,
        int32,
        float32,
        uint64,
        int64,
        float64
    };

    constexpr DataType(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<DataType> fromRaw(std::string_view raw);
    static std::optional<DataType> parse(std::string_view text);
    static const std::array<DataType, 9>& allCases();
    // The types a table offers: only bool for the bit tables, all nine for the register tables.
    static std::vector<DataType> choices(RegisterTable table);

    std::string_view rawValue() const;
    int registerCount() const;
    bool isSigned() const;
    bool isFloat() const;
    bool isMultiRegister() const;
    std::pair<double, double> valueRange() const;
    int hexDigits() const;    // 0 for bool
    int binaryDigits() const; // 0 for bool

    Value value;
};

struct WordOrder {
    enum Value : std::uint8_t { abcd, cdab, badc, dcba };

    constexpr WordOrder(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<WordOrder> fromRaw(std::string_view raw);
    static std::optional<WordOrder> parse(std::string_view text);
    static const std::array<WordOrder, 4>& allCases();

    std::string_view rawValue() const;
    std::string_view displayName() const; // "ABCD" …
    bool swapsWords() const;
    bool swapsBytes() const;

    Value value;
};

struct DisplayFormat {
    enum Value : std::uint8_t { decimal, hex, binary };

    constexpr DisplayFormat(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<DisplayFormat> fromRaw(std::string_view raw);
    static std::optional<DisplayFormat> parse(std::string_view text);
    static const std::array<DisplayFormat, 3>& allCases();

    std::string_view rawValue() const;

    Value value;
};

template <>
struct std::hash<RegisterTable> {
    std::size_t operator()(RegisterTable t) const noexcept { return t.value; }
};
template <>
struct std::hash<DataType> {
    std::size_t operator()(DataType t) const noexcept { return t.value; }
};
template <>
struct std::hash<WordOrder> {
    std::size_t operator()(WordOrder t) const noexcept { return t.value; }
};
template <>
struct std::hash<DisplayFormat> {
    std::size_t operator()(DisplayFormat t) const noexcept { return t.value; }
};

#pragma once

#include "ModbusCore/Datapoint.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Datapoint lists as CSV text that spreadsheet programs open directly, and forgiving import of
// such text written by us, by Tessivo or by hand.
namespace DatapointCSV {

// The eleven columns in file order; the raw value is the header title written on export.
struct Column {
    // value_ because the case would otherwise hide the member `value` of the enum pattern.
    enum Value : std::uint8_t {
        name,
        unitID,
        table,
        address,
        dataType,
        wordOrder,
        scale,
        engineeringUnit,
        format,
        value_,
        notes
    };

    constexpr Column(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<Column> fromRaw(std::string_view raw); // the exact header title
    static const std::array<Column, 11>& allCases();

    std::string_view rawValue() const; // "Name", "Unit ID", …
    // Other names accepted on import, already lower-cased and without spaces.
    std::span<const std::string_view> aliases() const;

    Value value;
};

struct Dialect {
    char separator = ',';
    bool decimalComma = false;

    // "," as the locale's decimal separator gives ";" with decimal comma; anything else, the
    // empty text included, gives "," with decimal point.
    static Dialect current(std::string_view localeDecimalSeparator);

    bool operator==(const Dialect&) const = default;
};

// One cell as read: its text without the quotes, and the line at which its record began.
struct Field {
    std::string fields;
    int line = 1;

    bool operator==(const Field&) const = default;
};

// Why a record of an import was skipped; all but missingColumns carry the trimmed cell text.
struct Problem {
    struct Kind {
        enum Value : std::uint8_t {
            invalidTable,
            invalidAddress,
            invalidUnit,
            invalidDataType,
            invalidNumber,
            missingColumns
        };

        constexpr Kind(Value v)
            : value(v) {}
        constexpr operator Value() const { return value; }

        static std::optional<Kind> fromRaw(std::string_view raw);
        static const std::array<Kind, 6>& allCases();
        std::string_view rawValue() const;

        Value value;
    };

    Kind kind = Kind::missingColumns;
    std::string text;

    static Problem invalidTable(std::string text) { return {Kind::invalidTable, std::move(text)}; }
    static Problem invalidAddress(std::string text) {
        return {Kind::invalidAddress, std::move(text)};
    }
    static Problem invalidUnit(std::string text) { return {Kind::invalidUnit, std::move(text)}; }
    static Problem invalidDataType(std::string text) {
        return {Kind::invalidDataType, std::move(text)};
    }
    static Problem invalidNumber(std::string text) {
        return {Kind::invalidNumber, std::move(text)};
    }
    static Problem missingColumns() { return {Kind::missingColumns, {}}; }

    bool operator==(const Problem&) const = default;
};

// The problem's text for the user, in the current language.
std::string describe(const Problem& problem);

struct ImportIssue {
    int line = 1; // where the record began, one-based
    Problem problem;

    std::string description() const; // "Line 7: invalid address '70000' (0 to 65535)"

    bool operator==(const ImportIssue&) const = default;
};

// A record keeps at most this many cells; the rest of a longer one is ignored, as a list has
// eleven columns.
inline constexpr std::size_t maxCellsPerRecord = 256;

// A value kept as the master will read it, because its type cannot hold the one in the file:
// out of range (clamped) or a fraction in a whole-number type (rounded).
struct ValueAdjustment {
    int line = 1;
    std::string text; // the cell as written
    double stored = 0;
    bool clamped = false;
    bool decimalComma = false; // how the file writes decimals

    std::string description() const; // "Line 4: 70000 clamped to 65535"

    bool operator==(const ValueAdjustment&) const = default;
};

struct ImportResult {
    std::vector<Datapoint> datapoints; // file order, fresh ids, no simulation
    std::vector<ImportIssue> issues;   // file order
    // More than maxDatapoints records after the header: nothing is read, the file is refused.
    bool tooLarge = false;
    std::vector<ValueAdjustment> adjustments; // file order
};

// The complete file text: byte-order mark, header, one record per datapoint, CR LF after each.
// (Named exportText because export is a keyword.)
std::string exportText(std::span<const Datapoint> datapoints, Dialect dialect);

// Each record that cannot become a datapoint gives one issue; only a file of more than
// maxDatapoints records fails as a whole (tooLarge).
ImportResult parse(std::string_view text);

// The pieces of the two operations above, exposed for tests and tools.

// ";", tab or "," by their count in the first line (earlier wins a tie); ";" when none occurs.
char detectSeparator(std::string_view text);

// Quote-aware records of text (no byte-order mark expected); blank lines are dropped; records
// keep at most maxCellsPerRecord cells.
std::vector<std::vector<Field>> records(std::string_view text, char separator);

// Integers below 1e15 without a decimal part, else the shortest text that reads back the same.
std::string numberText(double number, bool decimalComma);

} // namespace DatapointCSV

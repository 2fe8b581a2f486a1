#include "ModbusCore/DatapointCSV.h"

#include "Localization/EnumCases.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/TextForms.h"
#include "ModbusCore/ValueCodec.h"

#include "Localization/L10n.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace DatapointCSV {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF"; // U+FEFF in UTF-8
constexpr std::string_view lineBreak = "\r\n";
constexpr std::size_t columnCount = 11;

// Header titles lower-cased and without spaces, in column order.
constexpr std::array<std::string_view, columnCount> titleKeys{
    "name",  "unitid", "table",  "address", "datatype",   "wordorder",
    "scale", "unit",   "format", "value",   "description"};

using Text::trimmed;

// Lower-cased with every space removed, so that "UNITÉ" finds "unité".
std::string headerKey(std::string_view cell) {
    std::string key = TextForms::lowercased(cell);
    std::erase(key, ' ');
    return key;
}

std::optional<Column> columnForKey(std::string_view key) {
    for (Column column : Column::allCases()) {
        if (titleKeys[column] == key) {
            return column;
        }
    }
    // Aliases only after every title, so "unit" is the engineering unit, never the unit ID.
    for (Column column : Column::allCases()) {
        for (std::string_view alias : column.aliases()) {
            if (alias == key) {
                return column;
            }
        }
    }
    return std::nullopt;
}

// Record index of each column's cell, or -1 for a column the header does not name.
using ColumnIndex = std::array<int, columnCount>;

ColumnIndex claimColumns(std::span<const Field> header) {
    ColumnIndex index;
    index.fill(-1);
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (auto column = columnForKey(headerKey(header[i].fields))) {
            if (index[*column] < 0) { // the first cell that names a column claims it
                index[*column] = static_cast<int>(i);
            }
        }
    }
    return index;
}

// The reader behind records() and parse(). visit(std::span<const Field>) gets each record that
// is not a blank line and returns false to stop. The cells are reused between records so that a
// long file does not allocate per cell.
template <class Visit>
void forEachRecord(std::string_view text, char separator, Visit&& visit) {
    std::vector<Field> cells;
    std::size_t count = 0; // cells of the current record
    std::string cell;
    bool inQuotes = false;
    int line = 1;
    int recordLine = 1;

    const auto endCell = [&] {
        if (count == maxCellsPerRecord) {
            cell.clear(); // a header of a million commas must not cost a million cells
            return;
        }
        if (count == cells.size()) {
            cells.emplace_back();
        }
        cells[count].fields.swap(cell);
        cells[count].line = recordLine;
        cell.clear();
        ++count;
    };
    // Returns whether reading goes on.
    const auto endRecord = [&] {
        endCell();
        const bool blank = count == 1 && cells[0].fields.empty();
        const std::span<const Field> record(cells.data(), count);
        count = 0;
        recordLine = line;
        return blank || visit(record);
    };

    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const char c = text[i];
        const bool crlf = c == '\r' && i + 1 < size && text[i + 1] == '\n';
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < size && text[i + 1] == '"') {
                    cell.push_back('"');
                    i += 2;
                } else {
                    inQuotes = false;
                    ++i;
                }
                continue;
            }
            if (c == '\n' || c == '\r') {
                // Line breaks stay in the cell; a lone CR is kept but starts no new line.
                const std::size_t length = crlf ? 2 : 1;
                cell.append(text.substr(i, length));
                line += c == '\n' || crlf ? 1 : 0;
                i += length;
                continue;
            }
            const std::size_t run = i++;
            while (i < size && text[i] != '"' && text[i] != '\n' && text[i] != '\r') {
                ++i;
            }
            cell.append(text.substr(run, i - run));
            continue;
        }
        if (c == '"' && cell.empty()) {
            inQuotes = true;
            ++i;
        } else if (c == separator) {
            endCell();
            ++i;
        } else if (c == '\n' || c == '\r') {
            i += crlf ? 2 : 1;
            ++line;
            if (!endRecord()) {
                return;
            }
        } else {
            // Ordinary characters in one piece; a quote in a started cell is one of them.
            const std::size_t run = i++;
            while (i < size && text[i] != separator && text[i] != '"' && text[i] != '\n' &&
                   text[i] != '\r') {
                ++i;
            }
            cell.append(text.substr(run, i - run));
        }
    }
    if (count > 0 || !cell.empty()) {
        endRecord();
    }
}

// A decimal integer with an optional sign; nullopt for anything else or beyond `limit`.
std::optional<int> parseInteger(std::string_view text, int limit) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    int magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    return negative ? -magnitude : magnitude;
}

// A decimal number in the C locale; a lone decimal comma counts as the point. Infinities, NaN
// and hexadecimal floats are not numbers here.
std::optional<double> parseNumber(std::string_view text) {
    std::string normalised(text);
    if (normalised.find('.') == std::string::npos) {
        for (char& c : normalised) {
            if (c == ',') {
                c = '.';
            }
        }
    }
    std::string_view digits = normalised;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1); // from_chars takes only "-"
    }
    const std::string_view unsignedPart =
        !digits.empty() && digits.front() == '-' ? digits.substr(1) : digits;
    if (unsignedPart.empty() || !((unsignedPart.front() >= '0' && unsignedPart.front() <= '9') ||
                                  unsignedPart.front() == '.')) {
        return std::nullopt;
    }
    double number = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, error] =
        std::from_chars(digits.data(), end, number, std::chars_format::general);
    if (error != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return number;
}

// Writes numberText into buffer (64 bytes are plenty) and returns its length.
std::size_t writeNumber(char (&buffer)[64], double number, bool decimalComma) {
    // Below 1e15 every integral double is an exact integer that spreadsheets read as such.
    constexpr double integerLimit = 1e15;
    std::to_chars_result written;
    if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < integerLimit) {
        written = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(number));
    } else {
        written = std::to_chars(buffer, buffer + sizeof buffer, number); // shortest round trip
    }
    const auto length = static_cast<std::size_t>(written.ptr - buffer);
    if (decimalComma) {
        std::replace(buffer, buffer + length, '.', ',');
    }
    return length;
}

// Appends one cell, quoted when a spreadsheet would otherwise split or trim it.
void appendCell(std::string& out, std::string_view cell, char separator) {
    bool quote = !cell.empty() && (cell.front() == ' ' || cell.back() == ' ');
    for (std::size_t i = 0; i < cell.size() && !quote; ++i) {
        const char c = cell[i];
        quote = c == separator || c == '"' || c == '\n' || c == '\r';
    }
    if (!quote) {
        out.append(cell);
        return;
    }
    out.push_back('"');
    for (char c : cell) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

// numberText without allocating; the text goes through appendCell in case an unusual dialect
// separates with the decimal mark.
void appendNumber(std::string& out, double number, Dialect dialect) {
    char buffer[64];
    const std::size_t length = writeNumber(buffer, number, dialect.decimalComma);
    appendCell(out, std::string_view(buffer, length), dialect.separator);
}

// The value cell of a datapoint: for a 32-bit float, the shortest text that gives the same
// registers (1.013, not the 1.0130000114440918 the float holds as a double).
void appendValue(std::string& out, const Datapoint& point, Dialect dialect) {
    double value = point.value;
    const auto single = static_cast<float>(value);
    // Only a value that is a float exactly (one read back from the registers); a typed double
    // already has its shortest text.
    if (point.dataType == DataType::float32 && std::isfinite(value) &&
        static_cast<double>(single) == value && std::trunc(value) != value) {
        char buffer[64];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, single);
        double candidate = 0;
        std::from_chars(buffer, written.ptr, candidate);
        const auto registers = [&](double v) {
            return ValueCodec::encode(v, point.dataType, point.wordOrder, point.scale);
        };
        if (registers(candidate) == registers(value)) {
            value = candidate;
        }
    }
    appendNumber(out, value, dialect);
}

// One data record of an import: a datapoint, an issue, or nothing for an empty record.
// A semicolon-separated file is one written where decimals have a comma; adjusted values are
// told in that notation.
void readRecord(std::span<const Field> record, const ColumnIndex& index, bool decimalComma,
                ImportResult& result) {
    bool empty = true;
    for (const Field& field : record) {
        if (!trimmed(field.fields).empty()) {
            empty = false;
            break;
        }
    }
    if (empty) {
        return;
    }
    const auto cell = [&](Column column) -> std::string_view {
        const int i = index[column];
        if (i < 0 || static_cast<std::size_t>(i) >= record.size()) {
            return {};
        }
        return trimmed(record[static_cast<std::size_t>(i)].fields);
    };
    const int line = record.front().line;
    const auto fail = [&](Problem problem) {
        result.issues.push_back(ImportIssue{line, std::move(problem)});
    };

    // The checks run in this order and the first failure ends the record.
    const std::string_view tableText = cell(Column::table);
    const auto table = RegisterTable::parse(tableText);
    if (!table) {
        return fail(Problem::invalidTable(std::string(tableText)));
    }

    // Zero-based protocol address as written: 40001 is address 40001, not Modicon notation.
    const std::string_view addressText = cell(Column::address);
    const auto address = parseInteger(addressText, Modbus::maxAddress);
    if (!address || *address < 0) {
        return fail(Problem::invalidAddress(std::string(addressText)));
    }

    const std::string_view unitText = cell(Column::unitID);
    int unitID = Modbus::minUnitAddress;
    if (!unitText.empty()) {
        const auto unit = parseInteger(unitText, Modbus::maxUnitAddress);
        if (!unit || *unit < Modbus::minUnitAddress) {
            return fail(Problem::invalidUnit(std::string(unitText)));
        }
        unitID = *unit;
    }

    const std::string_view typeText = cell(Column::dataType);
    DataType dataType = table->isBit() ? DataType::bool_ : DataType::uint16;
    if (!typeText.empty()) {
        const auto parsed = DataType::parse(typeText);
        // DataType::choices: a bit table offers bool only.
        if (!parsed || (table->isBit() && *parsed != DataType::bool_)) {
            return fail(Problem::invalidDataType(std::string(typeText)));
        }
        dataType = *parsed;
    }

    const std::string_view scaleText = cell(Column::scale);
    double scale = 1;
    if (!scaleText.empty()) {
        const auto parsed = parseNumber(scaleText);
        if (!parsed || *parsed == 0) {
            return fail(Problem::invalidNumber(std::string(scaleText)));
        }
        scale = *parsed;
    }

    const std::string_view valueText = cell(Column::value_);
    double value = 0;
    if (!valueText.empty()) {
        const auto parsed = parseNumber(valueText);
        if (!parsed) {
            return fail(Problem::invalidNumber(std::string(valueText)));
        }
        value = *parsed;
    }

    // The registers hold what the type can; the datapoint keeps that too, so the table shows
    // what the master reads. Floats only lose digits, which is no change worth a word.
    if (!dataType.isFloat()) {
        const double stored =
            ValueCodec::decode(ValueCodec::encode(value, dataType, WordOrder::abcd, scale),
                               dataType, WordOrder::abcd, scale);
        if (stored != value) {
            const double rounded =
                ValueCodec::scaled(std::round(ValueCodec::unscaled(value, scale)), scale);
            const bool clamped = dataType == DataType::bool_ || stored != rounded;
            result.adjustments.push_back(
                ValueAdjustment{line, std::string(valueText), stored, clamped, decimalComma});
            value = stored;
        }
    }

    result.datapoints.emplace_back(
        UUID::random(), std::string(cell(Column::name)), static_cast<std::uint8_t>(unitID), *table,
        static_cast<std::uint16_t>(*address), dataType,
        WordOrder::parse(cell(Column::wordOrder)).value_or(WordOrder::abcd), scale,
        std::string(cell(Column::engineeringUnit)),
        DisplayFormat::parse(cell(Column::format)).value_or(DisplayFormat::decimal), value,
        std::string(cell(Column::notes)), Simulation{});
}

} // namespace

// MARK: Column

std::optional<Column> Column::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<Column, 11>& Column::allCases() {
    static constexpr std::array<Column, 11> cases{name,     unitID,    table, address,
                                                  dataType, wordOrder, scale, engineeringUnit,
                                                  format,   value_,    notes};
    return cases;
}

std::string_view Column::rawValue() const {
    switch (value) {
    case name:
        return "Name";
    case unitID:
        return "Unit ID";
    case table:
        return "Table";
    case address:
        return "Address";
    case dataType:
        return "Data type";
    case wordOrder:
        return "Word order";
    case scale:
        return "Scale";
    case engineeringUnit:
        return "Unit";
    case format:
        return "Format";
    case value_:
        return "Value";
    case notes:
        return "Description";
    }
    return {};
}

std::span<const std::string_view> Column::aliases() const {
    // Names used by Tessivo, by other Modbus tools and in the five interface languages.
    static constexpr std::string_view nameAliases[] = {"name", "naam", "tag"};
    static constexpr std::string_view unitIDAliases[] = {
        "unitid", "unit-id", "slave", "slaveid", "slaveaddress", "device", "id"};
    static constexpr std::string_view tableAliases[] = {"table", "tabel", "registertype", "area",
                                                        "type"};
    static constexpr std::string_view addressAliases[] = {"address", "adres", "register", "offset"};
    static constexpr std::string_view dataTypeAliases[] = {"datatype", "data-type", "datatyp",
                                                           "format(type)"};
    static constexpr std::string_view wordOrderAliases[] = {"wordorder", "byteorder", "order",
                                                            "woordvolgorde", "endianness"};
    static constexpr std::string_view scaleAliases[] = {"scale", "schaal", "factor", "multiplier"};
    static constexpr std::string_view unitAliases[] = {
        "unit", "eenheid", "einheit", "unit\xC3\xA9", "unidad", "engineeringunit"};
    static constexpr std::string_view formatAliases[] = {"format", "display", "weergave"};
    static constexpr std::string_view valueAliases[] = {"value", "waarde", "wert", "valeur",
                                                        "valor"};
    static constexpr std::string_view notesAliases[] = {
        "description", "omschrijving", "beschrijving", "notes", "comment", "opmerking"};
    switch (value) {
    case name:
        return nameAliases;
    case unitID:
        return unitIDAliases;
    case table:
        return tableAliases;
    case address:
        return addressAliases;
    case dataType:
        return dataTypeAliases;
    case wordOrder:
        return wordOrderAliases;
    case scale:
        return scaleAliases;
    case engineeringUnit:
        return unitAliases;
    case format:
        return formatAliases;
    case value_:
        return valueAliases;
    case notes:
        return notesAliases;
    }
    return {};
}

// MARK: Dialect

Dialect Dialect::current(std::string_view localeDecimalSeparator) {
    // A spreadsheet in a decimal-comma locale splits CSV at ";", elsewhere at ",".
    if (localeDecimalSeparator == ",") {
        return Dialect{';', true};
    }
    return Dialect{',', false};
}

// MARK: Problem

std::optional<Problem::Kind> Problem::Kind::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<Problem::Kind, 6>& Problem::Kind::allCases() {
    static constexpr std::array<Kind, 6> cases{invalidTable,    invalidAddress, invalidUnit,
                                               invalidDataType, invalidNumber,  missingColumns};
    return cases;
}

std::string_view Problem::Kind::rawValue() const {
    switch (value) {
    case invalidTable:
        return "invalidTable";
    case invalidAddress:
        return "invalidAddress";
    case invalidUnit:
        return "invalidUnit";
    case invalidDataType:
        return "invalidDataType";
    case invalidNumber:
        return "invalidNumber";
    case missingColumns:
        return "missingColumns";
    }
    return {};
}

std::string describe(const Problem& problem) {
    // The cell goes to a terminal or an alert as it was in the file, control characters escaped.
    const std::string text = TextForms::escapedControls(problem.text);
    switch (problem.kind) {
    case Problem::Kind::invalidTable:
        return L10n::Errors::invalidTable(text);
    case Problem::Kind::invalidAddress:
        return L10n::Errors::invalidAddress(text);
    case Problem::Kind::invalidUnit:
        return L10n::Errors::invalidUnit(text);
    case Problem::Kind::invalidDataType:
        return L10n::Errors::invalidDataType(text);
    case Problem::Kind::invalidNumber:
        return L10n::Errors::invalidNumber(text);
    case Problem::Kind::missingColumns:
        return L10n::Errors::missingColumns();
    }
    return {};
}

std::string ImportIssue::description() const {
    return L10n::Errors::importLine(line, describe(problem));
}

std::string ValueAdjustment::description() const {
    // The stored number in the notation of the cell it came from.
    const std::string number = numberText(stored, decimalComma || text.find(',') != text.npos);
    return clamped ? L10n::Import::clamped(line, text, number)
                   : L10n::Import::rounded(line, text, number);
}

// MARK: Export

std::string numberText(double number, bool decimalComma) {
    char buffer[64];
    return std::string(buffer, writeNumber(buffer, number, decimalComma));
}

std::string exportText(std::span<const Datapoint> datapoints, Dialect dialect) {
    constexpr std::size_t typicalRecordSize = 96;
    const char separator = dialect.separator;
    std::string out;
    out.reserve(byteOrderMark.size() + (datapoints.size() + 1) * typicalRecordSize);
    out.append(byteOrderMark);

    for (Column column : Column::allCases()) {
        if (column != Column::name) {
            out.push_back(separator);
        }
        appendCell(out, column.rawValue(), separator);
    }
    out.append(lineBreak);

    char integer[8];
    const auto appendInteger = [&](unsigned number) {
        const auto written = std::to_chars(integer, integer + sizeof integer, number);
        out.append(integer, written.ptr);
    };
    for (const Datapoint& point : datapoints) {
        // Cells in column order; only names and free texts can need quotes.
        appendCell(out, point.name, separator);
        out.push_back(separator);
        appendInteger(point.unitID);
        out.push_back(separator);
        appendCell(out, point.table.shortCode(), separator);
        out.push_back(separator);
        appendInteger(point.address);
        out.push_back(separator);
        appendCell(out, point.dataType.rawValue(), separator);
        out.push_back(separator);
        appendCell(out, point.wordOrder.displayName(), separator);
        out.push_back(separator);
        appendNumber(out, point.scale, dialect);
        out.push_back(separator);
        appendCell(out, point.engineeringUnit, separator);
        out.push_back(separator);
        if (point.format != DisplayFormat::decimal) {
            appendCell(out, point.format.rawValue(), separator);
        }
        out.push_back(separator);
        appendValue(out, point, dialect);
        out.push_back(separator);
        appendCell(out, point.notes, separator);
        out.append(lineBreak);
    }
    return out;
}

// MARK: Import

char detectSeparator(std::string_view text) {
    const std::string_view header = text.substr(0, text.find_first_of("\r\n"));
    char best = ';';
    std::ptrdiff_t bestCount = 0;
    for (char candidate : {';', '\t', ','}) {
        const auto count = std::count(header.begin(), header.end(), candidate);
        if (count > bestCount) { // strictly more: the earlier candidate wins a tie
            best = candidate;
            bestCount = count;
        }
    }
    return best;
}

std::vector<std::vector<Field>> records(std::string_view text, char separator) {
    std::vector<std::vector<Field>> result;
    forEachRecord(text, separator, [&](std::span<const Field> record) {
        result.emplace_back(record.begin(), record.end());
        return true;
    });
    return result;
}

ImportResult parse(std::string_view text) {
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
    }
    const char separator = detectSeparator(text);

    ImportResult result;
    std::optional<ColumnIndex> index;
    bool missingColumns = false;
    std::size_t dataRecords = 0;
    forEachRecord(text, separator, [&](std::span<const Field> record) {
        if (index && ++dataRecords > maxDatapoints) {
            result.tooLarge = true;
            return false;
        }
        if (!index) {
            index = claimColumns(record);
            const bool claimsAny =
                std::any_of(index->begin(), index->end(), [](int i) { return i >= 0; });
            missingColumns =
                !claimsAny || (*index)[Column::table] < 0 || (*index)[Column::address] < 0;
            return !missingColumns;
        }
        readRecord(record, *index, separator == ';', result);
        return true;
    });
    if (missingColumns) {
        return ImportResult{{}, {ImportIssue{1, Problem::missingColumns()}}, false, {}};
    }
    if (result.tooLarge) {
        return ImportResult{{}, {}, true, {}};
    }
    return result;
}

} // namespace DatapointCSV

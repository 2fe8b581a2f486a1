#include "ModbusCore/DatapointCSV.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using namespace DatapointCSV;

namespace {

constexpr std::string_view bom = "\xEF\xBB\xBF";

using T = RegisterTable;
using D = DataType;
using W = WordOrder;
using F = DisplayFormat;

Datapoint point(std::string name, std::uint8_t unitID, RegisterTable table, std::uint16_t address,
                DataType type, WordOrder order = W::abcd, double scale = 1, std::string unit = "",
                DisplayFormat format = F::decimal, double value = 0, std::string notes = "") {
    return Datapoint(UUID::random(), std::move(name), unitID, table, address, type, order, scale,
                     std::move(unit), format, value, std::move(notes), Simulation{});
}

// Equal apart from the id and the simulation, which a CSV file does not carry.
void expectSameContent(const std::vector<Datapoint>& actual,
                       const std::vector<Datapoint>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        Datapoint copy = expected[i];
        copy.id = actual[i].id;
        copy.simulation = Simulation{};
        EXPECT_EQ(actual[i], copy) << "datapoint " << i << " (" << expected[i].name << ")";
    }
}

TEST(DatapointCSVExportTest, WritesHeaderAndRecordsWithBOMAndCRLF) {
    std::vector<Datapoint> points{point("Temperature", 1, T::holdingRegister, 0, D::int16, W::abcd,
                                        0.1, "°C", F::decimal, 21.5)};
    EXPECT_EQ(exportText(points, Dialect{';', true}),
              std::string(bom) +
                  "Name;Unit ID;Table;Address;Data type;Word order;Scale;Unit;Format;Value;"
                  "Description\r\nTemperature;1;HR;0;int16;ABCD;0,1;°C;;21,5;\r\n");
}

TEST(DatapointCSVExportTest, NumberTexts) {
    const std::tuple<double, bool, std::string_view> cases[] = {
        {40001.0, false, "40001"}, {-0.0, false, "0"},        {21.5, true, "21,5"},
        {1e15, false, "1e+15"},    {1.5e20, true, "1,5e+20"}, {1e-7, false, "1e-07"},
    };
    for (const auto& [number, decimalComma, text] : cases) {
        EXPECT_EQ(numberText(number, decimalComma), text) << number;
        std::string back(text);
        std::replace(back.begin(), back.end(), ',', '.');
        EXPECT_EQ(std::stod(back), number) << text;
    }
}

TEST(DatapointCSVExportTest, QuotesCellsThatWouldSplitOrBeTrimmed) {
    const std::tuple<std::string_view, char, std::string_view> cases[] = {
        {" leading", ';', "\" leading\""},
        {"trailing ", ',', "\"trailing \""},
        {"a;b", ';', "\"a;b\""},
        {"a;b", ',', "a;b"},
        {"say \"hi\"", ';', "\"say \"\"hi\"\"\""},
        {"two\nlines", ',', "\"two\nlines\""},
    };
    for (const auto& [name, separator, cell] : cases) {
        const std::vector<Datapoint> points{point(std::string(name), 1, T::coil, 0, D::bool_)};
        const std::string text = exportText(points, Dialect{separator, false});
        const std::string record = text.substr(text.find("\r\n") + 2);
        EXPECT_EQ(record.substr(0, cell.size() + 1), std::string(cell) + separator) << name;
    }
}

TEST(DatapointCSVRoundTripTest, ExportThenParseGivesTheSameDatapointsInBothDialects) {
    std::vector<Datapoint> points{
        point("Temperature", 1, T::holdingRegister, 0, D::int16, W::abcd, 0.1, "°C", F::decimal,
              21.5),
        point("Pump; \"main\"", 247, T::coil, 12, D::bool_, W::abcd, 1, "", F::decimal, 1,
              "two\r\nlines, and\na lone\rreturn"),
        point("Energy", 1, T::inputRegister, 65532, D::float64, W::dcba, 0.001, "", F::hex, 1.5e20),
        point("Counter", 1, T::holdingRegister, 40001, D::uint32, W::cdab, -2, "", F::binary,
              -123456),
        point("", 1, T::discreteInput, 7, D::bool_),
        point("x", 1, T::holdingRegister, 1, D::float32, W::badc, 1e-7, "", F::decimal,
              0.30000000000000004),
    };
    points[3].simulation = Simulation{Simulation::Kind::counter, 0, 10, 1};
    for (Dialect dialect : {Dialect{';', true}, Dialect{',', false}}) {
        const auto [parsed, issues, tooLarge, adjustments] = parse(exportText(points, dialect));
        EXPECT_TRUE(issues.empty()) << dialect.separator;
        expectSameContent(parsed, points);
    }
}

TEST(DatapointCSVRoundTripTest, SpreadsheetFileWithBOMAndCRLFReadsLikeLF) {
    const auto lf = parse("Name;Table;Address;Scale\nA;HR;1;0,5\n\"B\nb\";CO;2;\n");
    const auto crlf =
        parse(std::string(bom) + "Name;Table;Address;Scale\r\nA;HR;1;0,5\r\n\"B\r\nb\";CO;2;\r\n");
    const auto a = point("A", 1, T::holdingRegister, 1, D::uint16, W::abcd, 0.5);
    expectSameContent(lf.datapoints, {a, point("B\nb", 1, T::coil, 2, D::bool_)});
    EXPECT_TRUE(crlf.issues.empty());
    // A quoted line break stays as written.
    expectSameContent(crlf.datapoints, {a, point("B\r\nb", 1, T::coil, 2, D::bool_)});
}

TEST(DatapointCSVReaderTest, QuotedCellsKeepSeparatorsQuotesAndLineBreaks) {
    const std::pair<std::string_view, std::vector<std::vector<Field>>> cases[] = {
        // Text after a closing quote is read outside quotes; a lone CR in quotes is no new line.
        {"a;\"x;\"\"y\"\"\nz\";c\nnext;\"q\"r\n\n\n\"\";\n\"lone\rcr\"\nlast",
         {{{"a", 1}, {"x;\"y\"\nz", 1}, {"c", 1}},
          {{"next", 3}, {"qr", 3}},
          {{"", 6}, {"", 6}},
          {{"lone\rcr", 7}},
          {{"last", 8}}}},
        {"\n\r\n\r", {}},
        {"a\r\rb", {{{"a", 1}}, {{"b", 3}}}},
        {"a\"b\";c", {{{"a\"b\"", 1}, {"c", 1}}}}, // a quote inside a cell is ordinary
        {"\"open;\nnever closed", {{{"open;\nnever closed", 1}}}},
        {"\"a\r\nb\"\r\nc", {{{"a\r\nb", 1}}, {{"c", 3}}}},
    };
    for (const auto& [text, rows] : cases) {
        EXPECT_EQ(records(text, ';'), rows) << text;
    }
}

TEST(DatapointCSVReaderTest, DetectsTheSeparatorOnTheHeaderLine) {
    const std::pair<std::string_view, char> cases[] = {
        {"a;b;c", ';'},   {"a,b,c", ','},    {"a\tb\tc", '\t'},   {"a;b,c", ';'},
        {"a,b;c,d", ','}, {"a\tb;c", ';'},   {"a\tb,c", '\t'},    {"abc", ';'},
        {"", ';'},        {"a\nb,c,d", ';'}, {"a,b\rc;d;e", ','}, {"a;b\r\nc,d,e", ';'},
    };
    for (const auto& [text, separator] : cases) {
        EXPECT_EQ(detectSeparator(text), separator) << text;
    }
}

TEST(DatapointCSVReaderTest, LineNumbersCountQuotedLineBreaksAndBlankLines) {
    const auto [points, issues, tooLarge, adjustments] =
        parse("Table;Address;Description\n\nHR;1;\"one\ntwo\nthree\"\n\nXX;2;\nHR;x\n");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].notes, "one\ntwo\nthree");
    EXPECT_EQ(issues, (std::vector<ImportIssue>{{7, Problem::invalidTable("XX")},
                                                {8, Problem::invalidAddress("x")}}));
}

TEST(DatapointCSVHeaderTest, FindsColumnsByTitleAliasAndLanguage) {
    const auto dutch = parse("Naam;Tabel;Adres;Eenheid;Waarde;Omschrijving;Woordvolgorde;Datatype\n"
                             "Pomp;HR;5;bar;2,5;hoofdpomp;cdab;float32\n");
    expectSameContent(dutch.datapoints, {point("Pomp", 1, T::holdingRegister, 5, D::float32,
                                               W::cdab, 1, "bar", F::decimal, 2.5, "hoofdpomp")});
    // A title wins over another column's alias; spaces and case do not matter.
    const auto titles = parse("UNIT, unit id ,Table,Address,Format,Data Type,UNITÉ\n"
                              "kWh,9,ir,3,hex,int32,ignored\n");
    expectSameContent(titles.datapoints,
                      {point("", 9, T::inputRegister, 3, D::int32, W::abcd, 1, "kWh", F::hex)});
    const auto latin1 = parse("Table\tAddress\tUNITÉ\nHR\t1\t%\n");
    expectSameContent(latin1.datapoints,
                      {point("", 1, T::holdingRegister, 1, D::uint16, W::abcd, 1, "%")});
}

TEST(DatapointCSVHeaderTest, FirstCellClaimsAColumn) {
    // "Type" is another name of the table column, so the real Table column is ignored.
    const auto [points, issues, tooLarge, adjustments] =
        parse("Type,Table,Address,Slave,Unit ID\nCO,HR,4,2,3\n");
    EXPECT_TRUE(issues.empty());
    expectSameContent(points, {point("", 2, T::coil, 4, D::bool_)});
}

TEST(DatapointCSVHeaderTest, MissingTableOrAddressGivesOneIssueOnLine1) {
    const std::vector<ImportIssue> missing{{1, Problem::missingColumns()}};
    for (std::string_view text : {"Name;Value\nA;1\n", "Table;Name\nHR;x\n", "\n\nAddress\n1\n"}) {
        EXPECT_TRUE(parse(text).datapoints.empty()) << text;
        EXPECT_EQ(parse(text).issues, missing) << text;
    }
    for (std::string_view text :
         {"", "\xEF\xBB\xBF", "\n\r\n", "Table;Address\n", "Table;Address\n\n"}) {
        EXPECT_TRUE(parse(text).datapoints.empty() && parse(text).issues.empty()) << text;
    }
}

// What a file may cost is bounded by the file: a record keeps at most maxCellsPerRecord cells,
// and a file of more than maxDatapoints records is refused as a whole.
TEST(DatapointCSVLimitsTest, CellsPerRecordAndRecordsAreBounded) {
    const std::string commas(10'000'000, ',');
    const auto header = records(commas, ',');
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(header[0].size(), maxCellsPerRecord);
    EXPECT_EQ(parse(commas).issues, (std::vector<ImportIssue>{{1, Problem::missingColumns()}}));

    // Cells past the limit are ignored; the columns before it still read.
    const std::string wide =
        "Table,Address" + std::string(1000, ',') + "Name\nHR,7" + std::string(1000, ',') + "x\n";
    const auto read = parse(wide);
    ASSERT_EQ(read.datapoints.size(), 1u);
    EXPECT_EQ(read.datapoints[0].address, 7);
    EXPECT_EQ(read.datapoints[0].name, "");

    std::string lines = "Table,Address\n";
    lines.reserve(lines.size() + 5 * (maxDatapoints + 1));
    for (std::size_t i = 0; i < maxDatapoints; ++i) {
        lines += i == 0 ? "HR,0\n" : "X,0\n"; // datapoints and issues both count
    }
    const auto atLimit = parse(lines);
    EXPECT_FALSE(atLimit.tooLarge);
    EXPECT_EQ(atLimit.datapoints.size() + atLimit.issues.size(), maxDatapoints);
    const auto beyond = parse(lines + "\n\nHR,1\n");
    EXPECT_TRUE(beyond.tooLarge);
    EXPECT_TRUE(beyond.datapoints.empty() && beyond.issues.empty());
}

TEST(DatapointCSVRecordTest, EmptyCellsTakeDefaults) {
    const auto [points, issues, tooLarge, adjustments] =
        parse("Table,Address,Data type,Word order,Format,Unit ID\n"
              "coil,12\n"
              "  ,\t, ,\n"
              "Holding Register, +7 ,,nonsense,weird\n"
              "HR,-0,,\n");
    EXPECT_TRUE(issues.empty());
    expectSameContent(points, {point("", 1, T::coil, 12, D::bool_),
                               point("", 1, T::holdingRegister, 7, D::uint16),
                               point("", 1, T::holdingRegister, 0, D::uint16)});
}

TEST(DatapointCSVRecordTest, NumbersInCells) {
    // Scale and value cells, and the numbers they must give.
    const std::tuple<std::string, std::string, double, double> cases[] = {
        {"0,1", "21,5", 0.1, 21.5}, {"0.1", "-3", 0.1, -3},        {"1e+15", "1E3", 1e15, 1000},
        {"+2", ".5", 2, 0.5},       {"-1", "1,5e+20", -1, 1.5e20}, {"", "", 1, 0},
    };
    for (const auto& [scale, value, expectedScale, expectedValue] : cases) {
        const auto [points, issues, tooLarge, adjustments] =
            parse("Table;Address;Data type;Scale;Value\nHR;40001;Float64;" + scale + ";" + value);
        ASSERT_EQ(points.size(), 1u) << scale << " " << value;
        EXPECT_EQ(points[0].address, 40001); // no Modicon conversion
        EXPECT_EQ(points[0].scale, expectedScale);
        EXPECT_EQ(points[0].value, expectedValue);
    }
}

TEST(DatapointCSVRecordTest, ValuesTheTypeCannotHoldAreStoredAsTheMasterReadsThem) {
    struct Case {
        std::string record; // data type;scale;value
        double stored;
        bool clamped;
        std::string description;
    };
    const Case cases[] = {
        {"UInt16;1;70000", 65535, true, "Line 2: 70000 clamped to 65535"},
        {"Int16;1;-40000", -32768, true, "Line 2: -40000 clamped to -32768"},
        {"UInt16;0,1;7000", 6553.5, true, "Line 2: 7000 clamped to 6553,5"},
        {"UInt16;1;2,5", 3, false, "Line 2: 2,5 rounded to 3"},
        {"Int32;1;-1,25", -1, false, "Line 2: -1,25 rounded to -1"},
        {"bool;1;5", 1, true, "Line 2: 5 clamped to 1"},
    };
    for (const Case& c : cases) {
        const auto [points, issues, tooLarge, adjustments] =
            parse("Data type;Scale;Value;Table;Address\n" + c.record + ";HR;0");
        ASSERT_EQ(points.size(), 1u) << c.record;
        EXPECT_EQ(points[0].value, c.stored) << c.record;
        ASSERT_EQ(adjustments.size(), 1u) << c.record;
        EXPECT_EQ(adjustments[0].line, 2);
        EXPECT_EQ(adjustments[0].clamped, c.clamped) << c.record;
        EXPECT_EQ(adjustments[0].description(), c.description);
    }
    // Values that fit, and floats that only lose digits, are left alone.
    const auto fits = parse("Data type;Scale;Value;Table;Address\nUInt16;0,1;21,5;HR;0\n"
                            "Float32;1;1,013;HR;1\nInt16;1;-32768;HR;3\n");
    EXPECT_EQ(fits.datapoints.size(), 3u);
    EXPECT_TRUE(fits.adjustments.empty());
}

TEST(DatapointCSVExportTest, FloatsReadBackFromRegistersGetTheirShortestText) {
    const float single = 1.013f;
    std::vector<Datapoint> points{
        point("", 1, T::holdingRegister, 0, D::float32, W::abcd, 1, "", F::decimal, single),
        point("", 1, T::holdingRegister, 2, D::float64, W::abcd, 1, "", F::decimal, single)};
    const std::string text = exportText(points, Dialect{',', false});
    EXPECT_NE(text.find(",1.013,"), std::string::npos) << text;
    // A 64-bit float keeps every digit of its value.
    EXPECT_NE(text.find(",1.0130000114440918,"), std::string::npos) << text;
}

TEST(DatapointCSVRecordTest, EachProblemStopsTheRecordAtTheFirstBadCell) {
    const std::pair<std::string_view, Problem> cases[] = {
        {"Zone;x;1;float;0", Problem::invalidTable("Zone")},
        {"HR;70000;0;x;x", Problem::invalidAddress("70000")},
        {"HR;0x10;;;", Problem::invalidAddress("0x10")},
        {"HR;;;;", Problem::invalidAddress("")},
        {"HR;1;0;x;x", Problem::invalidUnit("0")},
        {"HR;1; 248 ;;", Problem::invalidUnit("248")},
        {"CO;1;1;float;x", Problem::invalidDataType("float")},
        {"HR;1;1;f32;0", Problem::invalidNumber("0")},
        {"HR;1;1;;1,000.5", Problem::invalidNumber("1,000.5")},
        {"HR;1;1;;-0", Problem::invalidNumber("-0")},
        {"HR;1;1;;1;inf", Problem::invalidNumber("inf")},
        {"HR;1;1;;1;1e999", Problem::invalidNumber("1e999")},
        {"HR;1;1;;1;1 000", Problem::invalidNumber("1 000")},
    };
    for (const auto& [record, problem] : cases) {
        const auto [points, issues, tooLarge, adjustments] =
            parse("Table;Address;Unit ID;Data type;Scale;Value\n\n" + std::string(record));
        EXPECT_TRUE(points.empty()) << record;
        EXPECT_EQ(issues, (std::vector<ImportIssue>{{3, problem}})) << record;
    }
}

TEST(DatapointCSVRecordTest, ProblemTexts) {
    const std::pair<Problem, std::string_view> cases[] = {
        {Problem::invalidAddress("70000"), "invalid address '70000' (0 to 65535)"},
        {Problem::invalidUnit("0"), "invalid unit ID '0' (1 to 247)"},
        {Problem::invalidDataType("float"), "unknown data type 'float'"},
        {Problem::missingColumns(), "the columns Table and Address are missing"},
        {Problem::invalidTable("\x1B[2J\tx\xC2\x85\x7F"),
         "unknown table '\\x1B[2J\\tx\\u0085\\x7F' (use CO, DI, HR or IR)"},
        {Problem::invalidTable("Zähler \\ \xFF"),
         "unknown table 'Zähler \\ \xFF' (use CO, DI, HR or IR)"},
    };
    const L10n::ScopedLanguage english(Language::en);
    for (const auto& [problem, text] : cases) {
        EXPECT_EQ((ImportIssue{7, problem}.description()), "Line 7: " + std::string(text));
    }
}

TEST(DatapointCSVDialectTest, FollowsTheLocaleDecimalSeparator) {
    EXPECT_EQ(Dialect::current(","), (Dialect{';', true}));
    EXPECT_EQ(Dialect::current("."), (Dialect{',', false}));
    EXPECT_EQ(Dialect::current("\xD9\xAB"), (Dialect{',', false})); // Arabic decimal separator
}

} // namespace

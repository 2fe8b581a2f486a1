#include "ModbusCore/DatapointCSV.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <string_view>
#include <vector>

using namespace DatapointCSV;

namespace {

constexpr std::string_view bom = "\xEF\xBB\xBF";

Datapoint point(std::string name, RegisterTable table, std::uint16_t address, DataType type,
                double scale = 1, double value = 0) {
    return Datapoint(UUID::random(), std::move(name), 1, table, address, type, WordOrder::abcd,
                     scale, "", DisplayFormat::decimal, value, "", Simulation{});
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

std::vector<Datapoint> sampleDatapoints() {
    std::vector<Datapoint> points;
    points.push_back(
        point("Temperature", RegisterTable::holdingRegister, 0, DataType::int16, 0.1, 21.5));
    points.back().engineeringUnit = "\xC2\xB0"
                                    "C";
    points.push_back(point("Pump; \"main\"", RegisterTable::coil, 12, DataType::bool_, 1, 1));
    points.back().unitID = 247;
    points.back().notes = "two\r\nlines, and\na lone\rreturn";
    points.push_back(
        point("Energy", RegisterTable::inputRegister, 65532, DataType::float64, 0.001, 1.5e20));
    points.back().wordOrder = WordOrder::dcba;
    points.back().format = DisplayFormat::hex;
    points.push_back(
        point("Counter", RegisterTable::holdingRegister, 40001, DataType::uint32, -2, -123456));
    points.back().wordOrder = WordOrder::cdab;
    points.back().format = DisplayFormat::binary;
    points.back().simulation = Simulation{Simulation::Kind::counter, 0, 10, 1};
    points.push_back(point("", RegisterTable::discreteInput, 7, DataType::bool_));
    points.push_back(point("x", RegisterTable::holdingRegister, 1, DataType::float32, 1e-7,
                           0.30000000000000004));
    points.back().wordOrder = WordOrder::badc;
    return points;
}

// MARK: Export

TEST(DatapointCSVExportTest, WritesHeaderAndRecordsWithBOMAndCRLF) {
    std::vector<Datapoint> points{
        point("Temperature", RegisterTable::holdingRegister, 0, DataType::int16, 0.1, 21.5)};
    points[0].engineeringUnit = "\xC2\xB0"
                                "C";
    EXPECT_EQ(exportText(points, Dialect{';', true}),
              std::string(bom) +
                  "Name;Unit ID;Table;Address;Data type;Word order;Scale;Unit;Format;Value;"
                  "Description\r\n"
                  "Temperature;1;HR;0;int16;ABCD;0,1;\xC2\xB0"
                  "C;;21,5;\r\n");

    points[0].table = RegisterTable::inputRegister;
    points[0].wordOrder = WordOrder::cdab;
    points[0].format = DisplayFormat::hex;
    EXPECT_EQ(exportText(points, Dialect{',', false}),
              std::string(bom) +
                  "Name,Unit ID,Table,Address,Data type,Word order,Scale,Unit,Format,Value,"
                  "Description\r\n"
                  "Temperature,1,IR,0,int16,CDAB,0.1,\xC2\xB0"
                  "C,hex,21.5,\r\n");
    EXPECT_EQ(exportText({}, Dialect{',', false}).substr(0, 8), std::string(bom) + "Name,");
}

TEST(DatapointCSVExportTest, NumberTexts) {
    const struct {
        double number;
        bool decimalComma;
        std::string_view text;
    } cases[] = {
        {40001.0, false, "40001"},
        {-5, false, "-5"},
        {-0.0, false, "0"},
        {21.5, true, "21,5"},
        {21.5, false, "21.5"},
        {0.1, false, "0.1"},
        {999999999999999, false, "999999999999999"},
        {1e15, false, "1e+15"},
        {-1e15, true, "-1e+15"},
        {1.5e20, true, "1,5e+20"},
        {1234567.25, true, "1234567,25"}, // never grouped
        {1e-7, false, "1e-07"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(numberText(c.number, c.decimalComma), c.text) << c.number;
        const std::string back = [&] {
            std::string t(c.text);
            std::replace(t.begin(), t.end(), ',', '.');
            return t;
        }();
        EXPECT_EQ(std::stod(back), c.number) << c.text;
    }
}

TEST(DatapointCSVExportTest, QuotesCellsThatWouldSplitOrBeTrimmed) {
    const struct {
        std::string_view name;
        char separator;
        std::string_view cell;
    } cases[] = {
        {"plain", ';', "plain"},
        {" leading", ';', "\" leading\""},
        {"trailing ", ',', "\"trailing \""},
        {"a;b", ';', "\"a;b\""},
        {"a;b", ',', "a;b"},
        {"a,b", ',', "\"a,b\""},
        {"say \"hi\"", ';', "\"say \"\"hi\"\"\""},
        {"two\nlines", ',', "\"two\nlines\""},
        {"cr\r", ',', "\"cr\r\""},
        {"inner space", ',', "inner space"},
    };
    for (const auto& c : cases) {
        std::vector<Datapoint> points{
            point(std::string(c.name), RegisterTable::coil, 0, DataType::bool_)};
        const std::string text = exportText(points, Dialect{c.separator, false});
        const std::string record = text.substr(text.find("\r\n") + 2);
        EXPECT_EQ(record.substr(0, c.cell.size() + 1), std::string(c.cell) + c.separator) << c.name;
    }
}

// MARK: Round trips

TEST(DatapointCSVRoundTripTest, ExportThenParseGivesTheSameDatapointsInBothDialects) {
    const auto points = sampleDatapoints();
    for (Dialect dialect : {Dialect{';', true}, Dialect{',', false}}) {
        const auto [parsed, issues] = parse(exportText(points, dialect));
        EXPECT_TRUE(issues.empty()) << dialect.separator;
        expectSameContent(parsed, points);
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            EXPECT_NE(parsed[i].id, points[i].id);
        }
    }
}

TEST(DatapointCSVRoundTripTest, SpreadsheetFileWithBOMAndCRLFReadsLikeLF) {
    const std::string lf = "Name;Table;Address;Scale\nA;HR;1;0,5\n\"B\nb\";CO;2;\n";
    std::string crlf = std::string(bom);
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const auto fromLF = parse(lf);
    const auto fromCRLF = parse(crlf);
    ASSERT_EQ(fromLF.datapoints.size(), 2u);
    EXPECT_TRUE(fromCRLF.issues.empty());
    EXPECT_EQ(fromCRLF.datapoints[0].scale, 0.5);
    EXPECT_EQ(fromCRLF.datapoints[1].name, "B\r\nb"); // a quoted line break stays as written
    Datapoint second = fromLF.datapoints[1];
    second.name = "B\r\nb";
    expectSameContent(fromCRLF.datapoints, {fromLF.datapoints[0], second});
}

// MARK: Reader

TEST(DatapointCSVReaderTest, QuotedCellsKeepSeparatorsQuotesAndLineBreaks) {
    const auto rows =
        records("a;\"x;\"\"y\"\"\nz\";c\nnext;\"q\"r\n\n\n\"\";\n\"lone\rcr\"\nlast", ';');
    const std::vector<std::vector<Field>> expected{
        {{"a", 1}, {"x;\"y\"\nz", 1}, {"c", 1}},
        {{"next", 3}, {"qr", 3}}, // text after the closing quote is read outside quotes
        {{"", 6}, {"", 6}},
        {{"lone\rcr", 7}},
        {{"last", 8}},
    };
    EXPECT_EQ(rows, expected);
}

TEST(DatapointCSVReaderTest, EdgesOfQuotingAndLineBreaks) {
    const struct {
        std::string_view text;
        std::vector<std::vector<Field>> rows;
    } cases[] = {
        {"", {}},
        {"\n\r\n\r", {}},
        {"a\r\rb", {{{"a", 1}}, {{"b", 3}}}},
        {"a\"b\";c", {{{"a\"b\"", 1}, {"c", 1}}}}, // a quote inside a cell is ordinary
        {"\"open;\nnever closed", {{{"open;\nnever closed", 1}}}},
        {"\"\"\"\"", {{{"\"", 1}}}},
        {"x;", {{{"x", 1}, {"", 1}}}},
        {"\"a\r\nb\"\r\nc", {{{"a\r\nb", 1}}, {{"c", 3}}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(records(c.text, ';'), c.rows) << c.text;
    }
}

TEST(DatapointCSVReaderTest, DetectsTheSeparatorOnTheHeaderLine) {
    const struct {
        std::string_view text;
        char separator;
    } cases[] = {
        {"a;b;c", ';'},   {"a,b,c", ','},    {"a\tb\tc", '\t'},   {"a;b,c", ';'},
        {"a,b;c,d", ','}, {"a\tb;c", ';'},   {"a\tb,c", '\t'},    {"abc", ';'},
        {"", ';'},        {"a\nb,c,d", ';'}, {"a,b\rc;d;e", ','}, {"a;b\r\nc,d,e", ';'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detectSeparator(c.text), c.separator) << c.text;
    }
}

TEST(DatapointCSVReaderTest, LineNumbersCountQuotedLineBreaksAndBlankLines) {
    const auto [points, issues] =
        parse("Table;Address;Description\n\nHR;1;\"one\ntwo\nthree\"\n\nXX;2;\nHR;x\n");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].notes, "one\ntwo\nthree");
    EXPECT_EQ(issues, (std::vector<ImportIssue>{{7, Problem::invalidTable("XX")},
                                                {8, Problem::invalidAddress("x")}}));
}

// MARK: Header

TEST(DatapointCSVHeaderTest, FindsColumnsByTitleAliasAndLanguage) {
    const auto dutch = parse("Naam;Tabel;Adres;Eenheid;Waarde;Omschrijving;Woordvolgorde\n"
                             "Pomp;HR;5;bar;2,5;hoofdpomp;cdab\n");
    ASSERT_EQ(dutch.datapoints.size(), 1u);
    EXPECT_EQ(dutch.datapoints[0].name, "Pomp");
    EXPECT_EQ(dutch.datapoints[0].address, 5);
    EXPECT_EQ(dutch.datapoints[0].engineeringUnit, "bar");
    EXPECT_EQ(dutch.datapoints[0].value, 2.5);
    EXPECT_EQ(dutch.datapoints[0].notes, "hoofdpomp");
    EXPECT_EQ(dutch.datapoints[0].wordOrder, WordOrder::cdab);

    // A title wins over another column's alias; spaces and case do not matter.
    const auto titles = parse("UNIT, unit id ,Table,Address,Format,Data Type,UNITÉ\n"
                              "kWh,9,ir,3,hex,int32,ignored\n");
    ASSERT_EQ(titles.datapoints.size(), 1u);
    EXPECT_EQ(titles.datapoints[0].engineeringUnit, "kWh");
    EXPECT_EQ(titles.datapoints[0].unitID, 9);
    EXPECT_EQ(titles.datapoints[0].format, DisplayFormat::hex);
    EXPECT_EQ(titles.datapoints[0].dataType, DataType::int32);

    const auto latin1 = parse("Table\tAddress\tUNITÉ\nHR\t1\t%\n");
    ASSERT_EQ(latin1.datapoints.size(), 1u);
    EXPECT_EQ(latin1.datapoints[0].engineeringUnit, "%");
}

TEST(DatapointCSVHeaderTest, FirstCellClaimsAColumn) {
    // "Type" is another name of the table column, so the real Table column is ignored.
    const auto [points, issues] = parse("Type,Table,Address,Slave,Unit ID\nCO,HR,4,2,3\n");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_TRUE(issues.empty());
    EXPECT_EQ(points[0].table, RegisterTable::coil);
    EXPECT_EQ(points[0].dataType, DataType::bool_);
    EXPECT_EQ(points[0].unitID, 2);
}

TEST(DatapointCSVHeaderTest, MissingTableOrAddressGivesOneIssueOnLine1) {
    const std::vector<ImportIssue> missing{{1, Problem::missingColumns()}};
    for (std::string_view text : {"Name;Value\nA;1\nB;2\n", "Name;Value\n", "Table;Name\nHR;x\n",
                                  "\n\nAddress\n1\n", "foo;bar\nHR;1\n"}) {
        const auto result = parse(text);
        EXPECT_TRUE(result.datapoints.empty()) << text;
        EXPECT_EQ(result.issues, missing) << text;
    }
    for (std::string_view text :
         {"", "\xEF\xBB\xBF", "\n\r\n", "Table;Address\n", "Table;Address\n\n"}) {
        const auto result = parse(text);
        EXPECT_TRUE(result.datapoints.empty()) << text;
        EXPECT_TRUE(result.issues.empty()) << text;
    }
}

// MARK: Records

TEST(DatapointCSVRecordTest, EmptyCellsTakeDefaults) {
    const auto [points, issues] = parse("Table,Address,Data type,Word order,Format,Unit ID\n"
                                        "coil,12\n"
                                        "  ,\t, ,\n"
                                        "Holding Register, +7 ,,nonsense,weird\n"
                                        "HR,-0,,\n");
    EXPECT_TRUE(issues.empty());
    ASSERT_EQ(points.size(), 3u);
    const Datapoint& coil = points[0];
    EXPECT_EQ(coil.table, RegisterTable::coil);
    EXPECT_EQ(coil.address, 12);
    EXPECT_EQ(coil.unitID, 1);
    EXPECT_EQ(coil.dataType, DataType::bool_);
    EXPECT_EQ(coil.scale, 1);
    EXPECT_EQ(coil.value, 0);
    EXPECT_EQ(coil.simulation, Simulation{});
    EXPECT_EQ(points[1].table, RegisterTable::holdingRegister);
    EXPECT_EQ(points[1].address, 7);
    EXPECT_EQ(points[1].dataType, DataType::uint16);
    EXPECT_EQ(points[1].wordOrder, WordOrder::abcd);
    EXPECT_EQ(points[1].format, DisplayFormat::decimal);
    EXPECT_EQ(points[2].address, 0);
}

TEST(DatapointCSVRecordTest, NumbersInCells) {
    const struct {
        std::string_view scale;
        std::string_view value;
        double expectedScale;
        double expectedValue;
    } cases[] = {
        {"0,1", "21,5", 0.1, 21.5}, {"0.1", "-3", 0.1, -3},        {"1e+15", "1E3", 1e15, 1000},
        {"+2", ".5", 2, 0.5},       {"-1", "1,5e+20", -1, 1.5e20}, {"", "", 1, 0},
    };
    for (const auto& c : cases) {
        const auto [points, issues] = parse("Table;Address;Scale;Value\nHR;40001;" +
                                            std::string(c.scale) + ";" + std::string(c.value));
        ASSERT_EQ(points.size(), 1u) << c.scale << " " << c.value;
        EXPECT_EQ(points[0].address, 40001); // no Modicon conversion
        EXPECT_EQ(points[0].scale, c.expectedScale);
        EXPECT_EQ(points[0].value, c.expectedValue);
    }
}

TEST(DatapointCSVRecordTest, EachProblemStopsTheRecordAtTheFirstBadCell) {
    const struct {
        std::string_view record;
        Problem problem;
        std::string_view english;
    } cases[] = {
        {"Zone;x;1;float;0", Problem::invalidTable("Zone"),
         "unknown table 'Zone' (use CO, DI, HR or IR)"},
        {" ;1;1;;", Problem::invalidTable(""), "unknown table '' (use CO, DI, HR or IR)"},
        {"HR;70000;0;x;x", Problem::invalidAddress("70000"),
         "invalid address '70000' (0 to 65535)"},
        {"HR;-1;;;", Problem::invalidAddress("-1"), "invalid address '-1' (0 to 65535)"},
        {"HR;0x10;;;", Problem::invalidAddress("0x10"), "invalid address '0x10' (0 to 65535)"},
        {"HR;;;;", Problem::invalidAddress(""), "invalid address '' (0 to 65535)"},
        {"HR;1;0;x;x", Problem::invalidUnit("0"), "invalid unit ID '0' (1 to 247)"},
        {"HR;1; 248 ;;", Problem::invalidUnit("248"), "invalid unit ID '248' (1 to 247)"},
        {"HR;1;1.5;;", Problem::invalidUnit("1.5"), "invalid unit ID '1.5' (1 to 247)"},
        {"CO;1;1;float;x", Problem::invalidDataType("float"), "unknown data type 'float'"},
        {"HR;1;1;uint 16;", Problem::invalidDataType("uint 16"), "unknown data type 'uint 16'"},
        {"HR;1;1;f32;0", Problem::invalidNumber("0"), "invalid number '0'"},
        {"HR;1;1;;1,000.5", Problem::invalidNumber("1,000.5"), "invalid number '1,000.5'"},
        {"HR;1;1;;1.000,5", Problem::invalidNumber("1.000,5"), "invalid number '1.000,5'"},
        {"HR;1;1;;-0", Problem::invalidNumber("-0"), "invalid number '-0'"},
        {"HR;1;1;;1;inf", Problem::invalidNumber("inf"), "invalid number 'inf'"},
        {"HR;1;1;;1;nan", Problem::invalidNumber("nan"), "invalid number 'nan'"},
        {"HR;1;1;;1;1e999", Problem::invalidNumber("1e999"), "invalid number '1e999'"},
        {"HR;1;1;;1;0x1p3", Problem::invalidNumber("0x1p3"), "invalid number '0x1p3'"},
        {"HR;1;1;;1;1 000", Problem::invalidNumber("1 000"), "invalid number '1 000'"},
        {"HR;1;1;;1;true", Problem::invalidNumber("true"), "invalid number 'true'"},
    };
    const L10n::ScopedLanguage english(Language::en);
    for (const auto& c : cases) {
        const auto [points, issues] =
            parse("Table;Address;Unit ID;Data type;Scale;Value\n\n" + std::string(c.record));
        EXPECT_TRUE(points.empty()) << c.record;
        ASSERT_EQ(issues.size(), 1u) << c.record;
        EXPECT_EQ(issues[0], (ImportIssue{3, c.problem})) << c.record;
        EXPECT_EQ(issues[0].description(), "Line 3: " + std::string(c.english));
    }
    EXPECT_EQ((ImportIssue{1, Problem::missingColumns()}.description()),
              "Line 1: the columns Table and Address are missing");
}

TEST(DatapointCSVDialectTest, FollowsTheLocaleDecimalSeparator) {
    EXPECT_EQ(Dialect::current(","), (Dialect{';', true}));
    EXPECT_EQ(Dialect::current("."), (Dialect{',', false}));
    EXPECT_EQ(Dialect::current(""), (Dialect{',', false}));
    EXPECT_EQ(Dialect::current("\xD9\xAB"), (Dialect{',', false})); // Arabic decimal separator
}

TEST(DatapointCSVColumnTest, TitlesAreTheRawValues) {
    std::string titles;
    for (Column column : Column::allCases()) {
        EXPECT_EQ(Column::fromRaw(column.rawValue()), column);
        titles += std::string(column.rawValue()) + "|";
    }
    EXPECT_EQ(titles, "Name|Unit ID|Table|Address|Data type|Word order|Scale|Unit|Format|Value|"
                      "Description|");
    EXPECT_EQ(Column::fromRaw("name"), std::nullopt);
}

} // namespace

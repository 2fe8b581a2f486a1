#include "Corvana/model/ModelEditing.h"
#include "Corvana/model/SerialPortInfo.h"
#include "Corvana/model/ServerProject.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// --- Example project ---

TEST(ServerProject, ExampleIsOneDeviceWithSevenDatapoints) {
    L10n::ScopedLanguage english(Language::en);
    const ServerProject project = ServerProject::example();

    EXPECT_EQ(project.version, 1);
    EXPECT_EQ(project.serial.summary(), "9600 8E1");
    ASSERT_EQ(project.units.size(), 1u);
    ServerUnit expectedUnit;
    expectedUnit.unitID = 1;
    expectedUnit.name = "Example device";
    EXPECT_EQ(project.units[0], expectedUnit);

    struct Row {
        const char* name;
        RegisterTable table;
        std::uint16_t address;
        DataType type;
        double scale;
        const char* unit;
        double value;
        Simulation simulation;
    };
    using Kind = Simulation::Kind;
    const Row rows[] = {
        {"Temperature",
         RegisterTable::inputRegister,
         0,
         DataType::int16,
         0.1,
         "°C",
         21.5,
         {Kind::sine, 18, 24, 60}},
        {"Pressure",
         RegisterTable::inputRegister,
         1,
         DataType::float32,
         1,
         "bar",
         1.013,
         {Kind::none, 0, 100, 10}},
        {"Run time",
         RegisterTable::inputRegister,
         3,
         DataType::uint32,
         1,
         "s",
         0,
         {Kind::counter, 0, 4'000'000'000, 1}},
        {"Setpoint",
         RegisterTable::holdingRegister,
         0,
         DataType::int16,
         0.1,
         "°C",
         20,
         {Kind::none, 0, 100, 10}},
        {"Mode",
         RegisterTable::holdingRegister,
         1,
         DataType::uint16,
         1,
         "",
         1,
         {Kind::none, 0, 100, 10}},
        {"Pump on", RegisterTable::coil, 0, DataType::bool_, 1, "", 1, {Kind::none, 0, 100, 10}},
        {"Alarm",
         RegisterTable::discreteInput,
         0,
         DataType::bool_,
         1,
         "",
         0,
         {Kind::toggle, 0, 1, 15}},
    };
    ASSERT_EQ(project.datapoints.size(), std::size(rows));
    std::unordered_set<UUID> ids;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        const Datapoint& datapoint = project.datapoints[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(datapoint.name, row.name);
        EXPECT_EQ(datapoint.unitID, 1);
        EXPECT_EQ(datapoint.table, row.table);
        EXPECT_EQ(datapoint.address, row.address);
        EXPECT_EQ(datapoint.dataType, row.type);
        EXPECT_EQ(datapoint.wordOrder, WordOrder::abcd);
        EXPECT_EQ(datapoint.format, DisplayFormat::decimal);
        EXPECT_DOUBLE_EQ(datapoint.scale, row.scale);
        EXPECT_EQ(datapoint.engineeringUnit, row.unit);
        EXPECT_DOUBLE_EQ(datapoint.value, row.value);
        EXPECT_EQ(datapoint.notes, "");
        EXPECT_EQ(datapoint.simulation, row.simulation);
        ids.insert(datapoint.id);
    }
    EXPECT_EQ(ids.size(), std::size(rows));
    EXPECT_TRUE(Overlaps::compute(project.datapoints).empty());

    // Every example gets its own ids.
    EXPECT_NE(ServerProject::example().datapoints[0].id, project.datapoints[0].id);
}

TEST(ServerProject, ExampleFollowsTheLanguage) {
    L10n::ScopedLanguage german(Language::de);
    const ServerProject project = ServerProject::example();
    EXPECT_EQ(project.units[0].name, L10n::Example::deviceName());
    EXPECT_NE(project.units[0].name, "Example device");
    EXPECT_EQ(project.datapoints[0].name, L10n::Example::temperature());
}

// --- Port naming ---

struct NamingCase {
    const char* what;
    SerialPortInfo port;
    const char* displayName;
    const char* shortName;
};

TEST(SerialPortInfo, NamesPortsFromTablesProductNameOrPath) {
    L10n::ScopedLanguage english(Language::en);
    const NamingCase cases[] = {
        {"board",
         {"/dev/ttyACM0", "Uno R3", 0x2341, 0x0043},
         "/dev/ttyACM0 — Arduino Uno",
         "Arduino Uno"},
        {"second board vendor",
         {"/dev/ttyACM1", std::nullopt, 0x2A03, 0x8036},
         "/dev/ttyACM1 — Arduino Leonardo",
         "Arduino Leonardo"},
        {"unlisted Arduino product",
         {"/dev/ttyACM0", std::nullopt, 0x2341, 0x7777},
         "/dev/ttyACM0 — Arduino",
         "Arduino"},
        {"CH340",
         {"/dev/ttyUSB0", "USB2.0-Serial", 0x1A86, 0x7523},
         "/dev/ttyUSB0 — USB serial (CH340)",
         "USB serial (CH340)"},
        {"FT2232",
         {"/dev/ttyUSB1", std::nullopt, 0x0403, 0x6010},
         "/dev/ttyUSB1 — USB serial (FTDI FT2232)",
         "USB serial (FTDI FT2232)"},
        {"vendor without product id",
         {"/dev/ttyACM2", std::nullopt, 0x303A, std::nullopt},
         "/dev/ttyACM2 — Espressif ESP32",
         "Espressif ESP32"},
        {"chip vendor without product id",
         {"/dev/ttyUSB2", std::nullopt, 0x1A86, std::nullopt},
         "/dev/ttyUSB2",
         "ttyUSB2"},
        {"product name trimmed",
         {"/dev/ttyUSB3", " USB Serial\n", 0x1234, 0x5678},
         "/dev/ttyUSB3 — USB Serial",
         "USB Serial"},
        {"empty product name",
         {"/dev/ttyUSB4", " \t\r\n", 0x1234, 0x5678},
         "/dev/ttyUSB4",
         "ttyUSB4"},
        {"product id without vendor",
         {"/dev/ttyUSB5", std::nullopt, std::nullopt, 0x7523},
         "/dev/ttyUSB5",
         "ttyUSB5"},
        {"built-in port",
         {"/dev/ttyS0", std::nullopt, std::nullopt, std::nullopt},
         "/dev/ttyS0",
         "ttyS0"},
        {"short path", {"/dev", std::nullopt, std::nullopt, std::nullopt}, "/dev", ""},
    };
    for (const NamingCase& c : cases) {
        EXPECT_EQ(c.port.displayName(), c.displayName) << c.what;
        EXPECT_EQ(c.port.shortName(), c.shortName) << c.what;
    }
}

TEST(SerialPortInfo, KnownDeviceNameTellsChipsApart) {
    using Known = SerialPortInfo::KnownDevice;
    EXPECT_EQ(SerialPortInfo::knownDeviceName(0x2341, 0x1002),
              (Known{"Arduino UNO R4 WiFi", false}));
    EXPECT_EQ(SerialPortInfo::knownDeviceName(0x10C4, 0xEA60), (Known{"CP210x", true}));
    EXPECT_EQ(SerialPortInfo::knownDeviceName(0x16C0, 0x0483), (Known{"Teensy", false}));
    EXPECT_EQ(SerialPortInfo::knownDeviceName(0x0403, 0x9999), std::nullopt);
    EXPECT_EQ(SerialPortInfo::knownDeviceName(std::nullopt, 0x0043), std::nullopt);
}

TEST(SerialPortInfo, ChipNamesFollowTheLanguage) {
    L10n::ScopedLanguage german(Language::de);
    const SerialPortInfo port{"/dev/ttyUSB0", std::nullopt, 0x067B, 0x2303};
    EXPECT_EQ(port.shortName(), L10n::Board::usbSerial("PL2303"));
}

} // namespace

#include "Corvana/model/SerialPortInfo.h"
#include "Corvana/model/ServerProject.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(ServerProject, ExampleIsOneDeviceWithSevenDatapoints) {
    L10n::ScopedLanguage english(Language::en);
    const ServerProject project = ServerProject::example();
    EXPECT_EQ(project.serial, (SerialConfiguration{9600, 8, Parity::even, 1}));
    EXPECT_EQ(project.units, std::vector<ServerUnit>{{.name = "Example device"}});

    using K = Simulation::Kind;
    using T = RegisterTable;
    using D = DataType;
    const auto row = [](const char* name, RegisterTable table, std::uint16_t address, DataType type,
                        double scale, const char* unit, double value, Simulation simulation) {
        return Datapoint(UUID(), name, 1, table, address, type, WordOrder::abcd, scale, unit,
                         DisplayFormat::decimal, value, "", simulation);
    };
    const std::vector<Datapoint> rows = {
        row("Temperature", T::inputRegister, 0, D::int16, 0.1, "°C", 21.5, {K::sine, 18, 24, 60}),
        row("Pressure", T::inputRegister, 1, D::float32, 1, "bar", 1.013, {}),
        row("Run time", T::inputRegister, 3, D::uint32, 1, "s", 0, {K::counter, 0, 4e9, 1}),
        row("Setpoint", T::holdingRegister, 0, D::int16, 0.1, "°C", 20, {}),
        row("Mode", T::holdingRegister, 1, D::uint16, 1, "", 1, {}),
        row("Pump on", T::coil, 0, D::bool_, 1, "", 1, {}),
        row("Alarm", T::discreteInput, 0, D::bool_, 1, "", 0, {K::toggle, 0, 1, 15}),
    };
    ASSERT_EQ(project.datapoints.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Datapoint expected = rows[i];
        expected.id = project.datapoints[i].id;
        EXPECT_EQ(project.datapoints[i], expected) << expected.name;
    }
    EXPECT_NE(project.datapoints[0].id, project.datapoints[6].id);
}

TEST(SerialPortInfo, NamesPortsFromTablesProductNameOrPath) {
    L10n::ScopedLanguage english(Language::en);
    const struct {
        SerialPortInfo port;
        const char* device; // nullptr: no device name
    } cases[] = {
        {{"/dev/ttyACM0", "Uno R3", 0x2341, 0x0043}, "Arduino Uno"},
        {{"/dev/ttyACM0", std::nullopt, 0x2341, 0x7777}, "Arduino"}, // vendor table
        {{"/dev/ttyUSB0", "USB2.0-Serial", 0x1A86, 0x7523}, "USB serial (CH340)"},
        {{"/dev/ttyUSB1", std::nullopt, 0x0403, 0x6010}, "USB serial (FTDI FT2232)"},
        {{"/dev/ttyACM2", std::nullopt, 0x303A, std::nullopt}, "Espressif ESP32"},
        {{"/dev/ttyUSB3", " USB Serial\n", 0x1234, 0x5678}, "USB Serial"},
        {{"/dev/ttyUSB4", " \t\r\n", 0x1234, 0x5678}, nullptr},
        {{"/dev/ttyS0", std::nullopt, std::nullopt, std::nullopt}, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.port.displayName(), c.device ? c.port.path + " — " + c.device : c.port.path);
        EXPECT_EQ(c.port.shortName(), c.device ? c.device : c.port.path.substr(5)) << c.port.path;
    }
    L10n::ScopedLanguage german(Language::de);
    EXPECT_EQ((SerialPortInfo{"/dev/ttyUSB0", std::nullopt, 0x067B, 0x2303}).shortName(),
              L10n::Board::usbSerial("PL2303"));
}

TEST(SerialPortInfo, StableLinkIsTheFirstByIDLinkElseTheFirstByPathLink) {
    const struct {
        const char* devlinks;
        const char* expected; // nullptr: none
    } cases[] = {
        {"/dev/serial/by-path/pci-0:2:1.0-port0 /dev/serial/by-id/usb-FTDI_X-if00-port0",
         "/dev/serial/by-id/usb-FTDI_X-if00-port0"},
        {"/dev/serial/by-id/usb-b /dev/serial/by-id/usb-a", "/dev/serial/by-id/usb-a"},
        {"/dev/plc /dev/serial/by-path/platform-uart1", "/dev/serial/by-path/platform-uart1"},
        {"  /dev/serial/by-id/usb-X\t", "/dev/serial/by-id/usb-X"},
        {"/dev/serial/by-id/usb-X\n/dev/other", "/dev/serial/by-id/usb-X"},
        {"/dev/serial/by-id/ /dev/serial/by-idX /dev/arduino", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto link = SerialPortInfo::stableLinkAmong(c.devlinks);
        EXPECT_EQ(link, c.expected ? std::optional<std::string>(c.expected) : std::nullopt)
            << c.devlinks;
    }

    // A port is named by its identity, and by its node for a name remembered before identities.
    SerialPortInfo port{"/dev/ttyUSB1", std::nullopt, 0x0403, 0x6001,
                        "/dev/serial/by-id/usb-FTDI_X-if00-port0"};
    EXPECT_EQ(port.identity(), "/dev/serial/by-id/usb-FTDI_X-if00-port0");
    for (const char* name : {"/dev/serial/by-id/usb-FTDI_X-if00-port0", "/dev/ttyUSB1"}) {
        EXPECT_TRUE(port.isNamedBy(name)) << name;
    }
    for (const char* name : {"/dev/serial/by-id/usb-FTDI_Y-if00-port0", "/dev/ttyUSB0", ""}) {
        EXPECT_FALSE(port.isNamedBy(name)) << name;
    }
    EXPECT_EQ((SerialPortInfo{"/dev/ttyUSB1", std::nullopt, 0x0403, 0x6001}).identity(),
              "/dev/ttyUSB1");
}

} // namespace

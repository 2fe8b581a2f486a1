#include "ControlTestSupport.h"

#include "Corvana/model/ProjectFile.h"
#include "Localization/ControlTexts.h"

#include <QFile>

using nlohmann::json;

namespace {

using ControlCommandsTest = ControlFixture;

TEST_F(ControlCommandsTest, AValueSetThroughTheSocketIsReadByTheMaster) {
    ScriptClient script(socketPath());
    ASSERT_TRUE(script.isConnected());
    const auto bus = master(1);

    // Text as typed in the window, a number, a hex pattern and a switch.
    json reply =
        script.ask({{"command", "set"}, {"unit", 1}, {"name", "Setpoint"}, {"value", "21.5"}});
    ASSERT_EQ(reply["ok"], true) << reply;
    EXPECT_EQ(reply["registers"], json::array({215}));
    EXPECT_EQ(reply["text"], "21.5");
    reply = script.ask({{"command", "set"}, {"unit", 1}, {"name", "Energy"}, {"value", 70000}});
    EXPECT_EQ(reply["registers"], json::array({1, 4464})) << reply;
    reply = script.ask({{"command", "set"},
                        {"unit", 1},
                        {"table", "holdingRegister"},
                        {"address", 1},
                        {"value", "0x1F"}});
    EXPECT_EQ(reply["name"], "Mode") << reply;
    reply = script.ask({{"command", "set"}, {"unit", 1}, {"name", "Burner"}, {"value", true}});
    EXPECT_EQ(reply["bit"], true) << reply;

    std::uint16_t registers[4] = {};
    ASSERT_EQ(modbus_read_registers(bus.get(), 0, 4, registers), 4);
    EXPECT_EQ(registers[0], 215);
    EXPECT_EQ(registers[1], 31);
    EXPECT_EQ(registers[2], 1);
    EXPECT_EQ(registers[3], 4464);
    std::uint8_t burner = 0;
    ASSERT_EQ(modbus_read_bits(bus.get(), 0, 1, &burner), 1);
    EXPECT_EQ(burner, 1);

    // A fraction in a whole-number type is rounded as in the value cell, and said so.
    reply = script.ask({{"command", "set"}, {"unit", 1}, {"name", "Mode"}, {"value", 2.6}});
    EXPECT_EQ(reply["registers"], json::array({3})) << reply;
    EXPECT_EQ(reply["note"], "2.6 was rounded to 3: this type holds whole numbers only.");
    EXPECT_TRUE(model->canUndo());

    // What the master writes, get reads as the window shows it.
    ASSERT_EQ(modbus_write_register(bus.get(), 0, 0xFFF6), 1); // -10 → -1.0
    EXPECT_TRUE(processEventsUntil([&] {
        reply = script.ask(
            {{"command", "get"}, {"unit", 1}, {"table", "holdingRegister"}, {"address", 0}});
        return reply["text"] == "-1.0";
    })) << reply;
    EXPECT_EQ(reply["value"], -1.0);
    EXPECT_EQ(reply["registers"], json::array({0xFFF6}));
    EXPECT_EQ(reply["name"], "Setpoint");
    // An address inside a two-register value names that value.
    reply =
        script.ask({{"command", "get"}, {"unit", 1}, {"table", "holdingRegister"}, {"address", 3}});
    EXPECT_EQ(reply["name"], "Energy") << reply;
}

TEST_F(ControlCommandsTest, ARuleSetThroughTheSocketFiresOnTheNextRequest) {
    ScriptClient script(socketPath());
    const auto bus = master(1);
    const json rule = {{"name", "busy"},
                       {"schedule", {{"kind", "firstN"}, {"n", 1}}},
                       {"effect", {{"kind", "exception"}, {"code", 6}}}};
    json reply = script.ask({{"command", "rules"}, {"unit", 1}, {"set", json::array({rule})}});
    ASSERT_EQ(reply["ok"], true) << reply;
    ASSERT_EQ(reply["rules"].size(), 1u);

    std::uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(bus.get(), 1, 1, &value), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    EXPECT_EQ(modbus_read_registers(bus.get(), 1, 1, &value), 1);

    EXPECT_TRUE(processEventsUntil([&] {
        reply = script.ask({{"command", "rules"}, {"unit", 1}});
        return reply["counts"][0]["matched"] == 2;
    })) << reply;
    EXPECT_EQ(reply["counts"][0]["fired"], 1);
    EXPECT_EQ(reply["rules"][0]["effect"]["code"], 6);

    reply = script.ask({{"command", "rules"}, {"unit", 1}, {"set", json::array()}});
    EXPECT_EQ(reply["rules"], json::array());
    EXPECT_TRUE(model->units().front().faultRules.empty());
}

TEST_F(ControlCommandsTest, UnitSettingsChangeAsInTheWindow) {
    ScriptClient script(socketPath());
    const auto bus = master(1);
    json reply = script.ask({{"command", "unit"},
                             {"unit", 1},
                             {"fault", "exception"},
                             {"exceptionCode", 4},
                             {"name", "Kessel"}});
    ASSERT_EQ(reply["ok"], true) << reply;
    EXPECT_EQ(reply["unit"]["name"], "Kessel");
    EXPECT_EQ(model->units().front().name, "Kessel");
    std::uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(bus.get(), 1, 1, &value), -1);
    EXPECT_EQ(errno, EMBXSFAIL);

    reply = script.ask({{"command", "unit"},
                        {"unit", 1},
                        {"fault", "none"},
                        {"delayMs", 20},
                        {"undefinedAddresses", "zero"}});
    ASSERT_EQ(reply["ok"], true) << reply;
    EXPECT_EQ(model->units().front().delayMs, 20);
    ASSERT_EQ(modbus_read_registers(bus.get(), 100, 1, &value), 1); // no datapoint: reads 0
    EXPECT_EQ(value, 0);

    reply = script.ask({{"command", "status"}});
    EXPECT_EQ(reply["state"], "running");
    EXPECT_EQ(reply["port"], pair.serverPath());
    EXPECT_EQ(reply["units"][0]["delayMs"], 20);
    EXPECT_EQ(reply["units"][1]["datapointCount"], 3);
    EXPECT_TRUE(processEventsUntil([&] {
        return script.ask({{"command", "status"}})["statistics"]["requests"] == 2;
    }));
}

TEST_F(ControlCommandsTest, ProjectIsReturnedAsTheFileHoldsItAndLoadedInlineOrByPath) {
    ScriptClient script(socketPath());
    json reply = script.ask({{"command", "project"}});
    ASSERT_EQ(reply["ok"], true) << reply;
    const QByteArray file = ProjectFile::encode(model->currentProject());
    EXPECT_EQ(reply["project"], json::parse(file.begin(), file.end()));

    json project = reply["project"];
    project["units"][0]["name"] = "Loaded inline";
    reply = script.ask({{"command", "project"}, {"load", project}});
    ASSERT_EQ(reply["ok"], true) << reply;
    EXPECT_EQ(reply["restarted"], true);
    EXPECT_EQ(model->units().front().name, "Loaded inline");
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    const auto bus = master(1);
    std::uint16_t value = 1;
    EXPECT_EQ(modbus_read_registers(bus.get(), 1, 1, &value), 1);

    project["units"][0]["name"] = "From a file";
    const QString path = environment.path("other.json");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray::fromStdString(project.dump()));
    out.close();
    reply = script.ask({{"command", "project"}, {"path", path.toStdString()}});
    ASSERT_EQ(reply["ok"], true) << reply;
    EXPECT_EQ(model->units().front().name, "From a file");
    EXPECT_EQ(model->projectPath(), path);
}

// Every refused request answers why and leaves the project as it was.
TEST_F(ControlCommandsTest, BadRequestsAreRefusedWithTheirReasonAndChangeNothing) {
    ScriptClient script(socketPath());
    const ServerProject before = model->currentProject();
    const struct {
        json request;
        std::string error;
    } cases[] = {
        {{{"command", "get"}, {"unit", 9}, {"name", "Mode"}}, "There is no unit 9."},
        {{{"command", "get"}, {"unit", 1}}, "The request needs \"name\"."},
        {{{"command", "get"}, {"unit", "one"}, {"name", "Mode"}},
         "The value of \"unit\" cannot be used."},
        {{{"command", "get"}, {"unit", 1}, {"name", "Nope"}},
         "Unit 1 has no datapoint named \"Nope\"."},
        {{{"command", "get"}, {"unit", 2}, {"name", "Twin"}},
         "Unit 2 has several datapoints named \"Twin\". Name the one you mean by table and "
         "address."},
        {{{"command", "get"}, {"unit", 1}, {"table", "holding"}, {"address", 0}},
         "Unknown table \"holding\". Use coil, discreteInput, holdingRegister or inputRegister."},
        {{{"command", "get"}, {"unit", 1}, {"table", "holdingRegister"}, {"address", 99}},
         "Unit 1 has no datapoint at address 99 of the table Holding register."},
        {{{"command", "get"}, {"unit", 1}, {"table", "coil"}, {"address", 70000}},
         "The value of \"address\" cannot be used."},
        {{{"command", "get"}, {"unit", 1}, {"name", "Mode"}, {"colour", "red"}},
         "\"colour\" is no key of this command."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Mode"}}, "The request needs \"value\"."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Mode"}, {"value", "abc"}},
         "“abc” is not a number."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Mode"}, {"value", 70000}},
         "70000 does not fit UInt16 (0 to 65535)."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Mode"}, {"value", "0x10000"}},
         "0x10000 does not fit UInt16 (0 to 65535)."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Setpoint"}, {"value", -3276.9}},
         "-3276.9 does not fit Int16 (-3276.8 to 3276.7)."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Burner"}, {"value", 2}},
         "2 does not fit Bit (0 to 1)."},
        {{{"command", "set"}, {"unit", 1}, {"name", "Mode"}, {"value", json::array({1})}},
         "The value of \"value\" cannot be used."},
        {{{"command", "unit"}, {"unit", 1}, {"fault", "sometimes"}},
         "The unit's settings cannot be used: unknown value 'sometimes' for \"fault\""},
        {{{"command", "unit"}, {"unit", 1}, {"delayMs", -5}},
         "The value of \"delayMs\" cannot be used."},
        {{{"command", "unit"}, {"unit", 1}, {"name", nullptr}},
         "The value of \"name\" cannot be used."},
        {{{"command", "unit"}, {"unit", 3}, {"enabled", false}}, "There is no unit 3."},
        {{{"command", "rules"}, {"unit", 1}, {"set", "none"}},
         "The value of \"set\" cannot be used."},
        {{{"command", "rules"},
          {"unit", 1},
          {"set", json::array({{{"effect", {{"kind", "noResponse"}}}}, {{"name", "x"}}})}},
         "Fault rule 2 cannot be used: missing \"effect\""},
        {{{"command", "project"}, {"load", {{"version", 1}}}}, "The project cannot be used: "},
        {{{"command", "project"}, {"path", "/nonexistent/project.json"}},
         "Cannot read project.json. Is it a file of this app?"},
        {{{"command", "fly"}},
         "Unknown command \"fly\". Commands: status, get, set, unit, rules, project, report, "
         "resetReport, log, stop."},
    };
    for (const auto& c : cases) {
        const json reply = script.ask(c.request);
        EXPECT_EQ(reply["ok"], false) << c.request;
        const std::string error = reply.value("error", "");
        EXPECT_TRUE(error.starts_with(c.error)) << c.request << "\n  " << error;
    }
    EXPECT_EQ(model->currentProject(), before);
    EXPECT_FALSE(model->canUndo());
}

TEST_F(ControlCommandsTest, TheReportIsTheModels) {
    ScriptClient script(socketPath());
    const json reply = script.ask({{"command", "report"}});
    EXPECT_EQ(reply, json({{"ok", true}, {"report", model->masterReport()}}));
    EXPECT_TRUE(reply["report"].contains("line"));
    EXPECT_EQ(script.ask({{"command", "resetReport"}, {"id", 7}}), json({{"ok", true}, {"id", 7}}));
}

} // namespace

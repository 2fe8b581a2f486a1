#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include "FakeDialogs.h"
#include "TestEnvironment.h"

#include "ModbusCore/DatapointCSV.h"
#include "ModbusCore/RTUFrame.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StoreBuilders.h"

#include <QDir>

#include <nlohmann/json.hpp>

#include <algorithm>

using namespace std::chrono_literals;
using nlohmann::json;
using Choice = ModelDialogs::SaveChoice;
using Import = ModelDialogs::ImportChoice;

namespace {

class ServerModelProjectTest : public ::testing::Test {
protected:
    // The example project, as no autosave file exists yet; no scanner needed.
    ServerModel& makeModel() {
        model = std::make_unique<ServerModel>(nullptr, dialogs);
        model->init();
        return *model;
    }
    ServerModel& runningModel() {
        ServerModel& m = makeModel();
        m.setSelectedPath(QString::fromStdString(pty.path()));
        m.start();
        EXPECT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
        return m;
    }
    QString autosaveFile() const { return environment.path("data/Corvana/project.json"); }

    TestEnvironment environment;
    PseudoTerminal pty;
    FakeDialogs dialogs;
    std::unique_ptr<ServerModel> model;
};

TEST_F(ServerModelProjectTest, AutosaveWritesOnceASecondAfterABurstAndAtOnceAtTheEnd) {
    ServerModel& m = runningModel();
    for (int change = 1; change <= 10; ++change) {
        m.setValue(m.datapoints()[4].id, change);
        processEventsUntil([] { return false; }, 50ms);
    }
    const auto last = std::chrono::steady_clock::now();
    ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(autosaveFile()); }));
    EXPECT_GE(std::chrono::steady_clock::now() - last, 900ms); // not before, nor at start-up
    EXPECT_EQ(ProjectFile::read(autosaveFile()), m.currentProject());
    ASSERT_TRUE(QFile::remove(autosaveFile()));
    processEventsUntil([] { return false; }, 1500ms);
    EXPECT_FALSE(QFile::exists(autosaveFile())); // written once

    m.applicationWillEnd(); // stops the server, then saves at once
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_EQ(ProjectFile::read(autosaveFile()), m.currentProject());
}

TEST_F(ServerModelProjectTest, AnUnreadableAutosaveIsKeptReportedAndNotWrittenOver) {
    // As a newer version might write it: one value this one does not know.
    ServerUnit unit;
    unit.unitID = 3;
    const ServerProject mine{1, {}, {unit}, {Datapoint{}}};
    json changed = json::parse(ProjectFile::encode(mine).toStdString());
    changed["datapoints"][0]["dataType"] = "float16";
    ASSERT_TRUE(QDir().mkpath(environment.path("data/Corvana")));
    writeFile(autosaveFile(), QByteArray::fromStdString(changed.dump()));

    ServerModel& m = makeModel();
    EXPECT_EQ(m.units(), ServerProject::example().units);
    const QStringList kept =
        QDir(environment.path("data/Corvana")).entryList({"project.json.unreadable-*"});
    ASSERT_EQ(kept.size(), 1);
    ASSERT_TRUE(m.errorMessage());
    EXPECT_TRUE(m.errorMessage()->contains(kept.front())) << m.errorMessage()->toStdString();

    m.applicationWillEnd(); // nothing changed: nothing written
    EXPECT_FALSE(QFile::exists(autosaveFile()));
    m.addUnit(); // the user's change makes the project theirs
    m.applicationWillEnd();
    EXPECT_EQ(ProjectFile::read(autosaveFile()), m.currentProject());
    EXPECT_EQ(QDir(environment.path("data/Corvana")).entryList({"project.json.unreadable-*"}),
              kept);
}

TEST_F(ServerModelProjectTest, NewProjectAsksToSaveOnlyWhenThereAreDatapoints) {
    const struct {
        bool emptyList;
        Choice choice;
        const char* saveTo; // null: the save dialog is cancelled
        bool replaced;
    } cases[] = {
        {true, Choice::cancel, nullptr, true},
        {false, Choice::dontSave, nullptr, true},
        {false, Choice::cancel, nullptr, false},
        {false, Choice::save, nullptr, false}, // Save…, then cancel
        {false, Choice::save, "saved.json", true},
        {false, Choice::save, "missing/saved.json", false}, // fails
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        dialogs = {};
        dialogs.saveChoice = c.choice;
        dialogs.saveLocation = c.saveTo ? std::optional(environment.path(c.saveTo)) : std::nullopt;
        ServerModel& m = makeModel();
        m.setSerial({19200, 8, Parity::odd, 1}); // kept by the new project
        m.setDatapoints(c.emptyList ? std::vector<Datapoint>{} : m.datapoints());
        const ServerProject before = m.currentProject();
        m.newProject();
        // The save question, then where to save when the answer was Save….
        EXPECT_EQ(dialogs.questions, c.emptyList ? 0 : c.choice == Choice::save ? 2 : 1);
        EXPECT_EQ(m.currentProject(),
                  (c.replaced ? ServerProject{1, before.serial, {unit(1)}, {}} : before));
        EXPECT_EQ(m.errorMessage().value_or("").startsWith("Saving failed: "),
                  c.saveTo && !c.replaced);
        if (c.saveTo && c.replaced) {
            EXPECT_EQ(dialogs.proposedName, "corvana.json");
            EXPECT_EQ(ProjectFile::read(environment.path(c.saveTo)), before);
        }
    }
}

TEST_F(ServerModelProjectTest, OpenStopsTheServerAndAppliesAnyVersionSortedOrNothing) {
    ServerProject project{1, {19200, 8, Parity::odd, 1}, {unit(7), unit(2), unit(5)}, {}};
    project.datapoints = {ServerProject::example().datapoints[3]};
    project.datapoints[0].unitID = 5;
    QByteArray seven = ProjectFile::encode(project), text = seven;
    writeFile(environment.path("seven.json"), seven.replace("\"version\": 1", "\"version\": 7"));
    writeFile(environment.path("text.json"), text.replace("\"version\": 1", "\"version\": \"1\""));
    dialogs.saveChoice = Choice::dontSave;
    dialogs.openLocation = environment.path("text.json");
    ServerModel& m = runningModel();
    const ServerProject before = m.currentProject();
    m.openProject();
    EXPECT_EQ(m.currentProject(), before);
    EXPECT_EQ(m.errorMessage(), "Cannot read text.json. Is it a file of this app?");

    dialogs.openLocation = environment.path("seven.json");
    m.openProject();
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_TRUE(m.logBuffer().plainText().endsWith("--- Server stopped ---\n"));
    EXPECT_TRUE(m.liveValues().empty());
    project.units = {unit(2), unit(5), unit(7)};
    EXPECT_EQ(m.currentProject(), project);
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(2));
}

// Neither the project opened before nor a master's writes of an earlier run show through where a
// project defines nothing.
TEST_F(ServerModelProjectTest, OpenedProjectsAndEveryRunStartFromEmptyMemory) {
    const ServerProject empty{1, {}, {unit(1, ServerUnit::UndefinedAddresses::zero)}, {}};
    writeFile(environment.path("empty.json"), ProjectFile::encode(empty));
    dialogs.saveChoice = Choice::dontSave;
    dialogs.openLocation = environment.path("empty.json");
    ServerModel& m = runningModel(); // the example device: holding 0 = 200, 1 = 1, coil 0 on
    m.openProject();
    m.start();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    const auto ask = [this](const Bytes& pdu, const Bytes& answer) {
        pty.send(RTUFrame::build(1, pdu));
        const Bytes expected = RTUFrame::build(1, answer);
        EXPECT_EQ(pty.receive(expected.size()), expected);
    };
    ask({0x03, 0, 0, 0, 2}, {0x03, 0x04, 0, 0, 0, 0});
    ask({0x01, 0, 0, 0, 1}, {0x01, 0x01, 0x00});
    ask({0x06, 0, 5, 0, 7}, {0x06, 0, 5, 0, 7});
    m.stop();
    m.start();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    ask({0x03, 0, 5, 0, 1}, {0x03, 0x02, 0, 0});
}

TEST_F(ServerModelProjectTest, ImportAddsOrReplacesCreatesUnitsAndListsFiveIssues) {
    const QByteArray header = "Name,Unit ID,Table,Address\n", bad = "X,1,HR,x\n";
    const QString question = "\nDo you want to add them to the current list, or replace the list?";
    const QString one = "1 datapoint found" + question, found = "2 datapoints found" + question;
    const QString issue = "Line %1: invalid address 'x' (0 to 65535)";
    QString seven = one + "\n\n7 line(s) skipped:";
    for (int line = 3; line <= 7; ++line) {
        seven += "\n" + issue.arg(line);
    }
    seven += "\n…and 2 more";
    const QString clamped =
        one + "\n\n1 value stored as the master will read it:\nLine 2: 70000 clamped to 65535";
    const QString none = "No datapoints found in this file. The first line must hold column "
                         "names, with at least Table and Address. " +
                         issue.arg(2);
    const struct {
        QByteArray csv; // empty: no such file
        Import choice;
        std::vector<int> units;
        std::size_t count;
        const char* lastName;
        QString shown; // the question asked, else the error message
    } cases[] = {
        {header + "A,1,HR,10\nB,9,IR,0\n", Import::add, {1, 9}, 9, "B", found},
        {header + "A,1,HR,10\nB,9,IR,0\n", Import::replace, {1, 9}, 2, "B", found},
        {header + "T\xB0,3,CO,1\n", Import::replace, {1, 3}, 1, "T°", one}, // Latin-1
        {header + "A,1,HR,10\n" + bad.repeated(7), Import::add, {1}, 8, "A", seven},
        {header + bad, Import::add, {1}, 7, "Alarm", none},
        {{}, Import::add, {1}, 7, "Alarm", "Cannot read 5.csv. Is it a file of this app?"},
        {"Name,Unit ID,Table,Address,Value\nP,1,HR,10,70000\n", Import::add, {1}, 8, "P", clamped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const QString path = environment.path(QString("%1.csv").arg(&c - cases));
        if (!c.csv.isEmpty()) {
            writeFile(path, c.csv);
        }
        dialogs.openLocation = path;
        dialogs.importChoice = c.choice;
        ServerModel& m = makeModel();
        m.importDatapoints();
        std::vector<int> units(m.units().size());
        std::ranges::transform(m.units(), units.begin(), &ServerUnit::unitID);
        EXPECT_EQ(units, c.units);
        EXPECT_EQ(m.datapoints().size(), c.count);
        EXPECT_EQ(m.datapoints().back().name, c.lastName);
        EXPECT_EQ(m.errorMessage().value_or(dialogs.asked), c.shown);
    }
}

TEST_F(ServerModelProjectTest, ExportWritesLiveValuesInTheLocalesDialect) {
    ServerModel& m = runningModel();
    pty.send(RTUFrame::build(1, Bytes{0x06, 0, 0, 0x01, 0xA9})); // the master: Setpoint 42.5
    const UUID setpoint = m.datapoints()[3].id;
    ASSERT_TRUE(processEventsUntil([&] { return m.liveValues().at(setpoint) == 42.5; }));

    QLocale::setDefault(QLocale(QLocale::German)); // the dialect of the user's locale
    dialogs.saveLocation = environment.path("export.csv");
    m.exportDatapoints();
    QFile file(*dialogs.saveLocation);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("Name;Unit ID;"));
    EXPECT_EQ(DatapointCSV::parse(text.toStdString()).datapoints.at(3).value, 42.5);
    EXPECT_EQ(dialogs.proposedName, "modbus-datapoints.csv");
    EXPECT_EQ(m.currentProject().datapoints[3].value, 20); // the project keeps its own value

    dialogs.saveLocation = environment.path("missing/export.csv");
    m.exportDatapoints();
    EXPECT_TRUE(m.errorMessage().value_or("").startsWith("Saving failed: "));
}

// A Latin-1 file whose only accented letter is its last byte looks like UTF-8 cut short; the
// unfinished sequence must count as invalid, not be dropped.
TEST_F(ServerModelProjectTest, ReadTextFileFallsBackToLatin1ForATrailingHighByte) {
    const QString path = environment.path("tail.csv");
    writeFile(path, QByteArray("Table,Address,Name\ncoil,0,Caf\xe9"));
    EXPECT_EQ(ServerModel::readTextFile(path), "Table,Address,Name\ncoil,0,Caf\u00e9");
    writeFile(path, QByteArray("Name\nCaf\xc3\xa9"));
    EXPECT_EQ(ServerModel::readTextFile(path), "Name\nCaf\u00e9");
}

TEST_F(ServerModelProjectTest, ACSVFileWithTooManyDatapointsIsRefusedAsAWhole) {
    const QString path = environment.path("big.csv");
    writeFile(path, "Table,Address\nHR,0\n" + QByteArray("X,0\n").repeated(maxDatapoints));
    const auto read = ServerModel::readDatapointsFile(path);
    ASSERT_TRUE(std::holds_alternative<std::string>(read));
    EXPECT_EQ(std::get<std::string>(read),
              "big.csv holds more than 1000000 datapoints, the most a list can have.");
}

} // namespace

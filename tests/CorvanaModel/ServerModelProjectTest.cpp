#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include "TestEnvironment.h"

#include "ModbusCore/DatapointCSV.h"
#include "ModbusCore/RTUFrame.h"
#include "tests/support/PseudoTerminal.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Choice = ModelDialogs::SaveChoice;
using Import = ModelDialogs::ImportChoice;

namespace {

// Answers every question from its script and remembers what it was asked.
class ScriptedDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind, const QString& proposed) override {
        proposedName = proposed;
        return saveLocation;
    }
    std::optional<QString> chooseOpenLocation(FileKind) override { return openLocation; }
    SaveChoice askSaveCurrentProject() override {
        ++saveQuestions;
        return saveChoice;
    }
    ImportChoice askImport(const QString& title, const QString& text) override {
        importTitle = title;
        importText = text;
        return importChoice;
    }

    std::optional<QString> saveLocation, openLocation;
    SaveChoice saveChoice = SaveChoice::cancel;
    ImportChoice importChoice = ImportChoice::cancel;
    QString proposedName, importTitle, importText;
    int saveQuestions = 0;
};

ServerUnit unit(std::uint8_t address) {
    ServerUnit u;
    u.unitID = address;
    return u;
}

std::vector<int> addresses(const std::vector<ServerUnit>& units) {
    std::vector<int> result;
    for (const ServerUnit& u : units) {
        result.push_back(u.unitID);
    }
    return result;
}

void wait(std::chrono::milliseconds duration) {
    processEventsUntil([] { return false; }, duration);
}

// Units listed 7, 2, 5 and one datapoint on unit 5.
const ServerProject& scrambled() {
    static const ServerProject project = [] {
        ServerProject project;
        project.serial.baudRate = 19200;
        project.units = {unit(7), unit(2), unit(5)};
        project.datapoints = {ServerProject::example().datapoints[3]};
        project.datapoints[0].unitID = 5;
        return project;
    }();
    return project;
}

class ServerModelProjectTest : public ::testing::Test {
protected:
    // The example project, since no autosave file exists yet; no scanner needed.
    ServerModel& makeModel() {
        model = std::make_unique<ServerModel>(nullptr, dialogs);
        model->init();
        return *model;
    }
    ServerModel& runningModel() {
        ServerModel& m = makeModel();
        m.setShowTimestamps(false);
        m.setSelectedPath(QString::fromStdString(pty.path()));
        m.start();
        EXPECT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
        return m;
    }
    QString autosaveFile() const { return environment.path("data/Corvana/project.json"); }

    TestEnvironment environment;
    PseudoTerminal pty;
    ScriptedDialogs dialogs;
    std::unique_ptr<ServerModel> model;
};

TEST_F(ServerModelProjectTest, ABurstOfChangesWritesTheAutosaveFileOnceASecondAfterTheLast) {
    ServerModel& m = makeModel();
    for (int change = 1; change <= 10; ++change) {
        m.setValue(m.datapoints()[4].id, change);
        wait(50ms);
    }
    const auto last = std::chrono::steady_clock::now();
    EXPECT_FALSE(QFile::exists(autosaveFile())); // nor at start-up
    ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(autosaveFile()); }));
    EXPECT_GE(std::chrono::steady_clock::now() - last, 900ms);
    EXPECT_EQ(ProjectFile::read(autosaveFile()), m.currentProject());
    const QString aside = environment.path("first.json");
    ASSERT_TRUE(QFile::rename(autosaveFile(), aside));
    wait(1500ms);
    EXPECT_FALSE(QFile::exists(autosaveFile()));
    // The next run starts from it.
    ASSERT_TRUE(QFile::rename(aside, autosaveFile()));
    EXPECT_EQ(makeModel().datapoints()[4].value, 10);
}

TEST_F(ServerModelProjectTest, ApplicationEndSavesAtOnceUnlessTheModelIsNotPersistent) {
    for (const bool persistent : {false, true}) {
        ServerModel& m = makeModel();
        m.setPersistent(persistent);
        m.addUnit();
        m.setSelectedPath("/dev/ttyUSB0");
        m.setShowRawFrames(true);
        if (!persistent) {
            wait(1200ms); // past the debounce
        }
        m.applicationWillEnd();
        EXPECT_EQ(QFile::exists(autosaveFile()), persistent);
        EXPECT_EQ(QSettings().allKeys().size(), persistent ? 2 : 0);
    }
    EXPECT_EQ(ProjectFile::read(autosaveFile()), model->currentProject());
}

TEST_F(ServerModelProjectTest, NewProjectAsksToSaveOnlyWhenThereAreDatapoints) {
    const struct {
        const char* name;
        bool emptyList;
        Choice choice;
        const char* saveTo; // null: the save dialog is cancelled
        bool replaced;
        QString error; // its start
    } cases[] = {
        {"empty list", true, Choice::cancel, nullptr, true, ""},
        {"don't save", false, Choice::dontSave, nullptr, true, ""},
        {"cancel", false, Choice::cancel, nullptr, false, ""},
        {"save, then cancel the dialog", false, Choice::save, nullptr, false, ""},
        {"save", false, Choice::save, "saved.json", true, ""},
        {"save fails", false, Choice::save, "missing/saved.json", false, "Saving failed: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs = {};
        dialogs.saveChoice = c.choice;
        if (c.saveTo) {
            dialogs.saveLocation = environment.path(c.saveTo);
        }
        ServerModel& m = makeModel();
        m.addUnit();
        m.setSerial(scrambled().serial);
        if (c.emptyList) {
            m.setDatapoints({});
        }
        const ServerProject before = m.currentProject();
        m.newProject();
        EXPECT_EQ(dialogs.saveQuestions, c.emptyList ? 0 : 1);
        if (c.replaced) {
            EXPECT_EQ(m.currentProject(), (ServerProject{1, before.serial, {unit(1)}, {}}));
        } else {
            EXPECT_EQ(m.currentProject(), before);
        }
        EXPECT_EQ(m.errorMessage().value_or("").left(c.error.size()), c.error);
        EXPECT_EQ(m.errorMessage().has_value(), !c.error.isEmpty());
        EXPECT_EQ(dialogs.proposedName, c.choice == Choice::save ? "corvana.json" : "");
        if (c.saveTo && c.replaced) {
            EXPECT_EQ(ProjectFile::read(environment.path(c.saveTo)), before);
        }
    }
}

TEST_F(ServerModelProjectTest, OpenAppliesAnyVersionSortedAndLeavesTheModelOnFailure) {
    const QByteArray good = ProjectFile::encode(scrambled());
    QByteArray seven = good, text = good;
    seven.replace("\"version\": 1", "\"version\": 7");
    text.replace("\"version\": 1", "\"version\": \"1\"");
    const struct {
        const char* file;
        QByteArray bytes; // empty: no such file
        bool opens;
    } cases[] = {
        {"seven.json", seven, true},
        {"text.json", text, false},
        {"garbage.json", QByteArray("\0\xFF{", 3), false},
        {"missing.json", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (!c.bytes.isEmpty()) {
            QFile file(environment.path(c.file));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.bytes) == c.bytes.size());
        }
        dialogs.saveChoice = Choice::dontSave;
        dialogs.openLocation = environment.path(c.file);
        ServerModel& m = makeModel();
        const ServerProject before = m.currentProject();
        m.openProject();
        if (c.opens) {
            EXPECT_FALSE(m.errorMessage());
            EXPECT_EQ(addresses(m.units()), (std::vector<int>{2, 5, 7}));
            EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(2));
            EXPECT_EQ(m.datapoints(), scrambled().datapoints);
            EXPECT_EQ(m.serial(), scrambled().serial);
        } else {
            EXPECT_EQ(m.currentProject(), before);
            EXPECT_EQ(m.errorMessage(),
                      QString("Cannot read %1. Is it a file of this app?").arg(c.file));
        }
    }
}

TEST_F(ServerModelProjectTest, ApplyingAProjectStopsTheServerFirst) {
    ServerModel& m = runningModel();
    EXPECT_FALSE(m.liveValues().empty());
    m.applyProject(scrambled());
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_TRUE(m.output().plainText().endsWith("--- Server stopped ---\n"));
    EXPECT_TRUE(m.liveValues().empty());
    EXPECT_EQ(addresses(m.units()), (std::vector<int>{2, 5, 7}));
}

TEST_F(ServerModelProjectTest, ImportAddsOrReplacesCreatesUnitsAndListsFiveIssues) {
    const QByteArray header = "Name,Unit ID,Table,Address\n";
    const QByteArray twoUnits = header + "A,1,HR,10\nB,9,IR,0\n";
    const QByteArray badLine = "X,1,HR,x\n";
    const QString question = "Do you want to add them to the current list, or replace the list?";
    QString sevenIssues = "1 datapoint found\n" + question + "\n\n7 line(s) skipped:";
    for (int line = 3; line <= 7; ++line) {
        sevenIssues += QString("\nLine %1: invalid address 'x' (0 to 65535)").arg(line);
    }
    const struct {
        const char* name;
        QByteArray csv; // empty: no such file
        Import choice;
        std::vector<int> units;
        std::size_t count;
        const char* lastName;
        QString shown; // the question asked, else the error message
    } cases[] = {
        {"add", twoUnits, Import::add, {1, 9}, 9, "B", "2 datapoints found\n" + question},
        {"replace", twoUnits, Import::replace, {1, 9}, 2, "B", "2 datapoints found\n" + question},
        {"cancel", twoUnits, Import::cancel, {1}, 7, "Alarm", "2 datapoints found\n" + question},
        {"Latin-1",
         header + "T\xB0,3,CO,1\n",
         Import::replace,
         {1, 3},
         1,
         "T°",
         "1 datapoint found\n" + question},
        {"seven issues",
         header + "A,1,HR,10\n" + badLine.repeated(7),
         Import::add,
         {1},
         8,
         "A",
         sevenIssues},
        {"no datapoint",
         header + badLine,
         Import::add,
         {1},
         7,
         "Alarm",
         "No datapoints found in this file. The first line must hold column names, with at "
         "least Table and Address. Line 2: invalid address 'x' (0 to 65535)"},
        {"unreadable",
         {},
         Import::add,
         {1},
         7,
         "Alarm",
         "Cannot read unreadable.csv. Is it a file of this app?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = environment.path(QString(c.name) + ".csv");
        if (!c.csv.isEmpty()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.csv) == c.csv.size());
        }
        dialogs = {};
        dialogs.openLocation = path;
        dialogs.importChoice = c.choice;
        ServerModel& m = makeModel();
        m.importDatapoints();
        EXPECT_EQ(addresses(m.units()), c.units);
        EXPECT_EQ(m.datapoints().size(), c.count);
        EXPECT_EQ(m.datapoints().back().name, c.lastName);
        EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(1));
        const QString asked = dialogs.importTitle + "\n" + dialogs.importText;
        EXPECT_EQ(m.errorMessage().value_or(asked), c.shown);
    }

    // Without a selection the unit of the first imported datapoint is selected.
    makeModel().setSelectedUnitID(std::nullopt);
    model->mergeImportedDatapoints({ServerProject::example().datapoints[0]}, true);
    EXPECT_EQ(model->selectedUnitID(), std::optional<std::uint8_t>(1));
    model->applyProject({});
    model->mergeImportedDatapoints({scrambled().datapoints[0]}, false);
    EXPECT_EQ(addresses(model->units()), (std::vector<int>{5}));
    EXPECT_EQ(model->selectedUnitID(), std::optional<std::uint8_t>(5));
}

TEST_F(ServerModelProjectTest, ExportWritesLiveValuesInTheLocalesDialect) {
    ServerModel& m = runningModel();
    // The master sets Setpoint (HR 0, int16, scale 0.1) to 42.5.
    pty.send(RTUFrame::build(1, Bytes{0x06, 0, 0, 0x01, 0xA9}));
    EXPECT_EQ(pty.receive(8).size(), 8u);
    const UUID setpoint = m.datapoints()[3].id;
    ASSERT_TRUE(processEventsUntil([&] { return m.liveValues().at(setpoint) == 42.5; }));

    for (const auto& [locale, header] : {std::pair{QLocale::English, "Name,Unit ID"},
                                         std::pair{QLocale::German, "Name;Unit ID"}}) {
        QLocale::setDefault(QLocale(locale));
        dialogs.saveLocation = environment.path("export.csv");
        m.exportDatapoints();
        EXPECT_EQ(dialogs.proposedName, "modbus-datapoints.csv");
        QFile file(*dialogs.saveLocation);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.contains(header)) << header;
        const auto parsed = DatapointCSV::parse(text.toStdString());
        ASSERT_EQ(parsed.datapoints.size(), 7u);
        EXPECT_EQ(parsed.datapoints[3].value, 42.5);
    }
    EXPECT_EQ(m.currentProject().datapoints[3].value, 20); // the project keeps its own value

    dialogs.saveLocation = environment.path("missing/export.csv");
    m.exportDatapoints();
    EXPECT_TRUE(m.errorMessage().value_or("").startsWith("Saving failed: "));
}

} // namespace

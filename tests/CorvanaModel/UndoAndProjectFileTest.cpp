#include "Corvana/model/FaultRulePresets.h"
#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include "FakeDialogs.h"
#include "TestEnvironment.h"

#include "tests/support/StoreBuilders.h"

#include <cmath>
#include <functional>
#include <string>
#include <tuple>

namespace {

FaultRule slowBytes() {
    return FaultRulePresets::rule(FaultRulePresets::Preset::slowBytes, 1);
}

// What undo must bring back: the units and the datapoints with their ids and values.
struct Snapshot {
    std::vector<ServerUnit> units;
    std::vector<Datapoint> datapoints;
    bool operator==(const Snapshot&) const = default;
};

class UndoAndProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<ServerModel>(nullptr, dialogs);
        model->init(); // the example device: unit 1 with seven datapoints
    }

    Snapshot snapshot() const { return {model->units(), model->datapoints()}; }
    const Datapoint& first() const { return model->datapoints().front(); }

    TestEnvironment environment;
    FakeDialogs dialogs;
    std::unique_ptr<ServerModel> model;
};

TEST_F(UndoAndProjectFileTest, EveryKindOfChangeUndoesAndRedoesExactly) {
    using Model = ServerModel;
    const auto twoRules = [](Model& m) {
        m.insertFaultRule(1, FaultRulePresets::rule(FaultRulePresets::Preset::wrongUnit, 1));
        m.insertFaultRule(1, FaultRulePresets::rule(FaultRulePresets::Preset::lateReply, 1));
    };
    const auto unitWithPoints = [](Model& m) {
        m.addUnit();
        m.addDatapoint();
        m.setSelectedUnitID(1);
    };
    const auto id = [](const Model& m, std::size_t i) { return m.datapoints()[i].id; };
    constexpr auto HR = RegisterTable::holdingRegister;
    const struct {
        const char* name;
        std::function<void(Model&)> prepare; // not part of the step
        std::function<void(Model&)> change;
    } steps[] = {
        {"add datapoint", {}, [](Model& m) { m.addDatapoint(); }},
        {"duplicate",
         {},
         [&](Model& m) {
             m.duplicateDatapoints({id(m, 0), id(m, 2)});
         }},
        {"delete",
         {},
         [&](Model& m) {
             m.deleteDatapoints({id(m, 1), id(m, 4)});
         }},
        {"field edit",
         {},
         [](Model& m) {
             Datapoint p = m.datapoints()[2];
             std::tie(p.name, p.address, p.dataType) = std::tuple("Renamed", 300, DataType::int32);
             m.updateDatapoint(p);
         }},
        {"value", {}, [&](Model& m) { m.setValue(id(m, 0), 1234); }},
        {"table", {}, [&](Model& m) { m.setTable(id(m, 0), RegisterTable::coil); }},
        {"unit field",
         {},
         [](Model& m) {
             ServerUnit u = m.units()[0];
             u.fault = ServerUnit::Fault::noResponse;
             m.updateUnit(u);
         }},
        {"add unit", {}, [](Model& m) { m.addUnit(); }},
        {"delete unit", unitWithPoints, [](Model& m) { m.deleteUnit(1); }},
        {"renumber unit", {}, [](Model& m) { m.changeUnitAddress(1, 40); }},
        {"import add",
         {},
         [&](Model& m) { m.mergeImportedDatapoints({point(9, HR, 5, 42)}, false); }},
        {"import replace",
         {},
         [](Model& m) { m.mergeImportedDatapoints({point(1, RegisterTable::coil, 0, 1)}, true); }},
        {"add fault rule", {}, [](Model& m) { m.insertFaultRule(1, slowBytes()); }},
        {"insert fault rule", twoRules, [](Model& m) { m.insertFaultRule(1, slowBytes(), 0); }},
        {"duplicate fault rule", twoRules, [](Model& m) { m.duplicateFaultRule(1, 1); }},
        {"remove fault rule", twoRules, [](Model& m) { m.removeFaultRule(1, 0); }},
        {"move fault rule", twoRules, [](Model& m) { m.moveFaultRule(1, 1, -1); }},
        {"replace fault rule", twoRules,
         [](Model& m) {
             FaultRule rule = m.units()[0].faultRules[1];
             rule.schedule = {.kind = FaultRule::Schedule::Kind::everyNth, .n = 7};
             m.replaceFaultRule(1, 1, rule);
         }},
        {"switch fault rule", twoRules, [](Model& m) { m.setFaultRuleEnabled(1, 0, false); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        SetUp(); // a fresh example project with an empty history
        EXPECT_FALSE(model->canUndo());
        if (step.prepare) {
            step.prepare(*model);
        }
        const Snapshot before = snapshot();
        const auto selectedBefore = model->selectedUnitID();
        step.change(*model);
        const Snapshot after = snapshot();
        ASSERT_NE(after, before);
        ASSERT_TRUE(model->canUndo());

        model->undo();
        EXPECT_EQ(snapshot(), before);
        EXPECT_TRUE(model->canRedo());
        // The live values follow, so the master reads what the table shows (a 32-bit float
        // as near as it holds it).
        for (const Datapoint& p : model->datapoints()) {
            EXPECT_NEAR(model->displayValue(p), p.value, std::abs(p.value) * 1e-6) << p.name;
        }
        if (std::string(step.name) == "renumber unit" || std::string(step.name) == "delete unit") {
            EXPECT_EQ(model->selectedUnitID(), selectedBefore);
        }

        model->redo();
        EXPECT_EQ(snapshot(), after);
        EXPECT_FALSE(model->canRedo());
        model->undo();
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(UndoAndProjectFileTest, TypingANameIsOneStepAndANewEditDropsTheRedo) {
    const std::string original = model->units()[0].name;
    for (const char* typed : {"B", "Bo", "Boi", "Boiler"}) {
        ServerUnit u = model->units()[0];
        u.name = typed;
        model->updateUnit(u);
    }
    model->addDatapoint();
    model->undo(); // the datapoint
    model->undo(); // the whole name
    EXPECT_EQ(model->units()[0].name, original);
    EXPECT_FALSE(model->canUndo());

    model->redo();
    EXPECT_EQ(model->units()[0].name, "Boiler");
    ServerUnit u = model->units()[0];
    u.delayMs = 250;
    model->updateUnit(u);
    EXPECT_FALSE(model->canRedo());
}

TEST_F(UndoAndProjectFileTest, ANewOrOpenedProjectStartsANewHistory) {
    model->addDatapoint();
    ASSERT_TRUE(model->canUndo());
    model->newProject();
    EXPECT_FALSE(model->canUndo());
    EXPECT_FALSE(model->canRedo());
    model->undo(); // nothing to undo: the new project stays
    EXPECT_EQ(model->units().size(), 1u);
    EXPECT_TRUE(model->datapoints().empty());
}

TEST_F(UndoAndProjectFileTest, SaveAndOpenBindTheWorkToItsFile) {
    const QString boiler = environment.path("boiler.json");
    const QString other = environment.path("other.json");
    EXPECT_EQ(model->projectPath(), "");
    EXPECT_FALSE(model->isModified());

    // Save with no file yet is Save As.
    dialogs.saveLocation = boiler;
    ASSERT_TRUE(model->saveProject());
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_EQ(model->projectPath(), boiler);
    EXPECT_FALSE(model->isModified());

    model->addDatapoint();
    EXPECT_TRUE(model->isModified());
    model->undo();
    EXPECT_FALSE(model->isModified()); // back to what the file holds
    model->redo();

    // Save writes to the file without asking where.
    dialogs.saveLocation = other;
    ASSERT_TRUE(model->saveProject());
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_FALSE(QFile::exists(other));
    EXPECT_FALSE(model->isModified());
    const auto saved = ProjectFile::read(boiler);
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, model->currentProject());

    // Save As moves the binding to the new file.
    ASSERT_TRUE(model->saveProjectAs());
    EXPECT_EQ(model->projectPath(), other);

    // Opening binds to the opened file; nothing but where is asked while the work is all in its
    // file.
    model->newProject();
    EXPECT_EQ(model->projectPath(), "");
    dialogs.openLocation = boiler;
    const int questions = dialogs.questions;
    model->openProject();
    EXPECT_EQ(model->projectPath(), boiler);
    EXPECT_EQ(model->currentProject(), *saved);
    EXPECT_FALSE(model->isModified());
    dialogs.openLocation = other;
    model->openProject();
    EXPECT_EQ(dialogs.questions, questions + 2); // the two files to open
    EXPECT_EQ(model->projectPath(), other);

    // The line settings belong to the file too.
    SerialConfiguration serial = model->serial();
    serial.baudRate = serial.baudRate == 19200 ? 9600 : 19200;
    model->setSerial(serial);
    EXPECT_TRUE(model->isModified());
}

TEST_F(UndoAndProjectFileTest, AnImportForAnotherUnitSelectsIt) {
    ASSERT_EQ(model->selectedUnitID(), 1);
    model->mergeImportedDatapoints({point(9, RegisterTable::holdingRegister, 5, 42),
                                    point(12, RegisterTable::holdingRegister, 5, 42)},
                                   false);
    EXPECT_EQ(model->selectedUnitID(), 9);
    // Rows for the selected unit keep the selection.
    model->mergeImportedDatapoints({point(12, RegisterTable::holdingRegister, 6, 1),
                                    point(9, RegisterTable::holdingRegister, 6, 1)},
                                   false);
    EXPECT_EQ(model->selectedUnitID(), 9);
    model->undo();
    model->undo();
    EXPECT_EQ(model->selectedUnitID(), 1);
}

} // namespace

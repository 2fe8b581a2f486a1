#include "tests/CorvanaUI/UiTestSupport.h"
#include "tests/support/RTUMaster.h"

#include "Corvana/model/ProjectFile.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/help/HelpWindow.h"
#include "Corvana/ui/table/DatapointTableModel.h"
#include "Corvana/ui/table/DatapointTableView.h"
#include "Corvana/ui/window/MainWindow.h"
#include "Localization/L10n.h"
#include "ModbusSerial/VirtualPortPair.h"

#include <QAction>
#include <QFrame>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

// The real main window, shown and active, as a keyboard user meets it.
class FirstHourTest : public UiTest {
protected:
    FirstHourTest()
        : window(std::make_unique<MainWindow>(*model)) {
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        table = window->findChild<DatapointTableView*>("datapointTable");
        EXPECT_NE(table, nullptr);
    }

    ~FirstHourTest() override {
        model->stop();
        window.reset();
    }

    static QWidget* focused() { return QApplication::focusWidget(); }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = focused() ? focused() : window.get();
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
        QCoreApplication::processEvents();
    }

    // Every widget Tab visits, from the current one until the chain comes round again.
    std::vector<QWidget*> tabChain() {
        std::vector<QWidget*> chain;
        QWidget* start = focused();
        for (int step = 0; step < 200; ++step) {
            press(Qt::Key_Tab);
            QWidget* now = focused();
            if (now == nullptr || now == start ||
                std::find(chain.begin(), chain.end(), now) != chain.end()) {
                break;
            }
            chain.push_back(now);
        }
        return chain;
    }

    std::unique_ptr<MainWindow> window;
    DatapointTableView* table = nullptr;
};

TEST_F(FirstHourTest, TabReachesEveryControlAndLeavesTheTableBothWays) {
    table->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return table->hasFocus(); }));
    const std::vector<QWidget*> chain = tabChain();
    ASSERT_FALSE(chain.empty());
    // The chain came round to the table: Tab left it and got back, past every other control.
    EXPECT_EQ(focused(), table);

    std::set<QWidget*> reached(chain.begin(), chain.end());
    reached.insert(table);
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const bool control = widget->isVisible() && widget->isEnabled() &&
                             (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy() &&
                             widget->window() == window.get();
        if (control) {
            EXPECT_TRUE(reached.contains(widget))
                << widget->metaObject()->className() << " " << widget->objectName().toStdString()
                << " is out of the keyboard's reach";
        }
    }
    for (const char* name : {"portPicker", "frameButton", "unitIDField", "nameField",
                             "addDatapointButton", "csvButton"}) {
        auto* widget = window->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_TRUE(reached.contains(widget)) << name;
    }

    // Shift+Tab and Ctrl+Tab leave the table too, instead of moving from cell to cell.
    for (const auto modifiers :
         {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
        table->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(processEventsUntil([&] { return table->hasFocus(); }));
        table->setCurrentIndex(table->model()->index(0, DatapointTableModel::nameColumn));
        press(modifiers & Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab, modifiers);
        EXPECT_NE(focused(), table) << modifiers.toInt();
    }
}

TEST_F(FirstHourTest, ArrowsReachEveryCellEnterEditsAndTabLeavesAnEditor) {
    table->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return table->hasFocus(); }));
    table->setCurrentIndex(table->model()->index(0, 0));
    std::set<int> columns{table->currentIndex().column()};
    for (int step = 0; step < DatapointTableModel::columnCount_; ++step) {
        press(Qt::Key_Right);
        columns.insert(table->currentIndex().column());
    }
    EXPECT_EQ(columns.size(), static_cast<std::size_t>(DatapointTableModel::columnCount_));
    EXPECT_EQ(table->currentIndex().column(), DatapointTableModel::simulationColumn);

    // The simulation cell opens its editor from the keyboard.
    press(Qt::Key_F2);
    auto* popup = qobject_cast<QFrame*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    popup->close();
    QCoreApplication::processEvents();

    // Enter edits the name; Tab commits it and leaves the table.
    table->setFocus(Qt::OtherFocusReason);
    table->setCurrentIndex(table->model()->index(0, DatapointTableModel::nameColumn));
    press(Qt::Key_Return);
    ASSERT_TRUE(table->isEditing());
    auto* editor = qobject_cast<QLineEdit*>(focused());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "Flow");
    press(Qt::Key_Tab);
    EXPECT_TRUE(processEventsUntil([&] { return !table->isEditing(); }));
    EXPECT_NE(focused(), table);
    EXPECT_EQ(model->selectedUnitPoints().front().name, "Flow");

    // Ctrl+Z through the window takes it back, Ctrl+Shift+Z does it again.
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(model->selectedUnitPoints().front().name, "Flow");
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model->selectedUnitPoints().front().name, "Flow");
}

TEST_F(FirstHourTest, TheTitleNamesTheProjectFileAndCtrlSSavesToIt) {
    const QString boiler = environment.path("boiler.json");
    dialogs.saveLocation = boiler;
    auto* saveAs = window->findChild<QAction*>("saveProjectAsAction");
    ASSERT_NE(saveAs, nullptr);
    saveAs->trigger();
    EXPECT_EQ(window->windowTitle(), "boiler.json[*] — Stopped");
    EXPECT_FALSE(window->isWindowModified());

    model->addDatapoint();
    EXPECT_TRUE(window->isWindowModified());
    const int questions = dialogs.questions;
    dialogs.saveLocation = environment.path("elsewhere.json");
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs.questions, questions); // no dialog: the file is known
    EXPECT_FALSE(window->isWindowModified());
    const auto saved = ProjectFile::read(boiler);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->datapoints.size(), model->datapoints().size());

    // Opened, another file names the window and takes Ctrl+S.
    const QString pump = environment.path("pump.json");
    ServerProject project = *saved;
    project.datapoints.resize(2);
    ASSERT_TRUE(ProjectFile::writeAtomically(pump, ProjectFile::encode(project), nullptr));
    dialogs.openLocation = pump;
    window->findChild<QAction*>("openProjectAction")->trigger();
    EXPECT_EQ(window->windowTitle(), "pump.json[*] — Stopped");
    model->deleteDatapoints({model->datapoints().front().id});
    EXPECT_TRUE(window->isWindowModified());
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ProjectFile::read(pump)->datapoints.size(), 1u);
    EXPECT_EQ(ProjectFile::read(boiler)->datapoints.size(), saved->datapoints.size());

    // A new project has no file: the title names none, and Ctrl+S asks where.
    model->newProject();
    EXPECT_EQ(window->windowTitle(), "Stopped");
    dialogs.saveLocation.reset();
    const int before = dialogs.questions;
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs.questions, before + 1);
}

TEST_F(FirstHourTest, AnOutOfRangeImportShowsTheSameValueInTheTableTheProjectAndOnTheWire) {
    const QString csv = environment.path("list.csv");
    {
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Name,Unit ID,Table,Address,Data type,Value\n"
                   "Level,7,HR,20,UInt16,70000\n");
    }
    dialogs.openLocation = csv;
    dialogs.importChoice = ModelDialogs::ImportChoice::add;
    model->importDatapoints();

    // The sidebar follows the import to its unit.
    ASSERT_EQ(model->selectedUnitID(), 7);
    const auto& rows = table->tableModel();
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.index(0, DatapointTableModel::valueColumn).data().toString(), "65535");
    EXPECT_EQ(model->currentProject().datapoints.back().value, 65535);

    VirtualPortPair pair;
    model->setSerial({.baudRate = 115200, .parity = Parity::none}); // pseudo-terminals: no parity
    model->setSelectedPath(QString::fromStdString(pair.serverPath()));
    model->start();
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    std::uint16_t level = 0;
    EXPECT_EQ(modbus_read_registers(connectRTUMaster(pair.masterPath(), 7).get(), 20, 1, &level), 1)
        << modbus_strerror(errno);
    EXPECT_EQ(level, 65535);
}

TEST_F(FirstHourTest, HelpClosesWithEscapeAndCtrlW) {
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Escape, Qt::NoModifier}, std::pair{Qt::Key_W, Qt::ControlModifier}}) {
        window->showHelp();
        HelpWindow* help = window->helpWindow();
        ASSERT_NE(help, nullptr);
        QApplication::setActiveWindow(help);
        ASSERT_TRUE(QTest::qWaitForWindowActive(help));
        QTest::keyClick(help, key, modifiers);
        EXPECT_TRUE(processEventsUntil([&] { return window->helpWindow() == nullptr; }));
    }
}

} // namespace

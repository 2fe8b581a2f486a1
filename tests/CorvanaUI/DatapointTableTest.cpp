#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/DatapointDelegate.h"
#include "Corvana/ui/table/DatapointPane.h"
#include "Corvana/ui/table/DatapointTableModel.h"
#include "Corvana/ui/table/DatapointTableView.h"
#include "Corvana/ui/table/SimulationEditor.h"
#include "Corvana/ui/table/ValueCell.h"

#include "Localization/L10n.h"
#include "UiTestSupport.h"
#include "tests/support/PseudoTerminal.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <functional>
#include <set>

namespace {

using Model = DatapointTableModel;

// The example device's rows.
constexpr int temperatureRow = 0; // input register, int16, sine
constexpr int runTimeRow = 2;     // input register, uint32, counter
constexpr int setpointRow = 3;    // holding register 0, int16
constexpr int modeRow = 4;        // holding register 1, uint16
constexpr int pumpRow = 5;        // coil

class DatapointTableTest : public UiTest {
protected:
    Model& rows() { return view.tableModel(); }
    const Datapoint& point(int row) { return *rows().datapoint(row); }
    QModelIndex cell(int row, int column) { return rows().index(row, column); }
    // The table must always show exactly the selected unit's datapoints, in list order.
    void expectRowsMatchModel() {
        const auto points = model->selectedUnitPoints();
        ASSERT_EQ(rows().rowCount(), static_cast<int>(points.size()));
        for (int r = 0; r < rows().rowCount(); ++r) {
            EXPECT_EQ(point(r), points[static_cast<std::size_t>(r)]) << "row " << r;
            EXPECT_EQ(rows().shownValue(r), model->displayValue(point(r))) << "row " << r;
        }
    }

    DatapointTableView view{*model};
    QAbstractItemModelTester tester{&view.tableModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal};
    QSignalSpy changes{&view.tableModel(), &QAbstractItemModel::dataChanged};
    QSignalSpy resets{&view.tableModel(), &QAbstractItemModel::modelReset};
};

TEST_F(DatapointTableTest, RowsFollowEveryEditAndResetOnlyForAnotherUnit) {
    const struct {
        const char* step;
        std::function<void()> act;
        bool resets;
    } steps[] = {
        {"add", [&] { model->addDatapoint(); }, false},
        {"add after the setpoint", [&] { model->addDatapoint(point(setpointRow).id); }, false},
        {"duplicate two rows",
         [&] {
             view.selectRow(0);
             view.selectionModel()->select(cell(modeRow, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
             view.duplicateSelected();
         },
         false},
        {"delete three rows",
         [&] {
             model->deleteDatapoints({point(1).id, point(2).id, point(6).id});
         },
         false},
        {"retype and rename",
         [&] {
             rows().setData(cell(modeRow, Model::typeColumn), int(DataType::float32));
             rows().setData(cell(0, Model::nameColumn), "Outside");
         },
         false},
        {"values", [&] { model->setValue(point(modeRow).id, 7); }, false},
        {"another unit", [&] { model->addUnit(); }, true},
        {"back to unit 1", [&] { model->setSelectedUnitID(1); }, true},
        {"no unit", [&] { model->setSelectedUnitID(std::nullopt); }, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        resets.clear();
        s.act();
        expectRowsMatchModel();
        EXPECT_EQ(resets.size(), s.resets ? 1 : 0);
    }
}

TEST_F(DatapointTableTest, EditsSignalOnlyTheCellsTheyChange) {
    const struct {
        const char* edit;
        std::function<void()> act;
        int row, firstColumn, lastColumn;
    } edits[] = {
        {"value of a number", [&] { model->setValue(point(modeRow).id, 42); }, modeRow,
         Model::valueColumn, Model::valueColumn},
        {"value of a bit", [&] { model->setValue(point(pumpRow).id, 0); }, pumpRow,
         Model::valueColumn, Model::valueColumn},
        {"name", [&] { rows().setData(cell(setpointRow, Model::nameColumn), "Target"); },
         setpointRow, Model::nameColumn, Model::nameColumn},
        {"scale", [&] { rows().setData(cell(setpointRow, Model::scaleColumn), 0.5); }, setpointRow,
         Model::scaleColumn, Model::valueColumn},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.edit);
        changes.clear();
        e.act();
        ASSERT_EQ(changes.size(), 1);
        EXPECT_EQ(changes[0][0].value<QModelIndex>(), cell(e.row, e.firstColumn));
        EXPECT_EQ(changes[0][1].value<QModelIndex>(), cell(e.row, e.lastColumn));
        EXPECT_EQ(resets.size(), 0);
        expectRowsMatchModel();
    }
    EXPECT_EQ(cell(modeRow, Model::valueColumn).data().toString(), "42");
    EXPECT_EQ(cell(pumpRow, Model::valueColumn).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST_F(DatapointTableTest, SimulationTicksSignalOnlyTheValuesThatMoved) {
    PseudoTerminal pty;
    auto now = std::chrono::steady_clock::now();
    model->setClock([&] { return now; });
    model->setSelectedPath(QString::fromStdString(pty.path()));
    model->start();
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    changes.clear();

    // Seven seconds on, the sine and the counter have moved; the toggle (15 s) has not.
    now += std::chrono::seconds(7);
    QSignalSpy ticks(model.get(), &ServerModel::liveValuesChanged);
    ASSERT_TRUE(processEventsUntil([&] { return !ticks.isEmpty(); }));
    std::set<int> touched;
    for (const auto& change : changes) {
        const auto from = change[0].value<QModelIndex>();
        const auto to = change[1].value<QModelIndex>();
        EXPECT_EQ(from.column(), Model::valueColumn);
        EXPECT_EQ(to.column(), Model::valueColumn);
        for (int r = from.row(); r <= to.row(); ++r) {
            touched.insert(r);
        }
    }
    EXPECT_EQ(touched, (std::set<int>{temperatureRow, runTimeRow}));
    EXPECT_EQ(resets.size(), 0);
    expectRowsMatchModel();
    model->stop();
    model->setClock([] { return std::chrono::steady_clock::now(); });
}

TEST_F(DatapointTableTest, CellsApplyOnlyWhereTheDatapointHasThem) {
    rows().setData(cell(modeRow, Model::typeColumn), int(DataType::float32));
    const struct {
        int row, column;
        bool editable;
    } cells[] = {
        {pumpRow, Model::orderColumn, false},      {pumpRow, Model::scaleColumn, false},
        {pumpRow, Model::displayColumn, false},    {pumpRow, Model::valueColumn, false},
        {pumpRow, Model::typeColumn, true},        {setpointRow, Model::orderColumn, false},
        {setpointRow, Model::displayColumn, true}, {modeRow, Model::orderColumn, true},
        {modeRow, Model::displayColumn, false},    {modeRow, Model::valueColumn, true},
    };
    for (const auto& c : cells) {
        EXPECT_EQ(bool(rows().flags(cell(c.row, c.column)) & Qt::ItemIsEditable), c.editable)
            << "row " << c.row << " column " << c.column;
    }
    EXPECT_TRUE(rows().flags(cell(pumpRow, Model::valueColumn)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(rows().setData(cell(pumpRow, Model::scaleColumn), 2.0));

    // The coil's type picker offers nothing but Bit.
    DatapointDelegate delegate;
    QWidget parent;
    std::unique_ptr<QWidget> editor(
        delegate.createEditor(&parent, {}, cell(pumpRow, Model::typeColumn)));
    auto* picker = qobject_cast<QComboBox*>(editor.get());
    ASSERT_NE(picker, nullptr);
    ASSERT_EQ(picker->count(), 1);
    EXPECT_EQ(picker->itemText(0), "Bit");
}

TEST_F(DatapointTableTest, TableChoiceGoesThroughChangeTable) {
    const struct {
        DataType before;
        RegisterTable table;
        DataType after;
    } moves[] = {
        {DataType::bool_, RegisterTable::coil, DataType::bool_},
        {DataType::float32, RegisterTable::coil, DataType::bool_},
        {DataType::float32, RegisterTable::inputRegister, DataType::float32},
        // Picking the table it is in must not run changeTable (bool would become uint16).
        {DataType::bool_, RegisterTable::holdingRegister, DataType::bool_},
    };
    DatapointDelegate delegate;
    QWidget parent;
    for (const auto& m : moves) {
        rows().setData(cell(modeRow, Model::tableColumn), int(RegisterTable::holdingRegister));
        rows().setData(cell(modeRow, Model::typeColumn), int(m.before));
        ASSERT_EQ(point(modeRow).dataType, m.before);
        std::unique_ptr<QWidget> editor(
            delegate.createEditor(&parent, {}, cell(modeRow, Model::tableColumn)));
        auto* picker = qobject_cast<QComboBox*>(editor.get());
        ASSERT_NE(picker, nullptr);
        picker->setCurrentIndex(picker->findData(int(m.table)));
        delegate.setModelData(picker, &rows(), cell(modeRow, Model::tableColumn));
        EXPECT_EQ(model->datapoints()[4].table, m.table);
        EXPECT_EQ(model->datapoints()[4].dataType, m.after);
    }
}

TEST_F(DatapointTableTest, OverlapsMarkTheAddressAndShowTheNotice) {
    DatapointPane pane(*model);
    const auto* notice = pane.findChild<QFrame*>("overlapNotice");
    ASSERT_NE(notice, nullptr);
    Model& paneRows = pane.table().tableModel();
    const auto marked = [&](int row) {
        return paneRows.index(row, Model::addressColumn).data(Qt::DecorationRole).isValid();
    };
    EXPECT_TRUE(notice->isHidden());

    paneRows.setData(paneRows.index(modeRow, Model::addressColumn), 0); // onto the setpoint
    EXPECT_FALSE(notice->isHidden());
    EXPECT_TRUE(marked(setpointRow) && marked(modeRow));
    EXPECT_FALSE(marked(temperatureRow));
    EXPECT_FALSE(
        qvariant_cast<QIcon>(paneRows.index(modeRow, Model::addressColumn).data(Qt::DecorationRole))
            .isNull());
    EXPECT_TRUE(paneRows.index(modeRow, Model::addressColumn)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .endsWith("This address overlaps another datapoint, or runs past address "
                              "65535."));

    paneRows.setData(paneRows.index(modeRow, Model::addressColumn), 1);
    EXPECT_TRUE(notice->isHidden());
    EXPECT_FALSE(marked(setpointRow) || marked(modeRow));
}

TEST_F(DatapointTableTest, EmptyUnitShowsTheEmptyViewUntilADatapointIsAdded) {
    DatapointPane pane(*model);
    const auto* stack = pane.findChild<QStackedWidget*>();
    ASSERT_NE(stack, nullptr);
    EXPECT_EQ(stack->currentWidget()->objectName(), "datapointTable");

    model->addUnit();
    EXPECT_EQ(stack->currentWidget()->objectName(), "emptyTableView");
    pane.findChild<QPushButton*>("emptyAddButton")->click();
    EXPECT_EQ(stack->currentWidget()->objectName(), "datapointTable");

    // Delete, while no editor is open, removes the selected row.
    DatapointTableView& table = pane.table();
    table.selectRow(0);
    QTest::keyClick(&table, Qt::Key_Delete);
    EXPECT_EQ(stack->currentWidget()->objectName(), "emptyTableView");
    EXPECT_EQ(model->selectedUnitPoints().size(), 0u);
}

TEST_F(DatapointTableTest, ValueEditorKeepsInvalidInputAndSetsValidInput) {
    view.edit(cell(modeRow, Model::valueColumn));
    auto* editor = view.findChild<ValueCell*>();
    ASSERT_NE(editor, nullptr);

    editor->setText("0x10000");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_TRUE(editor->isInvalid());
    EXPECT_TRUE(view.isEditing());
    EXPECT_EQ(model->datapoints()[4].value, 1);

    editor->setText("77");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(model->datapoints()[4].value, 77);
    EXPECT_TRUE(processEventsUntil([&] { return !view.isEditing(); }));
}

TEST_F(DatapointTableTest, TabLeavesAValueEditorWithInvalidInputDropsItAndSaysWhy) {
    view.resize(1200, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        const QModelIndex valueCell = cell(modeRow, Model::valueColumn);
        view.setCurrentIndex(valueCell);
        view.edit(valueCell);
        auto* editor = qobject_cast<ValueCell*>(view.indexWidget(valueCell));
        ASSERT_NE(editor, nullptr);
        editor->setText("abc");
        QString message;
        const auto connection =
            QObject::connect(&view, &DatapointTableView::entryMessage,
                             [&](const QString& text, bool) { message = text; });
        QTest::keyClick(editor, key);
        EXPECT_TRUE(processEventsUntil([&] { return view.indexWidget(valueCell) == nullptr; }));
        // Tab leaves the table instead of opening the next cell.
        EXPECT_FALSE(view.isEditing());
        EXPECT_EQ(model->datapoints()[modeRow].value, 1);
        EXPECT_EQ(message, Ui::text(L10n::Table::notANumber("abc")));
        QObject::disconnect(connection);
    }
}

TEST_F(DatapointTableTest, ClickingASwitchTogglesTheBitAndTheSymbolOpensTheSimulation) {
    view.resize(1200, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QRect pump = view.visualRect(cell(pumpRow, Model::valueColumn));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      DatapointDelegate::switchRect(pump).center());
    EXPECT_EQ(model->datapoints()[5].value, 0);
    EXPECT_FALSE(view.isEditing());

    QFrame* popup = view.openSimulationEditor(cell(modeRow, Model::simulationColumn));
    ASSERT_NE(popup, nullptr);
    auto* editor = popup->findChild<SimulationEditor*>();
    ASSERT_NE(editor, nullptr);
    editor->onChange(Simulation{Simulation::Kind::counter, 1, 9, 2});
    EXPECT_EQ(model->datapoints()[4].simulation, (Simulation{Simulation::Kind::counter, 1, 9, 2}));
    EXPECT_EQ(cell(modeRow, Model::simulationColumn).data().toString(), "Counter");
    popup->close();
}

} // namespace

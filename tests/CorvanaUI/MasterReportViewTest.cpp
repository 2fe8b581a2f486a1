#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/ui/log/LogArea.h"
#include "Corvana/ui/log/LogHeader.h"
#include "Corvana/ui/log/LogPane.h"
#include "Corvana/ui/log/MasterReportView.h"
#include "Corvana/ui/log/ShowLogPreference.h"
#include "ModbusSerial/VirtualPortPair.h"
#include "tests/support/RTUMaster.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

class MasterReportViewTest : public UiTest {
protected:
    QStringList row(QTableWidget* table, int index) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* item = table->item(index, column);
            cells << (item ? item->text() : QString());
        }
        return cells;
    }

    ShowLogPreference showLog;
    LogPane pane{*model, showLog};
};

TEST_F(MasterReportViewTest, TheMasterToggleTakesTheLogsPlaceAndShowsThePane) {
    pane.show();
    auto* body = pane.findChild<QStackedWidget*>(QStringLiteral("logBody"));
    ASSERT_NE(body, nullptr);
    ASSERT_FALSE(showLog.isOn());
    QToolButton* toggle = pane.header()->masterToggle();
    EXPECT_EQ(toggle->text(), "Master");

    toggle->click();
    EXPECT_TRUE(showLog.isOn());
    EXPECT_EQ(body->currentWidget(), pane.masterView());
    // Refreshing runs only while it is shown.
    EXPECT_TRUE(pane.masterView()->findChild<QTimer*>()->isActive());

    toggle->click();
    EXPECT_NE(body->currentWidget(), pane.masterView());
    EXPECT_FALSE(pane.masterView()->findChild<QTimer*>()->isActive());

    toggle->click();
    showLog.setOn(false); // hiding the pane leaves the Master view
    EXPECT_FALSE(toggle->isChecked());
    toggle->click();
    pane.showFindBar(); // finding is in the log
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_NE(body->currentWidget(), pane.masterView());
}

TEST_F(MasterReportViewTest, TablesShowWhatALibmodbusMasterDidAndExportAsCSV) {
    VirtualPortPair pair;
    model->setSerial({.baudRate = 115200, .parity = Parity::none}); // pseudo-terminals: no parity
    model->setSelectedPath(QString::fromStdString(pair.serverPath()));
    model->start();
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    const RTUMaster master = connectRTUMaster(pair.masterPath());
    std::uint16_t values[2]{};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(modbus_read_registers(master.get(), 0, 2, values), 2) << modbus_strerror(errno);
    }
    EXPECT_EQ(modbus_read_registers(master.get(), 900, 1, values), -1); // exception 02

    MasterReportView* view = pane.masterView();
    view->refresh();
    ASSERT_EQ(view->functionsTable()->rowCount(), 1);
    EXPECT_EQ(row(view->functionsTable(), 0),
              (QStringList{"1", "03", "4", "4", "02 ×1", "0", "0", "0"}));
    ASSERT_EQ(view->pollItemsTable()->rowCount(), 2);
    const QStringList polled = row(view->pollItemsTable(), 0);
    EXPECT_EQ(polled.mid(0, 5), (QStringList{"1", "03", "0", "2", "3"}));
    EXPECT_FALSE(polled[6].isEmpty()); // a median interval
    EXPECT_EQ(row(view->pollItemsTable(), 1).mid(4), (QStringList{"1", "", "", "", "", ""}));
    ASSERT_EQ(view->retriesTable()->rowCount(), 1);
    EXPECT_EQ(row(view->retriesTable(), 0).mid(3), (QStringList{"0", "", "0", "0", "", ""}));
    // libmodbus asks again at once after an answer, mostly sooner than t3.5: not counted here.
    EXPECT_TRUE(view->lineLabel()->text().startsWith("Requests 4 · Broadcasts 0 · Early "))
        << view->lineLabel()->text().toStdString();

    // Stopping keeps the report; the export writes the tables.
    model->stop();
    view->refresh();
    EXPECT_EQ(view->functionsTable()->rowCount(), 1);
    dialogs.saveLocation = environment.path("master.csv");
    view->findChild<QPushButton*>(QStringLiteral("exportMasterReportButton"))->click();
    QFile file(*dialogs.saveLocation);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(
        "unit,function,requests,answers,exceptions,suppressed,damaged,delayed\r\n"
        "1,3,4,4,2:1,0,0,0\r\n"));
    EXPECT_FALSE(model->errorMessage());

    // A folder that does not exist: the error says so, nothing else changes.
    dialogs.saveLocation = environment.path("missing/master.csv");
    model->exportMasterReport();
    EXPECT_TRUE(model->errorMessage());

    // What the control socket hands out: the report file's JSON, and a reset.
    const nlohmann::json json = model->masterReport();
    EXPECT_EQ(json["line"]["requests"], 4);
    EXPECT_EQ(json["units"][0]["functions"][0]["exceptions"]["2"], 1);
    model->resetMasterReport();
    EXPECT_EQ(model->masterReport()["line"]["requests"], 0);
    model->exportMasterReport();        // an empty report still exports its headers
    EXPECT_TRUE(model->errorMessage()); // (into the missing folder)

    // The next start begins a new report.
    model->start();
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    view->refresh();
    EXPECT_EQ(view->functionsTable()->rowCount(), 0);
    model->stop();
}

} // namespace

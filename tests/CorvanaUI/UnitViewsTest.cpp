#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/units/IdentityDialog.h"
#include "Corvana/ui/units/UnitDetail.h"
#include "Corvana/ui/units/UnitListModel.h"
#include "Corvana/ui/units/UnitSettingsBar.h"
#include "Corvana/ui/units/UnitSidebar.h"
#include "Corvana/ui/window/ProjectButton.h"
#include "Localization/L10n.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <algorithm>

namespace {

ServerUnit makeUnit(int address, std::string name = {}, bool enabled = true) {
    ServerUnit unit;
    unit.unitID = static_cast<std::uint8_t>(address);
    unit.name = std::move(name);
    unit.enabled = enabled;
    return unit;
}

// Example unit 1 (seven datapoints), unit 5 "Boiler" with three, unnamed unit 12 with one;
// unit 5 selected.
class UnitViewsTest : public UiTest {
protected:
    UnitViewsTest() {
        std::vector<Datapoint> points = model->datapoints();
        for (const auto& [unit, count] : {std::pair{5, 3}, {12, 1}}) {
            for (int i = 0; i < count; ++i) {
                Datapoint point;
                point.unitID = static_cast<std::uint8_t>(unit);
                point.address = static_cast<std::uint16_t>(i);
                points.push_back(point);
            }
        }
        std::vector<ServerUnit> units = model->units();
        units.push_back(makeUnit(5, "Boiler"));
        units.push_back(makeUnit(12));
        model->setUnits(units);
        model->setDatapoints(points);
        model->setSelectedUnitID(5);
    }

    std::vector<int> addresses() const {
        std::vector<int> result;
        for (const ServerUnit& unit : model->units()) {
            result.push_back(unit.unitID);
        }
        return result;
    }

    long pointsOf(int unit) const {
        return std::count_if(model->datapoints().begin(), model->datapoints().end(),
                             [&](const Datapoint& p) { return p.unitID == unit; });
    }

    const ServerUnit& unit(int address) const {
        return *std::find_if(model->units().begin(), model->units().end(),
                             [&](const ServerUnit& u) { return u.unitID == address; });
    }

    static int selectedRow(const UnitSidebar& sidebar) {
        const QModelIndexList rows = sidebar.list()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().data(UnitListModel::UnitIDRole).toInt() : -1;
    }
};

TEST_F(UnitViewsTest, ListModelFollowsEveryKindOfUnitChange) {
    UnitListModel list(*model);
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto rows = [&] {
        std::vector<int> result;
        for (int row = 0; row < list.rowCount(); ++row) {
            result.push_back(list.index(row).data(UnitListModel::UnitIDRole).toInt());
        }
        return result;
    };
    const std::vector<std::function<void()>> steps = {
        [&] { model->addUnit(); },
        [&] { model->changeUnitAddress(2, 200); },
        [&] { model->deleteUnit(5); },
        [&] { model->updateUnit(makeUnit(12, "Meter", false)); },
        [&] { model->deleteDatapoints({model->datapoints().front().id}); },
        [&] { model->newProject(); },
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i]();
        EXPECT_EQ(rows(), addresses()) << "step " << i;
    }
}

TEST_F(UnitViewsTest, RowsShowAddressNameAndDatapointCount) {
    model->updateUnit(makeUnit(12, {}, false));
    const UnitListModel list(*model);
    const struct {
        int unit;
        QString title;
        QString subtitle;
        bool disabled;
    } cases[] = {{5, "Unit 5", "Boiler · 3 datapoints", false},
                 {12, "Unit 12", "1 datapoint", true}};
    for (const auto& c : cases) {
        const QModelIndex row = list.indexOfUnit(static_cast<std::uint8_t>(c.unit));
        ASSERT_TRUE(row.isValid()) << c.unit;
        EXPECT_EQ(row.data(Qt::DisplayRole).toString(), c.title);
        EXPECT_EQ(row.data(UnitListModel::SubtitleRole).toString(), c.subtitle);
        EXPECT_EQ(row.data(UnitListModel::DisabledRole).toBool(), c.disabled);
        EXPECT_FALSE(row.data(Qt::DecorationRole).value<QIcon>().isNull());
    }
}

TEST_F(UnitViewsTest, AddressEntryAppliesOnlyFreeValidAddressesWhenCommitted) {
    UnitSidebar sidebar(*model);
    UnitSettingsBar bar(*model);
    auto* field = bar.findChild<QLineEdit*>("unitIDField");
    auto* message = bar.findChild<QWidget*>("unitIDMessage");
    auto* messageText = bar.findChild<QLabel*>("unitIDMessageText");
    ASSERT_TRUE(field && message && messageText);
    const struct {
        QString typed;
        bool invalid;
        int selected; // where unit 5 and its three datapoints are after Enter
    } cases[] = {{"12", true, 5},  {"0", true, 5},    {"248", true, 5},
                 {"300", true, 5}, {"abc", true, 5},  {"+", true, 5},
                 {"+5", false, 5}, {" 5 ", false, 5}, {"13", false, 13}};
    for (const auto& c : cases) {
        const std::string typed = c.typed.toStdString();
        field->selectAll();
        field->insert(c.typed); // one edit, as a paste would be
        // Typing only checks: the hint shows, nothing moves yet.
        EXPECT_EQ(!message->isHidden(), c.invalid) << typed;
        EXPECT_EQ(model->selectedUnitID(), 5) << typed;
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(model->selectedUnitID(), c.selected) << typed;
        EXPECT_EQ(field->text(), QString::number(c.selected)) << typed;
        EXPECT_EQ(pointsOf(c.selected), 3) << typed;
        EXPECT_EQ(selectedRow(sidebar), c.selected) << typed;
        // A refused entry says why under the field, with what was typed.
        EXPECT_EQ(!message->isHidden(), c.invalid) << typed;
        if (c.invalid) {
            EXPECT_EQ(messageText->text(),
                      Ui::text(L10n::Units::unitIDRefused(c.typed.trimmed().toStdString())));
        }
    }
    EXPECT_EQ(addresses(), (std::vector<int>{1, 12, 13}));
    EXPECT_EQ(unit(13).name, "Boiler");
    EXPECT_EQ(pointsOf(5), 0);
    EXPECT_EQ(pointsOf(12), 1);
}

TEST_F(UnitViewsTest, TypingOverAUnitIDNeverPassesThroughThePrefixes) {
    UnitSettingsBar bar(*model);
    bar.show();
    auto* field = bar.findChild<QLineEdit*>("unitIDField");
    auto* message = bar.findChild<QWidget*>("unitIDMessage");
    ASSERT_TRUE(field && message);
    QApplication::setActiveWindow(&bar);
    field->setFocus();
    const auto typeKeys = [&](const QString& keys, const std::vector<int>& meanwhile) {
        field->selectAll();
        for (const QChar key : keys) {
            QTest::keyClick(field, key.toLatin1());
            EXPECT_EQ(addresses(), meanwhile)
                << keys.toStdString() << " at " << field->text().toStdString();
        }
    };
    typeKeys("24", {1, 5, 12}); // "2" is free, but unit 5 must not become unit 2 on the way
    EXPECT_TRUE(message->isHidden());
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(addresses(), (std::vector<int>{1, 12, 24}));
    EXPECT_EQ(pointsOf(24), 3);

    field->setFocus();
    typeKeys("250", {1, 12, 24}); // "25" fits, but 250 does not
    EXPECT_FALSE(message->isHidden());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(addresses(), (std::vector<int>{1, 12, 24}));
    EXPECT_EQ(field->text(), "24");
    EXPECT_FALSE(message->isHidden());
}

TEST_F(UnitViewsTest, RemovalAsksAndMovesTheSelectionToTheFirstUnit) {
    for (const bool confirmed : {false, true}) {
        UnitSidebar sidebar(*model);
        int asked = 0;
        sidebar.confirmRemoval = [&](int unitID) {
            asked = unitID;
            return confirmed;
        };
        sidebar.findChild<QToolButton*>("removeUnitButton")->click();
        EXPECT_EQ(asked, 5);
        const std::vector<int> remaining =
            confirmed ? std::vector<int>{1, 12} : std::vector<int>{1, 5, 12};
        EXPECT_EQ(addresses(), remaining);
        EXPECT_EQ(pointsOf(5), confirmed ? 0 : 3);
        EXPECT_EQ(model->selectedUnitID(), confirmed ? 1 : 5);
        EXPECT_EQ(selectedRow(sidebar), confirmed ? 1 : 5);
    }
}

TEST_F(UnitViewsTest, ExceptionCodePickerOnlyForTheExceptionFault) {
    UnitSettingsBar bar(*model);
    auto* faults = bar.findChild<QComboBox*>("faultPicker");
    auto* codes = bar.findChild<QComboBox*>("exceptionCodePicker");
    for (const ServerUnit::Fault fault : ServerUnit::Fault::allCases()) {
        faults->setCurrentIndex(faults->findData(int{fault.value}));
        EXPECT_EQ(unit(5).fault, fault);
        EXPECT_EQ(codes->isHidden(), fault != ServerUnit::Fault::exception) << int{fault.value};
    }
    // From elsewhere, the bar follows the model.
    ServerUnit faulty = unit(5);
    faulty.fault = ServerUnit::Fault::exception;
    model->updateUnit(faulty);
    EXPECT_FALSE(codes->isHidden());
    EXPECT_EQ(codes->count(), 9);
    codes->setCurrentIndex(codes->findData(0x0B));
    EXPECT_EQ(codes->currentText(), "Gateway target failed to respond (0B)");
    EXPECT_EQ(unit(5).exceptionCode, ModbusException::gatewayTargetFailedToRespond);
}

TEST_F(UnitViewsTest, NothingToAddOrRemoveShowsItself) {
    UnitSidebar sidebar(*model);
    UnitDetail detail(*model);
    EXPECT_FALSE(detail.showsPlaceholder());

    model->setSelectedUnitID(std::nullopt);
    EXPECT_FALSE(sidebar.findChild<QToolButton*>("removeUnitButton")->isEnabled());
    EXPECT_TRUE(processEventsUntil([&] { return detail.showsPlaceholder(); }));

    std::vector<ServerUnit> all;
    for (int address = 1; address <= 247; ++address) {
        all.push_back(makeUnit(address));
    }
    model->setUnits(all);
    sidebar.findChild<QToolButton*>("addUnitButton")->click();
    EXPECT_EQ(model->units().size(), 247u);
    EXPECT_EQ(model->selectedUnitID(), std::nullopt);
}

TEST_F(UnitViewsTest, ProjectMenuStartsANewProject) {
    ProjectButton button(*model);
    button.menu()->actions().at(0)->trigger();
    EXPECT_EQ(addresses(), std::vector<int>{1});
    EXPECT_TRUE(model->datapoints().empty());
}

// The dialog gives the unit with its fields; a bad server ID or an overlong text keeps it open.
TEST_F(UnitViewsTest, IdentityDialogEditsIdentityAndFunctionCodes) {
    UnitSettingsBar bar(*model);
    EXPECT_NE(bar.findChild<QPushButton*>("identityButton"), nullptr);
    EXPECT_TRUE(bar.findChild<QLabel*>("diagnosticsLabel")->isHidden()); // the server is off

    IdentityDialog dialog(unit(5));
    auto* serverID = dialog.findChild<QLineEdit*>("serverIDField");
    auto* modelName = dialog.findChild<QLineEdit*>("modelNameField");
    auto* readHolding = dialog.findChild<QCheckBox*>("function3");
    ASSERT_TRUE(serverID && modelName && readHolding);
    EXPECT_TRUE(readHolding->isChecked());
    EXPECT_EQ(serverID->placeholderText(), QStringLiteral("05"));
    serverID->setText(QStringLiteral("0a 1B"));
    readHolding->setChecked(false);
    auto edited = dialog.editedUnit();
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->identity.serverID, (Bytes{0x0A, 0x1B}));
    EXPECT_EQ(edited->identity.modelName, std::nullopt); // empty: follows the unit's name
    EXPECT_EQ(std::count(edited->functions.begin(), edited->functions.end(), 3), 0);
    EXPECT_EQ(edited->functions.size(), supportedFunctionCodes().size() - 1);

    serverID->setText(QStringLiteral("0A1"));
    EXPECT_FALSE(dialog.editedUnit());
    serverID->clear();
    modelName->setText(QString(245, u'm'));
    EXPECT_FALSE(dialog.editedUnit());
    dialog.accept();
    EXPECT_FALSE(dialog.findChild<QLabel*>("identityMessage")->isHidden());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

} // namespace

#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/model/FaultRulePresets.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/units/FaultRuleDialog.h"
#include "Corvana/ui/units/FaultRuleListModel.h"
#include "Corvana/ui/units/FaultRulesSection.h"
#include "Localization/FaultTexts.h"

#include "tests/support/PseudoTerminal.h"

#include <nlohmann/json.hpp>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include <map>
#include <set>

namespace {

using ScheduleKind = FaultRule::Schedule::Kind;
using EffectKind = FaultRule::Effect::Kind;
using Preset = FaultRulePresets::Preset;
using Column = FaultRuleListModel::Column;

class FaultRulesTest : public UiTest {
protected:
    const std::vector<FaultRule>& rules() const { return model->units().front().faultRules; }

    static QString cell(const FaultRulesSection& section, int row, int column,
                        int role = Qt::DisplayRole) {
        const auto* list = section.listModel();
        return list->data(list->index(row, column), role).toString();
    }

    static QAction* action(const FaultRulesSection& section, const char* name) {
        return section.findChild<QMenu*>("addFaultRuleMenu")->findChild<QAction*>(name);
    }
};

TEST_F(FaultRulesTest, ListFollowsEveryKindOfRuleChange) {
    FaultRuleListModel list(*model);
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const std::function<void()> changes[] = {
        [&] { model->insertFaultRule(1, FaultRulePresets::rule(Preset::lateReply, 1)); },
        [&] { model->insertFaultRule(1, FaultRulePresets::rule(Preset::slowBytes, 1), 0); },
        [&] { model->duplicateFaultRule(1, 1); },
        [&] { model->moveFaultRule(1, 2, -2); },
        [&] { model->setFaultRuleEnabled(1, 0, false); },
        [&] { model->replaceFaultRule(1, 1, FaultRulePresets::rule(Preset::wrongUnit, 1)); },
        [&] { model->removeFaultRule(1, 0); },
        [&] { model->undo(); },
        [&] { model->addUnit(); }, // selects unit 2, which has no rules
        [&] { model->setSelectedUnitID(1); },
    };
    for (const auto& change : changes) {
        change();
        const auto& shown = list.rules();
        EXPECT_EQ(list.rowCount(), static_cast<int>(shown.size()));
        if (list.unit() == 1) {
            EXPECT_EQ(shown, rules());
        }
        for (int row = 0; row < list.rowCount(); ++row) {
            EXPECT_EQ(list.data(list.index(row, Column::nameColumn)).toString().toStdString(),
                      shown[static_cast<std::size_t>(row)].name);
            EXPECT_EQ(list.data(list.index(row, Column::onColumn), Qt::CheckStateRole).toInt(),
                      shown[static_cast<std::size_t>(row)].enabled ? Qt::Checked : Qt::Unchecked);
        }
    }
}

TEST_F(FaultRulesTest, SectionAddsPresetsAndEditsByKeyboard) {
    FaultRulesSection section(*model);
    EXPECT_FALSE(section.isExpanded());
    EXPECT_EQ(section.findChild<QLabel*>("faultRuleCount")->text(),
              Ui::text(L10n::Faults::noRules()));

    action(section, "addFaultPreset1")->trigger(); // every 5th reply with a bad CRC
    EXPECT_TRUE(section.isExpanded());
    ASSERT_EQ(rules().size(), 1u);
    EXPECT_EQ(cell(section, 0, Column::nameColumn), "Every 5th reply with a bad CRC");
    EXPECT_EQ(cell(section, 0, Column::ruleColumn), "Every 5th request: bad CRC");
    EXPECT_EQ(section.currentRow(), 0u);

    // A second preset lands after the selected rule and is selected in turn.
    action(section, "addFaultPreset3")->trigger();
    EXPECT_EQ(rules()[1].effect.kind, EffectKind::delay);
    EXPECT_EQ(section.currentRow(), 1u);
    EXPECT_EQ(section.findChild<QLabel*>("faultRuleCount")->text(), "2 rules, 2 on");

    QTableView* view = section.view();
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_FALSE(rules()[1].enabled);
    EXPECT_EQ(section.findChild<QLabel*>("faultRuleCount")->text(), "2 rules, 1 on");
    EXPECT_EQ(section.currentRow(), 1u); // a switch keeps the selection

    // The check box of the list goes to the model too.
    section.listModel()->setData(section.listModel()->index(0, Column::onColumn), Qt::Unchecked,
                                 Qt::CheckStateRole);
    EXPECT_FALSE(rules()[0].enabled);

    int edits = 0;
    section.setEditor([&](const FaultRule& rule, std::uint8_t unit, QWidget*) {
        ++edits;
        EXPECT_EQ(unit, 1);
        FaultRule changed = rule;
        changed.name = "Edited";
        return std::optional<FaultRule>(changed);
    });
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(rules()[1].name, "Edited");

    section.findChild<QPushButton*>("moveFaultRuleUpButton")->click();
    EXPECT_EQ(rules()[0].name, "Edited");
    EXPECT_EQ(section.currentRow(), 0u);
    EXPECT_FALSE(section.findChild<QPushButton*>("moveFaultRuleUpButton")->isEnabled());
    EXPECT_TRUE(section.findChild<QPushButton*>("moveFaultRuleDownButton")->isEnabled());

    section.findChild<QPushButton*>("duplicateFaultRuleButton")->click();
    ASSERT_EQ(rules().size(), 3u);
    EXPECT_EQ(rules()[1], rules()[0]);
    EXPECT_EQ(section.currentRow(), 1u);

    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(rules().size(), 2u);
    EXPECT_EQ(section.currentRow(), 1u);

    // A cancelled editor changes nothing; an empty rule goes in only when accepted.
    section.setEditor([](const FaultRule&, std::uint8_t, QWidget*) { return std::nullopt; });
    action(section, "addEmptyFaultRule")->trigger();
    QTest::keyClick(view, Qt::Key_Enter);
    EXPECT_EQ(rules().size(), 2u);
    EXPECT_EQ(rules()[0].name, "Edited");
}

TEST_F(FaultRulesTest, ListShowsFiredCountsWhileTheServerRuns) {
    model->insertFaultRule(1, FaultRulePresets::rule(Preset::wrongUnit, 1));
    FaultRulesSection section(*model);
    EXPECT_EQ(cell(section, 0, Column::firedColumn), "");

    PseudoTerminal pty;
    model->setSelectedPath(QString::fromStdString(pty.path()));
    model->start();
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
    for (int request = 1; request <= 3; ++request) {
        pty.send(readRequest);
        EXPECT_EQ(pty.receive(readResponse.size()).size(), readResponse.size());
        EXPECT_TRUE(processEventsUntil([&] {
            return cell(section, 0, Column::firedColumn) == QString::number(request);
        })) << request;
    }
    EXPECT_EQ(cell(section, 0, Column::firedColumn, Qt::ToolTipRole), "3 / 3");
    model->stop();
    EXPECT_EQ(cell(section, 0, Column::firedColumn), "");
}

// The rows of the schedule and the effect a kind shows, by object name.
std::set<std::string> shownFields(const FaultRuleDialog& dialog,
                                  std::initializer_list<const char*> names) {
    std::set<std::string> shown;
    for (const char* name : names) {
        const auto* field = dialog.findChild<QWidget*>(name);
        EXPECT_NE(field, nullptr) << name;
        if (field && !field->isHidden()) {
            shown.insert(name);
        }
    }
    return shown;
}

// Puts `value` into the dialog's field `name`: a text, a number, or a picker's item data.
void enter(const FaultRuleDialog& dialog, const char* name, const QVariant& value) {
    auto* field = dialog.findChild<QWidget*>(name);
    if (auto* line = qobject_cast<QLineEdit*>(field)) {
        line->setText(value.toString());
    } else if (auto* number = qobject_cast<QDoubleSpinBox*>(field)) {
        number->setValue(value.toDouble());
    } else if (auto* picker = qobject_cast<QComboBox*>(field)) {
        picker->setCurrentIndex(picker->findData(value));
    } else {
        ADD_FAILURE() << "no field " << name;
    }
}

TEST_F(FaultRulesTest, EditorShowsOnlyTheFieldsOfTheChosenKinds) {
    FaultRuleDialog dialog(FaultRulePresets::emptyRule(), 1);
    auto* schedules = dialog.findChild<QComboBox*>("scheduleKindPicker");
    const struct {
        ScheduleKind kind;
        std::set<std::string> fields;
    } scheduleCases[] = {
        {ScheduleKind::always, {}},
        {ScheduleKind::everyNth, {"scheduleNField"}},
        {ScheduleKind::probability, {"scheduleProbabilityField"}},
        {ScheduleKind::firstN, {"scheduleNField"}},
        {ScheduleKind::afterN, {"scheduleNField"}},
        {ScheduleKind::window, {"scheduleFromField", "scheduleToField"}},
        {ScheduleKind::periodic, {"scheduleOnField", "schedulePeriodField"}},
    };
    for (const auto& c : scheduleCases) {
        schedules->setCurrentIndex(schedules->findData(int{c.kind.value}));
        EXPECT_EQ(
            shownFields(dialog, {"scheduleNField", "scheduleProbabilityField", "scheduleFromField",
                                 "scheduleToField", "scheduleOnField", "schedulePeriodField"}),
            c.fields)
            << c.kind.rawValue();
        ASSERT_TRUE(dialog.editedRule());
        EXPECT_EQ(dialog.editedRule()->schedule.kind, c.kind);
    }

    auto* effects = dialog.findChild<QComboBox*>("effectKindPicker");
    // The one field of each effect that has one.
    const std::map<EffectKind::Value, std::string> fields = {
        {EffectKind::noResponse, "effectDropRequestToggle"},
        {EffectKind::exception, "effectExceptionField"},
        {EffectKind::wrongFunction, "effectFunctionField"},
        {EffectKind::delay, "effectDelayField"},
        {EffectKind::byteDelay, "effectByteGapField"},
        {EffectKind::truncate, "effectBytesField"},
        {EffectKind::extraBytes, "effectBytesField"},
        {EffectKind::noise, "effectBytesField"},
        {EffectKind::wrongUnit, "effectUnitField"},
        {EffectKind::fewerValues, "effectCountField"}};
    for (const EffectKind kind : EffectKind::allCases()) {
        effects->setCurrentIndex(effects->findData(int{kind.value}));
        EXPECT_EQ(
            shownFields(dialog, {"effectDropRequestToggle", "effectExceptionField",
                                 "effectFunctionField", "effectDelayField", "effectByteGapField",
                                 "effectBytesField", "effectUnitField", "effectCountField"}),
            fields.contains(kind) ? std::set{fields.at(kind)} : std::set<std::string>{})
            << kind.rawValue();
        const auto rule = dialog.editedRule();
        ASSERT_TRUE(rule);
        EXPECT_EQ(rule->effect.kind, kind);
        // What the editor gives, the project file reads back unchanged.
        EXPECT_EQ(FaultRule::fromJSON(rule->toJSON()), *rule) << kind.rawValue();
    }
    // The wrong unit starts at the next address.
    EXPECT_EQ(dialog.findChild<QSpinBox*>("effectUnitField")->value(), 2);
}

TEST_F(FaultRulesTest, EditorRefusesBadValuesAndSaysWhy) {
    const FaultRule start = FaultRulePresets::rule(Preset::busyPeriodically, 1);
    const struct {
        const char* name;
        std::vector<std::pair<const char*, QVariant>> entries;
        const char* message; // empty: accepted
    } cases[] = {
        {"the preset", {}, ""},
        {"function codes",
         {{"ruleFunctionsField", "3, x"}},
         "'3, x' is not a list of function codes between 1 and 255."},
        {"an address",
         {{"ruleAddressToField", "70000"}},
         "'70000' is not a whole number between 0 and 65535."},
        {"addresses reversed",
         {{"ruleAddressFromField", "10"}, {"ruleAddressToField", "9"}},
         "The first number must not be above the second."},
        {"quantities reversed",
         {{"ruleQuantityFromField", "10"}, {"ruleQuantityToField", "2"}},
         "The first number must not be above the second."},
        {"on longer than the period",
         {{"scheduleOnField", 40}},
         "The time on must be above 0 and not longer than the period."},
        {"an empty window",
         {{"scheduleKindPicker", int{ScheduleKind::window}}, {"scheduleFromField", 60}},
         "The window must end after it starts."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultRuleDialog dialog(start, 1);
        for (const auto& [field, value] : c.entries) {
            enter(dialog, field, value);
        }
        auto* message = dialog.findChild<QLabel*>("ruleMessage");
        auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        const bool refused = std::string_view(c.message) != "";
        EXPECT_EQ(dialog.problem(), QString::fromUtf8(c.message));
        EXPECT_EQ(!message->isHidden(), refused);
        EXPECT_EQ(ok->isEnabled(), !refused);
        EXPECT_EQ(dialog.editedRule().has_value(), !refused);
        if (refused) {
            EXPECT_EQ(message->text(), QString::fromUtf8(c.message));
        } else {
            EXPECT_EQ(*dialog.editedRule(), start);
        }
    }
}

TEST_F(FaultRulesTest, EditorSummaryFollowsTheFields) {
    FaultRuleDialog dialog(FaultRulePresets::emptyRule(), 1);
    auto* summary = dialog.findChild<QLabel*>("ruleSummary");
    EXPECT_EQ(summary->text(), "Every request: no response");
    for (const auto& [field, value] : {std::pair<const char*, QVariant>{"ruleFunctionsField", "3"},
                                       {"ruleAddressFromField", "100"},
                                       {"ruleAddressToField", "120"},
                                       {"scheduleKindPicker", int{ScheduleKind::everyNth}},
                                       {"effectKindPicker", int{EffectKind::badCRC}}}) {
        enter(dialog, field, value);
    }
    EXPECT_EQ(summary->text(), "Every 5th read of holding registers 100–120: bad CRC");
}

// The section's header and buttons, and the editor's rows, in the default window's room in
// every language.
TEST_F(FaultRulesTest, TextsFitTheDefaultWindowInEveryLanguage) {
    // The detail pane of the default window with the sidebar beside it.
    constexpr int detailWidth = 1180 - 220;
    for (const Language language : Language::allCases()) {
        const L10n::ScopedLanguage scope(language);
        FaultRulesSection section(*model);
        section.setExpanded(true);
        EXPECT_LE(section.minimumSizeHint().width(), detailWidth) << language.rawValue();
        const QFontMetrics metrics(section.view()->horizontalHeader()->font());
        for (int column = 0; column < FaultRuleListModel::columnCount_; ++column) {
            if (column == Column::ruleColumn || column == Column::nameColumn) {
                continue; // they take what is left
            }
            const QString title =
                section.listModel()->headerData(column, Qt::Horizontal).toString();
            EXPECT_LE(metrics.horizontalAdvance(title),
                      section.view()->horizontalHeader()->sectionSizeHint(column))
                << language.rawValue() << " " << title.toStdString();
        }
        FaultRuleDialog dialog(FaultRulePresets::rule(Preset::busyPeriodically, 1), 1);
        EXPECT_LE(dialog.sizeHint().width(), detailWidth) << language.rawValue();
        EXPECT_LE(dialog.sizeHint().height(), 760) << language.rawValue();
    }
}

} // namespace

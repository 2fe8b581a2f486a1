#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/ui/common/LiveNumberField.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/SimulationEditor.h"
#include "Corvana/ui/table/ValueCell.h"
#include "Localization/L10n.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

#include <optional>
#include <string>
#include <vector>

namespace {

Datapoint numberPoint(DataType type, Simulation::Kind kind = Simulation::Kind::none) {
    Datapoint point;
    point.dataType = type;
    point.simulation.kind = kind;
    return point;
}

// A window holding the widget under test and a second field to move the focus to.
class EditingWindow {
public:
    explicit EditingWindow(QWidget* field)
        : other(new QLineEdit) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        // Activation focuses the first field; start like a table that has not opened it yet.
        leave();
    }

    static void focus(QWidget* widget) {
        widget->setFocus(Qt::OtherFocusReason);
        EXPECT_TRUE(processEventsUntil([&] { return widget->hasFocus(); }));
    }
    void leave() { focus(other); }

    QWidget window;
    QLineEdit* other;
};

void typeOver(QLineEdit* field, const QString& text) {
    EditingWindow::focus(field);
    field->selectAll();
    QTest::keyClicks(field, text);
}

} // namespace

class ValueEditingTest : public UiTest {
protected:
    ValueEditingTest()
        : cell(new ValueCell)
        , window(cell) {
        cell->onSetValue = [this](double value) { setValues.push_back(value); };
    }

    ValueCell* cell;
    EditingWindow window;
    std::vector<double> setValues;
};

TEST_F(ValueEditingTest, EnterParsesTheTypedTextForTheDataType) {
    struct Case {
        DataType type;
        QString typed;
        std::optional<double> value; // nullopt: invalid
        QString shownAfter;
    };
    const Case cases[] = {
        {DataType::uint16, "0x1F", 31, "31"},
        {DataType::uint16, "0b101", 5, "5"},
        {DataType::uint16, "0x10000", std::nullopt, "0x10000"},
        {DataType::float32, "21,5", 21.5, "21.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        setValues.clear();
        cell->setDatapoint(numberPoint(c.type), 7);
        typeOver(cell, c.typed);
        QTest::keyClick(cell, Qt::Key_Return);
        EXPECT_EQ(cell->isInvalid(), !c.value);
        EXPECT_EQ(setValues, c.value ? std::vector<double>{*c.value} : std::vector<double>{});
        EXPECT_EQ(cell->text(), c.shownAfter);
        window.leave();
    }
}

TEST_F(ValueEditingTest, LeavingDiscardsAnInvalidEntry) {
    cell->setDatapoint(numberPoint(DataType::uint16), 7);
    const QColor normal = cell->palette().color(QPalette::Text);
    typeOver(cell, "0x10000");
    QTest::keyClick(cell, Qt::Key_Enter);
    EXPECT_TRUE(cell->isInvalid());
    EXPECT_EQ(cell->palette().color(QPalette::Text), Ui::Colour::red(cell->palette()));
    EXPECT_EQ(cell->QWidget::toolTip(), "This value does not fit in UInt16.");

    window.leave();
    EXPECT_FALSE(cell->isInvalid());
    EXPECT_EQ(cell->text(), "7");
    EXPECT_EQ(cell->palette().color(QPalette::Text), normal);
    EXPECT_TRUE(setValues.empty());
}

TEST_F(ValueEditingTest, LeavingSetsAChangedValueWithTheLocaleSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the fixture restores it
    cell->setDatapoint(numberPoint(DataType::float32), 1.5);
    EXPECT_EQ(cell->text(), "1,5");
    typeOver(cell, "21,5");
    window.leave();
    EXPECT_EQ(setValues, std::vector<double>{21.5});
}

TEST_F(ValueEditingTest, ASimulationTickKeepsTheTextBeingTyped) {
    const Datapoint sine = numberPoint(DataType::float32, Simulation::Kind::sine);
    cell->setDatapoint(sine, 50);
    EXPECT_EQ(cell->palette().color(QPalette::Text),
              QColor::fromRgbF(0, 0.5058823529411764f, 0.5176470588235295f));
    EXPECT_EQ(cell->QWidget::toolTip(), Ui::text(L10n::Log::simulatedValue()));
    typeOver(cell, "12");
    cell->setDatapoint(sine, 61.25);
    EXPECT_EQ(cell->text(), "12");

    QTest::keyClicks(cell, "x");
    window.leave();
    EXPECT_TRUE(setValues.empty());
    EXPECT_EQ(cell->text(), "61.25");
    cell->setDatapoint(sine, 70);
    EXPECT_EQ(cell->text(), "70");
}

TEST_F(ValueEditingTest, NumberFieldTakesTheNumberOnlyWhenTheEntryIsCommitted) {
    auto* field = new LiveNumberField(LiveNumberField::Format::decimal);
    EditingWindow fieldWindow(field);
    std::vector<double> numbers;
    std::vector<QString> refusals;
    field->onNumberCommitted = [&](double number) { numbers.push_back(number); };
    field->onRejected = [&](const QString& reason) { refusals.push_back(reason); };
    field->setNumber(12);

    typeOver(field, "1.5");
    EXPECT_TRUE(numbers.empty()); // nothing half-typed is taken
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(numbers, (std::vector<double>{1.5}));

    QTest::keyClicks(field, "x");
    EXPECT_TRUE(field->isInvalid());
    field->setNumber(3); // arrives while typing: the text stays
    EXPECT_EQ(field->text(), "1.5x");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(field->isInvalid());
    EXPECT_EQ(field->text(), "3"); // refused: the number in force again
    EXPECT_EQ(numbers.size(), 1u);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0], Ui::text(L10n::Table::notANumber("1.5x")));
}

TEST_F(ValueEditingTest, NumberFieldRefusesAnAddressOutOfRangeInsteadOfKeepingAPrefix) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the fixture restores it
    LiveNumberField decimal(LiveNumberField::Format::decimal);
    decimal.setNumber(0.1);
    EXPECT_EQ(decimal.text(), "0,1");
    decimal.setNumber(1000000);
    EXPECT_EQ(decimal.text(), "1000000");

    auto* address = new LiveNumberField(LiveNumberField::Format::integer);
    EditingWindow fieldWindow(address);
    std::vector<double> numbers;
    QString refusal;
    address->onNumberCommitted = [&](double number) { numbers.push_back(number); };
    address->onRejected = [&](const QString& reason) { refusal = reason; };
    address->setRange(0, 65535);
    address->setNumber(40000);
    EXPECT_EQ(address->text(), "40000");

    // Typed "70000": its prefix 7000 fits, but only the whole entry counts.
    typeOver(address, "70000");
    EXPECT_TRUE(address->isInvalid());
    fieldWindow.leave();
    EXPECT_FALSE(address->isInvalid());
    EXPECT_EQ(address->text(), "40000");
    EXPECT_EQ(address->number(), 40000);
    EXPECT_TRUE(numbers.empty());
    EXPECT_EQ(refusal, Ui::text(L10n::Table::notInRange("70000", "0", "65535")));

    typeOver(address, "2,5");
    fieldWindow.leave();
    EXPECT_EQ(refusal, Ui::text(L10n::Table::notAWholeNumber("2,5")));
    typeOver(address, "7000");
    fieldWindow.leave();
    EXPECT_EQ(numbers, (std::vector<double>{7000}));
}

TEST_F(ValueEditingTest, SimulationEditorRefusesBoundsTheWrongWayRoundAndABadPeriod) {
    SimulationEditor editor;
    EditingWindow window(new QLabel);
    std::vector<Simulation> changes;
    editor.onChange = [&](const Simulation& simulation) { changes.push_back(simulation); };
    editor.setSimulation(Simulation{Simulation::Kind::sine, 0, 100, 10}, false);
    editor.show();
    auto* minimum = editor.findChild<LiveNumberField*>("minimumField");
    auto* period = editor.findChild<LiveNumberField*>("periodField");
    auto* problem = editor.findChild<QLabel*>("simulationProblem");
    ASSERT_TRUE(minimum && period && problem);

    minimum->setText("150");
    minimum->commit();
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(minimum->text(), "0");
    EXPECT_FALSE(problem->isHidden());
    EXPECT_EQ(problem->text(), Ui::text(L10n::Simulation::minimumAboveMaximum()));

    period->setText("-2");
    period->commit();
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(period->text(), "10");
    EXPECT_EQ(problem->text(), Ui::text(L10n::Simulation::invalidPeriod()));

    minimum->setText("50");
    minimum->commit();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes.back(), (Simulation{Simulation::Kind::sine, 50, 100, 10}));
    EXPECT_TRUE(problem->isHidden());
}

TEST_F(ValueEditingTest, SimulationEditorWritesEveryChange) {
    SimulationEditor editor;
    std::vector<Simulation> changes;
    editor.onChange = [&](const Simulation& simulation) { changes.push_back(simulation); };
    editor.setSimulation(Simulation{}, false);
    auto* picker = editor.findChild<QComboBox*>("kindPicker");
    auto* description = editor.findChild<QLabel*>("kindDescription");
    ASSERT_TRUE(picker && description);

    picker->setCurrentIndex(3);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes.back(), (Simulation{Simulation::Kind::sine, 0, 100, 10}));
    EXPECT_EQ(description->text(), Ui::text(L10n::Simulation::kindDescription(3)));

    // A bit only runs between 0 and 1.
    editor.setSimulation(Simulation{}, true);
    EXPECT_TRUE(editor.findChild<QLineEdit*>("minimumField")->isHidden());
    picker->setCurrentIndex(5);
    EXPECT_EQ(changes.back(), (Simulation{Simulation::Kind::toggle, 0, 1, 10}));
}

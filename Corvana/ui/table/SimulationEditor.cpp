#include "Corvana/ui/table/SimulationEditor.h"

#include "Corvana/ui/common/LiveNumberField.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/L10n.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <limits>

namespace {

constexpr int editorWidth = 300;

int kindIndex(Simulation::Kind kind) {
    return static_cast<int>(kind.value);
}

} // namespace

SimulationEditor::SimulationEditor(QWidget* parent)
    : QWidget(parent)
    , kindPicker_(new QComboBox(this))
    , minimumField_(new LiveNumberField(LiveNumberField::Format::decimal, this))
    , maximumField_(new LiveNumberField(LiveNumberField::Format::decimal, this))
    , periodField_(new LiveNumberField(LiveNumberField::Format::decimal, this))
    , form_(new QFormLayout)
    , kindDescription_(new QLabel(this))
    , problem_(new QLabel(this)) {
    setFixedWidth(editorWidth);

    kindPicker_->setObjectName(QStringLiteral("kindPicker"));
    for (const Simulation::Kind kind : Simulation::Kind::allCases()) {
        kindPicker_->addItem(Ui::symbol(symbolName(kind)),
                             Ui::text(L10n::Simulation::kindName(kindIndex(kind))));
    }
    minimumField_->setObjectName(QStringLiteral("minimumField"));
    maximumField_->setObjectName(QStringLiteral("maximumField"));
    periodField_->setObjectName(QStringLiteral("periodField"));
    // The value function runs periods of 0.1 s or less as 0.1 s; a negative one means nothing.
    periodField_->setRange(0, std::numeric_limits<double>::max());
    kindDescription_->setObjectName(QStringLiteral("kindDescription"));
    kindDescription_->setWordWrap(true);
    kindDescription_->setForegroundRole(QPalette::PlaceholderText);
    problem_->setObjectName(QStringLiteral("simulationProblem"));
    problem_->setWordWrap(true);
    problem_->setTextFormat(Qt::PlainText);
    QPalette problemColours = problem_->palette();
    problemColours.setColor(QPalette::WindowText, Ui::Colour::red(palette()));
    problem_->setPalette(problemColours);
    problem_->hide();

    form_->addRow(Ui::text(L10n::Simulation::kind()), kindPicker_);
    form_->addRow(Ui::text(L10n::Simulation::minimum()), minimumField_);
    form_->addRow(Ui::text(L10n::Simulation::maximum()), maximumField_);
    form_->addRow(Ui::text(L10n::Simulation::period()), periodField_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form_);
    layout->addWidget(problem_);
    layout->addWidget(kindDescription_);

    connect(kindPicker_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) {
            return;
        }
        simulation_.kind = Simulation::Kind::allCases()[static_cast<std::size_t>(index)];
        change();
    });
    minimumField_->onNumberCommitted = [this](double number) {
        if (number > simulation_.maximum) {
            refuse(Ui::text(L10n::Simulation::minimumAboveMaximum()));
            return;
        }
        simulation_.minimum = number;
        change();
    };
    maximumField_->onNumberCommitted = [this](double number) {
        if (number < simulation_.minimum) {
            refuse(Ui::text(L10n::Simulation::minimumAboveMaximum()));
            return;
        }
        simulation_.maximum = number;
        change();
    };
    periodField_->onNumberCommitted = [this](double number) {
        simulation_.period = number;
        change();
    };
    minimumField_->onRejected = [this](const QString& reason) { refuse(reason); };
    maximumField_->onRejected = [this](const QString& reason) { refuse(reason); };
    periodField_->onRejected = [this](const QString&) {
        refuse(Ui::text(L10n::Simulation::invalidPeriod()));
    };
    showSimulation();
}

void SimulationEditor::setSimulation(const Simulation& simulation, bool isBit) {
    simulation_ = simulation;
    isBit_ = isBit;
    showSimulation();
}

const Simulation& SimulationEditor::simulation() const {
    return simulation_;
}

std::string_view SimulationEditor::symbolName(Simulation::Kind kind) {
    switch (kind) {
    case Simulation::Kind::none:
        return "minus";
    case Simulation::Kind::counter:
        return "number";
    case Simulation::Kind::ramp:
        return "chart.line.uptrend.xyaxis";
    case Simulation::Kind::sine:
        return "waveform";
    case Simulation::Kind::random:
        return "dice";
    case Simulation::Kind::toggle:
        return "switch.2";
    }
    return "minus";
}

void SimulationEditor::showSimulation() {
    {
        const QSignalBlocker blocker(kindPicker_);
        kindPicker_->setCurrentIndex(kindIndex(simulation_.kind));
    }
    minimumField_->setNumber(simulation_.minimum);
    maximumField_->setNumber(simulation_.maximum);
    periodField_->setNumber(simulation_.period);
    // A bit only knows 0 and 1, so its bounds are not the user's to choose.
    form_->setRowVisible(minimumField_, !isBit_);
    form_->setRowVisible(maximumField_, !isBit_);
    kindDescription_->setText(
        Ui::text(L10n::Simulation::kindDescription(kindIndex(simulation_.kind))));
}

void SimulationEditor::hideEvent(QHideEvent* event) {
    for (LiveNumberField* field : {minimumField_, maximumField_, periodField_}) {
        field->commit(); // an unchanged text commits nothing
    }
    QWidget::hideEvent(event);
}

void SimulationEditor::refuse(const QString& reason) {
    showSimulation(); // the fields show the numbers in force again
    problem_->setText(reason);
    problem_->show();
}

void SimulationEditor::change() {
    problem_->hide();
    if (isBit_) {
        simulation_.minimum = 0;
        simulation_.maximum = 1;
    }
    showSimulation();
    if (onChange) {
        onChange(simulation_);
    }
}

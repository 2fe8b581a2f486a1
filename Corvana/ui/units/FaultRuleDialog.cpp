#include "Corvana/ui/units/FaultRuleDialog.h"

#include "Corvana/model/FaultRuleEditing.h"
#include "Corvana/model/FaultRuleSummary.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/FaultTexts.h"
#include "Localization/L10n.h"
#include "ModbusCore/ModbusCodes.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

namespace Faults = L10n::Faults;
using ScheduleKind = FaultRule::Schedule::Kind;
using EffectKind = FaultRule::Effect::Kind;

// The limits of the project file, so that whatever the editor accepts also loads again.
constexpr int maxByte = FaultRule::maxByte;
constexpr int maxMilliseconds = FaultRule::maxMilliseconds;
constexpr int maxCount = FaultRule::maxCount;
constexpr double maxSeconds = 1e7;
constexpr int secondsDecimals = 3;
constexpr int percentDecimals = 2;

// Starting values of fields the rule does not use yet: the common case of each kind.
constexpr int defaultN = 5;
constexpr double defaultPercent = 10;
constexpr double defaultWindowTo = 60;
constexpr double defaultOn = 3;
constexpr double defaultPeriod = 30;
constexpr int defaultException = 6; // server device busy
constexpr int defaultFunction = 1;
constexpr int defaultDelay = 1500;
constexpr int defaultByteGap = 10;
constexpr int defaultBytes = 2;
constexpr int defaultCount = 1;
// Wide enough that a name and a summary of everyday length fit on one line.
constexpr int minimumCharacters = 84;

QLineEdit* boundField(QWidget* parent, const std::string& accessibleName) {
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(Ui::text(Faults::any()));
    field->setAccessibleName(Ui::text(accessibleName));
    const QFontMetrics metrics = field->fontMetrics();
    field->setMaximumWidth(std::max(metrics.horizontalAdvance(QStringLiteral("000000")),
                                    metrics.horizontalAdvance(field->placeholderText())) +
                           24);
    return field;
}

QSpinBox* spinBox(QWidget* parent, int minimum, int maximum, const QString& suffix = {}) {
    auto* field = new QSpinBox(parent);
    field->setRange(minimum, maximum);
    field->setSuffix(suffix);
    field->setGroupSeparatorShown(false);
    return field;
}

QDoubleSpinBox* doubleSpinBox(QWidget* parent, double maximum, int decimals,
                              const QString& suffix) {
    auto* field = new QDoubleSpinBox(parent);
    field->setRange(0, maximum);
    field->setDecimals(decimals);
    field->setSuffix(suffix);
    field->setGroupSeparatorShown(false);
    return field;
}

// "from – to" in one form row.
QWidget* boundsRow(QLineEdit* from, QLineEdit* to, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(from);
    layout->addWidget(new QLabel(QStringLiteral("–"), row));
    layout->addWidget(to);
    layout->addStretch();
    return row;
}

QString boundText(const std::optional<int>& value) {
    return value ? QString::number(*value) : QString();
}

void selectData(QComboBox* picker, int data) {
    picker->setCurrentIndex(picker->findData(data));
}

} // namespace

FaultRuleDialog::FaultRuleDialog(const FaultRule& rule, std::uint8_t unit, QWidget* parent)
    : QDialog(parent)
    , name_(new QLineEdit(this))
    , enabled_(new QCheckBox(Ui::text(Faults::enabled()), this))
    , functions_(new QLineEdit(this))
    , addressFrom_(boundField(this, Faults::addresses() + " " + Faults::from()))
    , addressTo_(boundField(this, Faults::addresses() + " " + Faults::to()))
    , quantityFrom_(boundField(this, Faults::quantity() + " " + Faults::from()))
    , quantityTo_(boundField(this, Faults::quantity() + " " + Faults::to()))
    , scheduleKind_(new QComboBox(this))
    , n_(spinBox(this, 1, maxCount))
    , probability_(doubleSpinBox(this, 100, percentDecimals, Ui::text(Faults::percentSuffix())))
    , windowFrom_(
          doubleSpinBox(this, maxSeconds, secondsDecimals, Ui::text(Faults::secondsSuffix())))
    , windowTo_(doubleSpinBox(this, maxSeconds, secondsDecimals, Ui::text(Faults::secondsSuffix())))
    , on_(doubleSpinBox(this, maxSeconds, secondsDecimals, Ui::text(Faults::secondsSuffix())))
    , period_(doubleSpinBox(this, maxSeconds, secondsDecimals, Ui::text(Faults::secondsSuffix())))
    , effectKind_(new QComboBox(this))
    , exceptionCode_(spinBox(this, 1, maxByte))
    , functionCode_(spinBox(this, 1, maxByte))
    , delay_(spinBox(this, 0, maxMilliseconds, Ui::text(L10n::Settings::millisecondsSuffix())))
    , byteGap_(spinBox(this, 0, maxMilliseconds, Ui::text(L10n::Settings::millisecondsSuffix())))
    , bytes_(spinBox(this, 1, maxByte))
    , unitID_(spinBox(this, 0, maxByte))
    , count_(spinBox(this, 1, maxCount))
    , dropRequest_(new QCheckBox(Ui::text(Faults::dropRequest()), this))
    , summary_(new QLabel(this))
    , message_(new QLabel(this))
    , buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("faultRuleDialog"));
    setWindowTitle(Ui::text(Faults::editorTitle()));
    setMinimumWidth(fontMetrics().averageCharWidth() * minimumCharacters);

    name_->setObjectName(QStringLiteral("ruleNameField"));
    name_->setAccessibleName(Ui::text(Faults::name()));
    enabled_->setObjectName(QStringLiteral("ruleEnabledToggle"));
    auto* top = new QFormLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(name_, 1);
    nameRow->addWidget(enabled_);
    top->addRow(Ui::text(Faults::name()), nameRow);
    if (auto* label = qobject_cast<QLabel*>(top->labelForField(nameRow))) {
        label->setBuddy(name_);
    }

    auto* match = new QGroupBox(Ui::text(Faults::match()), this);
    buildMatch(new QFormLayout(match));
    auto* schedule = new QGroupBox(Ui::text(Faults::schedule()), this);
    scheduleForm_ = new QFormLayout(schedule);
    buildSchedule(scheduleForm_);
    auto* effect = new QGroupBox(Ui::text(Faults::effectField()), this);
    effectForm_ = new QFormLayout(effect);
    buildEffect(effectForm_);

    summary_->setObjectName(QStringLiteral("ruleSummary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setAccessibleName(Ui::text(Faults::summaryLabel()));
    QFont bold = summary_->font();
    bold.setBold(true);
    summary_->setFont(bold);
    message_->setObjectName(QStringLiteral("ruleMessage"));
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    QPalette messagePalette = message_->palette();
    messagePalette.setColor(QPalette::WindowText, Ui::Colour::red(messagePalette));
    message_->setPalette(messagePalette);
    message_->hide();

    connect(buttons_, &QDialogButtonBox::accepted, this, &FaultRuleDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &FaultRuleDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(match);
    layout->addWidget(schedule);
    layout->addWidget(effect);
    layout->addWidget(summary_);
    layout->addWidget(message_);
    layout->addWidget(buttons_);

    load(rule, unit);

    for (QLineEdit* field :
         {name_, functions_, addressFrom_, addressTo_, quantityFrom_, quantityTo_}) {
        connect(field, &QLineEdit::textChanged, this, &FaultRuleDialog::updateSummary);
    }
    for (QSpinBox* field :
         {n_, exceptionCode_, functionCode_, delay_, byteGap_, bytes_, unitID_, count_}) {
        connect(field, &QSpinBox::valueChanged, this, &FaultRuleDialog::updateSummary);
    }
    for (QDoubleSpinBox* field : {probability_, windowFrom_, windowTo_, on_, period_}) {
        connect(field, &QDoubleSpinBox::valueChanged, this, &FaultRuleDialog::updateSummary);
    }
    connect(enabled_, &QCheckBox::toggled, this, &FaultRuleDialog::updateSummary);
    connect(dropRequest_, &QCheckBox::toggled, this, &FaultRuleDialog::updateSummary);
    connect(scheduleKind_, &QComboBox::currentIndexChanged, this, &FaultRuleDialog::updateFields);
    connect(effectKind_, &QComboBox::currentIndexChanged, this, &FaultRuleDialog::updateFields);
    updateFields();
    name_->setFocus();
}

void FaultRuleDialog::buildMatch(QFormLayout* form) {
    functions_->setObjectName(QStringLiteral("ruleFunctionsField"));
    functions_->setPlaceholderText(Ui::text(Faults::all()));
    functions_->setToolTip(Ui::text(Faults::functionCodesHint()));
    functions_->setAccessibleName(Ui::text(Faults::functionCodes()));
    addressFrom_->setObjectName(QStringLiteral("ruleAddressFromField"));
    addressTo_->setObjectName(QStringLiteral("ruleAddressToField"));
    quantityFrom_->setObjectName(QStringLiteral("ruleQuantityFromField"));
    quantityTo_->setObjectName(QStringLiteral("ruleQuantityToField"));
    form->addRow(Ui::text(Faults::functionCodes()), functions_);
    form->addRow(Ui::text(Faults::addresses()), boundsRow(addressFrom_, addressTo_, this));
    form->addRow(Ui::text(Faults::quantity()), boundsRow(quantityFrom_, quantityTo_, this));
    // The labels of the two-field rows lead to their first field.
    for (QLineEdit* first : {addressFrom_, quantityFrom_}) {
        if (auto* label = qobject_cast<QLabel*>(form->labelForField(first->parentWidget()))) {
            label->setBuddy(first);
        }
    }
}

void FaultRuleDialog::buildSchedule(QFormLayout* form) {
    scheduleKind_->setObjectName(QStringLiteral("scheduleKindPicker"));
    for (const ScheduleKind kind : ScheduleKind::allCases()) {
        scheduleKind_->addItem(Ui::text(Faults::scheduleName(kind.value)), int{kind.value});
    }
    n_->setObjectName(QStringLiteral("scheduleNField"));
    probability_->setObjectName(QStringLiteral("scheduleProbabilityField"));
    windowFrom_->setObjectName(QStringLiteral("scheduleFromField"));
    windowTo_->setObjectName(QStringLiteral("scheduleToField"));
    on_->setObjectName(QStringLiteral("scheduleOnField"));
    period_->setObjectName(QStringLiteral("schedulePeriodField"));
    form->addRow(Ui::text(Faults::kind()), scheduleKind_);
    form->addRow(Ui::text(Faults::n()), n_);
    form->addRow(Ui::text(Faults::probabilityField()), probability_);
    form->addRow(Ui::text(Faults::windowFrom()), windowFrom_);
    form->addRow(Ui::text(Faults::windowTo()), windowTo_);
    form->addRow(Ui::text(Faults::on()), on_);
    form->addRow(Ui::text(Faults::period()), period_);
}

void FaultRuleDialog::buildEffect(QFormLayout* form) {
    effectKind_->setObjectName(QStringLiteral("effectKindPicker"));
    for (const EffectKind kind : EffectKind::allCases()) {
        effectKind_->addItem(Ui::text(Faults::effectName(kind.value)), int{kind.value});
    }
    exceptionCode_->setObjectName(QStringLiteral("effectExceptionField"));
    functionCode_->setObjectName(QStringLiteral("effectFunctionField"));
    delay_->setObjectName(QStringLiteral("effectDelayField"));
    byteGap_->setObjectName(QStringLiteral("effectByteGapField"));
    bytes_->setObjectName(QStringLiteral("effectBytesField"));
    unitID_->setObjectName(QStringLiteral("effectUnitField"));
    count_->setObjectName(QStringLiteral("effectCountField"));
    dropRequest_->setObjectName(QStringLiteral("effectDropRequestToggle"));
    dropRequest_->setToolTip(Ui::text(Faults::dropRequestHint()));
    form->addRow(Ui::text(Faults::effectField()), effectKind_);
    form->addRow(Ui::text(Faults::exceptionCode()), exceptionCode_);
    form->addRow(Ui::text(Faults::functionCode()), functionCode_);
    form->addRow(Ui::text(Faults::milliseconds()), delay_);
    form->addRow(Ui::text(Faults::byteGap()), byteGap_);
    form->addRow(Ui::text(Faults::byteCount()), bytes_);
    form->addRow(Ui::text(Faults::unitID()), unitID_);
    form->addRow(Ui::text(Faults::valueCount()), count_);
    form->addRow(QString(), dropRequest_);
}

void FaultRuleDialog::load(const FaultRule& rule, std::uint8_t unit) {
    name_->setText(Ui::text(rule.name));
    enabled_->setChecked(rule.enabled);
    functions_->setText(Ui::text(FaultRuleEditing::functionCodesText(rule.match.functions)));
    addressFrom_->setText(boundText(rule.match.addressFrom));
    addressTo_->setText(boundText(rule.match.addressTo));
    quantityFrom_->setText(boundText(rule.match.quantityFrom));
    quantityTo_->setText(boundText(rule.match.quantityTo));

    // Every field starts with the rule's value where its kind uses it, else with a useful one.
    const FaultRule::Schedule& s = rule.schedule;
    selectData(scheduleKind_, s.kind.value);
    const bool counting = s.kind == ScheduleKind::everyNth || s.kind == ScheduleKind::firstN ||
                          s.kind == ScheduleKind::afterN;
    n_->setValue(counting ? s.n : defaultN);
    probability_->setValue(s.kind == ScheduleKind::probability ? s.probability * 100
                                                               : defaultPercent);
    const bool window = s.kind == ScheduleKind::window;
    windowFrom_->setValue(window ? s.from : 0);
    windowTo_->setValue(window ? s.to : defaultWindowTo);
    const bool periodic = s.kind == ScheduleKind::periodic;
    on_->setValue(periodic ? s.on : defaultOn);
    period_->setValue(periodic ? s.period : defaultPeriod);

    const FaultRule::Effect& e = rule.effect;
    selectData(effectKind_, e.kind.value);
    exceptionCode_->setValue(e.kind == EffectKind::exception ? e.code : defaultException);
    functionCode_->setValue(e.kind == EffectKind::wrongFunction ? e.code : defaultFunction);
    delay_->setValue(e.kind == EffectKind::delay ? e.ms : defaultDelay);
    byteGap_->setValue(e.kind == EffectKind::byteDelay ? e.ms : defaultByteGap);
    const bool bytes = e.kind == EffectKind::truncate || e.kind == EffectKind::extraBytes ||
                       e.kind == EffectKind::noise;
    if (e.kind == EffectKind::truncate) {
        bytes_->setMaximum(maxCount);
    }
    bytes_->setValue(bytes ? e.bytes : defaultBytes);
    unitID_->setValue(e.kind == EffectKind::wrongUnit
                          ? e.unitID
                          : (unit >= Modbus::maxUnitAddress ? Modbus::minUnitAddress : unit + 1));
    count_->setValue(e.kind == EffectKind::fewerValues ? e.count : defaultCount);
    dropRequest_->setChecked(e.kind == EffectKind::noResponse && e.dropRequest);
}

FaultRule FaultRuleDialog::collect(QString& problem) const {
    FaultRule rule;
    rule.name = name_->text().toStdString();
    rule.enabled = enabled_->isChecked();
    const QString functionsText = functions_->text();
    if (auto codes = FaultRuleEditing::parseFunctionCodes(functionsText.toStdString())) {
        rule.match.functions = std::move(*codes);
    } else if (problem.isEmpty()) {
        problem = Ui::text(Faults::invalidFunctionCodes(functionsText.trimmed().toStdString()));
    }
    const std::pair<QLineEdit*, std::optional<int>*> bounds[] = {
        {addressFrom_, &rule.match.addressFrom},
        {addressTo_, &rule.match.addressTo},
        {quantityFrom_, &rule.match.quantityFrom},
        {quantityTo_, &rule.match.quantityTo},
    };
    for (const auto& [field, bound] : bounds) {
        if (!FaultRuleEditing::parseBound(field->text().toStdString(), *bound) &&
            problem.isEmpty()) {
            problem = Ui::text(Faults::invalidBound(field->text().trimmed().toStdString()));
        }
    }

    FaultRule::Schedule& s = rule.schedule;
    s.kind = static_cast<ScheduleKind::Value>(scheduleKind_->currentData().toInt());
    switch (s.kind) {
    case ScheduleKind::always:
        break;
    case ScheduleKind::everyNth:
    case ScheduleKind::firstN:
    case ScheduleKind::afterN:
        s.n = n_->value();
        break;
    case ScheduleKind::probability:
        s.probability = probability_->value() / 100;
        break;
    case ScheduleKind::window:
        s.from = windowFrom_->value();
        s.to = windowTo_->value();
        break;
    case ScheduleKind::periodic:
        s.on = on_->value();
        s.period = period_->value();
        break;
    }

    FaultRule::Effect& e = rule.effect;
    e.kind = static_cast<EffectKind::Value>(effectKind_->currentData().toInt());
    switch (e.kind) {
    case EffectKind::noResponse:
        e.dropRequest = dropRequest_->isChecked();
        break;
    case EffectKind::exception:
        e.code = exceptionCode_->value();
        break;
    case EffectKind::wrongFunction:
        e.code = functionCode_->value();
        break;
    case EffectKind::delay:
        e.ms = delay_->value();
        break;
    case EffectKind::byteDelay:
        e.ms = byteGap_->value();
        break;
    case EffectKind::truncate:
    case EffectKind::extraBytes:
    case EffectKind::noise:
        e.bytes = bytes_->value();
        break;
    case EffectKind::wrongUnit:
        e.unitID = unitID_->value();
        break;
    case EffectKind::fewerValues:
        e.count = count_->value();
        break;
    default:
        break;
    }
    if (problem.isEmpty()) {
        if (const auto refusal = FaultRuleEditing::problem(rule)) {
            problem = Ui::text(*refusal);
        }
    }
    return rule;
}

std::optional<FaultRule> FaultRuleDialog::editedRule() const {
    QString refusal;
    FaultRule rule = collect(refusal);
    if (!refusal.isEmpty()) {
        return std::nullopt;
    }
    return rule;
}

QString FaultRuleDialog::problem() const {
    QString refusal;
    collect(refusal);
    return refusal;
}

void FaultRuleDialog::accept() {
    if (editedRule()) {
        QDialog::accept();
    }
}

void FaultRuleDialog::updateFields() {
    const auto s = static_cast<ScheduleKind::Value>(scheduleKind_->currentData().toInt());
    scheduleForm_->setRowVisible(n_, s == ScheduleKind::everyNth || s == ScheduleKind::firstN ||
                                         s == ScheduleKind::afterN);
    scheduleForm_->setRowVisible(probability_, s == ScheduleKind::probability);
    scheduleForm_->setRowVisible(windowFrom_, s == ScheduleKind::window);
    scheduleForm_->setRowVisible(windowTo_, s == ScheduleKind::window);
    scheduleForm_->setRowVisible(on_, s == ScheduleKind::periodic);
    scheduleForm_->setRowVisible(period_, s == ScheduleKind::periodic);

    const auto e = static_cast<EffectKind::Value>(effectKind_->currentData().toInt());
    effectForm_->setRowVisible(exceptionCode_, e == EffectKind::exception);
    effectForm_->setRowVisible(functionCode_, e == EffectKind::wrongFunction);
    effectForm_->setRowVisible(delay_, e == EffectKind::delay);
    effectForm_->setRowVisible(byteGap_, e == EffectKind::byteDelay);
    const bool bytes =
        e == EffectKind::truncate || e == EffectKind::extraBytes || e == EffectKind::noise;
    effectForm_->setRowVisible(bytes_, bytes);
    // A frame is never longer than 256 bytes; only cutting may name more (it cuts everything).
    bytes_->setMaximum(e == EffectKind::truncate ? maxCount : maxByte);
    effectForm_->setRowVisible(unitID_, e == EffectKind::wrongUnit);
    effectForm_->setRowVisible(count_, e == EffectKind::fewerValues);
    effectForm_->setRowVisible(dropRequest_, e == EffectKind::noResponse);
    updateSummary();
    adjustSize();
}

void FaultRuleDialog::updateSummary() {
    QString refusal;
    const FaultRule rule = collect(refusal);
    summary_->setText(
        Ui::text(FaultRuleSummary::text(rule, ServerModel::localeDecimalSeparator())));
    const bool refused = !refusal.isEmpty();
    if (refused && message_->text() != refusal) {
        message_->setText(refusal);
        message_->setAccessibleName(refusal);
        QAccessibleEvent alert(message_, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
    message_->setVisible(refused);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!refused);
}

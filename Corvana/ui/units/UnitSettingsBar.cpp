#include "Corvana/ui/units/UnitSettingsBar.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/units/IdentityDialog.h"
#include "Localization/L10n.h"
#include "ModbusCore/ModbusCodes.h"
#include "ServerCore/ServerUnit.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <string>

namespace {

QLabel* label(const std::string& text, QWidget* buddy, QWidget* parent) {
    auto* result = new QLabel(Ui::text(text), parent);
    result->setBuddy(buddy);
    return result;
}

// "Server device busy (06)", as the log names exceptions.
QString exceptionItemText(ModbusException code) {
    return Ui::text(exceptionDisplayText(code.rawValue()));
}

void selectData(QComboBox* picker, int data) {
    const QSignalBlocker blocker(picker);
    picker->setCurrentIndex(picker->findData(data));
}

} // namespace

UnitSettingsBar::UnitSettingsBar(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , unitIDField_(new QLineEdit(this))
    , unitIDMessage_(new QWidget(this))
    , nameField_(new QLineEdit(this))
    , enabledToggle_(new QCheckBox(Ui::text(L10n::Units::enabled()), this))
    , faultPicker_(new QComboBox(this))
    , exceptionCodeLabel_(nullptr)
    , exceptionCodePicker_(new QComboBox(this))
    , delayField_(new QSpinBox(this))
    , undefinedAddressesPicker_(new QComboBox(this))
    , identityButton_(new QPushButton(Ui::text(L10n::Units::identityAndFunctions()), this))
    , diagnosticsLabel_(new QLabel(this)) {
    unitIDField_->setObjectName(QStringLiteral("unitIDField"));
    unitIDField_->setToolTip(Ui::text(L10n::Units::unitIDHint()));
    unitIDField_->setMaximumWidth(unitIDField_->fontMetrics().horizontalAdvance(u'0') * 6 + 16);

    unitIDMessage_->setObjectName(QStringLiteral("unitIDMessage"));
    {
        const QColor red = Ui::Colour::red(palette());
        auto* symbol = new QLabel(unitIDMessage_);
        const QIcon icon = Ui::symbol("exclamationmark.triangle.fill");
        if (!icon.isNull()) {
            symbol->setPixmap(icon.pixmap(16, 16));
        }
        auto* text = new QLabel(Ui::text(L10n::Units::unitIDInvalid()), unitIDMessage_);
        text->setObjectName(QStringLiteral("unitIDMessageText"));
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        unitIDMessageText_ = text;
        QPalette textPalette = text->palette();
        textPalette.setColor(QPalette::WindowText, red);
        text->setPalette(textPalette);
        auto* row = new QHBoxLayout(unitIDMessage_);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(symbol);
        row->addWidget(text, 1);
    }
    unitIDMessage_->hide();

    nameField_->setObjectName(QStringLiteral("nameField"));
    nameField_->setPlaceholderText(Ui::text(L10n::Units::nameOptional()));
    nameField_->setAccessibleName(Ui::text(L10n::Units::nameOptional()));

    enabledToggle_->setObjectName(QStringLiteral("enabledToggle"));
    enabledToggle_->setToolTip(Ui::text(L10n::Units::enabledHint()));

    faultPicker_->setObjectName(QStringLiteral("faultPicker"));
    faultPicker_->setToolTip(Ui::text(L10n::Units::behaviourHint()));
    for (const ServerUnit::Fault fault : ServerUnit::Fault::allCases()) {
        faultPicker_->addItem(Ui::text(L10n::Units::faultName(fault.value)), int{fault.value});
    }

    exceptionCodePicker_->setObjectName(QStringLiteral("exceptionCodePicker"));
    // The longest exception name would otherwise push the sidebar aside.
    exceptionCodePicker_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    exceptionCodePicker_->setMinimumContentsLength(20);
    for (const ModbusException code : ModbusException::allCases()) {
        exceptionCodePicker_->addItem(exceptionItemText(code), int{code.rawValue()});
    }

    delayField_->setObjectName(QStringLiteral("delayField"));
    delayField_->setToolTip(Ui::text(L10n::Units::delayHint()));
    delayField_->setSuffix(Ui::text(L10n::Settings::millisecondsSuffix()));
    // A negative delay counts as none, so the field offers none below 0.
    delayField_->setRange(0, std::numeric_limits<int>::max());
    delayField_->setGroupSeparatorShown(false);
    // Sized for everyday delays, not for the widest number the range allows.
    delayField_->setMaximumWidth(
        delayField_->fontMetrics().horizontalAdvance(QStringLiteral("000000 ms")) + 40);

    undefinedAddressesPicker_->setObjectName(QStringLiteral("undefinedAddressesPicker"));
    undefinedAddressesPicker_->setToolTip(Ui::text(L10n::Units::unknownAddressesHint()));
    undefinedAddressesPicker_->addItem(Ui::text(L10n::Units::exception02()),
                                       int{ServerUnit::UndefinedAddresses::exception});
    undefinedAddressesPicker_->addItem(Ui::text(L10n::Units::readAsZero()),
                                       int{ServerUnit::UndefinedAddresses::zero});

    exceptionCodeLabel_ = label(L10n::Units::exceptionCode(), exceptionCodePicker_, this);

    identityButton_->setObjectName(QStringLiteral("identityButton"));
    identityButton_->setToolTip(Ui::text(L10n::Units::identityAndFunctionsHint()));
    diagnosticsLabel_->setObjectName(QStringLiteral("diagnosticsLabel"));
    diagnosticsLabel_->setToolTip(Ui::text(L10n::Diagnostics::title()));
    diagnosticsLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    diagnosticsLabel_->hide();

    auto* identity = new QHBoxLayout;
    identity->addWidget(label(L10n::Units::unitID(), unitIDField_, this));
    identity->addWidget(unitIDField_);
    identity->addSpacing(12);
    identity->addWidget(nameField_, 1);
    identity->addSpacing(12);
    identity->addWidget(enabledToggle_);
    identity->addSpacing(12);
    identity->addWidget(label(L10n::Units::delay(), delayField_, this));
    identity->addWidget(delayField_);

    auto* behaviour = new QHBoxLayout;
    behaviour->addWidget(label(L10n::Units::behaviour(), faultPicker_, this));
    behaviour->addWidget(faultPicker_);
    behaviour->addSpacing(12);
    behaviour->addWidget(exceptionCodeLabel_);
    behaviour->addWidget(exceptionCodePicker_);
    behaviour->addSpacing(12);
    behaviour->addWidget(label(L10n::Units::unknownAddresses(), undefinedAddressesPicker_, this));
    behaviour->addWidget(undefinedAddressesPicker_);
    behaviour->addStretch();
    behaviour->addWidget(identityButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->addLayout(identity);
    layout->addWidget(unitIDMessage_);
    layout->addLayout(behaviour);
    layout->addWidget(diagnosticsLabel_);

    // Typing only checks; Enter, Tab or leaving the field renumbers the unit, so "24" typed
    // over unit 5 never passes through unit 2.
    connect(unitIDField_, &QLineEdit::textEdited, this, &UnitSettingsBar::addressEdited);
    connect(unitIDField_, &QLineEdit::editingFinished, this, &UnitSettingsBar::commitAddress);
    connect(nameField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        change([&](ServerUnit& u) { u.name = text.toStdString(); });
    });
    connect(enabledToggle_, &QCheckBox::toggled, this,
            [this](bool on) { change([&](ServerUnit& u) { u.enabled = on; }); });
    connect(faultPicker_, &QComboBox::currentIndexChanged, this, [this] {
        change([&](ServerUnit& u) {
            u.fault = static_cast<ServerUnit::Fault::Value>(faultPicker_->currentData().toInt());
        });
    });
    connect(exceptionCodePicker_, &QComboBox::currentIndexChanged, this, [this] {
        const auto code = ModbusException::fromRaw(
            static_cast<std::uint8_t>(exceptionCodePicker_->currentData().toInt()));
        if (code) {
            change([&](ServerUnit& u) { u.exceptionCode = *code; });
        }
    });
    connect(delayField_, &QSpinBox::valueChanged, this,
            [this](int ms) { change([&](ServerUnit& u) { u.delayMs = ms; }); });
    connect(undefinedAddressesPicker_, &QComboBox::currentIndexChanged, this, [this] {
        change([&](ServerUnit& u) {
            u.undefinedAddresses = static_cast<ServerUnit::UndefinedAddresses::Value>(
                undefinedAddressesPicker_->currentData().toInt());
        });
    });

    connect(&model_, &ServerModel::unitsChanged, this, &UnitSettingsBar::sync);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &UnitSettingsBar::sync);
    connect(identityButton_, &QPushButton::clicked, this, &UnitSettingsBar::editIdentity);
    connect(&model_, &ServerModel::statisticsChanged, this, &UnitSettingsBar::showDiagnostics);
    connect(&model_, &ServerModel::stateChanged, this, &UnitSettingsBar::showDiagnostics);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &UnitSettingsBar::showDiagnostics);
    sync();
    showDiagnostics();
}

void UnitSettingsBar::showDiagnostics() {
    const auto selected = model_.selectedUnitID();
    const auto d = selected ? model_.unitDiagnostics(*selected) : std::nullopt;
    diagnosticsLabel_->setVisible(d.has_value());
    if (d) {
        QString text = Ui::text(L10n::Diagnostics::counters(
            d->busMessages, d->busCommunicationErrors, d->busExceptionErrors, d->serverMessages,
            d->serverNoResponses, d->serverBusy, d->eventCounter));
        if (d->listenOnly) {
            text = Ui::text(L10n::Units::listenOnly()) + QStringLiteral(" · ") + text;
        }
        diagnosticsLabel_->setText(text);
    }
}

void UnitSettingsBar::editIdentity() {
    const ServerUnit* unit = selectedUnit();
    if (!unit) {
        return;
    }
    IdentityDialog dialog(*unit, this);
    if (dialog.exec() == QDialog::Accepted) {
        if (auto edited = dialog.editedUnit()) {
            model_.updateUnit(*edited);
        }
    }
}

std::optional<std::uint8_t> UnitSettingsBar::parseAddress(const QString& text) {
    QString digits = text.trimmed();
    if (digits.startsWith(u'+')) {
        digits.remove(0, 1);
    }
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(),
                                         [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return std::nullopt;
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok);
    if (!ok || value > std::numeric_limits<std::uint8_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

const ServerUnit* UnitSettingsBar::selectedUnit() const {
    const auto selected = model_.selectedUnitID();
    if (!selected) {
        return nullptr;
    }
    const auto& units = model_.units();
    const auto found = std::find_if(units.begin(), units.end(),
                                    [&](const ServerUnit& u) { return u.unitID == *selected; });
    return found == units.end() ? nullptr : &*found;
}

template <typename Change>
void UnitSettingsBar::change(Change&& change) {
    const ServerUnit* unit = selectedUnit();
    if (!unit) {
        return;
    }
    ServerUnit changed = *unit;
    change(changed);
    model_.updateUnit(changed);
}

void UnitSettingsBar::sync() {
    const ServerUnit* unit = selectedUnit();
    // Mid-renumbering the selection briefly names an address that is gone; keep what is shown.
    if (changingAddress_ || !unit) {
        return;
    }
    const bool otherUnit = shownUnit_ != unit->unitID;
    shownUnit_ = unit->unitID;

    if (otherUnit) {
        setAddressInvalid(false);
    }
    if (otherUnit || !unitIDField_->hasFocus()) {
        unitIDField_->setText(QString::number(unit->unitID));
    }
    const QString name = Ui::text(unit->name);
    if ((otherUnit || !nameField_->hasFocus()) && nameField_->text() != name) {
        nameField_->setText(name);
    }
    {
        const QSignalBlocker blocker(enabledToggle_);
        enabledToggle_->setChecked(unit->enabled);
    }
    selectData(faultPicker_, unit->fault.value);
    selectData(exceptionCodePicker_, unit->exceptionCode.rawValue());
    selectData(undefinedAddressesPicker_, unit->undefinedAddresses.value);
    const int delay = std::max(unit->delayMs, 0);
    if (delayField_->value() != delay && (otherUnit || !delayField_->hasFocus())) {
        const QSignalBlocker blocker(delayField_);
        delayField_->setValue(delay);
    }
    const bool exception = unit->fault == ServerUnit::Fault::exception;
    exceptionCodeLabel_->setVisible(exception);
    exceptionCodePicker_->setVisible(exception);
}

bool UnitSettingsBar::isUsableAddress(std::optional<std::uint8_t> address,
                                      std::uint8_t current) const {
    if (!address || *address < Modbus::minUnitAddress || *address > Modbus::maxUnitAddress) {
        return false;
    }
    const auto& units = model_.units();
    return *address == current || std::none_of(units.begin(), units.end(),
                                               [&](const auto& u) { return u.unitID == *address; });
}

void UnitSettingsBar::addressEdited(const QString& text) {
    if (const ServerUnit* unit = selectedUnit()) {
        unitIDMessageText_->setText(Ui::text(L10n::Units::unitIDInvalid()));
        setAddressInvalid(!isUsableAddress(parseAddress(text), unit->unitID));
    }
}

void UnitSettingsBar::commitAddress() {
    const ServerUnit* unit = selectedUnit();
    if (!unit) {
        return;
    }
    const std::uint8_t current = unit->unitID;
    const QString typed = unitIDField_->text().trimmed();
    if (typed.isEmpty() || typed == QString::number(current)) {
        unitIDField_->setText(QString::number(current));
        setAddressInvalid(false);
        return;
    }
    const auto address = parseAddress(typed);
    const bool usable = isUsableAddress(address, current);
    changingAddress_ = true;
    const bool accepted = usable && model_.changeUnitAddress(current, *address);
    changingAddress_ = false;
    if (accepted) {
        setAddressInvalid(false);
        shownUnit_ = address;
        unitIDField_->setText(QString::number(*address));
        sync();
        return;
    }
    // Refused: the unit keeps its address, and the line under the field says why.
    unitIDField_->setText(QString::number(current));
    setAddressInvalid(false);
    unitIDMessageText_->setText(Ui::text(L10n::Units::unitIDRefused(typed.toStdString())));
    unitIDMessage_->setVisible(true);
    unitIDMessage_->setAccessibleName(unitIDMessageText_->text());
    QAccessibleEvent alert(unitIDMessage_, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void UnitSettingsBar::setAddressInvalid(bool invalid) {
    unitIDMessage_->setVisible(invalid);
    QPalette fieldPalette;
    if (invalid) {
        fieldPalette = unitIDField_->palette();
        fieldPalette.setColor(QPalette::Text, Ui::Colour::red(fieldPalette));
    }
    unitIDField_->setPalette(fieldPalette);
    unitIDField_->setProperty("invalid", invalid);
}

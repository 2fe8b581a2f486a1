#include "Corvana/ui/units/IdentityDialog.h"

#include "Corvana/ui/common/UiSupport.h"
#include "Localization/L10n.h"
#include "ModbusCore/ModbusCodes.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

constexpr int functionColumns = 2;

std::string textOf(const QLineEdit* field) {
    return field->text().toStdString();
}

QString functionText(std::uint8_t code) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", code);
    return Ui::text(std::string(digits) + "  " + functionDisplayName(code));
}

} // namespace

IdentityDialog::IdentityDialog(const ServerUnit& unit, QWidget* parent)
    : QDialog(parent)
    , unit_(unit)
    , serverID_(textField(unit.identity.serverID ? hexText(*unit.identity.serverID) : "",
                          hexText(Bytes{unit.unitID})))
    , running_(new QCheckBox(Ui::text(L10n::Identity::running()), this))
    , additionalData_(textField(unit.identity.additionalData))
    , exceptionStatus_(new QSpinBox(this))
    , vendorName_(textField(unit.identity.vendorName))
    , productCode_(textField(unit.identity.productCode))
    , revision_(textField(unit.identity.revision))
    , vendorURL_(textField(unit.identity.vendorURL))
    , productName_(textField(unit.identity.productName))
    , modelName_(textField(unit.identity.modelName.value_or(""), L10n::Identity::modelNameHint()))
    , userApplicationName_(textField(unit.identity.userApplicationName))
    , message_(new QLabel(this)) {
    setWindowTitle(Ui::text(L10n::Identity::title(unit.unitID)));
    serverID_->setObjectName(QStringLiteral("serverIDField"));
    serverID_->setToolTip(Ui::text(L10n::Identity::serverIDHint()));
    running_->setChecked(unit.identity.runIndicator);
    exceptionStatus_->setObjectName(QStringLiteral("exceptionStatusField"));
    exceptionStatus_->setRange(0, 255);
    exceptionStatus_->setDisplayIntegerBase(16);
    exceptionStatus_->setPrefix(QStringLiteral("0x"));
    exceptionStatus_->setValue(unit.identity.exceptionStatus);
    modelName_->setObjectName(QStringLiteral("modelNameField"));

    auto* identity = new QGroupBox(Ui::text(L10n::Identity::identity()), this);
    auto* form = new QFormLayout(identity);
    form->addRow(Ui::text(L10n::Identity::serverID()), serverID_);
    form->addRow(QString(), running_);
    form->addRow(Ui::text(L10n::Identity::additionalData()), additionalData_);
    form->addRow(Ui::text(L10n::Identity::exceptionStatus()), exceptionStatus_);
    form->addRow(Ui::text(L10n::Identity::vendorName()), vendorName_);
    form->addRow(Ui::text(L10n::Identity::productCode()), productCode_);
    form->addRow(Ui::text(L10n::Identity::revision()), revision_);
    form->addRow(Ui::text(L10n::Identity::vendorURL()), vendorURL_);
    form->addRow(Ui::text(L10n::Identity::productName()), productName_);
    form->addRow(Ui::text(L10n::Identity::modelName()), modelName_);
    form->addRow(Ui::text(L10n::Identity::userApplicationName()), userApplicationName_);

    auto* codes = new QGroupBox(Ui::text(L10n::Identity::functions()), this);
    codes->setToolTip(Ui::text(L10n::Identity::functionsHint()));
    auto* grid = new QGridLayout(codes);
    const auto& supported = supportedFunctionCodes();
    const int rows = (static_cast<int>(supported.size()) + functionColumns - 1) / functionColumns;
    const FunctionSet enabled = unit.behaviour().functions;
    for (std::size_t i = 0; i < supported.size(); ++i) {
        const std::uint8_t code = supported[i];
        auto* box = new QCheckBox(functionText(code), codes);
        box->setObjectName(QStringLiteral("function%1").arg(code));
        box->setChecked(enabled.test(code));
        grid->addWidget(box, static_cast<int>(i) % rows, static_cast<int>(i) / rows);
        functions_[code] = box;
    }

    message_->setObjectName(QStringLiteral("identityMessage"));
    QPalette red = message_->palette();
    red.setColor(QPalette::WindowText, Ui::Colour::red(red));
    message_->setPalette(red);
    message_->setWordWrap(true);
    message_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &IdentityDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &IdentityDialog::reject);

    auto* columns = new QHBoxLayout;
    columns->addWidget(identity, 3);
    columns->addWidget(codes, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(message_);
    layout->addWidget(buttons);
}

QLineEdit* IdentityDialog::textField(const std::string& text, const std::string& placeholder) {
    auto* field = new QLineEdit(Ui::text(text), this);
    field->setPlaceholderText(Ui::text(placeholder));
    return field;
}

std::optional<ServerUnit> IdentityDialog::editedUnit() const {
    ServerUnit unit = unit_;
    UnitIdentity& identity = unit.identity;
    const QString serverID = serverID_->text().trimmed();
    identity.serverID = std::nullopt;
    if (!serverID.isEmpty()) {
        identity.serverID = bytesFromHex(serverID.toStdString());
        if (!identity.serverID) {
            message_->setText(Ui::text(L10n::Identity::invalidServerID()));
            return std::nullopt;
        }
    }
    identity.runIndicator = running_->isChecked();
    identity.additionalData = textOf(additionalData_);
    identity.exceptionStatus = static_cast<std::uint8_t>(exceptionStatus_->value());
    identity.vendorName = textOf(vendorName_);
    identity.productCode = textOf(productCode_);
    identity.revision = textOf(revision_);
    identity.vendorURL = textOf(vendorURL_);
    identity.productName = textOf(productName_);
    identity.modelName =
        modelName_->text().isEmpty() ? std::nullopt : std::optional(textOf(modelName_));
    identity.userApplicationName = textOf(userApplicationName_);
    unit.functions.clear();
    for (const auto& [code, box] : functions_) {
        if (box->isChecked()) {
            unit.functions.push_back(code);
        }
    }
    // The file's own rules decide what a unit can serve.
    try {
        return ServerUnit::fromJSON(unit.toJSON());
    } catch (const std::exception&) {
        message_->setText(Ui::text(L10n::Identity::tooLong(int(UnitIdentity::maxObjectLength))));
        return std::nullopt;
    }
}

void IdentityDialog::accept() {
    if (editedUnit()) {
        QDialog::accept();
    } else {
        message_->show();
    }
}

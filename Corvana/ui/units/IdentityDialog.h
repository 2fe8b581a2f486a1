#pragma once

#include "ServerCore/ServerUnit.h"

#include <QDialog>

#include <map>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Identity and functions…" of one unit: what it reports about itself (report server ID, read
// exception status, device identification) and which function codes it answers. Private
// identification objects are kept as they are; they come from the project file.
class IdentityDialog : public QDialog {
    Q_OBJECT

public:
    explicit IdentityDialog(const ServerUnit& unit, QWidget* parent = nullptr);

    // The unit with the dialog's identity and codes; nothing while a field holds a value the
    // unit cannot serve (the message says which).
    std::optional<ServerUnit> editedUnit() const;

    void accept() override;

private:
    QLineEdit* textField(const std::string& text, const std::string& placeholder = {});

    ServerUnit unit_;
    QLineEdit* serverID_;
    QCheckBox* running_;
    QLineEdit* additionalData_;
    QSpinBox* exceptionStatus_;
    QLineEdit* vendorName_;
    QLineEdit* productCode_;
    QLineEdit* revision_;
    QLineEdit* vendorURL_;
    QLineEdit* productName_;
    QLineEdit* modelName_;
    QLineEdit* userApplicationName_;
    std::map<std::uint8_t, QCheckBox*> functions_;
    QLabel* message_;
};

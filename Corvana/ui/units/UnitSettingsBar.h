#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class ServerModel;
struct ServerUnit;

// The settings of the selected unit: address, name, on/off, fault, exception code, delay, the
// policy for unknown addresses and the identity dialog; while the server runs, the unit's
// diagnostic counters. Every edit goes to the model at once.
class UnitSettingsBar : public QWidget {
    Q_OBJECT

public:
    explicit UnitSettingsBar(ServerModel& model, QWidget* parent = nullptr);

    // The address typed into the "Unit ID" field: blanks around it ignored, an optional "+",
    // decimal digits that fit 0…255; nullopt otherwise. Range and uniqueness are the model's.
    static std::optional<std::uint8_t> parseAddress(const QString& text);

private:
    const ServerUnit* selectedUnit() const;
    // Shows the selected unit; a field the user is typing in keeps its text unless another unit
    // is shown now.
    void sync();
    void addressEdited(const QString& text);
    void commitAddress();
    // A valid unit address, free or the unit's own.
    bool isUsableAddress(std::optional<std::uint8_t> address, std::uint8_t current) const;
    void setAddressInvalid(bool invalid);
    void showDiagnostics();
    void editIdentity();
    template <typename Change>
    void change(Change&& change);

    ServerModel& model_;
    QLineEdit* unitIDField_;
    QWidget* unitIDMessage_;
    QLabel* unitIDMessageText_ = nullptr;
    QLineEdit* nameField_;
    QCheckBox* enabledToggle_;
    QComboBox* faultPicker_;
    QLabel* exceptionCodeLabel_;
    QComboBox* exceptionCodePicker_;
    QSpinBox* delayField_;
    QComboBox* undefinedAddressesPicker_;
    QPushButton* identityButton_;
    QLabel* diagnosticsLabel_;
    std::optional<std::uint8_t> shownUnit_;
    bool changingAddress_ = false;
};

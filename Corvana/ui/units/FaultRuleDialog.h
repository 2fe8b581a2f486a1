#pragma once

#include "ServerCore/FaultRule.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

// The editor of one fault rule: name and switch, which requests it matches, when it fires and
// what it does. Only the fields of the chosen schedule and effect show; the summary line at the
// bottom follows every change, and OK stays off while a value is refused (the line above the
// buttons says why).
class FaultRuleDialog : public QDialog {
    Q_OBJECT

public:
    // `unit` is the address of the rule's unit, the starting point of a wrong unit ID.
    FaultRuleDialog(const FaultRule& rule, std::uint8_t unit, QWidget* parent = nullptr);

    // The rule as the fields give it; nothing while a field is refused.
    std::optional<FaultRule> editedRule() const;
    // Why the fields cannot become a rule; empty when they can.
    QString problem() const;

    void accept() override;

private:
    void buildMatch(QFormLayout* form);
    void buildSchedule(QFormLayout* form);
    void buildEffect(QFormLayout* form);
    void load(const FaultRule& rule, std::uint8_t unit);
    // The rule the fields give, with a refusal for text that is not a number or a code list.
    FaultRule collect(QString& problem) const;
    void updateFields();
    void updateSummary();

    QLineEdit* name_;
    QCheckBox* enabled_;
    QLineEdit* functions_;
    QLineEdit* addressFrom_;
    QLineEdit* addressTo_;
    QLineEdit* quantityFrom_;
    QLineEdit* quantityTo_;
    QFormLayout* scheduleForm_ = nullptr;
    QComboBox* scheduleKind_;
    QSpinBox* n_;
    QDoubleSpinBox* probability_;
    QDoubleSpinBox* windowFrom_;
    QDoubleSpinBox* windowTo_;
    QDoubleSpinBox* on_;
    QDoubleSpinBox* period_;
    QFormLayout* effectForm_ = nullptr;
    QComboBox* effectKind_;
    QSpinBox* exceptionCode_;
    QSpinBox* functionCode_;
    QSpinBox* delay_;
    QSpinBox* byteGap_;
    QSpinBox* bytes_;
    QSpinBox* unitID_;
    QSpinBox* count_;
    QCheckBox* dropRequest_;
    QLabel* summary_;
    QLabel* message_;
    QDialogButtonBox* buttons_;
};

#pragma once

#include "ModbusCore/Datapoint.h"

#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QPalette>
#include <QString>

#include <functional>

// The number editor of a value cell (also used for painting help).
class ValueCell : public QLineEdit {
    Q_OBJECT

public:
    explicit ValueCell(QWidget* parent = nullptr);

    // The datapoint and the value to show (the live value, else its own). While the field has
    // the focus the text being typed is kept; otherwise the text becomes the new display text.
    void setDatapoint(const Datapoint& datapoint, double shownValue);
    const Datapoint& datapoint() const;
    double shownValue() const;
    bool isInvalid() const;

    // Called with a parsed, valid value on Enter, or on leaving the field with a changed valid
    // text.
    std::function<void(double)> onSetValue;
    // What the user should read without hovering: why the entry is refused, or that a valid one
    // was rounded (problem false). Empty when there is nothing to say.
    std::function<void(const QString& message, bool problem)> onMessage;

    // Why typed text is no value of the datapoint ("abc" is not a number; 70000 does not fit
    // UInt16 (0 to 65535)); empty when it is one.
    static QString problem(const Datapoint& datapoint, const QString& typed);
    // That the stored value differs from a valid typed one (a fraction in a whole-number type);
    // empty when it does not.
    static QString roundingNote(const Datapoint& datapoint, const QString& typed, double value);

    // Shared with the table's painting of cells that are not being edited.
    static QString displayText(const Datapoint& datapoint, double value); // locale separator
    static QColor textColour(const Datapoint& datapoint, bool invalid, const QPalette& palette);
    static QString toolTip(const Datapoint& datapoint, bool invalid);
    static QFont font(); // the monospaced value font

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void commit();
    // Calls onSetValue; false when the call deleted this cell (a table closing its editors).
    bool setValue(double value);
    void setInvalid(bool invalid);
    void tell(const QString& message, bool problem);
    void showDisplayText();
    void updateLook();

    Datapoint datapoint_;
    double shownValue_ = 0;
    bool invalid_ = false;
};

#include "Corvana/ui/common/LiveNumberField.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// The user's locale without group separators: "1.000" in German is not a thousand here, and
// numbers are shown as 1000.
QLocale numberLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QLocale cLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

} // namespace

LiveNumberField::LiveNumberField(Format format, QWidget* parent)
    : QLineEdit(parent)
    , format_(format)
    , minimum_(std::numeric_limits<double>::lowest())
    , maximum_(std::numeric_limits<double>::max()) {
    setText(formatted(number_));
    connect(this, &QLineEdit::textEdited, this, &LiveNumberField::textWasEdited);
    connect(this, &QLineEdit::returnPressed, this, &LiveNumberField::commit);
}

void LiveNumberField::setNumber(double number) {
    number_ = number;
    if (!hasFocus()) {
        setText(formatted(number_));
    }
}

double LiveNumberField::number() const {
    return number_;
}

void LiveNumberField::setRange(double minimum, double maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

bool LiveNumberField::isInvalid() const {
    return invalid_;
}

void LiveNumberField::focusOutEvent(QFocusEvent* event) {
    // A context menu over the field is no leaving of it.
    if (event->reason() != Qt::PopupFocusReason) {
        commit();
    }
    QLineEdit::focusOutEvent(event);
}

LiveNumberField::Entry LiveNumberField::entry() const {
    const QString typed = text().trimmed();
    if (typed.isEmpty() || typed == formatted(number_)) {
        return {number_, {}};
    }
    bool ok = false;
    double number = 0;
    if (format_ == Format::integer) {
        const qlonglong integer = numberLocale().toLongLong(typed, &ok);
        number = static_cast<double>(integer);
        if (!ok) {
            // A fraction is a number, just not one this field holds.
            bool fraction = false;
            numberLocale().toDouble(typed, &fraction);
            if (!fraction) {
                cLocale().toDouble(typed, &fraction);
            }
            if (fraction) {
                return {std::nullopt, Ui::text(L10n::Table::notAWholeNumber(typed.toStdString()))};
            }
        }
    } else {
        number = numberLocale().toDouble(typed, &ok);
        if (!ok) {
            // A point is understood in every locale; a comma only where it is the separator.
            number = cLocale().toDouble(typed, &ok);
        }
    }
    if (!ok || !std::isfinite(number)) {
        return {std::nullopt, Ui::text(L10n::Table::notANumber(typed.toStdString()))};
    }
    if (number < minimum_ || number > maximum_) {
        return {std::nullopt, Ui::text(L10n::Table::notInRange(typed.toStdString(),
                                                               formatted(minimum_).toStdString(),
                                                               formatted(maximum_).toStdString()))};
    }
    return {number, {}};
}

QString LiveNumberField::formatted(double number) const {
    const QLocale locale = numberLocale();
    if (format_ == Format::integer) {
        // Adding 0 turns -0 into 0, so a rounded -0.2 does not show as "-0" (below too).
        return locale.toString(std::round(number) + 0.0, 'f', 0);
    }
    // Fixed notation reads best for the numbers people type here (no "1e+06" for a million);
    // far out of that range the exponent keeps the text short.
    const double magnitude = std::fabs(number);
    const bool fixed = magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e15);
    return locale.toString(number + 0.0, fixed ? 'f' : 'g', QLocale::FloatingPointShortest);
}

void LiveNumberField::textWasEdited(const QString&) {
    setInvalid(!entry().number);
}

void LiveNumberField::commit() {
    const Entry typed = entry();
    setInvalid(false);
    if (typed.number && *typed.number != number_) {
        number_ = *typed.number;
        if (onNumberCommitted) {
            onNumberCommitted(number_);
        }
    } else if (!typed.number && onRejected) {
        onRejected(typed.problem);
    }
    setText(formatted(number_));
}

void LiveNumberField::setInvalid(bool invalid) {
    if (invalid_ == invalid) {
        return;
    }
    invalid_ = invalid;
    const QPalette base = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    QPalette own = palette();
    own.setColor(QPalette::Text, invalid ? Ui::Colour::red(base) : base.color(QPalette::Text));
    setPalette(own);
}

#include "Corvana/ui/table/ValueCell.h"

#include "Corvana/model/ValueEntry.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/L10n.h"

#include "ModbusCore/ValueCodec.h"
#include "ModbusCore/ValueText.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QValidator>

#include <string>
#include <utility>

namespace {

std::string decimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

// Tells an item delegate whether Enter may commit: text that does not parse is only
// Intermediate, so the delegate keeps the editor open and the cell can show it as invalid.
class ParseValidator : public QValidator {
public:
    explicit ParseValidator(ValueCell* cell)
        : QValidator(cell)
        , cell_(*cell) {}

    State validate(QString& input, int&) const override {
        const auto value = cell_.datapoint().parseInput(input.toStdString(), decimalSeparator());
        return value ? Acceptable : Intermediate;
    }

    // The delegate fixes up before Tab moves on: leaving the field discards an invalid entry.
    void fixup(QString& input) const override {
        input = ValueCell::displayText(cell_.datapoint(), cell_.shownValue());
    }

private:
    const ValueCell& cell_;
};

} // namespace

ValueCell::ValueCell(QWidget* parent)
    : QLineEdit(parent) {
    setObjectName(QStringLiteral("valueCell"));
    setFrame(false);
    QLineEdit::setFont(font());
    setValidator(new ParseValidator(this));
    showDisplayText();
    updateLook();
}

void ValueCell::setDatapoint(const Datapoint& datapoint, double shownValue) {
    datapoint_ = datapoint;
    shownValue_ = shownValue;
    if (!hasFocus()) {
        showDisplayText();
    }
    updateLook();
}

const Datapoint& ValueCell::datapoint() const {
    return datapoint_;
}

double ValueCell::shownValue() const {
    return shownValue_;
}

bool ValueCell::isInvalid() const {
    return invalid_;
}

QString ValueCell::problem(const Datapoint& datapoint, const QString& typed) {
    const auto problem = ValueEntry::problem(datapoint, typed.toStdString(), decimalSeparator());
    return problem ? Ui::text(*problem) : QString();
}

QString ValueCell::roundingNote(const Datapoint& datapoint, const QString& typed, double value) {
    const auto note =
        ValueEntry::roundingNote(datapoint, typed.toStdString(), value, decimalSeparator());
    return note ? Ui::text(*note) : QString();
}

QString ValueCell::displayText(const Datapoint& datapoint, double value) {
    return Ui::text(datapoint.displayText(value, decimalSeparator()));
}

QColor ValueCell::textColour(const Datapoint& datapoint, bool invalid, const QPalette& palette) {
    if (invalid) {
        return Ui::Colour::red(palette);
    }
    if (datapoint.simulation.kind != Simulation::Kind::none) {
        return Ui::Colour::accent(palette);
    }
    return palette.color(QPalette::Text);
}

QString ValueCell::toolTip(const Datapoint& datapoint, bool invalid) {
    if (invalid) {
        const int typeIndex = static_cast<int>(datapoint.dataType.value);
        return Ui::text(L10n::Table::valueDoesNotFit(L10n::Table::dataTypeName(typeIndex)));
    }
    if (datapoint.simulation.kind != Simulation::Kind::none) {
        return Ui::text(L10n::Log::simulatedValue());
    }
    return Ui::text(L10n::Table::valueHint());
}

QFont ValueCell::font() {
    // Built once: finding a font that holds the marks measures glyphs, too slow for painting.
    static const QFont valueFont = [] {
        const qreal size = QApplication::font().pointSizeF();
        return Ui::logFont(size > 0 ? size : 10); // a font set in pixels has no point size
    }();
    return valueFont;
}

void ValueCell::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Commit first, so returnPressed and editingFinished follow only a valid entry.
        const QPointer<ValueCell> alive(this);
        commit();
        // An invalid entry stays as typed: QLineEdit would fix it up.
        if (!alive || invalid_) {
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void ValueCell::focusOutEvent(QFocusEvent* event) {
    // A context menu over the field is no leaving of it.
    if (event->reason() == Qt::PopupFocusReason) {
        QLineEdit::focusOutEvent(event);
        return;
    }
    const QString typed = text();
    if (typed != displayText(datapoint_, shownValue_)) {
        const auto message = onMessage;
        if (const auto value = datapoint_.parseInput(typed.toStdString(), decimalSeparator())) {
            const QString note = roundingNote(datapoint_, typed, *value);
            const bool alive = setValue(*value);
            if (message) {
                message(note, false);
            }
            if (!alive) {
                return;
            }
        } else if (message) {
            message(problem(datapoint_, typed), true);
        }
    }
    // An invalid entry is discarded on leaving the field.
    setInvalid(false);
    showDisplayText();
    QLineEdit::focusOutEvent(event);
}

void ValueCell::commit() {
    const QString typed = text();
    const auto value = datapoint_.parseInput(typed.toStdString(), decimalSeparator());
    if (!value) {
        setInvalid(true);
        tell(problem(datapoint_, typed), true);
        return;
    }
    setInvalid(false);
    // Setting the value may delete the cell; the note still goes to whoever shows it.
    const QString note = roundingNote(datapoint_, typed, *value);
    const auto message = onMessage;
    if (setValue(*value)) {
        setText(displayText(datapoint_, *value));
    }
    if (message) {
        message(note, false);
    }
}

void ValueCell::tell(const QString& message, bool problem) {
    if (onMessage) {
        onMessage(message, problem);
    }
}

bool ValueCell::setValue(double value) {
    if (!onSetValue) {
        return true;
    }
    const QPointer<ValueCell> alive(this);
    onSetValue(value);
    return !alive.isNull();
}

void ValueCell::setInvalid(bool invalid) {
    if (invalid_ == invalid) {
        return;
    }
    invalid_ = invalid;
    updateLook();
}

void ValueCell::showDisplayText() {
    const QString shown = displayText(datapoint_, shownValue_);
    if (text() != shown) {
        setText(shown);
    }
}

void ValueCell::updateLook() {
    // The surrounding palette, not our own, which holds the colour set last time.
    const QPalette base = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    QPalette own = palette();
    own.setColor(QPalette::Text, textColour(datapoint_, invalid_, base));
    setPalette(own);
    setToolTip(toolTip(datapoint_, invalid_));
}

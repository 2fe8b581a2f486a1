#pragma once

#include <QLineEdit>
#include <QString>

#include <functional>
#include <optional>

// A text field bound to a number. Typing only checks (an invalid entry turns red at once); the
// number is taken when the entry is committed: Enter, Tab or the focus leaving. An invalid entry
// is refused with its reason and the field shows the number it had before.
class LiveNumberField : public QLineEdit {
    Q_OBJECT

public:
    enum class Format { integer, decimal };

    // What the typed text stands for: a number, or the reason there is none.
    struct Entry {
        std::optional<double> number;
        QString problem; // empty when the text is the bound number unchanged
    };

    explicit LiveNumberField(Format format, QWidget* parent = nullptr);

    void setNumber(double number); // shown formatted unless the field has the focus
    double number() const;
    void setRange(double minimum, double maximum); // parsed numbers outside are invalid
    bool isInvalid() const;
    Entry entry() const;
    // Takes the typed number or refuses the entry; either way the field shows its number again.
    void commit();

    std::function<void(double)> onNumberCommitted;  // each valid, different number committed
    std::function<void(const QString&)> onRejected; // the reason an entry was refused

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString formatted(double number) const;
    void textWasEdited(const QString& text);
    void setInvalid(bool invalid);

    Format format_;
    double number_ = 0;
    double minimum_;
    double maximum_;
    bool invalid_ = false;
};

#pragma once

#include <QLineEdit>

#include <functional>
#include <optional>

// A text field bound to a number: it writes every valid number as it is typed and shows the
// bound number again when the user leaves it.
class LiveNumberField : public QLineEdit {
    Q_OBJECT

public:
    enum class Format { integer, decimal };

    explicit LiveNumberField(Format format, QWidget* parent = nullptr);

    void setNumber(double number); // shown formatted unless the field has the focus
    double number() const;
    void setRange(double minimum, double maximum); // parsed numbers outside are invalid
    bool isInvalid() const;

    std::function<void(double)> onNumberChanged; // each valid, different number while typing

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::optional<double> parse(const QString& text) const;
    QString formatted(double number) const;
    void textWasEdited(const QString& text);
    void finishEditing();
    void setInvalid(bool invalid);

    Format format_;
    double number_ = 0;
    double minimum_;
    double maximum_;
    bool invalid_ = false;
};

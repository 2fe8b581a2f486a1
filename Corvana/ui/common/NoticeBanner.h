#pragma once

#include <QFrame>
#include <QString>

#include <string>
#include <string_view>

class QLabel;
class QToolButton;

// A notice above the log: a tinted strip with a symbol, a wrapped text and, when the user may
// close it, a dismiss button. The banner only reports the dismissal; whoever owns the condition
// decides whether it goes away.
class NoticeBanner : public QFrame {
    Q_OBJECT

public:
    enum class Tint { red, orange };

    NoticeBanner(std::string_view symbolName, Tint tint, const QString& text, bool dismissible,
                 QWidget* parent = nullptr);

    // nullptr when the banner cannot be dismissed.
    QToolButton* dismissButton() const { return dismissButton_; }

    // The symbol drawn in one colour at size × size device-independent pixels; a null pixmap
    // when the icon theme has no such symbol.
    static QPixmap symbolPixmap(std::string_view symbolName, int size, const QColor& colour,
                                qreal devicePixelRatio);

signals:
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor tintColour() const;
    void updateSymbol();

    std::string symbolName_;
    Tint tint_;
    QLabel* symbol_;
    QLabel* text_;
    QToolButton* dismissButton_ = nullptr;
};

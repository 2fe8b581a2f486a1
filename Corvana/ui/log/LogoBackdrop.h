#pragma once

#include <QPixmap>
#include <QWidget>

// The faint logo behind the log text: centred, square, 60 % of the smaller side but at most
// 460 px, at 7 % opacity on the text background. Purely decorative, so it takes no mouse
// events and screen readers skip it.
class LogoBackdrop : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal sideFraction = 0.6;
    static constexpr int maximumSide = 460;
    static constexpr qreal opacity = 0.07;

    explicit LogoBackdrop(QWidget* parent = nullptr);

    // Where the logo goes in a widget of this size.
    static QRect logoRect(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Drawing the logo's paths on every repaint of the log would cost more than the text, so the
    // logo is rendered once per size.
    QPixmap cache_;
};

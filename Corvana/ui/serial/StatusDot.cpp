#include "Corvana/ui/serial/StatusDot.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QPainter>

namespace {

constexpr int diameter = 10;
// Room for the outline around the circle, so antialiasing is not clipped.
constexpr int margin = 1;

} // namespace

StatusDot::StatusDot(QWidget* parent)
    : QWidget(parent) {
    setFixedSize(sizeHint());
    updateText();
}

void StatusDot::setState(ServerState state) {
    if (state == state_) {
        return;
    }
    state_ = state;
    updateText();
    update();
}

QSize StatusDot::sizeHint() const {
    return {diameter + 2 * margin, diameter + 2 * margin};
}

void StatusDot::updateText() {
    std::string text;
    switch (state_) {
    case ServerState::stopped:
        text = L10n::State::stopped();
        break;
    case ServerState::running:
        text = L10n::State::running();
        break;
    case ServerState::serialLost:
        text = L10n::State::serialLost();
        break;
    }
    setToolTip(Ui::text(text));
    setAccessibleName(Ui::text(text));
}

void StatusDot::paintEvent(QPaintEvent*) {
    QColor fill;
    switch (state_) {
    case ServerState::stopped:
        fill = Ui::Colour::grey(palette());
        break;
    case ServerState::running:
        fill = Ui::Colour::green(palette());
        break;
    case ServerState::serialLost:
        fill = Ui::Colour::yellow(palette());
        break;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor outline(255, 255, 255, 150);
    painter.setPen(QPen(outline, 0.75));
    painter.setBrush(fill);
    const QRectF circle((width() - diameter) / 2.0, (height() - diameter) / 2.0, diameter,
                        diameter);
    painter.drawEllipse(circle);
}

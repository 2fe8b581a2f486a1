#include "Corvana/ui/common/Popover.h"

#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace Popover {

void showBelow(QWidget* popup, const QWidget* anchor) {
    popup->adjustSize();
    QPoint at = anchor->mapToGlobal(QPoint(0, anchor->height()));
    // Keep the popover on the screen when the button sits near its right or bottom edge.
    if (const QScreen* screen = anchor->screen()) {
        const QRect available = screen->availableGeometry();
        at.setX(std::clamp(at.x(), available.left(),
                           std::max(available.left(), available.right() - popup->width())));
        if (at.y() + popup->height() > available.bottom()) {
            at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - popup->height());
        }
    }
    popup->move(at);
    popup->show();
}

void suppressReopen(QWidget* popup, const QEvent* event, const QWidget* anchor) {
    if (event->type() != QEvent::MouseButtonPress) {
        return;
    }
    const auto* press = static_cast<const QMouseEvent*>(event);
    const QRect button(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    popup->setAttribute(Qt::WA_NoMouseReplay, button.contains(press->globalPosition().toPoint()));
}

} // namespace Popover

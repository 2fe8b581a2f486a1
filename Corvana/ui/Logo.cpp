#include "Corvana/ui/Logo.h"

#include <QPainter>

namespace Logo {

void paint(QPainter& painter, const QRectF& rect) {
    (void)painter;
    (void)rect;
}

QPixmap pixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, size, size));
    return pixmap;
}

} // namespace Logo

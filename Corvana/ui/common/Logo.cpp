#include "Corvana/ui/common/Logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// The shape lives in a 100 × 100 design square, the same one Corvana/ui/resources/corvana.svg
// uses: a teal tile carrying the two wires of an RS-485 pair, A and B, as complementary square
// waves. Keep both in step when the design changes.
namespace Logo {
namespace {

constexpr qreal designSize = 100;
constexpr QRectF tile(2, 2, 96, 96);
constexpr qreal cornerRadius = 22;
constexpr qreal strokeWidth = 7;

QPainterPath wave(qreal idle, qreal active) {
    QPainterPath path(QPointF(20, idle));
    path.lineTo(32, idle);
    path.lineTo(32, active);
    path.lineTo(50, active);
    path.lineTo(50, idle);
    path.lineTo(62, idle);
    path.lineTo(62, active);
    path.lineTo(80, active);
    return path;
}

} // namespace

void paint(QPainter& painter, const QRectF& rect) {
    const qreal side = qMin(rect.width(), rect.height());
    if (side <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center() - QPointF(side / 2, side / 2));
    painter.scale(side / designSize, side / designSize);

    QLinearGradient fill(0, tile.top(), 0, tile.bottom());
    fill.setColorAt(0, QColor(0x1f, 0xa7, 0xa9));
    fill.setColorAt(1, QColor(0x00, 0x72, 0x76));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(tile, cornerRadius, cornerRadius);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    // A rises where B falls: the line's differential signal.
    painter.drawPath(wave(40, 25));
    painter.drawPath(wave(60, 75));
    painter.restore();
}

QPixmap pixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, size, size));
    return pixmap;
}

} // namespace Logo

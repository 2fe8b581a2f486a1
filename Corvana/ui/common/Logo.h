#pragma once

#include <QPixmap>
#include <QRectF>

class QPainter;

// The application's logo, drawn in code so the window icon, the installed icon and the log's
// backdrop share one shape.
namespace Logo {
void paint(QPainter& painter, const QRectF& rect);
QPixmap pixmap(int size);
} // namespace Logo

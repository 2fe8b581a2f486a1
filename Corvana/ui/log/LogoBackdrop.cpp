#include "Corvana/ui/log/LogoBackdrop.h"

#include "Corvana/ui/common/Logo.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Qt has no "hidden from accessibility" flag for a widget; an interface that reports itself
// invisible and without a role is what assistive technologies skip.
class HiddenAccessible : public QAccessibleWidget {
public:
    explicit HiddenAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::NoRole) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        state.focusable = false;
        return state;
    }
};

QAccessibleInterface* backdropAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("LogoBackdrop") && object != nullptr && object->isWidgetType()) {
        return new HiddenAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

LogoBackdrop::LogoBackdrop(QWidget* parent)
    : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(backdropAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

QRect LogoBackdrop::logoRect(const QSize& size) {
    const int side = std::min(
        maximumSide,
        static_cast<int>(std::lround(sideFraction * std::min(size.width(), size.height()))));
    return QRect((size.width() - side) / 2, (size.height() - side) / 2, side, side);
}

void LogoBackdrop::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRect target = logoRect(size());
    if (target.isEmpty()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const int pixels = static_cast<int>(std::lround(target.width() * ratio));
    if (cache_.width() != pixels || cache_.devicePixelRatio() != ratio) {
        cache_ = Logo::pixmap(pixels);
        cache_.setDevicePixelRatio(ratio);
    }
    painter.setOpacity(opacity);
    painter.drawPixmap(target.topLeft(), cache_);
}

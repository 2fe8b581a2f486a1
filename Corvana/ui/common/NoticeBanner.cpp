#include "Corvana/ui/common/NoticeBanner.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int symbolSize = 18;
constexpr qreal cornerRadius = 6;

} // namespace

NoticeBanner::NoticeBanner(std::string_view symbolName, Tint tint, const QString& text,
                           bool dismissible, QWidget* parent)
    : QFrame(parent)
    , symbolName_(symbolName)
    , tint_(tint)
    , symbol_(new QLabel(this))
    , text_(new QLabel(text, this)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    symbol_->setFixedSize(symbolSize, symbolSize);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setObjectName(QStringLiteral("noticeText"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 8, 8, 8);
    layout->setSpacing(10);
    layout->addWidget(symbol_, 0, Qt::AlignTop);
    layout->addWidget(text_, 1);

    if (dismissible) {
        dismissButton_ = new QToolButton(this);
        dismissButton_->setObjectName(QStringLiteral("dismissButton"));
        dismissButton_->setAutoRaise(true);
        dismissButton_->setIcon(Ui::symbol("xmark"));
        if (dismissButton_->icon().isNull()) {
            dismissButton_->setText(QStringLiteral("✕"));
        }
        const QString dismiss = Ui::text(L10n::Notice::dismiss());
        dismissButton_->setToolTip(dismiss);
        dismissButton_->setAccessibleName(dismiss);
        layout->addWidget(dismissButton_, 0, Qt::AlignTop);
        connect(dismissButton_, &QToolButton::clicked, this, &NoticeBanner::dismissed);
    }
    updateSymbol();
}

QPixmap NoticeBanner::symbolPixmap(std::string_view symbolName, int size, const QColor& colour,
                                   qreal devicePixelRatio) {
    const QIcon icon = Ui::symbol(symbolName);
    if (icon.isNull()) {
        return {};
    }
    QPixmap pixmap = icon.pixmap(QSize(size, size), devicePixelRatio);
    // Theme icons come in their own colours; the notices want the symbol in the tint.
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), pixmap.deviceIndependentSize()), colour);
    return pixmap;
}

QColor NoticeBanner::tintColour() const {
    return tint_ == Tint::red ? Ui::Colour::red(palette()) : Ui::Colour::orange(palette());
}

void NoticeBanner::updateSymbol() {
    symbol_->setPixmap(symbolPixmap(symbolName_, symbolSize, tintColour(), devicePixelRatioF()));
}

void NoticeBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = tintColour();
    fill.setAlphaF(Ui::isDark(palette()) ? 0.18f : 0.10f);
    QColor border = tintColour();
    border.setAlphaF(0.55f);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(path, fill);
    painter.setPen(QPen(border, 1));
    painter.drawPath(path);
}

void NoticeBanner::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        updateSymbol();
    }
}

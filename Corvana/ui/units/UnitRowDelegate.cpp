#include "Corvana/ui/units/UnitRowDelegate.h"

#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/units/UnitListModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int margin = 6;
constexpr int symbolSize = 22;
constexpr int spacing = 8;

QFont titleFont(const QFont& base) {
    QFont font = base;
    font.setWeight(QFont::Medium);
    return font;
}

// "Name · 7 datapoints" in the width: the name gives way first, so the count stays whole.
QString fittedSubtitle(const QString& subtitle, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(subtitle) <= width) {
        return subtitle;
    }
    const qsizetype separator = subtitle.lastIndexOf(QStringLiteral(" · "));
    if (separator > 0) {
        const QString count = subtitle.mid(separator);
        const int room = width - metrics.horizontalAdvance(count);
        if (room > metrics.horizontalAdvance(QStringLiteral("M…"))) {
            return metrics.elidedText(subtitle.left(separator), Qt::ElideRight, room) + count;
        }
        return metrics.elidedText(subtitle.mid(separator + 3), Qt::ElideRight, width);
    }
    return metrics.elidedText(subtitle, Qt::ElideRight, width);
}

QFont subtitleFont(const QFont& base) {
    return Ui::scaledFont(base, 0.85);
}

} // namespace

void UnitRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    // The selection background keeps full strength; only the row's content fades.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    painter->save();
    if (index.data(UnitListModel::DisabledRole).toBool()) {
        painter->setOpacity(0.5);
    }
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    const QRect content = opt.rect.adjusted(margin, margin, -margin, -margin);

    const QRect symbolRect(content.left(), content.center().y() - symbolSize / 2, symbolSize,
                           symbolSize);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, symbolRect);

    const QFont title = titleFont(opt.font);
    const QFont subtitle = subtitleFont(opt.font);
    const QFontMetrics titleMetrics(title);
    const QFontMetrics subtitleMetrics(subtitle);
    const int textLeft = symbolRect.right() + spacing;
    const int textHeight = titleMetrics.height() + subtitleMetrics.height();
    const int top = content.center().y() - textHeight / 2;
    const int width = content.right() - textLeft;

    const QPalette& palette = opt.palette;
    painter->setFont(title);
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(
        QRect(textLeft, top, width, titleMetrics.height()), Qt::AlignVCenter,
        titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, width));

    painter->setFont(subtitle);
    QColor secondary = Ui::Colour::secondaryText(palette);
    if (selected) {
        secondary = palette.color(QPalette::HighlightedText);
        secondary.setAlphaF(0.8f);
    }
    painter->setPen(secondary);
    painter->drawText(
        QRect(textLeft, top + titleMetrics.height(), width, subtitleMetrics.height()),
        Qt::AlignVCenter,
        fittedSubtitle(index.data(UnitListModel::SubtitleRole).toString(), subtitleMetrics, width));
    painter->restore();
}

QSize UnitRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const int textHeight = QFontMetrics(titleFont(option.font)).height() +
                           QFontMetrics(subtitleFont(option.font)).height();
    const int width = QStyledItemDelegate::sizeHint(option, index).width() + symbolSize + spacing;
    return {width, std::max(textHeight, symbolSize) + 2 * margin};
}

#pragma once

#include <QStyledItemDelegate>

// Draws a unit row of the sidebar: the state symbol, "Unit n" in medium weight and the
// subtitle below it in small secondary text; a switched-off unit at half opacity.
class UnitRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

#pragma once

#include <QStyledItemDelegate>

// Draws and edits the cells of the datapoint table: pickers for table, type, order and display,
// numeric fields for address and scale, the value as a switch (bits) or a ValueCell (numbers),
// the simulation kind as a symbol. Cells that do not apply are drawn faded.
class DatapointDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // Keeps what the user is typing: value and numeric fields only take the text when unfocused.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The next picker editor opens its list at once (the cell was clicked, not typed into).
    void setOpensPickerList(bool opens) { opensPickerList_ = opens; }

    // Where a bit's switch sits in its cell.
    static QRect switchRect(const QRect& cell);

signals:
    // Why an entry was refused (problem) or what became of a valid one; empty clears.
    void message(const QString& text, bool problem);
    // Tab or Ctrl+Tab in an editor: the entry is committed and the focus leaves the table.
    void leaveRequested(bool forward);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void paintSwitch(QPainter* painter, const QStyleOptionViewItem& option, bool on,
                     bool simulated) const;

    bool opensPickerList_ = false;
};

#include "Corvana/ui/table/DatapointDelegate.h"

#include "Corvana/ui/common/LiveNumberField.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/DatapointTableModel.h"
#include "Corvana/ui/table/ValueCell.h"

#include "ModbusCore/ModbusCodes.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

using Model = DatapointTableModel;

// Cells that do not apply to the row (the order of a one-register type, the scale and display of
// a bit) stay visible but faded.
constexpr qreal fadedOpacity = 0.35;

const Model* tableModel(const QModelIndex& index) {
    return qobject_cast<const Model*>(index.model());
}

bool isPicker(int column) {
    return column == Model::tableColumn || column == Model::typeColumn ||
           column == Model::orderColumn || column == Model::displayColumn;
}

bool isFadedWhenDisabled(int column) {
    return column == Model::orderColumn || column == Model::scaleColumn ||
           column == Model::displayColumn;
}

QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
}

} // namespace

QRect DatapointDelegate::switchRect(const QRect& cell) {
    const int height = std::clamp(cell.height() - 8, 10, 16);
    const int width = height * 2 - 2;
    return {cell.left() + 6, cell.top() + (cell.height() - height) / 2, width, height};
}

void DatapointDelegate::paintSwitch(QPainter* painter, const QStyleOptionViewItem& option, bool on,
                                    bool simulated) const {
    const QRectF track = switchRect(option.rect);
    // Teal marks simulated values only; a switch the user sets is in the desktop's colour.
    const QColor onColour =
        simulated ? Ui::Colour::accent(option.palette) : option.palette.color(QPalette::Highlight);
    QColor trackColour = on ? onColour : Ui::Colour::grey(option.palette);
    if (!on) {
        trackColour.setAlphaF(0.45f);
    }
    const qreal radius = track.height() / 2;
    const qreal knob = track.height() - 4;
    const qreal knobLeft = on ? track.right() - 2 - knob : track.left() + 2;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(trackColour);
    painter->drawRoundedRect(track, radius, radius);
    painter->setBrush(Qt::white);
    painter->drawEllipse(QRectF(knobLeft, track.top() + 2, knob, knob));
    painter->restore();
}

void DatapointDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const Model* model = tableModel(index);
    const Datapoint* point = model ? model->datapoint(index.row()) : nullptr;
    if (!point) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QStyle* style = styleOf(option);
    const int column = index.column();

    if (column == Model::valueColumn && Model::isBitValue(*point)) {
        opt.text.clear();
        opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        paintSwitch(painter, opt, opt.checkState == Qt::Checked,
                    point->simulation.kind != Simulation::Kind::none);
        return;
    }
    if (column == Model::valueColumn) {
        opt.palette.setColor(QPalette::Text, ValueCell::textColour(*point, false, option.palette));
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        return;
    }
    if (column == Model::simulationColumn) {
        const QIcon icon = opt.icon;
        const QString name = opt.text;
        opt.icon = QIcon();
        opt.features &= ~QStyleOptionViewItem::HasDecoration;
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        if (icon.isNull()) {
            painter->drawText(opt.rect, Qt::AlignCenter, name); // no icon theme
        } else {
            const QSize size = opt.decorationSize;
            const QRect target(opt.rect.center() - QPoint(size.width() / 2, size.height() / 2),
                               size);
            const bool selected = opt.state & QStyle::State_Selected;
            icon.paint(painter, target, Qt::AlignCenter,
                       selected ? QIcon::Selected : QIcon::Normal);
        }
        return;
    }
    if (isFadedWhenDisabled(column) && !(index.flags() & Qt::ItemIsEditable)) {
        QStyleOptionViewItem background = opt;
        background.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, opt.widget);
        painter->save();
        painter->setOpacity(fadedOpacity);
        opt.state &= ~QStyle::State_HasFocus;
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        painter->restore();
        return;
    }
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
}

QWidget* DatapointDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const Model* model = tableModel(index);
    const Datapoint* point = model ? model->datapoint(index.row()) : nullptr;
    if (!point) {
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    auto* self = const_cast<DatapointDelegate*>(this);
    auto* writable = const_cast<Model*>(model);
    const QPersistentModelIndex cell(index);
    const int column = index.column();

    if (isPicker(column)) {
        auto* picker = new QComboBox(parent);
        picker->setObjectName(QStringLiteral("cellPicker"));
        for (const auto& choice : model->choices(index)) {
            picker->addItem(choice.text, choice.value);
        }
        // A choice takes effect at once, as a picker does.
        connect(picker, &QComboBox::activated, self, [self, picker] {
            emit self->commitData(picker);
            emit self->closeEditor(picker);
        });
        if (opensPickerList_) {
            QTimer::singleShot(0, picker, &QComboBox::showPopup);
        }
        return picker;
    }
    if (column == Model::addressColumn || column == Model::scaleColumn) {
        const bool isAddress = column == Model::addressColumn;
        auto* field = new LiveNumberField(isAddress ? LiveNumberField::Format::integer
                                                    : LiveNumberField::Format::decimal,
                                          parent);
        field->setObjectName(QStringLiteral("cellNumberField"));
        field->setFrame(false);
        if (isAddress) {
            field->setRange(0, Modbus::maxAddress);
        }
        // The number is taken when the entry is committed (setModelData), never half-typed.
        return field;
    }
    if (column == Model::valueColumn && !Model::isBitValue(*point)) {
        auto* valueCell = new ValueCell(parent);
        valueCell->onSetValue = [writable, cell](double value) {
            if (cell.isValid()) {
                writable->setData(cell, value);
            }
        };
        valueCell->onMessage = [self](const QString& text, bool problem) {
            emit self->message(text, problem);
        };
        return valueCell;
    }
    if (column == Model::nameColumn || column == Model::unitColumn ||
        column == Model::descriptionColumn) {
        auto* field = new QLineEdit(parent);
        field->setObjectName(QStringLiteral("cellTextField"));
        field->setFrame(false);
        return field;
    }
    return nullptr;
}

void DatapointDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const Model* model = tableModel(index);
    const Datapoint* point = model ? model->datapoint(index.row()) : nullptr;
    if (!point) {
        return;
    }
    if (auto* valueCell = qobject_cast<ValueCell*>(editor)) {
        valueCell->setDatapoint(*point, model->shownValue(index.row()));
    } else if (auto* field = qobject_cast<LiveNumberField*>(editor)) {
        field->setNumber(index.data(Qt::EditRole).toDouble());
    } else if (auto* picker = qobject_cast<QComboBox*>(editor)) {
        picker->setCurrentIndex(picker->findData(index.data(Qt::EditRole)));
    } else if (auto* field = qobject_cast<QLineEdit*>(editor)) {
        if (!field->isModified()) {
            field->setText(index.data(Qt::EditRole).toString());
        }
    }
}

void DatapointDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const {
    // Value cells have written through the model already.
    if (qobject_cast<ValueCell*>(editor)) {
        return;
    }
    if (auto* field = qobject_cast<LiveNumberField*>(editor)) {
        const LiveNumberField::Entry entry = field->entry();
        auto* self = const_cast<DatapointDelegate*>(this);
        if (!entry.number) {
            emit self->message(entry.problem, true);
            return;
        }
        emit self->message({}, false);
        const bool isAddress = index.column() == Model::addressColumn;
        const QVariant number =
            isAddress ? QVariant(static_cast<int>(*entry.number)) : QVariant(*entry.number);
        if (number != index.data(Qt::EditRole)) {
            model->setData(index, number, Qt::EditRole);
        }
        return;
    }
    QVariant value;
    if (auto* picker = qobject_cast<QComboBox*>(editor)) {
        value = picker->currentData();
    } else if (auto* field = qobject_cast<QLineEdit*>(editor)) {
        value = field->text();
    } else {
        return;
    }
    if (value.isValid() && value != index.data(Qt::EditRole)) {
        model->setData(index, value, Qt::EditRole);
    }
}

bool DatapointDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                    const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (index.column() != Model::valueColumn || !(index.flags() & Qt::ItemIsUserCheckable)) {
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    const auto toggle = [&] {
        const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    };
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            switchRect(option.rect).adjusted(-4, -4, 4, 4).contains(mouse->position().toPoint())) {
            toggle();
            return true;
        }
        return false;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Select) {
            toggle();
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

bool DatapointDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            // Tab commits and leaves the table, as in any form; arrows move between cells.
            const bool forward =
                key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            emit leaveRequested(forward);
            return true;
        }
    }
    auto* valueCell = qobject_cast<ValueCell*>(object);
    if (valueCell && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // The cell parses and sets the value itself; an invalid entry stays open and red.
            const QPointer<ValueCell> guarded(valueCell);
            QMetaObject::invokeMethod(
                this,
                [this, guarded] {
                    if (guarded && !guarded->isInvalid()) {
                        emit commitData(guarded);
                        emit closeEditor(guarded);
                    }
                },
                Qt::QueuedConnection);
            return false;
        }
        if (key->matches(QKeySequence::Cancel)) {
            // Leaving the field would set what was typed; Escape drops it.
            valueCell->setText(
                ValueCell::displayText(valueCell->datapoint(), valueCell->shownValue()));
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

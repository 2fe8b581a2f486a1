#include "Corvana/ui/table/DatapointTableView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/DatapointDelegate.h"
#include "Corvana/ui/table/DatapointTableModel.h"
#include "Corvana/ui/table/SimulationEditor.h"
#include "Localization/L10n.h"

#include <QContextMenuEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <unordered_set>

namespace {

using Model = DatapointTableModel;

// Starting widths, narrow enough that every title fits the default window in every language,
// the log open; the user may drag them.
constexpr std::array<int, Model::columnCount_> columnWidths = {
    116, // name
    112, // table
    64,  // address
    64,  // type
    56,  // order
    56,  // scale
    96,  // value
    50,  // unit
    72,  // display
    160, // description: takes what is left
    72,  // simulation
};

} // namespace

DatapointTableView::DatapointTableView(ServerModel& model, QWidget* parent)
    : QTableView(parent)
    , model_(model)
    , tableModel_(new DatapointTableModel(model, this))
    , delegate_(new DatapointDelegate(this)) {
    setObjectName(QStringLiteral("datapointTable"));
    setModel(tableModel_);
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    // Tab belongs to the window's focus chain; the arrows move between cells.
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setShowGrid(false);

    // Fixed row heights keep a table of thousands of rows cheap to lay out.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    for (int column = 0; column < Model::columnCount_; ++column) {
        // Never narrower than the title, which is longer in some languages.
        horizontalHeader()->resizeSection(column,
                                          std::max(columnWidths[static_cast<std::size_t>(column)],
                                                   horizontalHeader()->sectionSizeHint(column)));
    }
    // The whole row fits the default window; the description gets the room that is left.
    horizontalHeader()->setSectionResizeMode(Model::descriptionColumn, QHeaderView::Stretch);

    connect(this, &QAbstractItemView::clicked, this, &DatapointTableView::cellClicked);
    connect(delegate_, &DatapointDelegate::message, this, &DatapointTableView::entryMessage);
    connect(delegate_, &DatapointDelegate::leaveRequested, this,
            [this](bool forward) { focusNextPrevChild(forward); });
}

std::vector<UUID> DatapointTableView::selectedIDs() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    std::vector<UUID> ids;
    for (const int row : rows) {
        if (const Datapoint* point = tableModel_->datapoint(row)) {
            ids.push_back(point->id);
        }
    }
    return ids;
}

void DatapointTableView::duplicateSelected() {
    const auto ids = selectedIDs();
    if (!ids.empty()) {
        model_.duplicateDatapoints(ids);
    }
}

void DatapointTableView::deleteSelected() {
    const auto ids = selectedIDs();
    if (!ids.empty()) {
        model_.deleteDatapoints(std::unordered_set<UUID>(ids.begin(), ids.end()));
    }
}

void DatapointTableView::selectDatapoint(const UUID& id) {
    if (const auto row = tableModel_->rowOf(id)) {
        selectRow(*row);
        scrollTo(tableModel_->index(*row, Model::nameColumn));
    }
}

void DatapointTableView::cellClicked(const QModelIndex& index) {
    // Modifier clicks extend the selection; they edit nothing.
    if (QGuiApplication::keyboardModifiers() != Qt::NoModifier) {
        return;
    }
    if (index.column() == Model::simulationColumn) {
        openSimulationEditor(index);
        return;
    }
    if (index.flags() & Qt::ItemIsEditable) {
        delegate_->setOpensPickerList(true);
        edit(index);
        delegate_->setOpensPickerList(false);
    }
}

QFrame* DatapointTableView::openSimulationEditor(const QModelIndex& index) {
    const Datapoint* point = tableModel_->datapoint(index.row());
    if (!point) {
        return nullptr;
    }
    auto* popup = new QFrame(this, Qt::Popup);
    popup->setObjectName(QStringLiteral("simulationPopup"));
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFrameShape(QFrame::StyledPanel);
    auto* editor = new SimulationEditor(popup);
    editor->setSimulation(point->simulation, Model::isBitValue(*point));
    const QPersistentModelIndex cell(index);
    editor->onChange = [this, cell](const Simulation& simulation) {
        if (cell.isValid()) {
            tableModel_->setSimulation(cell.row(), simulation);
        }
    };
    auto* layout = new QVBoxLayout(popup);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(editor);
    popup->adjustSize();

    // Below the cell, its right edge on the cell's, kept on the screen.
    const QRect rect = visualRect(index);
    QPoint position = viewport()->mapToGlobal(QPoint(rect.right() - popup->width(), rect.bottom()));
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        position.setX(std::clamp(position.x(), available.left(),
                                 std::max(available.left(), available.right() - popup->width())));
        if (position.y() + popup->height() > available.bottom()) {
            position.setY(viewport()->mapToGlobal(rect.topLeft()).y() - popup->height());
        }
    }
    popup->move(position);
    popup->show();
    return popup;
}

bool DatapointTableView::isDeleteKey(const QKeyEvent& event) const {
    return event.key() == Qt::Key_Delete ||
           (event.key() == Qt::Key_Backspace && (event.modifiers() & Qt::ControlModifier));
}

bool DatapointTableView::event(QEvent* event) {
    // Deleting rows is the table's, even when a menu has the same keys.
    if (event->type() == QEvent::ShortcutOverride && state() != EditingState &&
        isDeleteKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QTableView::event(event);
}

void DatapointTableView::keyPressEvent(QKeyEvent* event) {
    if (state() != EditingState && isDeleteKey(*event)) {
        deleteSelected();
        event->accept();
        return;
    }
    // Tab and Ctrl+Tab, with or without Shift, leave the table.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        const bool forward =
            event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(forward);
        event->accept();
        return;
    }
    // The simulation cell has no editor of its own; Space, Enter or F2 open its popup as a
    // click does.
    const bool opens = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                       event->key() == Qt::Key_Enter || event->key() == Qt::Key_F2;
    if (state() != EditingState && opens &&
        currentIndex().column() == DatapointTableModel::simulationColumn) {
        openSimulationEditor(currentIndex());
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (state() != EditingState && enter && (currentIndex().flags() & Qt::ItemIsEditable)) {
        edit(currentIndex());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DatapointTableView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && !selectionModel()->isRowSelected(index.row(), {})) {
        selectRow(index.row());
    }
    if (selectedIDs().empty()) {
        return;
    }
    QMenu menu(this);
    menu.addAction(Ui::text(L10n::Table::duplicate()), this,
                   &DatapointTableView::duplicateSelected);
    menu.addAction(Ui::text(L10n::Table::delete_()), this, &DatapointTableView::deleteSelected);
    menu.exec(event->globalPos());
}

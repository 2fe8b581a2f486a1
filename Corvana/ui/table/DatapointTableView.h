#pragma once

#include <QTableView>

#include <vector>

class DatapointDelegate;
class DatapointTableModel;
class QFrame;
class ServerModel;
struct UUID;

// The table of the selected unit's datapoints. A click edits a cell (a bit's switch toggles at
// once, the simulation symbol opens its editor in a popup); the selected rows can be duplicated
// and deleted from the context menu or with Delete and Ctrl+Backspace. From the keyboard the
// arrows move between cells, Enter or F2 edits, and Tab and Ctrl+Tab leave the table.
class DatapointTableView : public QTableView {
    Q_OBJECT

public:
    explicit DatapointTableView(ServerModel& model, QWidget* parent = nullptr);

    DatapointTableModel& tableModel() const { return *tableModel_; }

    // Whether a cell editor is open (keys then belong to it).
    bool isEditing() const { return state() == EditingState; }
    // The ids of the selected rows, top to bottom.
    std::vector<UUID> selectedIDs() const;
    void duplicateSelected();
    void deleteSelected();
    // Selects the datapoint's row and scrolls it into view.
    void selectDatapoint(const UUID& id);
    // The simulation editor of the row next to its cell; it writes every change at once.
    QFrame* openSimulationEditor(const QModelIndex& index);

signals:
    // What the user should read about the last entry (see DatapointDelegate::message).
    void entryMessage(const QString& text, bool problem);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void cellClicked(const QModelIndex& index);
    bool isDeleteKey(const QKeyEvent& event) const;

    ServerModel& model_;
    DatapointTableModel* tableModel_;
    DatapointDelegate* delegate_;
};

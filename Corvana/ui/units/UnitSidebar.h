#pragma once

#include <QWidget>

#include <functional>

class QListView;
class QToolButton;
class ServerModel;
class UnitListModel;

// The "Units" list on the left with its + and − buttons.
class UnitSidebar : public QWidget {
    Q_OBJECT

public:
    explicit UnitSidebar(ServerModel& model, QWidget* parent = nullptr);

    // Asks whether unit `unitID` and its datapoints may go; a modal alert unless replaced.
    std::function<bool(int unitID)> confirmRemoval;

    QListView* list() const { return list_; }

private:
    // Shows the model's selection in the list, which may have been re-sorted or rebuilt.
    void showSelection();
    void listSelectionChanged();
    void removeSelected();

    ServerModel& model_;
    UnitListModel* listModel_ = nullptr;
    QListView* list_;
    QToolButton* removeButton_;
    bool showingSelection_ = false;
};

#pragma once

#include <QWidget>

class DatapointTableView;
class EmptyTableView;
class QFrame;
class QLabel;
class QStackedWidget;
class QToolButton;
class ServerModel;

// The datapoints of the selected unit: the table with its add button, CSV menu and overlap
// notice, or the empty-table view.
class DatapointPane : public QWidget {
    Q_OBJECT

public:
    explicit DatapointPane(ServerModel& model, QWidget* parent = nullptr);

    DatapointTableView& table() const { return *table_; }
    // Adds a datapoint at the next free address and shows its row.
    void addDatapoint();

protected:
    void changeEvent(QEvent* event) override;

private:
    QFrame* makeNotice();
    void applyNoticeColours();
    void updateNotice();
    void updatePage();
    void showEntryMessage(const QString& text, bool problem);

    ServerModel& model_;
    DatapointTableView* table_;
    EmptyTableView* empty_;
    QStackedWidget* stack_;
    QFrame* notice_;
    QLabel* entryMessage_; // under the table: why an entry was refused, or what became of it
    QToolButton* addButton_;
    QToolButton* csvButton_;
};

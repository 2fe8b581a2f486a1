#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;
class ServerModel;

// The Master view beside the log: how the master behaves, as tables of units and functions,
// poll items and retries under a line of the line's own figures, with a CSV export. While shown
// it reads a fresh summary every second (a copy taken under the report's lock; the engine never
// waits for the window), and once more when the server starts or stops.
class MasterReportView : public QWidget {
    Q_OBJECT

public:
    explicit MasterReportView(ServerModel& model, QWidget* parent = nullptr);

    void refresh();

    QTableWidget* functionsTable() const { return functions_; }
    QTableWidget* pollItemsTable() const { return pollItems_; }
    QTableWidget* retriesTable() const { return retries_; }
    QLabel* lineLabel() const { return line_; }

    static constexpr int refreshMilliseconds = 1000;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    ServerModel& model_;
    QLabel* line_;
    QLabel* leftOut_;
    QPushButton* exportButton_;
    QTabWidget* tabs_;
    QTableWidget* functions_;
    QTableWidget* pollItems_;
    QTableWidget* retries_;
    QTimer* timer_;
};

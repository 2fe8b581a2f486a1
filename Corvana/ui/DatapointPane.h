#pragma once

#include <QWidget>

class ServerModel;

// The datapoints of the selected unit: the table with its add button, CSV menu and overlap
// notice, or the empty-table view.
class DatapointPane : public QWidget {
    Q_OBJECT

public:
    explicit DatapointPane(ServerModel& model, QWidget* parent = nullptr);

private:
    ServerModel& model_;
};

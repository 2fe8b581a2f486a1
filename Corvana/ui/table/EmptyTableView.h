#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class ServerModel;

// What the table area shows while the selected unit has no datapoints: what a datapoint is, and
// buttons to add one or import a list.
class EmptyTableView : public QWidget {
    Q_OBJECT

public:
    explicit EmptyTableView(ServerModel& model, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    ServerModel& model_;
    QLabel* icon_;
    QLabel* message_;
};

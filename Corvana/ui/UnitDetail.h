#pragma once

#include <QWidget>

class ServerModel;

// The selected unit: its settings bar above its datapoints, or a placeholder when no unit is
// selected.
class UnitDetail : public QWidget {
    Q_OBJECT

public:
    explicit UnitDetail(ServerModel& model, QWidget* parent = nullptr);

private:
    ServerModel& model_;
};

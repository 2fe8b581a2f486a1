#pragma once

#include <QWidget>

class ServerModel;

// The "Units" list on the left with its + and − buttons.
class UnitSidebar : public QWidget {
    Q_OBJECT

public:
    explicit UnitSidebar(ServerModel& model, QWidget* parent = nullptr);

private:
    ServerModel& model_;
};

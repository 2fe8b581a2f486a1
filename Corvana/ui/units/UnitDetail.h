#pragma once

#include <QWidget>

class QStackedWidget;
class ServerModel;
class UnitSettingsBar;

// The selected unit: its settings bar and fault rules above its datapoints, or a placeholder
// when no unit is selected.
class UnitDetail : public QWidget {
    Q_OBJECT

public:
    explicit UnitDetail(ServerModel& model, QWidget* parent = nullptr);

    // True while the placeholder is shown instead of the unit.
    bool showsPlaceholder() const;

private:
    void scheduleUpdate();
    void updatePage();

    ServerModel& model_;
    QStackedWidget* pages_;
    QWidget* placeholder_;
    QWidget* unitPage_;
    bool updatePending_ = false;
};

#pragma once

#include <QWidget>

class LogOptionsView;
class QLabel;
class QPushButton;
class QToolButton;
class ServerModel;
class ShowLogPreference;

// The bar above the log: the log toggle, the options popover, the traffic counters and the
// save and clear buttons.
class LogHeader : public QWidget {
    Q_OBJECT

public:
    LogHeader(ServerModel& model, ShowLogPreference& showLog, QWidget* parent = nullptr);

    LogOptionsView* optionsView() const { return optionsView_; }
    // Checked while the Master view stands in for the log.
    QToolButton* masterToggle() const { return masterToggle_; }
    void showOptions();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateCounters();
    void applyCounterStyle();

    ServerModel& model_;
    QToolButton* toggle_;
    QToolButton* masterToggle_;
    QToolButton* optionsButton_;
    QLabel* counters_;
    QPushButton* saveButton_;
    QPushButton* clearButton_;
    LogOptionsView* optionsView_;
};

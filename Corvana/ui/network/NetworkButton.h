#pragma once

#include <QToolButton>

class NetworkSettingsView;
class QFrame;
class ServerModel;

// The toolbar's Network button beside the serial settings: it names the enabled listeners
// ("TCP · RTU/TCP") and opens the network popover under itself.
class NetworkButton : public QToolButton {
    Q_OBJECT

public:
    explicit NetworkButton(ServerModel& model, QWidget* parent = nullptr);

    QFrame* popover() const { return popover_; }
    NetworkSettingsView* settingsView() const { return settingsView_; }
    void showPopover();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateText();
    void updateState();

    ServerModel& model_;
    QFrame* popover_;
    NetworkSettingsView* settingsView_;
};

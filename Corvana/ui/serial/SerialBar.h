#pragma once

#include <QWidget>

class NetworkButton;
class NetworkClientsLabel;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QToolButton;
class ServerModel;
class SerialSettingsView;
class StatusDot;

// The serial controls of the toolbar: port and baud pickers, the frame button with its popover,
// the network button beside them, the start/stop button, the status dot and the client counts.
class SerialBar : public QWidget {
    Q_OBJECT

public:
    explicit SerialBar(ServerModel& model, QWidget* parent = nullptr);

    // The frame popover; shown under the frame button while open.
    QFrame* framePopover() const { return popover_; }
    SerialSettingsView* settingsView() const { return settingsView_; }
    NetworkButton* networkButton() const { return networkButton_; }
    // Opens the frame popover under the frame button.
    void showFramePopover();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updatePortPicker();
    // The master's end of the virtual port, shown while it is chosen.
    void updateMasterEnd();
    void updateSerial();
    void updateState();
    void updateStartStop();

    ServerModel& model_;
    QComboBox* portPicker_;
    QComboBox* baudPicker_;
    QToolButton* frameButton_;
    NetworkButton* networkButton_;
    QPushButton* startStopButton_;
    StatusDot* statusDot_;
    NetworkClientsLabel* clients_;
    QLabel* masterEnd_;
    QToolButton* copyMasterPath_;
    QFrame* popover_;
    SerialSettingsView* settingsView_;
};

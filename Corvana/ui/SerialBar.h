#pragma once

#include <QWidget>

class ServerModel;

// The serial controls of the toolbar: port and baud pickers, the frame button with its popover,
// the start/stop button and the status dot.
class SerialBar : public QWidget {
    Q_OBJECT

public:
    explicit SerialBar(ServerModel& model, QWidget* parent = nullptr);

private:
    ServerModel& model_;
};

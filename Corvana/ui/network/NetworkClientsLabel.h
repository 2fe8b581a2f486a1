#pragma once

#include <QLabel>

class ServerModel;

// Beside the status dot while the server runs: the clients connected to each enabled
// listener ("TCP 1502: 2 clients"). Hidden while stopped or without a listener.
class NetworkClientsLabel : public QLabel {
    Q_OBJECT

public:
    explicit NetworkClientsLabel(ServerModel& model, QWidget* parent = nullptr);

private:
    void updateCounts();

    ServerModel& model_;
};

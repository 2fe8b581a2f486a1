#pragma once

#include "Corvana/model/NetworkConfiguration.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QSpinBox;
class ServerModel;

// The network popover's form: a switch per listener (Modbus TCP, RTU over TCP) with its port,
// the address it is reachable from, the client limit, the idle time-out and the gateway answer,
// and notes on privileged ports, open networks and clashing ports. It follows the model live,
// writes every change through setNetwork and locks while the server is not stopped.
class NetworkSettingsView : public QWidget {
    Q_OBJECT

public:
    explicit NetworkSettingsView(ServerModel& model, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Controls {
        QGroupBox* box = nullptr; // checkable: the listener's switch
        QSpinBox* port = nullptr;
        QComboBox* bind = nullptr;
        QSpinBox* maxClients = nullptr;
        QSpinBox* idle = nullptr;
        QCheckBox* gateway = nullptr;
        QLabel* hint = nullptr;
    };

    QGroupBox* buildListener(std::size_t index);
    void updateSelection();
    void updateState();
    void updateNotes();
    void updateColours();
    // Writes one field of the listener at index back to the model; unchanged values write nothing.
    template <class Change>
    void change(std::size_t index, Change change);

    ServerModel& model_;
    std::array<Controls, 2> controls_;
    QLabel* footer_;
    QLabel* privilegedNote_;
    QLabel* openNote_;
    QLabel* samePortNote_;
};

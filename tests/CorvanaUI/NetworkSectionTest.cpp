#include "tests/CorvanaUI/UiTestSupport.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TCPClient.h"
#include "tests/support/TCPMaster.h"

#include "Corvana/ui/log/EmptyLogView.h"
#include "Corvana/ui/network/NetworkButton.h"
#include "Corvana/ui/window/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <functional>

namespace {

class NetworkSectionTest : public SerialBarTest {
protected:
    ~NetworkSectionTest() override { model->stop(); }

    bool visibleNote(const char* name) const { return !child<QLabel>(name)->isHidden(); }
};

TEST_F(NetworkSectionTest, EveryControlWritesOneChangeAndFollowsTheModel) {
    auto* button = child<NetworkButton>("networkButton");
    EXPECT_EQ(button->text(), "Network");
    button->click();
    EXPECT_TRUE(button->popover()->isVisible());

    const NetworkConfiguration start = model->network();
    EXPECT_EQ(start, NetworkConfiguration{});
    const struct {
        const char* step;
        std::function<void()> act;
        std::function<void(NetworkConfiguration&)> expect;
        QString buttonText;
        bool privileged, open, samePort;
    } steps[] = {
        {"switch on", [&] { child<QGroupBox>("tcpSwitch")->setChecked(true); },
         [](NetworkConfiguration& n) { n.tcp.enabled = true; }, "TCP", false, false, false},
        {"port", [&] { child<QSpinBox>("tcpPort")->setValue(502); },
         [](NetworkConfiguration& n) { n.tcp.port = 502; }, "TCP", true, false, false},
        {"bind", [&] { child<QComboBox>("tcpBind")->setCurrentIndex(1); },
         [](NetworkConfiguration& n) { n.tcp.bind = "0.0.0.0"; }, "TCP", true, true, false},
        {"max clients", [&] { child<QSpinBox>("tcpMaxClients")->setValue(4); },
         [](NetworkConfiguration& n) { n.tcp.maxClients = 4; }, "TCP", true, true, false},
        {"idle", [&] { child<QSpinBox>("tcpIdle")->setValue(30); },
         [](NetworkConfiguration& n) { n.tcp.idleSeconds = 30; }, "TCP", true, true, false},
        {"gateway", [&] { child<QCheckBox>("tcpGateway")->setChecked(true); },
         [](NetworkConfiguration& n) { n.tcp.gateway = true; }, "TCP", true, true, false},
        {"second listener", [&] { child<QGroupBox>("rtuOverTCPSwitch")->setChecked(true); },
         [](NetworkConfiguration& n) { n.rtuOverTCP.enabled = true; }, "TCP · RTU/TCP", true, true,
         false},
        {"same port", [&] { child<QSpinBox>("rtuOverTCPPort")->setValue(502); },
         [](NetworkConfiguration& n) { n.rtuOverTCP.port = 502; }, "TCP · RTU/TCP", true, true,
         true},
    };
    std::vector<NetworkConfiguration> states{start};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        QSignalSpy changes(model.get(), &ServerModel::networkChanged);
        s.act();
        EXPECT_EQ(changes.count(), 1);
        NetworkConfiguration expected = states.back();
        s.expect(expected);
        EXPECT_EQ(model->network(), expected);
        EXPECT_EQ(button->text(), s.buttonText);
        EXPECT_EQ(visibleNote("privilegedPortNote"), s.privileged);
        EXPECT_EQ(visibleNote("allNetworksNote"), s.open);
        EXPECT_EQ(visibleNote("samePortNote"), s.samePort);
        states.push_back(expected);
    }

    // A project opened or a script's change: the controls follow the model back.
    for (std::size_t step = states.size() - 1; step > 0; --step) {
        model->setNetwork(states[step - 1]);
        EXPECT_EQ(model->network(), states[step - 1]) << step;
    }
    EXPECT_FALSE(child<QGroupBox>("tcpSwitch")->isChecked());
    EXPECT_EQ(child<QSpinBox>("tcpPort")->value(), 1502);
    EXPECT_EQ(child<QComboBox>("tcpBind")->currentData().toString(), "127.0.0.1");
    EXPECT_EQ(child<QSpinBox>("tcpIdle")->text(), "Never");
    EXPECT_FALSE(child<QCheckBox>("tcpGateway")->isChecked());
    EXPECT_EQ(child<QSpinBox>("rtuOverTCPPort")->value(), 1503);
    EXPECT_EQ(button->text(), "Network");
    EXPECT_FALSE(visibleNote("privilegedPortNote"));
    EXPECT_FALSE(visibleNote("allNetworksNote"));
}

TEST_F(NetworkSectionTest, AnAddressFromTheProjectFileIsShownAsItStands) {
    NetworkConfiguration network;
    network.rtuOverTCP.enabled = true;
    network.rtuOverTCP.bind = "192.168.10.5";
    model->setNetwork(network);
    auto* bind = child<QComboBox>("rtuOverTCPBind");
    EXPECT_EQ(bind->currentText(), "192.168.10.5");
    EXPECT_TRUE(visibleNote("allNetworksNote"));
    bind->setCurrentIndex(0);
    EXPECT_EQ(model->network().rtuOverTCP.bind, "127.0.0.1");
    EXPECT_EQ(bind->count(), 2); // the address is gone once another is chosen
}

TEST_F(NetworkSectionTest, AListenerAloneStartsLocksTheSectionAndCountsClients) {
    const int port = freeTCPPort();
    auto* start = child<QPushButton>("startStopButton");
    EXPECT_FALSE(start->isEnabled()); // neither a port nor a listener
    NetworkConfiguration network;
    network.tcp.enabled = true;
    network.tcp.port = port;
    model->setNetwork(network);
    EXPECT_TRUE(start->isEnabled());

    auto* clients = child<QLabel>("networkClients");
    const QString name = "TCP " + QString::number(port);
    const QString stopToChange = "Stop the server to change this";
    bar.networkButton()->showPopover(); // open while the server starts: it must follow
    const struct {
        const char* phase;
        ServerState state;
        bool editable;
        QString footer, tooltip;
    } phases[] = {
        {"running", ServerState::running, false, stopToChange, stopToChange},
        {"stopped", ServerState::stopped, true,
         "The same units, datapoints and faults as on the serial line. Unit ID 255 reaches the "
         "active unit with the lowest ID.",
         "Modbus TCP and RTU over TCP: ports, address and clients"},
    };
    for (const auto& p : phases) {
        SCOPED_TRACE(p.phase);
        start->click();
        ASSERT_TRUE(processEventsUntil([&] { return model->state() == p.state; }));
        EXPECT_FALSE(model->errorMessage());
        for (const char* name : {"tcpSwitch", "rtuOverTCPSwitch"}) {
            EXPECT_EQ(child<QGroupBox>(name)->isEnabled(), p.editable) << name;
        }
        EXPECT_TRUE(bar.networkButton()->isEnabled());
        EXPECT_EQ(bar.networkButton()->toolTip(), p.tooltip);
        EXPECT_EQ(child<QLabel>("networkFooter")->text(), p.footer);
        EXPECT_EQ(clients->isHidden(), p.editable);
        if (p.state == ServerState::running) {
            EXPECT_EQ(clients->text(), name + ": 0 clients");
            TCPClient master(static_cast<std::uint16_t>(port));
            ASSERT_TRUE(master.connected());
            EXPECT_TRUE(processEventsUntil([&] { return clients->text() == name + ": 1 client"; }))
                << clients->text().toStdString();
        }
    }
}

TEST_F(NetworkSectionTest, TitleAndEmptyLogNameTheListeners) {
    MainWindow window(*model);
    EmptyLogView empty(*model);
    auto* title = empty.findChild<QLabel*>("emptyLogTitle");
    auto* message = empty.findChild<QLabel*>("emptyLogMessage");
    auto* startServer = empty.findChild<QPushButton*>("startServerButton");
    EXPECT_EQ(title->text(), "No USB adapter found");
    EXPECT_TRUE(startServer->isHidden());

    NetworkConfiguration network;
    network.tcp.enabled = true;
    network.rtuOverTCP.enabled = true;
    model->setNetwork(network);
    EXPECT_EQ(window.windowTitle(),
              "Modbus TCP 127.0.0.1:1502, RTU over TCP 127.0.0.1:1503 — Stopped");
    EXPECT_EQ(title->text(), "Ready to start");
    EXPECT_EQ(message->text(),
              "Set up the units and their datapoints and click Start (Ctrl+R). The master then "
              "reaches them at 127.0.0.1:1502 (Modbus TCP), 127.0.0.1:1503 (RTU over TCP), and "
              "every request and answer appears here.");
    EXPECT_FALSE(startServer->isHidden());

    PseudoTerminal pty;
    model->setSelectedPath(QString::fromStdString(pty.path()));
    EXPECT_EQ(window.windowTitle(),
              model->portLabel() +
                  ", Modbus TCP 127.0.0.1:1502, RTU over TCP 127.0.0.1:1503 — Stopped");
    network.rtuOverTCP.enabled = false;
    model->setNetwork(network);
    EXPECT_EQ(window.windowTitle(), model->portLabel() + ", Modbus TCP 127.0.0.1:1502 — Stopped");
}

} // namespace

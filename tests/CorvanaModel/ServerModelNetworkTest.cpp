#include "Corvana/model/ServerModel.h"

#include "TestEnvironment.h"

#include "ModbusCore/RTUFrame.h"
#include "tests/support/ModelStubs.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TCPClient.h"
#include "tests/support/TCPMaster.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

// The example device (unit 1: Setpoint 20.0 as 200 in holding register 0, Mode 1 in 1) served
// by a model without timestamps, so lines compare as plain text.
class ServerModelNetworkTest : public ::testing::Test {
protected:
    ServerModelNetworkTest() {
        model.init();
        model.setShowTimestamps(false);
    }

    // Modbus TCP on a free loopback port, RTU over TCP as well when asked.
    std::uint16_t serveTCP(bool alsoRTUOverTCP = false) {
        NetworkConfiguration network;
        network.tcp = {.enabled = true, .port = freeTCPPort()};
        network.rtuOverTCP = {.enabled = alsoRTUOverTCP, .port = freeTCPPort()};
        model.setNetwork(network);
        return static_cast<std::uint16_t>(network.tcp.port);
    }

    bool waitForRunning() {
        return processEventsUntil([&] { return model.state() == ServerState::running; });
    }
    QStringList lines() const {
        return model.logBuffer().plainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool logHas(const QString& start, const QString& part) const {
        const QStringList all = lines();
        return std::any_of(all.begin(), all.end(), [&](const QString& line) {
            return line.startsWith(start) && line.contains(part);
        });
    }

    TestEnvironment environment;
    NoDialogs dialogs;
    ServerModel model{std::make_unique<NoScanner>(), dialogs};
};

// ServeNetworkTest follows a master's reads and writes through the same model to the log, the
// counts, the listeners and the report; here what only the window's model shows.
TEST_F(ServerModelNetworkTest, ServesTheNetworkAloneLogsItsClientsAndStopClosesThem) {
    ASSERT_TRUE(model.selectedPath().isEmpty());
    EXPECT_FALSE(model.canStart());
    const std::uint16_t port = serveTCP();
    EXPECT_TRUE(model.canStart());
    model.start();
    ASSERT_FALSE(model.errorMessage()) << model.errorMessage()->toStdString();
    ASSERT_TRUE(waitForRunning());

    const TCPMaster master = connectTCPMaster(port);
    ASSERT_TRUE(processEventsUntil([&] { return model.clientCount(Transport::tcp) == 1; }));
    ASSERT_EQ(modbus_write_register(master.get(), 1, 3), 1);
    ASSERT_TRUE(
        processEventsUntil([&] { return model.statistics(Transport::tcp).responses == 1; }));
    EXPECT_EQ(model.statistics().requests, 1);
    EXPECT_EQ(model.statistics(Transport::serial), ServerStatistics{});
    const QString client = "Modbus TCP 127.0.0.1:";
    EXPECT_TRUE(logHas(client, " · Client connected · 1 client now"));
    EXPECT_TRUE(logHas(client, " · ← Unit 1 · FC 06 Write single register"));
    EXPECT_FALSE(model.masterReport()["network"].contains("rtuOverTCP"));

    model.stop();
    EXPECT_EQ(model.clientCount(Transport::tcp), 0U);
    EXPECT_TRUE(model.listeners().empty());
    std::uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(master.get(), 0, 1, &value), -1);
    EXPECT_EQ(lines().last(), "--- Server stopped ---");
}

TEST_F(ServerModelNetworkTest, AWriteOverTCPIsReadBackOnTheSerialLineAndOverRTUOverTCP) {
    PseudoTerminal pty;
    model.setSelectedPath(QString::fromStdString(pty.path()));
    const std::uint16_t port = serveTCP(true);
    model.start();
    ASSERT_FALSE(model.errorMessage()) << model.errorMessage()->toStdString();
    ASSERT_TRUE(waitForRunning());
    ASSERT_EQ(model.listeners().size(), 2U);
    const std::uint16_t rtuPort = static_cast<std::uint16_t>(model.network().rtuOverTCP.port);
    EXPECT_EQ(lines().value(0),
              QStringLiteral("--- Server started on %1 @ 9600 8E1, Modbus TCP 127.0.0.1:%2, RTU "
                             "over TCP 127.0.0.1:%3 · units 1 ---")
                  .arg(QString::fromStdString(pty.path()))
                  .arg(port)
                  .arg(rtuPort));

    {
        const TCPMaster master = connectTCPMaster(port);
        ASSERT_EQ(modbus_write_register(master.get(), 1, 42), 1);
    }
    const Bytes answer = RTUFrame::build(1, Bytes{0x03, 0x02, 0x00, 0x2A});
    pty.send(RTUFrame::build(1, Bytes{0x03, 0x00, 0x01, 0x00, 0x01}));
    EXPECT_EQ(pty.receive(answer.size()), answer);
    TCPClient rtuMaster(rtuPort);
    ASSERT_TRUE(rtuMaster.send(RTUFrame::build(1, Bytes{0x03, 0x00, 0x01, 0x00, 0x01})));
    EXPECT_EQ(rtuMaster.receive(answer.size()), answer);

    ASSERT_TRUE(processEventsUntil([&] {
        return model.statistics(Transport::serial).responses == 1 &&
               model.statistics(Transport::tcp).responses == 1 &&
               model.statistics(Transport::rtuOverTCP).responses == 1;
    }));
    EXPECT_EQ(model.statistics().responses, 3);
    EXPECT_TRUE(logHas("RTU over TCP 127.0.0.1:", " · → Unit 1 · FC 03"));
    EXPECT_TRUE(logHas("→ Unit 1 · FC 03", "")); // the serial line's, as before
    model.stop();
}

// Nothing keeps running when one listener cannot bind: the port, the serial line and the other
// listener are all free for the next start.
TEST_F(ServerModelNetworkTest, AListenerThatCannotBindStartsNothing) {
    PseudoTerminal pty;
    model.setSelectedPath(QString::fromStdString(pty.path()));
    TakenPort taken;
    NetworkConfiguration network;
    network.tcp = {.enabled = true, .port = freeTCPPort()};
    network.rtuOverTCP = {.enabled = true, .port = taken.port()};
    model.setNetwork(network);
    model.start();
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("Port %1 on 127.0.0.1 is already in use by another program.")
                  .arg(taken.port()));
    EXPECT_EQ(model.state(), ServerState::stopped);
    EXPECT_TRUE(model.listeners().empty());
    EXPECT_FALSE(TCPClient(static_cast<std::uint16_t>(network.tcp.port)).connected());

    taken.release();
    model.setErrorMessage(std::nullopt);
    model.start();
    EXPECT_FALSE(model.errorMessage());
    EXPECT_TRUE(waitForRunning());
    EXPECT_EQ(model.listeners().size(), 2U);
    model.stop();
}

} // namespace

#include "tests/CorvanaModel/TestEnvironment.h"

#include "ServeProcess.h"
#include "tests/support/TCPMaster.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>

using nlohmann::json;

namespace {

// `serve --tcp` alone: a libmodbus TCP master reads and writes, the log names the client, the
// control socket lists the listener with its client and counts, the report has its part.
TEST(ServeNetwork, AModbusTCPMasterIsServedCountedAndReported) {
    const TestEnvironment environment;
    const QString socket = environment.path("corvana.sock");
    const QString report = environment.path("report.json");
    const std::uint16_t port = freeTCPPort();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    Serve serve({"--tcp", address, "--max-clients", "4", "--no-timestamps", "--control", socket,
                 "--report", report});
    ASSERT_TRUE(
        serve.waitForOutput("--- Server started on Modbus TCP " + address + " · units 1 ---\n"))
        << serve.out().toStdString() << serve.err().toStdString();

    const TCPMaster master = connectTCPMaster(port);
    std::uint16_t registers[2] = {};
    ASSERT_EQ(modbus_read_registers(master.get(), 0, 2, registers), 2);
    EXPECT_EQ(registers[0], 200);
    ASSERT_EQ(modbus_write_register(master.get(), 1, 5), 1);
    EXPECT_TRUE(serve.waitForOutput(" · → Unit 1 · FC 03 Read holding registers · 00 00 00 02\n"));
    EXPECT_TRUE(serve.out().contains("Modbus TCP 127.0.0.1:")) << serve.out().toStdString();
    EXPECT_TRUE(serve.waitForOutput("✎ Unit 1 · Mode = 5\n"));

    const json status = json::parse(ctl(socket, {"status"}).out.toStdString(), nullptr, false);
    ASSERT_EQ(status["listeners"].size(), 1U) << status.dump();
    EXPECT_EQ(status["listeners"][0]["transport"], "tcp");
    EXPECT_EQ(status["listeners"][0]["address"], address.toStdString());
    EXPECT_EQ(status["listeners"][0]["clients"], 1);
    EXPECT_EQ(status["network"]["tcp"]["maxClients"], 4);
    EXPECT_EQ(status["transports"]["tcp"]["responses"], 2);
    EXPECT_EQ(status["transports"]["serial"]["requests"], 0);
    EXPECT_EQ(status["port"], "");

    EXPECT_EQ(serve.finish(SIGINT), 0);
    std::ifstream file(report.toStdString());
    const json written = json::parse(file, nullptr, false);
    EXPECT_EQ(written["network"]["tcp"]["units"][0]["functions"][0]["requests"], 1)
        << written.dump();
    EXPECT_EQ(written["line"]["requests"], 0); // the serial line's part stays where it was
}

TEST(ServeNetwork, BadListenerOptionsExit2AndATakenPortExits1) {
    const TestEnvironment environment;
    TakenPort taken;
    const QString inUse = QStringLiteral("127.0.0.1:%1").arg(taken.port());
    const struct {
        QStringList arguments;
        int exitCode;
        QString message; // on stderr
    } cases[] = {
        {{"--tcp", "localhost:1502"}, 2, "Invalid value 'localhost:1502' for --tcp: give PORT"},
        {{"--tcp", "0"}, 2, "Invalid value '0' for --tcp"},
        {{"--tcp=65536"}, 2, "Invalid value '65536' for --tcp"},
        {{"--rtu-over-tcp", "127.0.0.1:"}, 2, "Invalid value '127.0.0.1:' for --rtu-over-tcp"},
        {{"--rtu-over-tcp", "[::1]1503"}, 2, "Invalid value '[::1]1503' for --rtu-over-tcp"},
        {{"--tcp"}, 2, "option '--tcp' needs a value"},
        {{"--max-clients", "0"}, 2, "Invalid number of clients '0': give a whole number"},
        {{"--max-clients", "1001"}, 2, "Invalid number of clients '1001'"},
        {{"--tcp", inUse},
         1,
         QStringLiteral("Port %1 on 127.0.0.1 is already in use by another program.")
             .arg(taken.port())},
        {{"--tcp", "192.0.2.7:1502"}, 1, "The address 192.0.2.7 does not belong to this computer."},
    };
    for (const auto& c : cases) {
        Serve serve(c.arguments);
        EXPECT_EQ(serve.finish(), c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(serve.err().contains(c.message)) << serve.err().toStdString();
        EXPECT_FALSE(serve.out().contains("Server started")) << serve.out().toStdString();
    }
}

} // namespace

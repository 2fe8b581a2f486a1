#include "tests/CorvanaModel/TestEnvironment.h"

#include "Corvana/cli/CtlCommand.h"
#include "ServeProcess.h"

#include <QProcess>

#include "tests/support/RTUMaster.h"
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using nlohmann::json;

namespace {

json replyOf(const Result& result) {
    return json::parse(result.out.toStdString(), nullptr, false);
}

// The README's session: serve with a control socket, change a value, inject a fault, let a
// master poll, read the counts, and stop; a second serve cannot take the socket meanwhile.
TEST(CtlCommand, DrivesARunningServeFromTheShell) {
    const TestEnvironment environment;
    const QString link = environment.path("modbus");
    const QString socket = environment.path("corvana.sock");
    Serve serve({"--virtual", link, "--baud", "115200", "--frame", "8N1", "--no-timestamps",
                 "--control", socket});
    ASSERT_TRUE(serve.waitForOutput(" · units 1 ---\n")) << serve.out().toStdString();
    ASSERT_TRUE(serve.out().contains("--- Control socket open at " + socket + " ---"))
        << serve.out().toStdString();

    // A subscriber prints every log line until the server ends.
    QProcess logger;
    logger.setProcessEnvironment(englishEnvironment());
    logger.start(QStringLiteral(CORVANA_EXECUTABLE), {"ctl", "--socket", socket, "log"});
    ASSERT_TRUE(logger.waitForReadyRead(10'000));

    Result result = ctl(socket, {"set", "unit=1", "name=Mode", "value=7"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(replyOf(result)["registers"], json::array({7})) << result.out.toStdString();

    result = ctl(
        socket,
        {"rules", "unit=1",
         R"(set=[{"schedule":{"kind":"firstN","n":1},"effect":{"kind":"exception","code":6}}])"});
    EXPECT_EQ(result.status, 0) << result.out.toStdString();

    const auto bus = connectRTUMaster(link.toStdString());
    std::uint16_t mode = 0;
    EXPECT_EQ(modbus_read_registers(bus.get(), 1, 1, &mode), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    ASSERT_EQ(modbus_read_registers(bus.get(), 1, 1, &mode), 1);
    EXPECT_EQ(mode, 7);

    result = ctl(socket, {R"({"command":"rules","unit":1})"});
    EXPECT_EQ(replyOf(result)["counts"][0]["fired"], 1) << result.out.toStdString();

    // An error reply, bad usage and a missing server each have their status.
    result = ctl(socket, {"get", "unit=9", "name=Mode"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(replyOf(result)["error"], "There is no unit 9.");
    EXPECT_EQ(ctl(socket, {"get", "unit"}).status, 2);
    EXPECT_EQ(ctl(environment.path("none.sock"), {"status"}).status, CtlCommand::exitNoServer);
    // A second serve cannot take the socket this one listens on.
    Serve second({"--virtual", "--control", socket});
    EXPECT_EQ(second.finish(), 1);
    EXPECT_EQ(second.err(), "Control socket " + socket +
                                " cannot be opened: another Corvana already listens there\n");

    result = ctl(socket, {"stop"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(serve.finish(), 0);
    EXPECT_TRUE(serve.out().endsWith("--- Server stopped ---\n")) << serve.out().toStdString();
    EXPECT_FALSE(std::filesystem::exists(socket.toStdString()));
    ASSERT_TRUE(logger.waitForFinished(10'000));
    EXPECT_EQ(logger.exitCode(), 0);
    const QString events = QString::fromUtf8(logger.readAllStandardOutput());
    EXPECT_TRUE(events.contains(
        R"({"event":"log","kind":"request","text":"→ Unit 1 · FC 03 Read holding registers · 00 01 00 01"})"))
        << events.toStdString();
}

} // namespace

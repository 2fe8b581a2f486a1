#include "TestEnvironment.h"

#include "ModbusSerial/VirtualPortPair.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>
#include <modbus.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace {

// `corvana serve` as a child process: its own XDG folders (those of the TestEnvironment), English
// texts, stdout and stderr collected.
class Serve {
public:
    explicit Serve(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LANGUAGE", "en");
        environment.insert("LC_ALL", "C.UTF-8");
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(CORVANA_EXECUTABLE), QStringList{"serve"} + arguments);
        EXPECT_TRUE(process_.waitForStarted());
    }

    // Whether stdout shows `text` within the patience of a loaded machine.
    bool waitForOutput(const QString& text) {
        QElapsedTimer timer;
        timer.start();
        while (!out_.contains(text) && timer.elapsed() < 10'000) {
            process_.waitForReadyRead(100);
            out_ += QString::fromUtf8(process_.readAllStandardOutput());
        }
        return out_.contains(text);
    }

    // The exit code once it ended by itself or after `signal`; -1 when it did not end normally.
    int finish(int signal = 0) {
        if (signal != 0) {
            ::kill(static_cast<pid_t>(process_.processId()), signal);
        }
        if (!process_.waitForFinished(10'000)) {
            return -1;
        }
        out_ += QString::fromUtf8(process_.readAllStandardOutput());
        err_ = QString::fromUtf8(process_.readAllStandardError());
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    const QString& out() const { return out_; }
    const QString& err() const { return err_; }

private:
    QProcess process_;
    QString out_, err_;
};

// A libmodbus master at 115200 8N1 on `path`.
std::unique_ptr<modbus_t, void (*)(modbus_t*)> master(const std::string& path, int unit) {
    std::unique_ptr<modbus_t, void (*)(modbus_t*)> context(
        modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1), [](modbus_t* m) {
            modbus_close(m);
            modbus_free(m);
        });
    EXPECT_NE(context, nullptr);
    if (context) {
        EXPECT_EQ(modbus_connect(context.get()), 0);
        modbus_set_slave(context.get(), unit);
        modbus_set_response_timeout(context.get(), 2, 0);
    }
    return context;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(ServeCommand, AMasterReadsAndWritesTheExampleDeviceOnAVirtualPortUntilSigint) {
    const TestEnvironment environment;
    const QString link = environment.path("modbus");
    Serve serve({"--virtual", link, "--baud", "115200", "--frame", "8n1", "--no-timestamps"});
    ASSERT_TRUE(serve.waitForOutput("Virtual serial port for the master: /dev/pts/"));
    ASSERT_TRUE(serve.waitForOutput(" @ 115200 8N1 · units 1 ---\n"));

    const auto bus = master(link.toStdString(), 1);
    std::uint16_t holding[2] = {};
    ASSERT_EQ(modbus_read_registers(bus.get(), 0, 2, holding), 2);
    EXPECT_EQ(holding[0], 200); // Setpoint 20.0 at scale 0.1
    EXPECT_EQ(holding[1], 1);   // Mode
    ASSERT_EQ(modbus_write_register(bus.get(), 1, 3), 1);
    EXPECT_TRUE(serve.waitForOutput("→ Unit 1 · FC 03 Read holding registers · 00 00 00 02\n"));
    EXPECT_TRUE(serve.waitForOutput("✎ Unit 1 · Mode = 3\n← Unit 1 · FC 06 Write single register"));

    EXPECT_EQ(serve.finish(SIGINT), 0);
    EXPECT_TRUE(serve.out().endsWith("\n--- Server stopped ---\n")) << serve.out().toStdString();
    EXPECT_FALSE(std::filesystem::is_symlink(link.toStdString()));
    EXPECT_FALSE(std::filesystem::exists(environment.path("data").toStdString())); // no autosave
    EXPECT_FALSE(std::filesystem::exists(environment.path("config").toStdString()));
}

TEST(ServeCommand, CSVWithIssuesReportsTheSkippedLinesAndServesTheRestUntilSigterm) {
    const TestEnvironment environment;
    const QString csv = environment.path("points.csv");
    writeFile(csv, "Name,Unit ID,Table,Address,Value\nFlow,7,holding,10,1234\n"
                   "Broken,7,nonsense,11,1\n");
    const VirtualPortPair pair;
    const QString port = QString::fromStdString(pair.serverPath());
    Serve serve({"--csv", csv, "--port", port, "--baud", "115200", "--frame", "8N1"});
    ASSERT_TRUE(serve.waitForOutput("  --- Server started on " + port + " @ 115200 8N1 · units 7"));

    const auto bus = master(pair.masterPath(), 7);
    std::uint16_t flow = 0;
    ASSERT_EQ(modbus_read_registers(bus.get(), 10, 1, &flow), 1);
    EXPECT_EQ(flow, 1234);

    EXPECT_EQ(serve.finish(SIGTERM), 0);
    EXPECT_TRUE(serve.out().endsWith("  --- Server stopped ---\n"));
    EXPECT_TRUE(serve.err().startsWith("Line 3: ")) << serve.err().toStdString();
    EXPECT_EQ(serve.err().count('\n'), 1);
}

TEST(ServeCommand, BadOptionsAndFilesEndAtOnceWithAMessage) {
    const TestEnvironment environment;
    writeFile(environment.path("broken.json"), "{\"version\": 1, \"serial\": ");
    writeFile(environment.path("empty.csv"), "Name,Unit ID,Table,Address\nX,1,nonsense,0\n");
    const struct {
        QStringList arguments;
        int exitCode;
        QString message; // on stderr
    } cases[] = {
        {{"--baud", "96OO"}, 2, "invalid baud rate '96OO'"},
        {{"--frame=8X1"}, 2, "invalid frame '8X1'"},
        {{"--frame"}, 2, "option '--frame' needs a value"},
        {{"--raw-frames=yes"}, 2, "unknown option '--raw-frames=yes'"},
        {{"--project", "a.json", "--csv", "b.csv"}, 2, "--project and --csv"},
        {{"--port", "/dev/ttyS99", "--virtual"}, 2, "--port and --virtual"},
        {{"--project", environment.path("broken.json")}, 1, "Cannot read broken.json. Is it"},
        {{"--csv", environment.path("missing.csv")}, 1, "Cannot read missing.csv."},
        {{"--csv", environment.path("empty.csv")}, 1, "No datapoints found in this file."},
        {{"--port", environment.path("no-such-tty")}, 1, "no-such-tty"},
    };
    for (const auto& c : cases) {
        Serve serve(c.arguments);
        EXPECT_EQ(serve.finish(), c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(serve.err().contains(c.message)) << serve.err().toStdString();
    }

    Serve help({"--help"});
    EXPECT_EQ(help.finish(), 0);
    EXPECT_TRUE(help.out().contains("--virtual [LINK]"));
}

} // namespace

#include "tests/CorvanaModel/TestEnvironment.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/VirtualPortPair.h"

#include <QDir>

#include <QElapsedTimer>

#include "ServeProcess.h"
#include "tests/support/RTUMaster.h"
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {

TEST(ServeCommand, CSVWithIssuesReportsTheSkippedLinesAndServesTheRestUntilSigterm) {
    const TestEnvironment environment;
    const QString csv = environment.path("points.csv");
    writeFile(csv, "Name,Unit ID,Table,Address,Value\nFlow,7,holding,10,1234\n"
                   "Broken,7,non\x1B[2Jsense,11,1\n"
                   "\"\x1B]0;owned\x07Level\n12:00:00.000  fake\",7,holding,12,5\n");
    const VirtualPortPair pair;
    const QString port = QString::fromStdString(pair.serverPath());
    Serve serve({"--csv", csv, "--port", port, "--baud", "115200", "--frame", "8N1"});
    ASSERT_TRUE(serve.waitForOutput("  --- Server started on " + port + " @ 115200 8N1 · units 7"));

    const auto bus = connectRTUMaster(pair.masterPath(), 7);
    std::uint16_t flow = 0;
    ASSERT_EQ(modbus_read_registers(bus.get(), 10, 1, &flow), 1);
    EXPECT_EQ(flow, 1234);
    // A name from the file reaches the terminal escaped: no retitling, no fake line.
    ASSERT_EQ(modbus_write_register(bus.get(), 12, 9), 1);
    EXPECT_TRUE(
        serve.waitForOutput("✎ Unit 7 · \\x1B]0;owned\\x07Level\\n12:00:00.000  fake = 9\n"));

    EXPECT_EQ(serve.finish(SIGTERM), 0);
    EXPECT_TRUE(serve.out().endsWith("  --- Server stopped ---\n"));
    EXPECT_FALSE(serve.out().contains(QChar(0x1B)));
    EXPECT_TRUE(serve.err().startsWith("Line 3: unknown table 'non\\x1B[2Jsense'"))
        << serve.err().toStdString();
    EXPECT_EQ(serve.err().count('\n'), 1);
}

// The unit's identity and its choice of function codes come from the project file, and the
// example device loaded at start-up leaves nothing in a project that defines nothing.
TEST(ServeCommand, ServesTheIdentityAndFunctionCodesOfTheProjectFile) {
    const TestEnvironment environment;
    const QString project = environment.path("device.json");
    writeFile(project, R"({"version": 1, "serial": {"baudRate": 115200, "dataBits": 8,
        "parity": "none", "stopBits": 1}, "datapoints": [], "units": [{"unitID": 1,
        "undefinedAddresses": "zero", "functions": [1, 3, 17],
        "identity": {"serverID": "C0DE", "runIndicator": false, "additionalData": "bench"}}]})");
    const VirtualPortPair pair;
    const QString port = QString::fromStdString(pair.serverPath());
    Serve serve({"--project", project, "--port", port, "--no-timestamps"});
    ASSERT_TRUE(serve.waitForOutput(" · units 1 ---\n"));

    const auto bus = connectRTUMaster(pair.masterPath(), 1);
    std::uint8_t id[16] = {};
    ASSERT_EQ(modbus_report_slave_id(bus.get(), sizeof id, id), 8);
    const std::vector<std::uint8_t> expected{0xC0, 0xDE, 0x00, 'b', 'e', 'n', 'c', 'h'};
    EXPECT_EQ(std::vector<std::uint8_t>(id, id + 8), expected);
    std::uint16_t holding[2] = {7, 7};
    ASSERT_EQ(modbus_read_registers(bus.get(), 0, 2, holding), 2);
    EXPECT_EQ(holding[0], 0); // not the example's Setpoint
    EXPECT_EQ(holding[1], 0);
    std::uint8_t coil = 1;
    ASSERT_EQ(modbus_read_bits(bus.get(), 0, 1, &coil), 1);
    EXPECT_EQ(coil, 0);
    // Function 04 is switched off: exception 01.
    EXPECT_EQ(modbus_read_input_registers(bus.get(), 0, 1, holding), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_TRUE(serve.waitForOutput("← Unit 1 · FC 11 Report server ID · 08 C0 DE 00"));
    EXPECT_EQ(serve.finish(SIGTERM), 0);
}

// Fault rules and the seed come from the project file; each fired rule is logged before the reply
// it changed, and the first matching rule wins.
TEST(ServeCommand, ServesAndLogsTheFaultRulesOfTheProjectFile) {
    const TestEnvironment environment;
    const QString project = environment.path("faulty.json");
    writeFile(project, R"({"version": 1, "seed": 7, "serial": {"baudRate": 115200, "dataBits": 8,
        "parity": "none", "stopBits": 1}, "datapoints": [], "units": [{"unitID": 3,
        "undefinedAddresses": "zero", "faultRules": [
          {"name": "Bad CRC every 2nd", "match": {"functions": [3]},
           "schedule": {"kind": "everyNth", "n": 2}, "effect": {"kind": "badCRC"}},
          {"name": "Busy writes", "match": {"functions": [6]},
           "effect": {"kind": "exception", "code": 6}}]}]})");
    const VirtualPortPair pair;
    const QString port = QString::fromStdString(pair.serverPath());
    Serve serve({"--project", project, "--port", port, "--no-timestamps", "--raw-frames"});
    ASSERT_TRUE(serve.waitForOutput(" · units 3 ---\n"));

    const auto bus = connectRTUMaster(pair.masterPath(), 3);
    std::uint16_t value = 1;
    EXPECT_EQ(modbus_read_registers(bus.get(), 0, 1, &value), 1);
    EXPECT_EQ(modbus_read_registers(bus.get(), 0, 1, &value), -1);
    EXPECT_EQ(errno, EMBBADCRC);
    modbus_flush(bus.get());
    EXPECT_EQ(modbus_write_register(bus.get(), 0, 5), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    EXPECT_TRUE(serve.waitForOutput("⚠ Unit 3: rule \"Bad CRC every 2nd\" — bad CRC\n← Unit 3"));
    EXPECT_TRUE(serve.waitForOutput("⚠ Unit 3: rule \"Busy writes\" — exception 6\n← Unit 3"));
    EXPECT_EQ(serve.finish(SIGTERM), 0);
}

// Bad option values are refused before anything runs (CommandLineTest has them); here the
// files and ports that only a run finds bad.
TEST(ServeCommand, BadFilesAndPortsEndAtOnceWithAMessage) {
    const TestEnvironment environment;
    writeFile(environment.path("broken.json"), "{\"version\": 1, \"serial\": ");
    writeFile(environment.path("empty.csv"), "Name,Unit ID,Table,Address\nX,1,nonsense,0\n");
    // Reading a FIFO would wait for a writer for good.
    ASSERT_EQ(::mkfifo(QFile::encodeName(environment.path("fifo.json")).constData(), 0600), 0);
    // A link of the user's, not one an earlier run left in /dev/pts/.
    const QString foreignLink = environment.path("modbus");
    ASSERT_TRUE(QFile::link("/etc/hostname", foreignLink));
    const struct {
        QStringList arguments;
        int exitCode;
        QString message; // on stderr
    } cases[] = {
        {{"--project", environment.path("broken.json")}, 1, "Cannot read broken.json. Is it"},
        {{"--csv", environment.path("missing.csv")}, 1, "Cannot read missing.csv."},
        {{"--csv", environment.path("empty.csv")}, 1, "No datapoints found in this file."},
        {{"--port", environment.path("no-such-tty")}, 1, "no-such-tty"},
        {{"--project", environment.path("fifo.json")}, 1, "Cannot read fifo.json."},
        {{"--csv", environment.path("fifo.json")}, 1, "Cannot read fifo.json."},
        {{"--csv", "/dev/zero"}, 1, "Cannot read zero."},
        {{"--port", "/dev/tty"}, 1, "'/dev/tty' is not a valid serial port."},
        {{"--port", "/dev/tty1"}, 1, "'/dev/tty1' is not a valid serial port."},
        {{"--virtual", foreignLink}, 1, "Cannot make the virtual serial port"},
        {{"--report", environment.path("missing/report.json")},
         1,
         "Cannot write the master report to " + environment.path("missing/report.json") +
             ": its folder does not exist or is not writable"},
    };
    for (const auto& c : cases) {
        Serve serve(c.arguments);
        EXPECT_EQ(serve.finish(), c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(serve.err().contains(c.message)) << serve.err().toStdString();
    }

    EXPECT_EQ(QFile::symLinkTarget(foreignLink), "/etc/hostname");
}

// A master reads and writes the example device on a virtual port until SIGINT; the report is
// written at exit, and a failed write of it ends with status 1.
TEST(ServeCommand, ServesTheExampleOnAVirtualPortAndWritesTheReportAtExit) {
    const TestEnvironment environment;
    const QString link = environment.path("modbus");
    const QString report = environment.path("report.json");
    Serve serve({"--virtual", link, "--baud", "115200", "--frame", "8n1", "--no-timestamps",
                 "--report", report});
    ASSERT_TRUE(serve.waitForOutput("Virtual serial port for the master: /dev/pts/"));
    ASSERT_TRUE(serve.waitForOutput(" @ 115200 8N1 · units 1 ---\n"));
    {
        const auto bus = connectRTUMaster(link.toStdString(), 1);
        std::uint16_t holding[2] = {};
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(modbus_read_registers(bus.get(), 0, 2, holding), 2);
        }
        EXPECT_EQ(holding[0], 200); // Setpoint 20.0 at scale 0.1
        EXPECT_EQ(holding[1], 1);   // Mode
        EXPECT_EQ(modbus_read_registers(bus.get(), 900, 1, holding), -1); // exception 02
        ASSERT_EQ(modbus_write_register(bus.get(), 1, 3), 1);
    }
    EXPECT_TRUE(serve.waitForOutput("→ Unit 1 · FC 03 Read holding registers · 00 00 00 02\n"));
    EXPECT_TRUE(serve.waitForOutput("✎ Unit 1 · Mode = 3\n← Unit 1 · FC 06 Write single register"));
    EXPECT_EQ(serve.finish(SIGINT), 0);
    EXPECT_TRUE(serve.err().isEmpty()) << serve.err().toStdString();
    EXPECT_TRUE(serve.out().endsWith("\n--- Server stopped ---\n")) << serve.out().toStdString();
    EXPECT_FALSE(std::filesystem::is_symlink(link.toStdString()));
    EXPECT_FALSE(std::filesystem::exists(environment.path("data").toStdString())); // no autosave
    EXPECT_FALSE(std::filesystem::exists(environment.path("config").toStdString()));

    std::ifstream file(report.toStdString());
    json written = json::parse(file, nullptr, false);
    ASSERT_TRUE(written.is_object()) << report.toStdString();
    EXPECT_EQ(written["line"]["requests"], 5) << written.dump();
    json& unit = written["units"][0];
    EXPECT_EQ(unit["unit"], 1);
    json& reads = unit["functions"][0];
    EXPECT_EQ(reads["function"], 3);
    EXPECT_EQ(reads["requests"], 4);
    EXPECT_EQ(reads["answers"], 4);
    EXPECT_EQ(reads["exceptions"]["2"], 1);
    json& item = written["pollItems"][0];
    EXPECT_EQ(item["address"], 0);
    EXPECT_EQ(item["quantity"], 2);
    EXPECT_EQ(item["interval"]["count"], 2);
    EXPECT_EQ(QDir(environment.path(".")).entryList({"report.json?*"}),
              QStringList()); // no temp left

    // The folder went away while serving: the message names the file, the status is 1.
    const QString gone = environment.path("gone/report.json");
    ASSERT_TRUE(QDir().mkpath(environment.path("gone")));
    Serve lost({"--virtual", link, "--report", gone});
    ASSERT_TRUE(lost.waitForOutput("--- Server started on "));
    ASSERT_TRUE(QDir(environment.path("gone")).removeRecursively());
    EXPECT_EQ(lost.finish(SIGTERM), 1);
    EXPECT_TRUE(lost.err().startsWith("Cannot write the master report to " + gone + ": "))
        << lost.err().toStdString();
}

TEST(ServeCommand, AnUnreadableAutosaveIsKeptAsideAndReportedOnStderr) {
    const TestEnvironment environment;
    ASSERT_TRUE(QDir().mkpath(environment.path("data/Corvana")));
    writeFile(environment.path("data/Corvana/project.json"), "{\"version\": 1, \"datapoints\": [");
    Serve serve({"--port", "/dev/tty"});
    EXPECT_EQ(serve.finish(), 1);
    EXPECT_TRUE(serve.err().startsWith("The last project could not be read"))
        << serve.err().toStdString();
    EXPECT_EQ(
        QDir(environment.path("data/Corvana")).entryList({"project.json.unreadable-*"}).size(), 1);
    EXPECT_FALSE(QFile::exists(environment.path("data/Corvana/project.json")));
}

TEST(ServeCommand, ExitOnLossEndsWithStatus3AndWithoutItServeWaits) {
    const TestEnvironment environment;
    for (const bool exitOnLoss : {true, false}) {
        SCOPED_TRACE(exitOnLoss);
        std::optional<VirtualPortPair> pair(std::in_place);
        const QString port = QString::fromStdString(pair->serverPath());
        Serve serve(QStringList{"--port", port, "--no-timestamps"} +
                    (exitOnLoss ? QStringList{"--exit-on-loss"} : QStringList{}));
        ASSERT_TRUE(serve.waitForOutput("--- Server started on " + port));
        pair.reset(); // a pseudo-terminal never comes back
        ASSERT_TRUE(serve.waitForOutput("Serial port " + port + " is gone"));
        if (exitOnLoss) {
            EXPECT_EQ(serve.finish(), 3);
            EXPECT_TRUE(serve.out().endsWith("is gone; waiting for it to return\n"
                                             "--- Server stopped ---\n"))
                << serve.out().toStdString();
        } else {
            EXPECT_EQ(serve.finish(SIGTERM), 0);
        }
    }
}

// The resident memory of a process in bytes.
std::int64_t residentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stoll(line.substr(6)) * 1024;
        }
    }
    return -1;
}

// A master floods the line with requests for a unit that is not simulated while nobody reads
// serve's output: the lines waiting are bounded, and SIGTERM still ends it at once.
TEST(ServeCommand, AFloodIntoAStalledPipeKeepsMemoryBoundedAndSigtermWorks) {
    const TestEnvironment environment;
    const std::string link = environment.path("modbus").toStdString();
    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    qputenv("LANGUAGE", "en");
    // Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB, which would
    // count as growth here; a small one keeps the measurement about the server's own memory.
    QByteArray sanitizerOptions = qgetenv("ASAN_OPTIONS");
    sanitizerOptions += sanitizerOptions.isEmpty() ? "" : ":";
    qputenv("ASAN_OPTIONS", sanitizerOptions + "quarantine_size_mb=8");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::execl(CORVANA_EXECUTABLE, "corvana", "serve", "--virtual", link.c_str(), "--bus-traffic",
                "--raw-frames", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    const FileDescriptor stalled(output[0]); // never read

    QElapsedTimer timer;
    timer.start();
    while (!std::filesystem::is_symlink(link) && timer.elapsed() < 10'000) {
        std::this_thread::sleep_for(10ms);
    }
    const FileDescriptor master(::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(master.isOpen());
    Bytes frames;
    for (int i = 0; i < 512; ++i) {
        const Bytes frame = RTUFrame::build(99, Bytes{0x03, 0x00, 0x00, 0x00, 0x01});
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    std::atomic<bool> flooding = true;
    std::thread flood([&] {
        while (flooding) {
            pollfd ready{master.get(), POLLOUT, 0};
            if (::poll(&ready, 1, 50) == 1) {
                [[maybe_unused]] auto written = ::write(master.get(), frames.data(), frames.size());
            }
        }
    });
    std::this_thread::sleep_for(1s);
    const std::int64_t early = residentBytes(pid);
    std::this_thread::sleep_for(5s);
    const std::int64_t late = residentBytes(pid);
    // Unbounded, the lines waiting for the reader grew by about 90 MB a second.
    EXPECT_LT(late - early, 300 << 20) << early << " → " << late;

    ::kill(pid, SIGTERM);
    int status = 0;
    timer.restart();
    while (::waitpid(pid, &status, WNOHANG) == 0 && timer.elapsed() < 10'000) {
        std::this_thread::sleep_for(10ms);
    }
    flooding = false;
    flood.join();
    if (timer.elapsed() >= 10'000) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "SIGTERM was not obeyed";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

} // namespace

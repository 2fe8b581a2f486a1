#include "Corvana/model/VirtualPort.h"
#include "Corvana/model/ServerModel.h"

#include "TestEnvironment.h"
#include "tests/support/ModelStubs.h"
#include "tests/support/RTUMaster.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

class VirtualPortModelTest : public ::testing::Test {
protected:
    ServerModel& makeModel() {
        model.reset(); // the previous run ends before the next one starts, as in real life
        scanner = new NoScanner;
        model = std::make_unique<ServerModel>(std::unique_ptr<PortScanner>(scanner), dialogs);
        model->setOffersVirtualPort(true);
        model->init();
        model->setShowTimestamps(false);
        model->setSerial(
            {.baudRate = 115200, .parity = Parity::none}); // pseudo-terminals: no parity
        return *model;
    }
    bool startAndWait() {
        model->start();
        EXPECT_FALSE(model->errorMessage()) << model->errorMessage()->toStdString();
        return processEventsUntil([&] { return model->state() == ServerState::running; });
    }
    QStringList lines() const {
        return model->logBuffer().plainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    std::string linkPath() const {
        return environment.path("corvana/virtual-master").toStdString();
    }

    TestEnvironment environment;
    NoDialogs dialogs;
    NoScanner* scanner = nullptr;
    std::unique_ptr<ServerModel> model;
};

TEST_F(VirtualPortModelTest, AMasterOnTheLinkKeepsItsConnectionThroughStopAndStart) {
    ServerModel& m = makeModel();
    // No adapter and nothing remembered: the first list chooses the virtual port, made at once.
    scanner->onChange({});
    ASSERT_EQ(m.selectedPath(), "virtual");
    EXPECT_EQ(QSettings().value("port").toString(), "virtual");
    ASSERT_TRUE(m.virtualPort().isOpen());
    const std::string masterPath = m.virtualPort().masterPath();
    EXPECT_TRUE(masterPath.starts_with("/dev/pts/"));
    EXPECT_EQ(std::filesystem::read_symlink(linkPath()), masterPath);
    EXPECT_EQ(m.portLabel(), "Virtual port");

    ASSERT_TRUE(startAndWait());
    EXPECT_TRUE(lines().last().contains(
        QString::fromStdString("virtual port (master: " + linkPath() + " → " + masterPath + ")")))
        << lines().last().toStdString();

    const RTUMaster master = connectRTUMaster(linkPath());
    std::uint16_t holding[2] = {};
    ASSERT_EQ(modbus_read_registers(master.get(), 0, 2, holding), 2) << modbus_strerror(errno);
    EXPECT_EQ(holding[0], 200); // the example device's Setpoint 20.0 at scale 0.1
    EXPECT_EQ(holding[1], 1);

    // The master keeps its port open while the server stops and starts again.
    m.stop();
    ASSERT_TRUE(startAndWait());
    EXPECT_EQ(m.virtualPort().masterPath(), masterPath);
    ASSERT_EQ(modbus_write_register(master.get(), 1, 3), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(master.get(), 0, 2, holding), 2) << modbus_strerror(errno);
    EXPECT_EQ(holding[1], 3);

    // Quitting removes the link and hangs the line up.
    m.applicationWillEnd();
    EXPECT_FALSE(m.virtualPort().isOpen());
    EXPECT_FALSE(std::filesystem::is_symlink(linkPath()));
}

TEST_F(VirtualPortModelTest, TheChoiceIsRememberedAndMadeOnlyWhenChosen) {
    ServerModel& first = makeModel();
    first.setSelectedPath("/dev/ttyUSB0");
    EXPECT_FALSE(first.virtualPort().isOpen());
    first.setSelectedPath("virtual");
    EXPECT_TRUE(first.virtualPort().isOpen());

    // The next run offers it again before any port list, with a link of its own.
    ServerModel& next = makeModel();
    EXPECT_EQ(next.selectedPath(), "virtual");
    ASSERT_TRUE(next.virtualPort().isOpen());
    EXPECT_EQ(next.virtualPort().linkPath(), linkPath());
    EXPECT_TRUE(next.logIsEmpty());
}

TEST_F(VirtualPortModelTest, AnUnusableLinkFolderLeavesTheTerminalPathAndTheLogSaysWhy) {
    std::filesystem::create_directories(environment.path("run").toStdString());
    std::ofstream(environment.path("run/corvana").toStdString()) << "not a folder";
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(environment.path("run")));
    ServerModel& m = makeModel();
    m.setSelectedPath("virtual");
    ASSERT_TRUE(m.virtualPort().isOpen());
    const std::string masterPath = m.virtualPort().masterPath();
    EXPECT_TRUE(m.virtualPort().linkPath().empty());
    ASSERT_EQ(lines().size(), 1);
    EXPECT_EQ(lines().first().toStdString(),
              "Virtual port: no link at " + environment.path("run/corvana").toStdString() +
                  "/virtual-master (Not a directory); point the master at " + masterPath);

    ASSERT_TRUE(startAndWait());
    EXPECT_TRUE(lines().last().contains(
        QString::fromStdString("virtual port (master: " + masterPath + ") @ 115200 8N1")))
        << lines().last().toStdString();
    const RTUMaster master = connectRTUMaster(masterPath);
    std::uint16_t setpoint = 0;
    EXPECT_EQ(modbus_read_registers(master.get(), 0, 1, &setpoint), 1) << modbus_strerror(errno);
    EXPECT_EQ(setpoint, 200);
}

TEST(VirtualPort, ALinkFolderThatIsNotPrivateOrIsTakenServesWithoutLink) {
    const TestEnvironment environment;
    const std::string folder = VirtualPort::linkFolder();
    ASSERT_EQ(folder, environment.path("corvana").toStdString());
    const struct {
        const char* name;
        std::function<void()> prepare;
        std::string reason;
    } cases[] = {
        {"open to others",
         [&] {
             std::filesystem::create_directory(folder);
             ::chmod(folder.c_str(), 0777);
         },
         L10n::VirtualPort::folderNotPrivate()},
        {"a file", [&] { std::ofstream(folder) << "x"; }, "Not a directory"},
        {"someone else's file at the link",
         [&] {
             std::filesystem::create_directory(folder);
             std::ofstream(folder + "/virtual-master") << "x";
         },
         "File exists"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        c.prepare();
        VirtualPort port;
        port.open();
        EXPECT_TRUE(port.linkPath().empty());
        EXPECT_EQ(port.linkProblem(), c.reason);
        EXPECT_EQ(port.masterDescription(), port.masterPath());
    }

    // A second instance leaves the first one's link alone.
    std::filesystem::remove_all(folder);
    VirtualPort first;
    first.open();
    ASSERT_EQ(first.linkPath(), folder + "/virtual-master");
    VirtualPort second;
    second.open();
    EXPECT_EQ(second.linkProblem(), L10n::VirtualPort::linkInUse());
    EXPECT_EQ(std::filesystem::read_symlink(first.linkPath()), first.masterPath());
    // Once the first has gone, the link is free again.
    first.close();
    EXPECT_FALSE(std::filesystem::is_symlink(folder + "/virtual-master"));
    VirtualPort third;
    third.open();
    EXPECT_EQ(third.linkPath(), folder + "/virtual-master");
}

TEST(VirtualPort, WithoutARuntimeFolderTheLinkGoesIntoAPrivateFolderOfTheTemporaryFolder) {
    const TestEnvironment environment;
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(VirtualPort::linkFolder(), QFile::encodeName(QDir::tempPath()).toStdString() +
                                             "/corvana-" + std::to_string(::getuid()));
    qputenv("XDG_RUNTIME_DIR", "relative/run");
    EXPECT_TRUE(VirtualPort::linkFolder().starts_with(QDir::tempPath().toStdString()));
}

} // namespace

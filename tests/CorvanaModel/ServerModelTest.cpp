#include "Corvana/model/ServerModel.h"

#include "TestEnvironment.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/SerialLinkError.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Hands the model the lists a test feeds it, as the udev scanner would on the main thread.
class FakeScanner : public PortScanner {
public:
    void start() override {
        started = true;
        if (initial && onChange) {
            onChange(*initial);
        }
    }
    std::vector<SerialPortInfo> scan() override {
        return initial.value_or(std::vector<SerialPortInfo>{});
    }

    void feed(const std::vector<SerialPortInfo>& list) { onChange(list); }

    std::optional<std::vector<SerialPortInfo>> initial;
    bool started = false;
};

class FakeDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind kind, const QString& proposedName) override {
        askedKind = kind;
        proposed = proposedName;
        return saveLocation;
    }
    std::optional<QString> chooseOpenLocation(FileKind) override { return std::nullopt; }
    SaveChoice askSaveCurrentProject() override { return SaveChoice::cancel; }
    ImportChoice askImport(const QString&, const QString&) override { return ImportChoice::cancel; }

    std::optional<QString> saveLocation;
    std::optional<FileKind> askedKind;
    QString proposed;
};

// A pseudo-terminal pair: the model serves the device path, the test plays the master on the
// controller side and keeps the device open so the engine closing it never hangs it up.
class Pty {
public:
    Pty() {
        int controller = -1;
        int device = -1;
        std::array<char, 64> name{};
        if (::openpty(&controller, &device, name.data(), nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        controller_.reset(controller);
        device_.reset(device);
        path_ = name.data();
        termios attributes{};
        ::tcgetattr(device, &attributes);
        ::cfmakeraw(&attributes);
        ::tcsetattr(device, TCSANOW, &attributes);
        ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);
    }

    const std::string& path() const { return path_; }
    QString qPath() const { return QString::fromStdString(path_); }

    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(controller_.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // What the server answered, once `count` bytes are there or nothing more comes for a while.
    Bytes receive(std::size_t count) {
        Bytes received;
        std::array<std::uint8_t, 512> buffer{};
        pollfd request{controller_.get(), POLLIN, 0};
        while (received.size() < count && ::poll(&request, 1, 3000) > 0) {
            const ssize_t n = ::read(controller_.get(), buffer.data(), buffer.size());
            if (n <= 0) {
                break;
            }
            received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        }
        return received;
    }

    // The adapter is pulled: the terminal is gone for good.
    void closeController() { controller_.reset(); }

    // The adapter is pulled and plugged back in under the same path: every open descriptor of
    // the device is hung up, the terminal itself stays. Needs CAP_SYS_ADMIN.
    bool hangUpDevice() {
        if (::ioctl(device_.get(), TIOCVHANGUP) != 0) {
            return false;
        }
        device_.reset(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        return device_.isOpen();
    }

    // Takes the lock every cooperating serial program takes, so the port reads as busy.
    void lockDevice() {
        locked_.reset(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        ASSERT_EQ(::flock(locked_.get(), LOCK_EX | LOCK_NB), 0);
    }

private:
    FileDescriptor controller_;
    FileDescriptor device_;
    FileDescriptor locked_;
    std::string path_;
};

Bytes readHolding(std::uint8_t unit, std::uint16_t address, std::uint16_t count) {
    Bytes pdu{0x03};
    appendUInt16(pdu, address);
    appendUInt16(pdu, count);
    return RTUFrame::build(unit, pdu);
}

Bytes writeHolding(std::uint8_t unit, std::uint16_t address,
                   const std::vector<std::uint16_t>& values) {
    Bytes pdu{0x10};
    appendUInt16(pdu, address);
    appendUInt16(pdu, static_cast<std::uint16_t>(values.size()));
    pdu.push_back(static_cast<std::uint8_t>(values.size() * 2));
    for (const auto value : values) {
        appendUInt16(pdu, value);
    }
    return RTUFrame::build(unit, pdu);
}

SerialPortInfo port(std::string path, std::optional<int> vendor = std::nullopt) {
    SerialPortInfo info;
    info.path = std::move(path);
    info.vendorID = vendor;
    if (vendor) {
        info.productID = 0x6001;
    }
    return info;
}

ServerUnit unit(std::uint8_t address, bool enabled = true) {
    ServerUnit u;
    u.unitID = address;
    u.enabled = enabled;
    return u;
}

Datapoint point(std::string name, std::uint8_t unitID, RegisterTable table, std::uint16_t address,
                DataType type = DataType::uint16, double scale = 1,
                std::string engineeringUnit = {}) {
    Datapoint p;
    p.name = std::move(name);
    p.unitID = unitID;
    p.table = table;
    p.address = address;
    p.dataType = table.isBit() ? DataType(DataType::bool_) : type;
    p.scale = scale;
    p.engineeringUnit = std::move(engineeringUnit);
    return p;
}

class ServerModelTest : public ::testing::Test {
protected:
    // Made after the environment so that nothing of it reads the user's settings.
    ServerModel& makeModel(std::optional<std::vector<SerialPortInfo>> initialPorts = std::nullopt) {
        auto fakeScanner = std::make_unique<FakeScanner>();
        fakeScanner->initial = std::move(initialPorts);
        scanner = fakeScanner.get();
        model = std::make_unique<ServerModel>(std::move(fakeScanner), dialogs);
        model->init();
        return *model;
    }

    // Serves the pty with timestamps off so lines compare as plain text.
    ServerModel& runningModel(Pty& pty) {
        ServerModel& m = makeModel();
        m.setShowTimestamps(false);
        m.setSelectedPath(pty.qPath());
        m.start();
        EXPECT_FALSE(m.errorMessage());
        EXPECT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
        return m;
    }

    QStringList lines() const {
        return model->output().plainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Counts the emissions of one change signal.
    template <class Signal>
    std::shared_ptr<int> count(Signal signal) {
        auto counter = std::make_shared<int>(0);
        QObject::connect(model.get(), signal, model.get(), [counter] { ++*counter; });
        return counter;
    }

    TestEnvironment environment;
    FakeDialogs dialogs;
    FakeScanner* scanner = nullptr;
    std::unique_ptr<ServerModel> model;
};

// --- Start-up and preferences ---

TEST_F(ServerModelTest, InitLoadsTheExampleAndWritesNothing) {
    ServerModel& m = makeModel(std::vector{port("/dev/ttyS0")});

    EXPECT_EQ(m.units().size(), 1u);
    EXPECT_EQ(m.datapoints().size(), 7u);
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(1));
    EXPECT_TRUE(m.conflicts().empty());
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_TRUE(m.outputIsEmpty());
    EXPECT_TRUE(m.liveValues().empty());
    EXPECT_TRUE(scanner->started);
    EXPECT_EQ(m.ports().size(), 1u);
    // The store is configured with the datapoints' own values.
    const Datapoint& setpoint = m.datapoints()[3];
    EXPECT_EQ(setpoint.name, "Setpoint");
    // Not a single key was written, not even the defaults.
    EXPECT_TRUE(QSettings().allKeys().isEmpty());
}

TEST_F(ServerModelTest, PreferencesReadTheirDefaultsAndWriteOnChange) {
    struct Flag {
        const char* key;
        bool fallback;
        bool (ServerModel::*get)() const;
        void (ServerModel::*set)(bool);
    };
    const Flag flags[] = {
        {"timestamps", true, &ServerModel::showTimestamps, &ServerModel::setShowTimestamps},
        {"rawFrames", false, &ServerModel::showRawFrames, &ServerModel::setShowRawFrames},
        {"busTraffic", false, &ServerModel::showBusTraffic, &ServerModel::setShowBusTraffic},
        {"autoscroll", true, &ServerModel::autoscroll, &ServerModel::setAutoscroll},
    };
    {
        ServerModel& m = makeModel();
        EXPECT_EQ(m.selectedPath(), QString());
        for (const Flag& flag : flags) {
            SCOPED_TRACE(flag.key);
            EXPECT_EQ((m.*flag.get)(), flag.fallback);
            (m.*flag.set)(!flag.fallback);
            EXPECT_EQ(QSettings().value(flag.key).toBool(), !flag.fallback);
        }
        m.setSelectedPath("/dev/ttyUSB3");
        EXPECT_EQ(QSettings().value("port").toString(), "/dev/ttyUSB3");
        EXPECT_FALSE(m.output().autoscroll());
    }
    // A second run reads what the first wrote.
    ServerModel& again = makeModel();
    EXPECT_EQ(again.selectedPath(), "/dev/ttyUSB3");
    for (const Flag& flag : flags) {
        SCOPED_TRACE(flag.key);
        EXPECT_EQ((again.*flag.get)(), !flag.fallback);
    }
    EXPECT_FALSE(again.output().autoscroll());
}

TEST_F(ServerModelTest, PreferencesThatAreNoBooleanReadAsTheirDefault) {
    QSettings().setValue("timestamps", "maybe");
    QSettings().setValue("rawFrames", 7);
    QSettings().setValue("autoscroll", "false");
    ServerModel& m = makeModel();
    EXPECT_TRUE(m.showTimestamps());
    EXPECT_FALSE(m.showRawFrames());
    EXPECT_FALSE(m.autoscroll());
}

// --- Start and stop ---

TEST_F(ServerModelTest, StartRefusesWithoutPortOrUnits) {
    struct Case {
        bool withPort;
        bool withUnits;
        const char* message;
    };
    const Case cases[] = {
        {false, false, "Select a serial port first."},
        {false, true, "Select a serial port first."},
        {true, false, "Add a unit first."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ServerModel& m = makeModel();
        if (c.withPort) {
            m.setSelectedPath("/dev/ttyUSB0");
        }
        if (!c.withUnits) {
            m.setUnits({});
        }
        EXPECT_FALSE(m.canStart());
        m.start();
        EXPECT_EQ(m.errorMessage(), QString(c.message));
        EXPECT_EQ(m.state(), ServerState::stopped);
        EXPECT_TRUE(m.outputIsEmpty());
    }
}

TEST_F(ServerModelTest, BusyPortReportsTheLinkErrorAndStaysStopped) {
    Pty pty;
    pty.lockDevice();
    ServerModel& m = makeModel();
    m.setSelectedPath(pty.qPath());
    ASSERT_TRUE(m.canStart());
    m.start();
    const SerialLinkError busy(SerialLinkError::busy, pty.path());
    EXPECT_EQ(m.errorMessage(), QString::fromStdString(busy.message()));
    EXPECT_EQ(m.state(), ServerState::stopped);
    // A second try is possible: no engine was kept.
    m.setErrorMessage(std::nullopt);
    m.start();
    EXPECT_TRUE(m.errorMessage());
}

TEST_F(ServerModelTest, ServesRequestsAndLogsStartAndStop) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    const QString started = "--- Server started on " + pty.qPath() + " @ 9600 8E1 · units 1 ---";
    EXPECT_EQ(lines(), QStringList{started});
    EXPECT_FALSE(m.outputIsEmpty());
    // start fills the live values from the freshly reset store.
    EXPECT_EQ(m.liveValues().size(), m.datapoints().size());

    // Setpoint (int16, 0.1) holds 20.0 as 200, Mode holds 1.
    pty.send(readHolding(1, 0, 2));
    const Bytes answer = pty.receive(9);
    EXPECT_EQ(answer, RTUFrame::build(1, Bytes{0x03, 0x04, 0x00, 0xC8, 0x00, 0x01}));
    ASSERT_TRUE(processEventsUntil([&] { return m.statistics().responses == 1; }));
    EXPECT_EQ(m.statistics().requests, 1);
    EXPECT_EQ(m.statistics().exceptions, 0);
    EXPECT_EQ(lines().size(), 3);

    m.stop();
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_EQ(lines().back(), "--- Server stopped ---");
    // Stopping twice writes nothing more.
    m.stop();
    EXPECT_EQ(lines().size(), 4);
}

TEST_F(ServerModelTest, StartedLineListsOnlyEnabledUnitsAndTimestampsLeadEveryLine) {
    Pty pty;
    ServerModel& m = makeModel();
    m.setUnits({unit(1), unit(5, false), unit(7)});
    m.setSelectedPath(pty.qPath());
    m.start();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    const QString line = lines().value(0);
    const QRegularExpression pattern(
        "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  --- Server started on .* · units 1, 7 ---$");
    EXPECT_TRUE(pattern.match(line).hasMatch()) << line.toStdString();
}

TEST_F(ServerModelTest, EventsQueuedBeforeStopChangeNothing) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    // The engine posts request and response while the test holds the event loop still.
    pty.send(readHolding(1, 0, 1));
    EXPECT_EQ(pty.receive(7).size(), 7u);
    m.stop();
    processEventsUntil([] { return false; }, 100ms);
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    EXPECT_EQ(lines().size(), 2); // started, stopped
}

TEST_F(ServerModelTest, EventsOfAnEarlierEngineDoNotCountIntoANewRun) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    pty.send(readHolding(1, 0, 1));
    EXPECT_EQ(pty.receive(7).size(), 7u);
    m.stop();
    m.start(); // before the old engine's events ran
    ASSERT_FALSE(m.errorMessage());
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    processEventsUntil([] { return false; }, 100ms);
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    const QStringList all = lines();
    ASSERT_EQ(all.size(), 3);
    EXPECT_TRUE(all[2].startsWith("--- Server started on"));
}

// --- Events ---

TEST_F(ServerModelTest, EveryEventCountsByItsCase) {
    struct Case {
        const char* name;
        ServerEvent event;
        ServerStatistics expected;
        bool writesLine;
    };
    const Bytes frame = RTUFrame::build(9, Bytes{0x03, 0x00, 0x00, 0x00, 0x01});
    const Case cases[] = {
        {"request", ServerEvent::request(1, {0x03, 0, 0, 0, 1}, frame), {1, 0, 0, 0, 0}, true},
        {"response",
         ServerEvent::response(1, {0x03, 2, 0, 1}, frame, false),
         {0, 1, 0, 0, 0},
         true},
        {"exception", ServerEvent::response(1, {0x83, 0x02}, frame, true), {0, 1, 1, 0, 0}, true},
        {"one byte 83", ServerEvent::response(1, {0x83}, frame, false), {0, 1, 0, 0, 0}, true},
        {"broadcast", ServerEvent::broadcast({0x06, 0, 1, 0, 5}, frame), {1, 0, 0, 0, 0}, true},
        {"silent", ServerEvent::silent(2), {}, true},
        {"other unit hidden", ServerEvent::otherUnit(9, frame), {0, 0, 0, 1, 0}, false},
        {"bus response hidden", ServerEvent::busResponse(frame), {}, false},
        {"garbage", ServerEvent::garbage(Bytes(40, 0xFF)), {0, 0, 0, 0, 1}, true},
    };
    ServerModel& m = makeModel();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m.clearLog();
        m.handleEvent(c.event);
        EXPECT_EQ(m.statistics(), c.expected);
        EXPECT_EQ(m.outputIsEmpty(), !c.writesLine);
    }
    // With bus traffic shown, other units' requests get a line as well.
    m.setShowBusTraffic(true);
    m.clearLog();
    m.handleEvent(ServerEvent::otherUnit(9, frame));
    EXPECT_FALSE(m.outputIsEmpty());
    EXPECT_EQ(m.statistics().otherUnits, 1);
}

TEST_F(ServerModelTest, ClearLogEmptiesTheLogAndTheCounters) {
    ServerModel& m = makeModel();
    const auto empty = count(&ServerModel::outputIsEmptyChanged);
    m.handleEvent(ServerEvent::garbage({1, 2, 3}));
    EXPECT_FALSE(m.outputIsEmpty());
    m.clearLog();
    EXPECT_TRUE(m.outputIsEmpty());
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    EXPECT_TRUE(m.output().plainText().isEmpty());
    m.handleEvent(ServerEvent::silent(1));
    EXPECT_FALSE(m.outputIsEmpty());
    EXPECT_EQ(*empty, 3);
}

TEST_F(ServerModelTest, NoiseHintOnTheThirdGarbageUntilDismissedForTheRun) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    const auto garbage = ServerEvent::garbage({0x01, 0x02});
    m.handleEvent(garbage);
    m.handleEvent(garbage);
    EXPECT_FALSE(m.showNoiseHint());
    m.handleEvent(garbage);
    EXPECT_TRUE(m.showNoiseHint());
    m.dismissNoiseHint();
    EXPECT_FALSE(m.showNoiseHint());
    m.handleEvent(garbage);
    EXPECT_FALSE(m.showNoiseHint());

    // A new run counts from zero and may show the hint again.
    m.stop();
    m.start();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    m.handleEvent(garbage);
    m.handleEvent(garbage);
    EXPECT_FALSE(m.showNoiseHint());
    m.handleEvent(garbage);
    EXPECT_TRUE(m.showNoiseHint());
    m.stop();
    EXPECT_FALSE(m.showNoiseHint());
}

TEST_F(ServerModelTest, MasterWritesUpdateLiveValuesAndLogOneLinePerDatapoint) {
    Pty pty;
    ServerModel& m = makeModel();
    m.setShowTimestamps(false);
    m.setDatapoints({
        point("Level", 1, RegisterTable::holdingRegister, 5, DataType::uint16, 0.1, "m"),
        point("", 1, RegisterTable::coil, 5),
        point("", 1, RegisterTable::holdingRegister, 6, DataType::int16),
        point("Flow", 1, RegisterTable::holdingRegister, 7, DataType::float32, 1, "l/s"),
    });
    m.setSelectedPath(pty.qPath());
    m.start();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));

    // Three registers: Level, the unnamed int16 and only the first half of Flow.
    pty.send(writeHolding(1, 5, {123, 0xFFFE, 0x4148}));
    EXPECT_EQ(pty.receive(8).size(), 8u);
    ASSERT_TRUE(processEventsUntil([&] { return m.statistics().responses == 1; }));

    const QStringList all = lines();
    ASSERT_EQ(all.size(), 6);
    EXPECT_EQ(all[2], "✎ Unit 1 · Level = 12.3 m");
    EXPECT_EQ(all[3], "✎ Unit 1 · HR 6 = -2");
    EXPECT_EQ(all[4], "✎ Unit 1 · Flow = 12.5 l/s");
    const auto& points = m.datapoints();
    EXPECT_NEAR(m.liveValues().at(points[0].id), 12.3, 1e-9);
    EXPECT_EQ(m.liveValues().at(points[2].id), -2);
    EXPECT_EQ(m.liveValues().at(points[3].id), 12.5);
    EXPECT_EQ(m.displayValue(points[3]), 12.5);
    // The master changes the store and the live values, never the datapoints themselves.
    EXPECT_EQ(points[0].value, 0);
}

// --- Serial loss and reopening ---

TEST_F(ServerModelTest, ClosedPortIsLostAndTheSimulationGoesOn) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    const UUID runTime = m.datapoints()[2].id; // a counter
    auto now = std::chrono::steady_clock::now();
    m.setClock([&] { return now; });

    pty.closeController();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::serialLost; }));
    EXPECT_EQ(lines().back(), "Serial port " + pty.qPath() + " is gone; waiting for it to return");
    const double before = m.liveValues().at(runTime);
    now += 3s;
    EXPECT_TRUE(processEventsUntil([&] { return m.liveValues().at(runTime) != before; }));

    // A port list without the path changes nothing; stop ends the wait.
    scanner->feed({port("/dev/ttyUSB0", 0x0403)});
    EXPECT_EQ(m.state(), ServerState::serialLost);
    m.stop();
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_EQ(lines().back(), "--- Server stopped ---");
}

TEST_F(ServerModelTest, ReturningPortIsReopenedAfterAPause) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    m.handleEvent(ServerEvent::garbage({1}));
    if (!pty.hangUpDevice()) {
        GTEST_SKIP() << "hanging up a terminal needs CAP_SYS_ADMIN";
    }
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::serialLost; }));

    scanner->feed({port(pty.path())});
    EXPECT_EQ(m.state(), ServerState::serialLost); // not at once
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    const QStringList all = lines();
    ASSERT_GE(all.size(), 3);
    EXPECT_EQ(all[all.size() - 2], "--- Serial port open again ---");
    EXPECT_TRUE(all.back().startsWith("--- Server started on " + pty.qPath()));
    // Reopening keeps the run's counters.
    EXPECT_EQ(m.statistics().errors, 1);

    pty.send(readHolding(1, 1, 1));
    EXPECT_EQ(pty.receive(7), RTUFrame::build(1, Bytes{0x03, 0x02, 0x00, 0x01}));
}

// --- Port lists ---

TEST_F(ServerModelTest, PortListsMoveTheSelectionByTheRules) {
    const auto usb0 = port("/dev/ttyUSB0", 0x0403);
    const auto usb1 = port("/dev/ttyUSB1", 0x1A86);
    const auto internal = port("/dev/ttyS0");
    struct Case {
        const char* name;
        const char* stored;
        std::vector<std::vector<SerialPortInfo>> lists;
        const char* expected;
    };
    const Case cases[] = {
        {"first list, stored port absent",
         "/dev/ttyACM4",
         {{internal, usb0, usb1}},
         "/dev/ttyUSB0"},
        {"first list, no stored port", "", {{internal, usb1}}, "/dev/ttyUSB1"},
        {"first list, no USB adapter", "/dev/ttyACM4", {{internal}}, "/dev/ttyACM4"},
        {"first list, stored internal port present",
         "/dev/ttyS0",
         {{internal, usb0}},
         "/dev/ttyS0"},
        {"new adapter replaces an internal port",
         "/dev/ttyS0",
         {{internal}, {internal, usb0}},
         "/dev/ttyUSB0"},
        {"present adapter stays", "/dev/ttyUSB0", {{usb0}, {usb0, usb1}}, "/dev/ttyUSB0"},
        {"new adapter replaces a missing one",
         "/dev/ttyUSB0",
         {{usb0}, {}, {usb1}},
         "/dev/ttyUSB1"},
        {"vanished adapter gives way to another",
         "/dev/ttyUSB0",
         {{usb0, usb1}, {usb1}, {usb0, usb1}},
         "/dev/ttyUSB1"},
        {"returning adapter stays selected",
         "/dev/ttyUSB0",
         {{usb0}, {internal}, {internal, usb0}},
         "/dev/ttyUSB0"},
        {"empty list keeps the selection", "/dev/ttyUSB0", {{}}, "/dev/ttyUSB0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSettings().clear();
        if (*c.stored) {
            QSettings().setValue("port", c.stored);
        }
        ServerModel& m = makeModel();
        for (const auto& list : c.lists) {
            scanner->feed(list);
        }
        EXPECT_EQ(m.selectedPath(), c.expected);
        EXPECT_EQ(m.ports(), c.lists.back());
        EXPECT_EQ(QSettings().value("port").toString(), c.expected);
    }
}

TEST_F(ServerModelTest, PortListsLeaveARunningServerAlone) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    scanner->feed({port("/dev/ttyS0")});
    scanner->feed({port("/dev/ttyS0"), port("/dev/ttyUSB0", 0x0403)});
    EXPECT_EQ(m.selectedPath(), pty.qPath());
    EXPECT_EQ(m.state(), ServerState::running);
    EXPECT_EQ(m.ports().size(), 2u);
}

TEST_F(ServerModelTest, PortLabelNamesTheChosenPort) {
    ServerModel& m = makeModel();
    EXPECT_EQ(m.portLabel(), "Corvana");
    m.setSelectedPath("/dev/ttyS3");
    EXPECT_EQ(m.portLabel(), "ttyS3");
    auto adapter = port("/dev/ttyUSB0", 0x0403);
    scanner->feed({adapter});
    EXPECT_EQ(m.selectedPath(), "/dev/ttyUSB0");
    EXPECT_EQ(m.portLabel(), QString::fromStdString(adapter.shortName()));
}

// --- Log export ---

TEST_F(ServerModelTest, SaveLogWritesThePlainTextOrReportsTheFailure) {
    ServerModel& m = makeModel();
    m.setShowTimestamps(false);
    m.handleEvent(ServerEvent::silent(3));

    m.saveLog(); // cancelled
    EXPECT_EQ(dialogs.askedKind, ModelDialogs::FileKind::logText);
    EXPECT_TRUE(dialogs.proposed.startsWith("corvana-log-"));
    EXPECT_FALSE(m.errorMessage());

    dialogs.saveLocation = environment.path("log.txt");
    m.saveLog();
    QFile file(*dialogs.saveLocation);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), "✕ Unit 3 does not answer (simulated fault)\n");

    dialogs.saveLocation = environment.path("missing/folder/log.txt");
    m.saveLog();
    ASSERT_TRUE(m.errorMessage());
    EXPECT_TRUE(m.errorMessage()->startsWith("Saving failed: ")) << m.errorMessage()->toStdString();
}

// --- Live values and simulation ---

TEST_F(ServerModelTest, SimulationReadsValuesBackThroughTheCodec) {
    Pty pty;
    auto now = std::chrono::steady_clock::now();
    ServerModel& m = makeModel();
    m.setClock([&] { return now; });
    m.setSelectedPath(pty.qPath());
    const Datapoint temperature = m.datapoints()[0]; // int16, scale 0.1, sine 18…24 over 60 s
    ASSERT_EQ(temperature.dataType, DataType::int16);

    m.start();
    // One tick at once: a sine starts in the middle of its range.
    EXPECT_NEAR(m.liveValues().at(temperature.id), 21.0, 1e-9);

    now += 7s;
    const double raw = *temperature.simulation.valueAt(7);
    ASSERT_TRUE(processEventsUntil([&] { return m.liveValues().at(temperature.id) != 21.0; }));
    const double live = m.liveValues().at(temperature.id);
    EXPECT_NEAR(live, std::round(raw * 10) / 10, 1e-9);
    EXPECT_GT(std::abs(live - raw), 1e-3);

    // After stop the last values stay; the next start begins at elapsed 0 again.
    m.stop();
    EXPECT_EQ(m.liveValues().at(temperature.id), live);
    m.start();
    EXPECT_NEAR(m.liveValues().at(temperature.id), 21.0, 1e-9);
    m.stop();
}

TEST_F(ServerModelTest, SetValueStoresTheRoundedValueAsLiveValue) {
    ServerModel& m = makeModel();
    const UUID setpoint = m.datapoints()[3].id; // int16, scale 0.1
    m.setValue(setpoint, 21.57);
    EXPECT_EQ(m.datapoints()[3].value, 21.57);
    EXPECT_NEAR(m.liveValues().at(setpoint), 21.6, 1e-9);
    EXPECT_NEAR(m.displayValue(m.datapoints()[3]), 21.6, 1e-9);
    // Beyond the type's range the registers clamp.
    m.setValue(setpoint, 1e6);
    EXPECT_NEAR(m.liveValues().at(setpoint), 3276.7, 1e-9);

    const auto before = m.datapoints();
    m.setValue(UUID::random(), 5);
    EXPECT_EQ(m.datapoints(), before);
}

TEST_F(ServerModelTest, RefreshCompletesLiveValuesOnlyWhileServing) {
    ServerModel& m = makeModel();
    const auto stoppedID = m.addDatapoint();
    ASSERT_TRUE(stoppedID);
    EXPECT_FALSE(m.liveValues().contains(*stoppedID));

    Pty pty;
    m.setSelectedPath(pty.qPath());
    m.start();
    ASSERT_TRUE(processEventsUntil([&] { return m.state() == ServerState::running; }));
    const auto runningID = m.addDatapoint();
    ASSERT_TRUE(runningID);
    EXPECT_EQ(m.liveValues().at(*runningID), 0);
    // Deleting keeps the entry; it is harmless and goes with the next start.
    m.deleteDatapoints({*runningID});
    EXPECT_TRUE(m.liveValues().contains(*runningID));
    m.stop();
}

TEST_F(ServerModelTest, ConflictsArePublishedOnlyWhenTheyChange) {
    ServerModel& m = makeModel();
    const auto changes = count(&ServerModel::conflictsChanged);
    const auto wide = point("", 1, RegisterTable::holdingRegister, 10, DataType::float32);
    const auto narrow = point("", 1, RegisterTable::holdingRegister, 11);
    const auto input = point("", 1, RegisterTable::inputRegister, 10, DataType::float32);
    m.setDatapoints({wide, narrow, input});
    EXPECT_EQ(m.conflicts(), (std::unordered_set<UUID>{wide.id, narrow.id}));
    EXPECT_TRUE(m.isConflict(narrow.id));
    EXPECT_FALSE(m.isConflict(input.id));
    EXPECT_EQ(*changes, 1);
    m.setSerial(SerialConfiguration{19200, 8, Parity::none, 1});
    EXPECT_EQ(*changes, 1);
    m.deleteDatapoints({narrow.id});
    EXPECT_TRUE(m.conflicts().empty());
    EXPECT_EQ(*changes, 2);
}

// --- Editing ---

TEST_F(ServerModelTest, AddDatapointNeedsASelectedUnitAndFollowsItsTemplate) {
    ServerModel& m = makeModel();
    const auto flt = point("Flow", 1, RegisterTable::holdingRegister, 0, DataType::float32);
    const auto after = point("", 1, RegisterTable::holdingRegister, 3);
    m.setDatapoints({flt, after});

    m.setSelectedUnitID(std::nullopt);
    EXPECT_FALSE(m.addDatapoint(flt.id));
    EXPECT_EQ(m.datapoints().size(), 2u);

    m.setSelectedUnitID(1);
    const auto id = m.addDatapoint(flt.id);
    ASSERT_TRUE(id);
    ASSERT_EQ(m.datapoints().size(), 3u);
    const Datapoint& added = m.datapoints()[1];
    EXPECT_EQ(added.id, *id);
    EXPECT_EQ(added.address, 2);
    EXPECT_EQ(added.name, "HR 2");
    EXPECT_EQ(added.dataType, DataType::float32);
    EXPECT_EQ(m.selectedUnitPoints().size(), 3u);
    // The store knows it at once: a new float32 at 2–3 overlaps the datapoint at 3.
    EXPECT_TRUE(m.isConflict(*id));
}

TEST_F(ServerModelTest, DuplicateDeleteAndTableChanges) {
    ServerModel& m = makeModel();
    const auto source = point("Level", 1, RegisterTable::holdingRegister, 4, DataType::uint32);
    const auto other = point("Gate", 1, RegisterTable::coil, 0);
    m.setDatapoints({source, other});

    const auto copies = m.duplicateDatapoints({source.id, UUID::random()});
    ASSERT_EQ(copies.size(), 1u);
    ASSERT_EQ(m.datapoints().size(), 3u);
    EXPECT_EQ(m.datapoints()[1].id, copies[0]);
    EXPECT_EQ(m.datapoints()[1].name, "Level");
    EXPECT_EQ(m.datapoints()[1].address, 6);
    EXPECT_TRUE(m.conflicts().empty());

    m.setTable(source.id, RegisterTable::coil);
    EXPECT_EQ(m.table(source.id), RegisterTable::coil);
    EXPECT_EQ(m.datapoints()[0].dataType, DataType::bool_);
    EXPECT_EQ(m.table(UUID::random()), RegisterTable::holdingRegister);
    // Coil 4 and coil 0 do not meet; the copy in the holding registers is alone.
    EXPECT_TRUE(m.conflicts().empty());

    m.deleteDatapoints({source.id, other.id});
    ASSERT_EQ(m.datapoints().size(), 1u);
    EXPECT_EQ(m.datapoints()[0].id, copies[0]);
}

TEST_F(ServerModelTest, UnitsAreAddedDeletedAndRenumberedWithTheirDatapoints) {
    ServerModel& m = makeModel();
    m.setUnits({unit(1), unit(3), unit(4)});
    m.setDatapoints({point("A", 3, RegisterTable::holdingRegister, 0),
                     point("B", 1, RegisterTable::holdingRegister, 0)});

    m.addUnit();
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(2));
    ASSERT_EQ(m.units().size(), 4u);
    EXPECT_EQ(m.units()[1].unitID, 2);
    EXPECT_TRUE(m.units()[1].name.empty());

    struct Renumber {
        std::uint8_t from;
        std::uint8_t to;
        bool accepted;
    };
    for (const Renumber r : {Renumber{3, 4, false}, Renumber{3, 0, false}, Renumber{3, 248, false},
                             Renumber{9, 10, false}, Renumber{3, 3, true}}) {
        SCOPED_TRACE(std::to_string(r.from) + " → " + std::to_string(r.to));
        const auto units = m.units();
        const auto points = m.datapoints();
        EXPECT_EQ(m.changeUnitAddress(r.from, r.to), r.accepted);
        EXPECT_EQ(m.units(), units);
        EXPECT_EQ(m.datapoints(), points);
    }
    m.setSelectedUnitID(3);
    EXPECT_TRUE(m.changeUnitAddress(3, 9));
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(9));
    EXPECT_EQ(m.units().back().unitID, 9);
    EXPECT_EQ(m.datapoints()[0].unitID, 9);
    EXPECT_EQ(m.selectedUnitPoints().size(), 1u);

    m.deleteUnit(9);
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(1));
    ASSERT_EQ(m.datapoints().size(), 1u);
    EXPECT_EQ(m.datapoints()[0].name, "B");
    EXPECT_EQ(m.units().size(), 3u);

    // With all 247 addresses in use nothing is added.
    std::vector<ServerUnit> full;
    for (int a = 1; a <= 247; ++a) {
        full.push_back(unit(static_cast<std::uint8_t>(a)));
    }
    m.setUnits(full);
    m.addUnit();
    EXPECT_EQ(m.units().size(), 247u);
}

TEST_F(ServerModelTest, FieldEditsReachTheStore) {
    Pty pty;
    ServerModel& m = runningModel(pty);
    Datapoint mode = m.datapoints()[4]; // holding register 1
    mode.address = 9;
    m.updateDatapoint(mode);
    EXPECT_EQ(m.datapoints()[4].address, 9);
    ServerUnit device = m.units()[0];
    device.undefinedAddresses = ServerUnit::UndefinedAddresses::zero;
    m.updateUnit(device);

    // Register 9 now holds Mode's 1; the undefined register 8 reads 0 instead of an exception.
    pty.send(readHolding(1, 8, 2));
    EXPECT_EQ(pty.receive(9), RTUFrame::build(1, Bytes{0x03, 0x04, 0x00, 0x00, 0x00, 0x01}));
}

} // namespace

#include "Corvana/model/ServerModel.h"

#include "TestEnvironment.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/SerialLinkError.h"
#include "tests/support/PseudoTerminal.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <cmath>
#include <sstream>

using namespace std::chrono_literals;

namespace {

using PortList = std::vector<SerialPortInfo>;

// Hands the model the lists a test feeds it, as the udev scanner would on the main thread.
class FakeScanner : public PortScanner {
public:
    void start() override {
        if (initial && onChange) {
            onChange(*initial);
        }
    }
    PortList scan() override { return initial.value_or(PortList{}); }

    std::optional<PortList> initial;
};

class FakeDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind, const QString&) override {
        return saveLocation;
    }
    std::optional<QString> chooseOpenLocation(FileKind) override { return std::nullopt; }
    SaveChoice askSaveCurrentProject() override { return SaveChoice::cancel; }
    ImportChoice askImport(const QString&, const QString&) override { return ImportChoice::cancel; }

    std::optional<QString> saveLocation;
};

// The model serves the terminal's device path; the test plays the master.
class Pty : public PseudoTerminal {
public:
    Pty()
        : PseudoTerminal(3s) {}

    QString qPath() const { return QString::fromStdString(path()); }

    // Sends a request to unit 1; the answer, once `count` bytes are there or nothing more comes.
    Bytes ask(const Bytes& pdu, std::size_t count) {
        send(RTUFrame::build(1, pdu));
        return receive(count);
    }

    // Takes the lock every cooperating serial program takes, so the port reads as busy.
    void lockDevice() {
        locked_.reset(::open(path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        ASSERT_EQ(::flock(locked_.get(), LOCK_EX | LOCK_NB), 0);
    }

private:
    FileDescriptor locked_;
};

// "ttyS0 ttyUSB0 | ttyUSB1": port lists separated by "|", paths under /dev/ unless absolute;
// ttyUSB… are USB adapters with a vendor id, all others have none.
std::vector<PortList> portLists(const std::string& text) {
    std::vector<PortList> lists(1);
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word == "|") {
            lists.emplace_back();
            continue;
        }
        SerialPortInfo& info = lists.back().emplace_back();
        info.path = word.starts_with('/') ? word : "/dev/" + word;
        if (word.starts_with("ttyUSB")) {
            info.vendorID = 0x0403;
            info.productID = 0x6001;
        }
    }
    return lists;
}

ServerUnit unit(std::uint8_t address, bool enabled = true) {
    ServerUnit u;
    u.unitID = address;
    u.enabled = enabled;
    return u;
}

// A bit table makes it bool.
Datapoint point(std::string name, RegisterTable table, std::uint16_t address,
                DataType type = DataType::uint16, double scale = 1, std::string unit = {}) {
    return Datapoint(UUID::random(), std::move(name), 1, table, address, type, WordOrder::abcd,
                     scale, std::move(unit), DisplayFormat::decimal, 0, "", Simulation{});
}

constexpr auto holding = RegisterTable::holdingRegister;

// Lets queued events run for a while, for checks that nothing happens.
void settle() {
    processEventsUntil([] { return false; }, 100ms);
}

class ServerModelTest : public ::testing::Test {
protected:
    // Made after the environment so that nothing of it reads the user's settings. The simulation
    // runs on the test's clock.
    ServerModel& makeModel(std::optional<PortList> initialPorts = std::nullopt) {
        auto fakeScanner = std::make_unique<FakeScanner>();
        fakeScanner->initial = std::move(initialPorts);
        scanner = fakeScanner.get();
        model = std::make_unique<ServerModel>(std::move(fakeScanner), dialogs);
        model->setClock([this] { return now; });
        model->init();
        return *model;
    }

    // Serves the pty with timestamps off so lines compare as plain text.
    ServerModel& runningModel(std::vector<Datapoint> datapoints = {}) {
        ServerModel& m = makeModel();
        m.setShowTimestamps(false);
        if (!datapoints.empty()) {
            m.setDatapoints(std::move(datapoints));
        }
        m.setSelectedPath(pty.qPath());
        m.start();
        EXPECT_FALSE(m.errorMessage());
        EXPECT_TRUE(waitFor(ServerState::running));
        return m;
    }

    bool waitFor(ServerState state) {
        return processEventsUntil([&] { return model->state() == state; });
    }
    void feed(const std::string& lists) {
        for (const auto& list : portLists(lists)) {
            scanner->onChange(list);
        }
    }
    QStringList lines() const {
        return model->output().plainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    TestEnvironment environment;
    Pty pty;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    FakeDialogs dialogs;
    FakeScanner* scanner = nullptr;
    std::unique_ptr<ServerModel> model;
};

TEST_F(ServerModelTest, InitReadsPreferencesWithoutWritingAndEachChangeWritesItsKey) {
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
    ServerModel& m = makeModel(portLists("ttyS0")[0]);
    EXPECT_EQ(m.datapoints().size(), 7u);
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(1));
    EXPECT_TRUE(m.liveValues().empty());
    EXPECT_EQ(m.ports(), portLists("ttyS0")[0]);  // the scanner was started
    EXPECT_EQ(m.portLabel(), "Corvana");          // no port chosen
    EXPECT_TRUE(QSettings().allKeys().isEmpty()); // not even the defaults
    for (const Flag& flag : flags) {
        EXPECT_EQ((m.*flag.get)(), flag.fallback) << flag.key;
        (m.*flag.set)(!flag.fallback);
        EXPECT_EQ(QSettings().value(flag.key).toBool(), !flag.fallback) << flag.key;
    }
    EXPECT_FALSE(m.output().autoscroll());
    m.setSelectedPath("/dev/ttyUSB3");
    EXPECT_EQ(QSettings().value("port").toString(), "/dev/ttyUSB3");
    EXPECT_EQ(m.portLabel(), "ttyUSB3"); // not in the list
    feed("ttyS0 ttyUSB0");               // a new adapter takes over and is named
    EXPECT_EQ(m.portLabel(), QString::fromStdString(m.ports()[1].shortName()));

    // A second run reads what the first wrote; values that are no boolean read as the default.
    ServerModel& again = makeModel();
    EXPECT_EQ(again.selectedPath(), "/dev/ttyUSB0");
    for (const Flag& flag : flags) {
        EXPECT_EQ((again.*flag.get)(), !flag.fallback) << flag.key;
    }
    EXPECT_FALSE(again.output().autoscroll());
    QSettings().setValue("timestamps", "maybe");
    QSettings().setValue("rawFrames", 7);
    ServerModel& third = makeModel();
    EXPECT_TRUE(third.showTimestamps());
    EXPECT_FALSE(third.showRawFrames());
}

TEST_F(ServerModelTest, StartRefusesWithAnErrorAndStaysStopped) {
    pty.lockDevice();
    struct Case {
        QString path;
        bool withUnits;
        std::string message;
    };
    const Case cases[] = {
        {"", false, "Select a serial port first."},
        {"", true, "Select a serial port first."},
        {"/dev/ttyUSB0", false, "Add a unit first."},
        {pty.qPath(), true, SerialLinkError(SerialLinkError::busy, pty.path()).message()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ServerModel& m = makeModel();
        m.setSelectedPath(c.path);
        if (!c.withUnits) {
            m.setUnits({});
        }
        EXPECT_EQ(m.canStart(), c.withUnits && !c.path.isEmpty());
        // Twice: a failed start keeps no engine that would swallow the second try.
        for (int attempt = 0; attempt < 2; ++attempt) {
            m.setErrorMessage(std::nullopt);
            m.start();
            EXPECT_EQ(m.errorMessage(), QString::fromStdString(c.message));
        }
        EXPECT_EQ(m.state(), ServerState::stopped);
        EXPECT_TRUE(m.outputIsEmpty());
    }
}

TEST_F(ServerModelTest, ServesRequestsLogsStartAndStopAndDropsEventsQueuedBeforeStop) {
    ServerModel& m = makeModel();
    m.setUnits({unit(1), unit(5, false), unit(7)});
    m.setSelectedPath(pty.qPath());
    m.start();
    EXPECT_EQ(m.liveValues().size(), m.datapoints().size()); // from the freshly reset store
    // A new adapter takes no selection from a serving engine, before it reported started (the
    // state still reads stopped) or after.
    for (const ServerState state : {ServerState::stopped, ServerState::running}) {
        EXPECT_EQ(m.state(), state);
        feed("ttyS0 | ttyS0 ttyUSB0");
        EXPECT_EQ(m.selectedPath(), pty.qPath()) << state.rawValue();
        ASSERT_TRUE(waitFor(ServerState::running));
    }

    // Setpoint (int16, 0.1) holds 20.0 as 200, Mode holds 1.
    const Bytes answer = RTUFrame::build(1, Bytes{0x03, 0x04, 0x00, 0xC8, 0x00, 0x01});
    EXPECT_EQ(pty.ask({0x03, 0, 0, 0, 2}, 9), answer);
    ASSERT_TRUE(processEventsUntil([&] { return m.statistics().responses == 1; }));
    // The engine posts the next request while the test holds the event loop still.
    EXPECT_EQ(pty.ask({0x03, 0, 0, 0, 2}, 9), answer);
    m.stop();
    m.stop(); // writes nothing more
    settle();
    EXPECT_EQ(m.state(), ServerState::stopped);
    EXPECT_EQ(m.statistics(), (ServerStatistics{1, 1, 0, 0, 0}));

    const QStringList all = lines();
    ASSERT_EQ(all.size(), 4);
    for (const QString& line : all) {
        EXPECT_TRUE(
            QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  \\S").match(line).hasMatch())
            << line.toStdString();
    }
    // Only enabled units are listed.
    EXPECT_EQ(all[0].mid(14),
              "--- Server started on " + pty.qPath() + " @ 9600 8E1 · units 1, 7 ---");
    EXPECT_EQ(all[3].mid(14), "--- Server stopped ---");
}

TEST_F(ServerModelTest, EventsOfAnEarlierEngineDoNotCountIntoANewRun) {
    ServerModel& m = runningModel();
    EXPECT_EQ(pty.ask({0x03, 0, 0, 0, 1}, 7).size(), 7u);
    m.stop();
    m.start(); // before the old engine's events ran
    ASSERT_TRUE(waitFor(ServerState::running));
    settle();
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    EXPECT_EQ(lines().size(), 3); // started, stopped, started

    // A model destroyed with events still queued leaves them unrun.
    EXPECT_EQ(pty.ask({0x03, 0, 0, 0, 1}, 7).size(), 7u);
    model.reset();
    settle();
}

TEST_F(ServerModelTest, EveryEventCountsByItsCaseAndClearLogResets) {
    using E = ServerEvent;
    struct Case {
        const char* name;
        ServerEvent event;
        bool busTraffic;
        ServerStatistics expected;
        bool writesLine;
    };
    const Bytes frame = RTUFrame::build(9, Bytes{0x03, 0x00, 0x00, 0x00, 0x01});
    const Bytes answer{0x03, 0x02, 0x00, 0x01};
    const Case cases[] = {
        {"request", E::request(1, {3, 0, 0, 0, 1}, frame), false, {1, 0, 0, 0, 0}, true},
        {"response", E::response(1, answer, frame, false), false, {0, 1, 0, 0, 0}, true},
        {"damaged CRC", E::response(1, answer, frame, true), false, {0, 1, 0, 0, 0}, true},
        {"exception", E::response(1, {0x83, 2}, frame, false), false, {0, 1, 1, 0, 0}, true},
        {"both", E::response(1, {0x83, 2}, frame, true), false, {0, 1, 1, 0, 0}, true},
        {"one byte 83", E::response(1, {0x83}, frame, false), false, {0, 1, 0, 0, 0}, true},
        {"broadcast", E::broadcast({6, 0, 1, 0, 5}, frame), false, {1, 0, 0, 0, 0}, true},
        {"silent", E::silent(2), false, {}, true},
        {"other unit hidden", E::otherUnit(9, frame), false, {0, 0, 0, 1, 0}, false},
        {"other unit shown", E::otherUnit(9, frame), true, {0, 0, 0, 1, 0}, true},
        {"bus response hidden", E::busResponse(frame), false, {}, false},
        {"bus response shown", E::busResponse(frame), true, {}, true},
        {"garbage", E::garbage(Bytes(40, 0xFF)), false, {0, 0, 0, 0, 1}, true},
    };
    ServerModel& m = makeModel();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m.setShowBusTraffic(c.busTraffic);
        m.clearLog();
        EXPECT_TRUE(m.output().plainText().isEmpty());
        EXPECT_TRUE(m.outputIsEmpty());
        m.handleEvent(c.event);
        EXPECT_EQ(m.statistics(), c.expected);
        EXPECT_EQ(m.outputIsEmpty(), !c.writesLine);
    }
}

TEST_F(ServerModelTest, NoiseHintOnTheThirdGarbageUntilDismissedForTheRun) {
    ServerModel& m = runningModel();
    const auto garbage = [&](int times) {
        for (int i = 0; i < times; ++i) {
            m.handleEvent(ServerEvent::garbage({0x01, 0x02}));
        }
        return m.showNoiseHint();
    };
    EXPECT_FALSE(garbage(2));
    EXPECT_TRUE(garbage(1));
    m.dismissNoiseHint();
    EXPECT_FALSE(m.showNoiseHint());
    EXPECT_FALSE(garbage(1));

    // A new run counts from zero and may show the hint again; stop hides it.
    m.stop();
    m.start();
    ASSERT_TRUE(waitFor(ServerState::running));
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    EXPECT_FALSE(garbage(2));
    EXPECT_TRUE(garbage(1));
    m.stop();
    EXPECT_FALSE(m.showNoiseHint());
}

TEST_F(ServerModelTest, MasterWritesUpdateLiveValuesAndLogOneLinePerDatapoint) {
    ServerModel& m =
        runningModel({point("Level", holding, 5, DataType::uint16, 0.1, "m"),
                      point("", RegisterTable::coil, 5), point("", holding, 6, DataType::int16),
                      point("Flow", holding, 7, DataType::float32, 1, "l/s")});

    // Three registers: Level, the unnamed int16 and only the first half of Flow.
    EXPECT_EQ(pty.ask({0x10, 0, 5, 0, 3, 6, 0, 123, 0xFF, 0xFE, 0x41, 0x48}, 8).size(), 8u);
    ASSERT_TRUE(processEventsUntil([&] { return m.statistics().responses == 1; }));
    EXPECT_EQ(lines().mid(2),
              (QStringList{"✎ Unit 1 · Level = 12.3 m", "✎ Unit 1 · HR 6 = -2",
                           "✎ Unit 1 · Flow = 12.5 l/s",
                           "← Unit 1 · FC 10 Write multiple registers · 00 05 00 03"}));
    const auto& points = m.datapoints();
    EXPECT_NEAR(m.liveValues().at(points[0].id), 12.3, 1e-9);
    EXPECT_EQ(m.liveValues().at(points[2].id), -2);
    EXPECT_EQ(m.displayValue(points[3]), 12.5);
    EXPECT_EQ(points[0].value, 0); // the master never changes the datapoints themselves

    // A refresh keeps what the master wrote and, while serving, completes the live values; the
    // entries of deleted datapoints stay until the next start.
    const auto added = m.addDatapoint();
    ASSERT_TRUE(added);
    EXPECT_EQ(m.liveValues().at(*added), 0);
    m.deleteDatapoints({*added});
    EXPECT_TRUE(m.liveValues().contains(*added));
    EXPECT_EQ(pty.ask({0x03, 0, 5, 0, 2}, 9),
              RTUFrame::build(1, Bytes{0x03, 0x04, 0x00, 123, 0xFF, 0xFE}));

    // Field edits reach the store: Level moves to 20 with its own 7.0; undefined 19 reads 0.
    Datapoint level = m.datapoints()[0];
    level.address = 20;
    level.value = 7;
    m.updateDatapoint(level);
    ServerUnit device = m.units()[0];
    device.undefinedAddresses = ServerUnit::UndefinedAddresses::zero;
    m.updateUnit(device);
    EXPECT_EQ(pty.ask({0x03, 0, 19, 0, 2}, 9), RTUFrame::build(1, Bytes{0x03, 0x04, 0, 0, 0, 70}));
}

TEST_F(ServerModelTest, LostPortKeepsTheSimulationAndIsReopenedWhenItReturns) {
    ServerModel& m = runningModel();
    m.handleEvent(ServerEvent::garbage({1}));
    const UUID runTime = m.datapoints()[2].id; // a counter
    // Pulled and plugged back in under the same path, or, without the right to do that, pulled.
    const bool returns = pty.hangUpDevice();
    if (!returns) {
        pty.hangUp();
    }
    ASSERT_TRUE(waitFor(ServerState::serialLost));
    EXPECT_EQ(lines().back(), "Serial port " + pty.qPath() + " is gone; waiting for it to return");
    const double before = m.liveValues().at(runTime);
    now += 3s;
    EXPECT_TRUE(processEventsUntil([&] { return m.liveValues().at(runTime) != before; }));
    feed("ttyUSB0"); // without the path: nothing changes
    EXPECT_EQ(m.state(), ServerState::serialLost);
    EXPECT_EQ(m.selectedPath(), pty.qPath());

    if (returns) {
        feed(pty.path());
        EXPECT_EQ(m.state(), ServerState::serialLost); // not at once
        ASSERT_TRUE(waitFor(ServerState::running));
        const QStringList all = lines();
        EXPECT_EQ(all[all.size() - 2], "--- Serial port open again ---");
        EXPECT_TRUE(all.back().startsWith("--- Server started on " + pty.qPath()));
        EXPECT_EQ(m.statistics().errors, 1); // reopening keeps the run's counters
        EXPECT_EQ(pty.ask({0x03, 0, 1, 0, 1}, 7),
                  RTUFrame::build(1, Bytes{0x03, 0x02, 0x00, 0x01}));
        pty.hangUp();
        ASSERT_TRUE(waitFor(ServerState::serialLost));
    }
    m.stop(); // ends the wait
    EXPECT_EQ(lines().back(), "--- Server stopped ---");
    if (!returns) {
        GTEST_SKIP() << "reopening needs CAP_SYS_ADMIN to hang up a terminal";
    }
}

TEST_F(ServerModelTest, PortListsMoveTheSelectionByTheRules) {
    struct Case {
        const char* stored; // under /dev/, empty for none
        const char* lists;
        const char* expected;
    };
    const Case cases[] = {
        // The first list replaces an absent port by the first USB adapter, if any.
        {"ttyACM4", "ttyS0 ttyUSB0 ttyUSB1", "ttyUSB0"},
        {"", "ttyS0 ttyUSB1", "ttyUSB1"},
        {"ttyACM4", "ttyS0", "ttyACM4"},
        {"ttyS0", "ttyS0 ttyUSB0", "ttyS0"},
        {"ttyUSB0", "", "ttyUSB0"},
        // Later lists: a new adapter replaces an internal or missing port, not a present adapter.
        {"ttyS0", "ttyS0 | ttyS0 ttyUSB0", "ttyUSB0"},
        {"ttyUSB0", "ttyUSB0 | ttyUSB0 ttyUSB1", "ttyUSB0"},
        {"ttyUSB0", "ttyUSB0 | | ttyUSB1", "ttyUSB1"},
        {"ttyUSB0", "ttyUSB0 ttyUSB1 | ttyUSB1 | ttyUSB0 ttyUSB1", "ttyUSB1"},
        {"ttyUSB0", "ttyUSB0 | ttyS0 | ttyS0 ttyUSB0", "ttyUSB0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " with " + c.lists);
        QSettings().clear();
        if (*c.stored) {
            QSettings().setValue("port", QString("/dev/") + c.stored);
        }
        ServerModel& m = makeModel();
        feed(c.lists);
        EXPECT_EQ(m.selectedPath(), QString("/dev/") + c.expected);
        EXPECT_EQ(m.ports(), portLists(c.lists).back());
        EXPECT_EQ(QSettings().value("port").toString(), QString("/dev/") + c.expected);
    }
}

TEST_F(ServerModelTest, SaveLogWritesThePlainTextOrReportsTheFailure) {
    ServerModel& m = makeModel();
    m.setShowTimestamps(false);
    m.handleEvent(ServerEvent::silent(3));
    m.saveLog(); // cancelled
    EXPECT_FALSE(m.errorMessage());

    dialogs.saveLocation = environment.path("log.txt");
    m.saveLog();
    QFile file(*dialogs.saveLocation);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), "✕ Unit 3 does not answer (simulated fault)\n");

    dialogs.saveLocation = environment.path("missing/folder/log.txt");
    m.saveLog();
    EXPECT_TRUE(m.errorMessage().value_or("").startsWith("Saving failed: "));
}

TEST_F(ServerModelTest, SimulationReadsValuesBackThroughTheCodec) {
    ServerModel& m = runningModel();
    const Datapoint temperature = m.datapoints()[0]; // int16, scale 0.1, sine 18…24 over 60 s
    ASSERT_EQ(temperature.dataType, DataType::int16);
    const auto live = [&] { return m.liveValues().at(temperature.id); };
    EXPECT_NEAR(live(), 21.0, 1e-9); // a tick at start: a sine begins mid-range

    now += 7s;
    const double raw = *temperature.simulation.valueAt(7);
    ASSERT_TRUE(processEventsUntil([&] { return live() != 21.0; }));
    const double rounded = live();
    EXPECT_NEAR(rounded, std::round(raw * 10) / 10, 1e-9);
    EXPECT_GT(std::abs(rounded - raw), 1e-3);

    // After stop the last values stay, no tick changes them and refreshes add no entries; the
    // next start begins at 0.
    m.stop();
    now += 5s;
    settle();
    EXPECT_EQ(live(), rounded);
    const auto added = m.addDatapoint();
    ASSERT_TRUE(added);
    EXPECT_FALSE(m.liveValues().contains(*added));
    m.start();
    EXPECT_NEAR(live(), 21.0, 1e-9);
}

TEST_F(ServerModelTest, SetValueStoresTheRoundedValueAsLiveValue) {
    ServerModel& m = makeModel();
    const UUID setpoint = m.datapoints()[3].id; // int16, scale 0.1
    m.setValue(setpoint, 21.57);
    EXPECT_EQ(m.datapoints()[3].value, 21.57);
    EXPECT_NEAR(m.displayValue(m.datapoints()[3]), 21.6, 1e-9);
    m.setValue(setpoint, 1e6); // beyond the type's range the registers clamp
    EXPECT_NEAR(m.liveValues().at(setpoint), 3276.7, 1e-9);

    const auto before = m.datapoints();
    m.setValue(UUID::random(), 5);
    EXPECT_EQ(m.datapoints(), before);
}

TEST_F(ServerModelTest, ConflictsArePublishedOnlyWhenTheyChange) {
    ServerModel& m = makeModel();
    int changes = 0;
    QObject::connect(&m, &ServerModel::conflictsChanged, &m, [&changes] { ++changes; });
    const auto wide = point("", holding, 10, DataType::float32);
    const auto narrow = point("", holding, 11);
    m.setDatapoints({wide, narrow, point("", RegisterTable::inputRegister, 10, DataType::float32)});
    EXPECT_EQ(m.conflicts(), (std::unordered_set<UUID>{wide.id, narrow.id}));
    EXPECT_TRUE(m.isConflict(narrow.id));
    m.setSerial(SerialConfiguration{19200, 8, Parity::none, 1});
    EXPECT_EQ(changes, 1);
    m.deleteDatapoints({narrow.id});
    EXPECT_TRUE(m.conflicts().empty());
    EXPECT_EQ(changes, 2);
}

TEST_F(ServerModelTest, EditingKeepsSelectionAndOverlapsInStep) {
    ServerModel& m = makeModel();
    m.setUnits({unit(1), unit(3), unit(4)});
    const auto flow = point("Flow", holding, 0, DataType::float32);
    const auto single = point("", holding, 3);
    auto other = point("Other", holding, 0);
    other.unitID = 3;
    m.setDatapoints({flow, single, other});
    m.setSelectedUnitID(std::nullopt);
    EXPECT_FALSE(m.addDatapoint(flow.id));
    EXPECT_EQ(m.datapoints().size(), 3u);

    // A float32 after the one at 0–1 lands at 2, right behind its template, and overlaps 3.
    m.setSelectedUnitID(1);
    const auto added = m.addDatapoint(flow.id);
    ASSERT_TRUE(added);
    EXPECT_EQ(m.datapoints()[1].id, *added);
    EXPECT_EQ(m.conflicts(), (std::unordered_set<UUID>{*added, single.id}));
    // Its copy follows at 4–5; as a coil it overlaps nothing any more.
    const auto copies = m.duplicateDatapoints({*added, UUID::random()});
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(std::tuple(m.datapoints()[2].id, m.datapoints()[2].address),
              std::tuple(copies[0], 4));
    m.setTable(*added, RegisterTable::coil);
    EXPECT_EQ(m.table(*added), RegisterTable::coil);
    EXPECT_EQ(m.table(UUID::random()), RegisterTable::holdingRegister);
    EXPECT_TRUE(m.conflicts().empty());
    m.deleteDatapoints({*added, copies[0]});
    EXPECT_EQ(m.selectedUnitPoints(), (std::vector{flow, single}));

    m.addUnit(); // the lowest free address, sorted in and selected
    EXPECT_EQ(m.units(), (std::vector{unit(1), unit(2), unit(3), unit(4)}));
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(2));
    const auto units = m.units();
    EXPECT_FALSE(m.changeUnitAddress(3, 4));  // taken
    EXPECT_FALSE(m.changeUnitAddress(9, 10)); // unknown
    EXPECT_TRUE(m.changeUnitAddress(3, 3));
    EXPECT_EQ(m.units(), units);
    m.setSelectedUnitID(3);
    EXPECT_TRUE(m.changeUnitAddress(3, 9));
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(9));
    EXPECT_EQ(std::tuple(m.units().back().unitID, m.datapoints().back().unitID), std::tuple(9, 9));
    m.deleteUnit(9);
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(1));
    EXPECT_EQ(m.units().size(), 3u);
    EXPECT_EQ(m.datapoints(), (std::vector{flow, single}));

    std::vector<ServerUnit> full(247); // every address in use: nothing is added
    for (std::size_t i = 0; i < full.size(); ++i) {
        full[i].unitID = static_cast<std::uint8_t>(i + 1);
    }
    m.setUnits(full);
    m.addUnit();
    EXPECT_EQ(m.units().size(), 247u);
}

} // namespace

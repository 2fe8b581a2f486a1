#include "Corvana/model/ServerModel.h"

#include "FakeDialogs.h"
#include "TestEnvironment.h"

#include "Corvana/model/LogLines.h"
#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/PortAccess.h"
#include "ModbusSerial/SerialLinkError.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StoreBuilders.h"

#include <QTime>

#include <sys/file.h>

#include <cmath>
#include <sstream>

using namespace std::chrono_literals;

namespace {

using PortList = std::vector<SerialPortInfo>;

// Tests feed port lists through onChange, as the udev scanner would on the main thread.
class FakeScanner : public PortScanner {
public:
    void start() override { started = true; }
    PortList scan() override { return {}; }

    bool started = false;
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
        }
    }
    return lists;
}

Datapoint point(std::string name, RegisterTable table, std::uint16_t address,
                DataType type = DataType::uint16, double scale = 1, std::string unit = {}) {
    return Datapoint(UUID::random(), std::move(name), 1, table, address, type, WordOrder::abcd,
                     scale, std::move(unit), DisplayFormat::decimal, 0, "", Simulation{});
}

constexpr auto holding = RegisterTable::holdingRegister;

class ServerModelTest : public ::testing::Test {
protected:
    // The simulation runs on the test's clock.
    ServerModel& makeModel() {
        auto fakeScanner = std::make_unique<FakeScanner>();
        scanner = fakeScanner.get();
        model = std::make_unique<ServerModel>(std::move(fakeScanner), dialogs);
        model->setClock([this] { return now; });
        model->init();
        return *model;
    }

    // Serves the pty with timestamps off so lines compare as plain text.
    ServerModel& runningModel() {
        ServerModel& m = makeModel();
        m.setShowTimestamps(false);
        m.setSelectedPath(port());
        m.start();
        EXPECT_FALSE(m.errorMessage());
        EXPECT_TRUE(waitFor(ServerState::running));
        return m;
    }

    QString port() const { return QString::fromStdString(pty.path()); }
    // Sends a request to unit 1; the answer, once `count` bytes are there or nothing more comes.
    Bytes ask(const Bytes& pdu, std::size_t count) {
        pty.send(RTUFrame::build(1, pdu));
        return pty.receive(count);
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
        return model->logBuffer().plainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    TestEnvironment environment;
    PseudoTerminal pty;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    FakeDialogs dialogs;
    FakeScanner* scanner = nullptr;
    std::unique_ptr<ServerModel> model;
};

TEST_F(ServerModelTest, InitReadsPreferencesWithoutWritingAndEachChangeWritesItsKey) {
    // Preference key, property, default.
    const std::tuple<const char*, const char*, bool> flags[] = {
        {"timestamps", "showTimestamps", true},
        {"rawFrames", "showRawFrames", false},
        {"busTraffic", "showBusTraffic", false},
        {"autoscroll", "autoscroll", true}};
    ServerModel& m = makeModel();
    EXPECT_TRUE(scanner->started);
    EXPECT_EQ(m.portLabel(), "Corvana");          // no port chosen
    EXPECT_TRUE(QSettings().allKeys().isEmpty()); // not even the defaults
    for (const auto& [key, property, fallback] : flags) {
        EXPECT_EQ(m.property(property).toBool(), fallback) << key;
        m.setProperty(property, !fallback);
        EXPECT_EQ(QSettings().value(key).toBool(), !fallback) << key;
    }
    EXPECT_FALSE(m.logBuffer().autoscroll());
    m.setSelectedPath("/dev/ttyUSB3");
    EXPECT_EQ(m.portLabel(), "ttyUSB3"); // not in the list
    feed("ttyS0 ttyUSB0");               // an adapter takes over and is named
    EXPECT_EQ(m.portLabel(), QString::fromStdString(m.ports()[1].shortName()));

    // A second run reads what the first wrote, "port" too; a value that is no boolean reads as
    // the default.
    ServerModel& again = makeModel();
    EXPECT_EQ(again.selectedPath(), "/dev/ttyUSB0");
    for (const auto& [key, property, fallback] : flags) {
        EXPECT_EQ(again.property(property).toBool(), !fallback) << key;
    }
    EXPECT_FALSE(again.logBuffer().autoscroll());
    QSettings().setValue("timestamps", "maybe");
    EXPECT_TRUE(makeModel().showTimestamps());
}

// A scanner that cannot read the system's ports says so in the log once, so an empty list
// is not taken for "no adapters"; the lists that follow still arrive.
TEST_F(ServerModelTest, UnreadablePortListIsLoggedOnce) {
    ServerModel& m = makeModel();
    m.setShowTimestamps(false);
    scanner->onFailure();
    scanner->onFailure = nullptr; // a scanner reports it once; the model must not need more
    feed("ttyUSB0");
    const QString expected = LogLines::portsUnavailable().back().text;
    EXPECT_EQ(lines().filter(expected).size(), 1) << lines().join('\n').toStdString();
    EXPECT_EQ(m.ports().size(), 1u);
}

TEST_F(ServerModelTest, StartRefusesWithAnErrorAndStaysStopped) {
    // The lock every cooperating serial program takes makes the port busy.
    const FileDescriptor locked(::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_EQ(::flock(locked.get(), LOCK_EX | LOCK_NB), 0);
    const struct {
        QString path;
        bool withUnits;
        std::string message;
    } cases[] = {
        {"", false, "Select a serial port first."},
        {"/dev/ttyUSB0", false, "Add a unit first."},
        {port(), true,
         SerialLinkError(PortAccess::modemManagerRunning() ? SerialLinkError::busyProbing
                                                           : SerialLinkError::busy,
                         pty.path())
             .message()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ServerModel& m = makeModel();
        m.setSelectedPath(c.path);
        if (!c.withUnits) {
            m.setUnits({});
        }
        EXPECT_EQ(m.canStart(), c.withUnits && !c.path.isEmpty());
        for (int attempt = 0; attempt < 2; ++attempt) { // a failed start leaves no engine behind
            m.setErrorMessage(std::nullopt);
            m.start();
            EXPECT_EQ(m.errorMessage(), QString::fromStdString(c.message));
        }
        EXPECT_EQ(m.state(), ServerState::stopped);
        EXPECT_TRUE(m.logIsEmpty());
    }
}

TEST_F(ServerModelTest, ServesRequestsAndDropsEventsQueuedBeforeStop) {
    ServerModel& m = makeModel();
    m.setUnits({unit(1), ServerUnit{.unitID = 5, .name = "", .enabled = false}, unit(7)});
    m.setSelectedPath(port());
    m.start();
    // A new adapter takes no selection from a serving engine, not even before it reported
    // started, while the state still reads stopped.
    feed("ttyS0 | ttyS0 ttyUSB0");
    EXPECT_EQ(m.selectedPath(), port());
    ASSERT_TRUE(waitFor(ServerState::running));

    // Setpoint (int16, 0.1) holds 20.0 as 200, Mode holds 1.
    const Bytes answer = RTUFrame::build(1, Bytes{0x03, 0x04, 0x00, 0xC8, 0x00, 0x01});
    EXPECT_EQ(ask({0x03, 0, 0, 0, 2}, 9), answer);
    ASSERT_TRUE(processEventsUntil([&] { return m.statistics().responses == 1; }));
    // The engine posts the next request while the test holds the event loop still; a new engine
    // starts before those events run, and none of them count into its run.
    EXPECT_EQ(ask({0x03, 0, 0, 0, 2}, 9), answer);
    m.stop();
    m.stop(); // writes nothing more
    m.start();
    ASSERT_TRUE(waitFor(ServerState::running));
    processEventsUntil([] { return false; }, 100ms); // lets queued events run
    EXPECT_EQ(m.statistics(), ServerStatistics{});
    const QStringList all = lines();
    ASSERT_EQ(all.size(), 5);
    EXPECT_TRUE(QTime::fromString(all[0].left(14), "HH:mm:ss.zzz  ").isValid());
    EXPECT_EQ(all[0].mid(14), "--- Server started on " + port() + " @ 9600 8E1 · units 1, 7 ---");
    EXPECT_EQ(all[3].mid(14), "--- Server stopped ---");
}

TEST_F(ServerModelTest, EveryEventCountsByItsCaseAndClearLogResets) {
    using E = ServerEvent;
    const Bytes frame = RTUFrame::build(9, Bytes{0x03, 0x00, 0x00, 0x00, 0x01});
    const struct {
        ServerEvent event;
        bool busTraffic;
        ServerStatistics expected;
        bool writesLine;
    } cases[] = {
        {E::request(1, {3, 0, 0, 0, 1}, frame), false, {1, 0, 0, 0, 0}, true},
        {E::response(1, {3, 2, 0, 1}, frame, false), false, {0, 1, 0, 0, 0}, true},
        {E::response(1, {3, 2, 0, 1}, frame, true), false, {0, 1, 0, 0, 0}, true}, // damaged CRC
        {E::response(1, {0x83, 2}, frame, false), false, {0, 1, 1, 0, 0}, true},   // exception
        {E::response(1, {0x83, 2}, frame, true), false, {0, 1, 1, 0, 0}, true},    // both
        {E::response(1, {0x83}, frame, false), false, {0, 1, 0, 0, 0}, true},      // one byte
        {E::broadcast({6, 0, 1, 0, 5}, frame), false, {1, 0, 0, 0, 0}, true},
        {E::silent(2), false, {}, true},
        {E::otherUnit(9, frame), false, {0, 0, 0, 1, 0}, false},
        {E::otherUnit(9, frame), true, {0, 0, 0, 1, 0}, true},
        {E::busResponse(frame), false, {}, false},
        {E::busResponse(frame), true, {}, true},
        {E::garbage(Bytes(40, 0xFF)), false, {0, 0, 0, 0, 1}, true},
    };
    ServerModel& m = makeModel();
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        m.setShowBusTraffic(c.busTraffic);
        m.clearLog();
        m.handleEvent(c.event);
        EXPECT_EQ(m.statistics(), c.expected);
        EXPECT_EQ(m.logIsEmpty(), !c.writesLine);
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
    EXPECT_FALSE(garbage(2));
    EXPECT_TRUE(garbage(1));
    m.stop();
    EXPECT_FALSE(m.showNoiseHint());
}

TEST_F(ServerModelTest, MasterWritesUpdateLiveValuesAndLogOneLinePerDatapoint) {
    ServerModel& m = runningModel();
    m.setDatapoints({point("Level", holding, 5, DataType::uint16, 0.1, "m"),
                     point("", RegisterTable::coil, 5), point("", holding, 6, DataType::int16),
                     point("Flow", holding, 7, DataType::float32, 1, "l/s")});

    // Three registers: Level, the unnamed int16 and only the first half of Flow.
    EXPECT_EQ(ask({0x10, 0, 5, 0, 3, 6, 0, 123, 0xFF, 0xFE, 0x41, 0x48}, 8).size(), 8u);
    ASSERT_TRUE(processEventsUntil([&] { return m.statistics().responses == 1; }));
    EXPECT_EQ(lines().mid(2),
              (QStringList{"✎ Unit 1 · Level = 12.3 m", "✎ Unit 1 · HR 6 = -2",
                           "✎ Unit 1 · Flow = 12.5 l/s",
                           "← Unit 1 · FC 10 Write multiple registers · 00 05 00 03"}));
    const auto& points = m.datapoints();
    EXPECT_NEAR(m.liveValues().at(points[0].id), 12.3, 1e-9);
    EXPECT_EQ(m.displayValue(points[3]), 12.5);
    EXPECT_EQ(points[0].value, 0); // the master never changes the datapoints themselves

    // A refresh keeps what the master wrote and, while serving, completes the live values.
    EXPECT_TRUE(m.liveValues().contains(m.addDatapoint().value()));
    EXPECT_EQ(ask({0x03, 0, 5, 0, 2}, 9),
              RTUFrame::build(1, Bytes{0x03, 0x04, 0x00, 123, 0xFF, 0xFE}));
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
    EXPECT_EQ(lines().back(), "Serial port " + port() + " is gone; waiting for it to return");
    const double before = m.liveValues().at(runTime);
    now += 3s;
    EXPECT_TRUE(processEventsUntil([&] { return m.liveValues().at(runTime) != before; }));
    if (returns) {
        feed(pty.path());
        EXPECT_EQ(m.state(), ServerState::serialLost); // not at once
        ASSERT_TRUE(waitFor(ServerState::running));
        const QStringList all = lines();
        EXPECT_EQ(all[all.size() - 2], "--- Serial port open again ---");
        EXPECT_TRUE(all.back().startsWith("--- Server started on " + port()));
        EXPECT_EQ(m.statistics().errors, 1); // reopening keeps the run's counters
        pty.hangUp();
        ASSERT_TRUE(waitFor(ServerState::serialLost));
    }
    m.stop(); // ends the wait
    EXPECT_EQ(lines().back(), "--- Server stopped ---");
    if (!returns) {
        GTEST_SKIP() << "reopening needs CAP_SYS_ADMIN to hang up a terminal";
    }
}

// An adapter known by its by-id link is pulled and plugged into another socket: it returns as
// another node, and another adapter takes its old node. The server resumes on the adapter, not
// on the node, and the log names both.
TEST_F(ServerModelTest, LostAdapterResumesOnItsNewNodeByIdentity) {
    const std::string byID = "/dev/serial/by-id/usb-FTDI_FT232R_A10K3X9Z-if00-port0";
    const auto adapter = [](const std::string& node, const std::string& link) {
        return SerialPortInfo{node, std::nullopt, 0x0403, 0x6001, link};
    };
    PseudoTerminal moved;
    ServerModel& m = makeModel();
    m.setShowTimestamps(false);
    m.setSelectedPath(port()); // remembered by its node before identities
    scanner->onChange({adapter(pty.path(), byID)});
    EXPECT_EQ(m.selectedPath().toStdString(), byID);
    m.start();
    ASSERT_TRUE(waitFor(ServerState::running));
    EXPECT_TRUE(lines().back().startsWith(QString::fromStdString("--- Server started on " + byID)));

    pty.hangUp();
    ASSERT_TRUE(waitFor(ServerState::serialLost));
    scanner->onChange({adapter(pty.path(), "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0")});
    processEventsUntil([] { return false; }, 1500ms); // longer than the reopen delay
    EXPECT_EQ(m.state(), ServerState::serialLost);

    scanner->onChange({adapter(pty.path(), "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0"),
                       adapter(moved.path(), byID)});
    ASSERT_TRUE(waitFor(ServerState::running));
    const QStringList all = lines();
    EXPECT_EQ(all[all.size() - 3].toStdString(),
              "Serial port " + pty.path() + " is gone; waiting for it to return");
    EXPECT_EQ(all[all.size() - 2].toStdString(),
              "--- Serial port " + byID + " open again, now at " + moved.path() + " ---");
    EXPECT_EQ(m.selectedPath().toStdString(), byID);         // the remembered port is the identity
    moved.send(RTUFrame::build(1, Bytes{0x03, 0, 1, 0, 1})); // Mode
    EXPECT_EQ(moved.receive(7), RTUFrame::build(1, Bytes{0x03, 0x02, 0, 1}));
    m.stop();
}

// PortSelectionTest has the rules; here the model hands them the first list as the first and
// each later one with its predecessor, and stores the outcome.
TEST_F(ServerModelTest, PortListsMoveTheSelectionByTheRules) {
    const struct {
        const char *stored, *lists, *expected; // stored under /dev/, empty for none
    } cases[] = {
        // The first list replaces an absent port by the first USB adapter, if any.
        {"ttyACM4", "ttyS0 ttyUSB0 ttyUSB1", "ttyUSB0"},
        {"ttyS0", "ttyS0 ttyUSB0", "ttyS0"},
        {"ttyUSB0", "", "ttyUSB0"},
        // Later lists: a new adapter replaces an internal or missing port, not a present adapter.
        {"ttyS0", "ttyS0 | ttyS0 ttyUSB0", "ttyUSB0"},
        {"ttyUSB0", "ttyUSB0 | | ttyUSB1", "ttyUSB1"},
        {"ttyUSB0", "ttyUSB0 ttyUSB1 | ttyUSB1 | ttyUSB0 ttyUSB1", "ttyUSB1"},
        {"ttyUSB0", "ttyUSB0 | ttyS0 | ttyS0 ttyUSB0", "ttyUSB0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " with " + c.lists);
        QSettings().setValue("port", *c.stored ? QString("/dev/") + c.stored : QString());
        ServerModel& m = makeModel();
        feed(c.lists);
        EXPECT_EQ(m.selectedPath(), QString("/dev/") + c.expected);
        EXPECT_EQ(QSettings().value("port").toString(), QString("/dev/") + c.expected);
    }
}

TEST_F(ServerModelTest, SaveLogWritesThePlainTextOrReportsTheFailure) {
    ServerModel& m = makeModel();
    m.handleEvent(ServerEvent::silent(3));
    for (const char* name : {"log.txt", "missing/log.txt"}) {
        dialogs.saveLocation = environment.path(name);
        m.saveLog();
    }
    QFile file(environment.path("log.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), m.logBuffer().plainText());
    EXPECT_TRUE(m.errorMessage().value_or("").startsWith("Saving failed: "));
}

TEST_F(ServerModelTest, SimulationAndUserValuesAreReadBackThroughTheCodec) {
    ServerModel& m = runningModel();
    const Datapoint temperature = m.datapoints()[0]; // int16, scale 0.1, sine 18…24 over 60 s
    const auto live = [&] { return m.liveValues().at(temperature.id); };
    EXPECT_NEAR(live(), 21.0, 1e-9); // a tick at start: a sine begins mid-range

    now += 7s;
    const double raw = *temperature.simulation.valueAt(7);
    ASSERT_TRUE(processEventsUntil([&] { return live() != 21.0; }));
    const double rounded = live();
    EXPECT_NEAR(rounded, std::round(raw * 10) / 10, 1e-9);
    EXPECT_GT(std::abs(rounded - raw), 1e-3);

    // After stop the last values stay and no tick changes them; the next start begins at 0.
    m.stop();
    now += 5s;
    processEventsUntil([] { return false; }, 100ms); // lets queued events run
    EXPECT_EQ(live(), rounded);
    m.start();
    EXPECT_NEAR(live(), 21.0, 1e-9);

    // A value the user sets is read back from the registers: rounded, or clamped to the type.
    const UUID setpoint = m.datapoints()[3].id; // int16, scale 0.1
    m.setValue(setpoint, 21.57);
    EXPECT_EQ(m.datapoints()[3].value, 21.57);
    EXPECT_NEAR(m.displayValue(m.datapoints()[3]), 21.6, 1e-9);
    m.setValue(setpoint, 1e6);
    EXPECT_NEAR(m.liveValues().at(setpoint), 3276.7, 1e-9);
}

// An idle server with many datapoints must not spend a tick on them: the timer runs only while
// some datapoint is simulated, and then only those change.
TEST_F(ServerModelTest, TheSimulationTimerRunsOnlyForSimulatedDatapoints) {
    ServerModel& m = runningModel();
    EXPECT_TRUE(m.isSimulating()); // the example simulates three datapoints
    std::vector<Datapoint> points(1000);
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].address = static_cast<std::uint16_t>(i);
        points[i].value = 7;
    }
    m.setDatapoints(points);
    EXPECT_FALSE(m.isSimulating());

    Datapoint ramp = points[500];
    ramp.simulation = {Simulation::Kind::ramp, 0, 100, 10};
    m.updateDatapoint(ramp);
    EXPECT_TRUE(m.isSimulating());
    const auto before = m.liveValues();
    now += 5s;
    ASSERT_TRUE(
        processEventsUntil([&] { return m.liveValues().at(ramp.id) != before.at(ramp.id); }));
    for (const Datapoint& point : points) {
        if (point.id != ramp.id) {
            EXPECT_EQ(m.liveValues().at(point.id), before.at(point.id));
        }
    }
    m.stop();
    EXPECT_FALSE(m.isSimulating());
    ramp.simulation = {};
    m.updateDatapoint(ramp);
    m.start();
    EXPECT_FALSE(m.isSimulating());
}

TEST_F(ServerModelTest, EditingKeepsSelectionAndOverlapsInStep) {
    ServerModel& m = makeModel();
    int published = 0;
    QObject::connect(&m, &ServerModel::conflictsChanged, &m, [&published] { ++published; });
    m.setUnits({unit(1), unit(3), unit(4)});
    const auto flow = point("Flow", holding, 0, DataType::float32);
    const auto single = point("", holding, 3);
    m.setDatapoints({flow, single, ::point(3, holding, 0, 0)});
    m.setSelectedUnitID(std::nullopt);
    EXPECT_FALSE(m.addDatapoint(flow.id));

    // A float32 after the one at 0–1 lands at 2, right behind its template, and overlaps 3.
    m.setSelectedUnitID(1);
    const auto added = m.addDatapoint(flow.id);
    ASSERT_TRUE(added);
    EXPECT_EQ(m.datapoints()[1].id, *added);
    EXPECT_EQ(m.conflicts(), (std::unordered_set<UUID>{*added, single.id}));
    // Its copy follows at 4–5, which changes no conflict; as a coil it overlaps nothing any more.
    const auto copies = m.duplicateDatapoints({*added, UUID::random()});
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(std::tuple(m.datapoints()[2].id, m.datapoints()[2].address),
              std::tuple(copies[0], 4));
    m.setTable(*added, RegisterTable::coil);
    EXPECT_EQ(m.table(UUID::random()), RegisterTable::holdingRegister);
    EXPECT_TRUE(m.conflicts().empty());
    EXPECT_EQ(published, 2); // only when the set changed
    m.deleteDatapoints({*added, copies[0]});
    EXPECT_EQ(m.selectedUnitPoints(), (std::vector{flow, single}));

    m.addUnit(); // the lowest free address, sorted in and selected
    EXPECT_EQ(m.units(), (std::vector{unit(1), unit(2), unit(3), unit(4)}));
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(2));
    m.setSelectedUnitID(3);
    EXPECT_TRUE(m.changeUnitAddress(3, 9));
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(9));
    EXPECT_EQ(std::tuple(m.units().back().unitID, m.datapoints().back().unitID), std::tuple(9, 9));
    m.deleteUnit(9);
    EXPECT_EQ(m.selectedUnitID(), std::optional<std::uint8_t>(1));
    EXPECT_EQ(m.datapoints(), (std::vector{flow, single}));
}

} // namespace

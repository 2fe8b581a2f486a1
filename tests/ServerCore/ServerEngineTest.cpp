#include "ServerCore/ServerEngine.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/VirtualPortPair.h"
#include "tests/support/EngineEvents.h"
#include "tests/support/InjectedFaults.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/RTUMaster.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Fault = ServerUnit::Fault;
using Policy = ServerUnit::UndefinedAddresses;

// A guard against hangs on a loaded machine, never a measurement; under unit 2's 10 s delay.
constexpr auto patience = eventPatience;

constexpr auto shortWait = 300ms; // a master's time-out for requests that get no answer
const SerialConfiguration fastLine{.baudRate = 115200, .parity = Parity::none};

// Real time plus every sleep skipped: the link's pacing passes at once. Replies wait for their due
// time while the engine keeps reading, so a unit delay takes real time.
class SkippingClock : public SerialClock {
public:
    TimePoint now() const override {
        std::lock_guard guard(mutex_);
        return Clock::now() + skipped_;
    }
    void sleepUntil(TimePoint time) override {
        std::lock_guard guard(mutex_);
        skipped_ += std::max(time - (Clock::now() + skipped_), Clock::duration::zero());
    }

private:
    mutable std::mutex mutex_;
    Clock::duration skipped_{};
};

// The threads named "Corvana" once there are `count` (an exited one lingers in /proc a moment).
std::size_t corvanaThreads(std::size_t count = 0) {
    for (const auto giveUp = Clock::now() + patience;; std::this_thread::sleep_for(1ms)) {
        std::size_t found = 0;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            found += name == "Corvana";
        }
        if (found == count || Clock::now() > giveUp) {
            return found;
        }
    }
}

ServerUnit faulty(std::uint8_t id, Fault fault, int delayMs = 0) {
    ServerUnit unit;
    unit.unitID = id;
    unit.fault = fault;
    unit.delayMs = delayMs;
    return unit;
}

Bytes rtu(std::uint8_t unit, const Bytes& pdu) {
    return RTUFrame::build(unit, pdu);
}

const Bytes readOne{0x03, 0x00, 0x00, 0x00, 0x01};
const Bytes readTen{0x03, 0x00, 0x00, 0x00, 0x0A};
const Bytes tenRegisters{0x03, 0x14, 1, 0, 1, 1, 1, 2, 1, 3, 1, 4, 1, 5, 1, 6, 1, 7, 1, 8, 1, 9};
const Bytes writeThree{0x06, 0x00, 0x03, 0x00, 0x2A}; // holding register 3 := 42

WriteEvent registerThree(std::uint8_t unit) {
    return {unit, RegisterTable::holdingRegister, {3, 4}};
}

// What the master sends, what it must get back (none: no answer is due), the events it causes.
struct Step {
    Bytes sent;
    Bytes reply;
    Events events;
};

Step answered(std::uint8_t id, const Bytes& pdu, const Bytes& response,
              std::vector<WriteEvent> writes = {}, bool badCRC = false) {
    Step step{rtu(id, pdu), rtu(id, response), {ServerEvent::request(id, pdu, rtu(id, pdu))}};
    if (badCRC) {
        step.reply.back() ^= 0x5A; // only the CRC's high byte
    }
    if (!writes.empty()) {
        step.events.push_back(ServerEvent::wrote(std::move(writes)));
    }
    step.events.push_back(ServerEvent::response(id, response, step.reply, badCRC));
    return step;
}

// Another unit's answer arriving first after a silent step proves the silence was not slowness.
const Step unitOneReads = answered(1, readOne, {0x03, 0x02, 0x01, 0x00});

// Units, store and events; the test plays the master on a pseudo-terminal or a virtual port pair.
class ServerEngineTest : public testing::Test {
protected:
    void SetUp() override { configure(true); }

    // Holding registers 0–9 (0x0100 + address) and coils 0–9 (odd ones on) for every unit.
    void configure(bool resetValues = false) {
        std::vector<Datapoint> points;
        for (const auto& u : units) {
            for (int a = 0; a < 10; ++a) {
                points.push_back(point(u.unitID, RegisterTable::holdingRegister, a, 0x0100 + a));
                points.push_back(point(u.unitID, RegisterTable::coil, a, a % 2));
            }
        }
        store->configure(units, points, resetValues);
    }

    void start(const std::string& path) {
        engine = std::make_unique<ServerEngine>(path, fastLine, store, false, log.handler(), clock);
        engine->start();
        log.waitFor<ServerEvent::Started>();
    }

    // Plays the master through the steps; the engine must answer and report exactly as they say.
    void play(const std::vector<Step>& steps) {
        for (const auto& step : steps) {
            pty.send(step.sent);
            EXPECT_EQ(pty.receive(step.reply.size()), step.reply);
            expected.insert(expected.end(), step.events.begin(), step.events.end());
            log.waitFor(expected.size());
        }
        EXPECT_EQ(log.events(), expected);
    }

    // Sends a frame and waits for the events it causes; gives the answer.
    Bytes exchange(const Bytes& frame, std::size_t newEvents, std::size_t answerLength = 0) {
        const std::size_t before = log.events().size();
        pty.send(frame);
        const Bytes answer = answerLength ? pty.receive(answerLength) : Bytes{};
        log.waitFor(before + newEvents);
        return answer;
    }

    PseudoTerminal pty{patience}; // the engine opens its device path, the test plays the master
    Events expected{ServerEvent::started()};
    std::shared_ptr<RegisterStore> store = std::make_shared<RegisterStore>();
    // Unit 1 normal, 2 silent with a long delay, 3 always exception 06, 4 normal with a 500 ms
    // delay, 5 disabled, 6 bad CRC.
    std::vector<ServerUnit> units{unit(1),
                                  faulty(2, Fault::noResponse, 10000),
                                  faulty(3, Fault::exception),
                                  faulty(4, Fault::none, 500),
                                  unit(5, Policy::exception, false),
                                  faulty(6, Fault::badCRC)};
    std::shared_ptr<SkippingClock> clock = std::make_shared<SkippingClock>();
    EventLog log; // outlives the engine, whose thread calls it
    std::unique_ptr<ServerEngine> engine;
};

// The event sequences of normal answers, every fault, foreign frames, a disabled unit and a delay.
TEST_F(ServerEngineTest, AnswersAndReportsInOrder) {
    const Bytes other = rtu(9, writeThree), otherAnswer = rtu(9, {0x03, 0x02, 0x12, 0x34});
    start(pty.path());
    play({answered(1, readTen, tenRegisters),
          answered(1, writeThree, writeThree, {registerThree(1)}),
          answered(3, readOne, {0x83, 0x06}),
          answered(3, writeThree, {0x86, 0x06}),
          answered(6, readTen, tenRegisters, {}, true),
          answered(6, writeThree, writeThree, {registerThree(6)}, true),
          // Unit 2's 10 s delay would make the next answer miss the patience if silence waited.
          {rtu(2, readOne),
           {},
           {ServerEvent::request(2, readOne, rtu(2, readOne)), ServerEvent::silent(2)}},
          unitOneReads,
          // Another slave's echo of a write repeats the request exactly.
          {other, {}, {ServerEvent::otherUnit(9, other)}},
          {other, {}, {ServerEvent::otherUnit(9, other)}},
          {otherAnswer, {}, {ServerEvent::busResponse(otherAnswer)}},
          {{0xFF, 0xFE, 0x13}, {}, {ServerEvent::garbage({0xFF, 0xFE, 0x13})}},
          {rtu(5, readOne), {}, {ServerEvent::otherUnit(5, rtu(5, readOne))}},
          unitOneReads});
    EXPECT_EQ(holdingAt(*store, 3, 3), 0x0103); // the exception fault executes nothing
    EXPECT_EQ(holdingAt(*store, 6, 3), 42);
    units[4].enabled = true;
    configure();
    play({answered(5, readOne, {0x03, 0x02, 0x01, 0x00})});
    const auto written = clock->now();
    play({answered(4, writeThree, writeThree, {registerThree(4)})});
    // Unit 4's delay passed on the engine's clock between its write and its response.
    EXPECT_GE(clock->now() - written, 500ms);
}

// Faults do not matter to a broadcast; disabled unit 5 keeps its value.
TEST_F(ServerEngineTest, BroadcastWritesEnabledUnitsAndNeverAnswers) {
    const Bytes broadcast = rtu(0, writeThree);
    start(pty.path());
    play({{broadcast,
           {},
           {ServerEvent::broadcast(writeThree, broadcast),
            ServerEvent::wrote({registerThree(1), registerThree(2), registerThree(3),
                                registerThree(4), registerThree(6)})}},
          {rtu(0, readOne), {}, {ServerEvent::broadcast(readOne, rtu(0, readOne))}},
          unitOneReads});
    for (const std::uint8_t id : {1, 2, 3, 4, 6}) {
        EXPECT_EQ(holdingAt(*store, id, 3), 42) << int(id);
    }
    EXPECT_EQ(holdingAt(*store, 5, 3), 0x0103);
}

// Closing the far side: one serialLost, the thread ends by itself and stop returns at once.
TEST_F(ServerEngineTest, LostPortGivesOneSerialLostAndEndsTheNamedThread) {
    ASSERT_EQ(corvanaThreads(), 0u); // an earlier test's thread may linger in /proc
    start(pty.path());
    EXPECT_EQ(corvanaThreads(1), 1u);
    pty.hangUp();
    log.waitFor<ServerEvent::SerialLost>();
    EXPECT_EQ(corvanaThreads(), 0u);
    engine->stop();
    engine.reset();
    expected.push_back(ServerEvent::serialLost(pty.path()));
    EXPECT_EQ(log.events(), expected);
}

TEST_F(ServerEngineTest, StopRightAfterStartEmitsNothingAndClosesThePort) {
    // 9600 8E1, which a pseudo-terminal must take too.
    engine = std::make_unique<ServerEngine>(pty.path(), SerialConfiguration{}, store, false,
                                            log.handler());
    engine->start();
    engine->stop();
    SerialLink link(pty.path(), fastLine);
    EXPECT_NO_THROW(link.open()); // the exclusive lock is gone
    engine.reset();
    EXPECT_EQ(corvanaThreads(), 0u);
    EXPECT_EQ(log.events(), expected);
}

// A stop during a long delay ends the run at once: the delayed reply is dropped and the port is
// closed by the time stop returns.
TEST_F(ServerEngineTest, StopDuringALongDelayIsPromptAndDropsTheReply) {
    units[3].delayMs = 60000;
    configure();
    start(pty.path());
    const Step step = answered(4, writeThree, writeThree, {registerThree(4)});
    pty.send(step.sent);
    log.waitFor<ServerEvent::Wrote>();
    engine->stop();
    SerialLink link(pty.path(), fastLine);
    EXPECT_NO_THROW(link.open()); // stop did not give up waiting for the thread
    link.close();
    EXPECT_EQ(corvanaThreads(), 0u);
    engine.reset();
    expected.insert(expected.end(), step.events.begin(), step.events.end() - 1);
    EXPECT_EQ(log.events(), expected);
}

// While unit 4 waits to answer, the engine hears and logs the master's retry (unit 4 is busy and
// neither executes nor answers it) and other units answer as usual.
TEST_F(ServerEngineTest, RequestsDuringADelayAreHeardAndLogged) {
    units[3].delayMs = 60000;
    configure();
    start(pty.path());
    play(
        {{rtu(4, writeThree),
          {},
          {ServerEvent::request(4, writeThree, rtu(4, writeThree)),
           ServerEvent::wrote({registerThree(4)})}},
         {rtu(4, readOne),
          {},
          {ServerEvent::request(4, readOne, rtu(4, readOne)), ServerEvent::silent(4, false, true)}},
         unitOneReads});
    EXPECT_EQ(store->diagnostics(4)->serverMessages, 2); // both were heard
}

// A delayed reply whose write fails reports the loss, once.
TEST_F(ServerEngineTest, WriteFailingForADelayedReplyReportsTheLossOnce) {
    InjectedFaults faults;
    InjectedFaults::reset();
    start(pty.path());
    const Step step = answered(4, writeThree, writeThree, {registerThree(4)});
    pty.send(step.sent);
    log.waitFor<ServerEvent::Wrote>();
    InjectedFaults::write.arm(EIO); // within unit 4's delay
    log.waitFor<ServerEvent::SerialLost>();
    engine.reset();
    expected.insert(expected.end(), step.events.begin(), step.events.end() - 1);
    expected.push_back(ServerEvent::serialLost(pty.path()));
    EXPECT_EQ(log.events(), expected);
    EXPECT_EQ(corvanaThreads(), 0u);
    InjectedFaults::reset();
}

// Good, bad-CRC, other-unit, broadcast and exception traffic, then the counters as the master
// reads them: each count includes the request that asks for it.
TEST_F(ServerEngineTest, CountsAScriptedMixOfTraffic) {
    store->updateDiagnostics(1, [](UnitDiagnostics& d) { return d.serverMessages = 99; });
    start(pty.path());
    EXPECT_EQ(store->diagnostics(1)->serverMessages, 0); // a start clears the counters

    Bytes badCRC = rtu(1, readOne);
    badCRC.back() ^= 0x01;
    exchange(rtu(1, readOne), 2, 7);                     // request, response
    exchange(badCRC, 1);                                 // garbage
    exchange(rtu(9, readOne), 1);                        // another unit
    exchange(rtu(0, {0x06, 0x00, 0x01, 0x00, 0x07}), 2); // broadcast, wrote
    exchange(rtu(1, {0x03, 0x00, 0x0A, 0x00, 0x01}), 2, 5);
    exchange(rtu(3, readOne), 2, 5);

    // Newest first: exception sent, received, broadcast received, communication error, normal
    // answer sent, received; before all of them the request asking.
    EXPECT_EQ(exchange(rtu(1, {0x0C}), 2, 18),
              rtu(1, {0x0C, 0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x80, 0x41, 0x80, 0xC0, 0x82,
                      0x40, 0x80}));
    const std::pair<std::uint8_t, std::uint16_t> counters[] = {
        {0x0B, 7}, // bus messages: every good frame but the answers the engine sent
        {0x0C, 1}, // communication errors
        {0x0D, 1}, // exceptions unit 1 returned
        {0x0E, 8}, // messages for unit 1: two requests, the broadcast, five questions
        {0x0F, 1}, // no response: the broadcast
        {0x11, 0}, // busy
    };
    for (const auto& [sub, value] : counters) {
        const Bytes question{0x08, 0x00, sub, 0x00, 0x00};
        EXPECT_EQ(exchange(rtu(1, question), 2, 8),
                  rtu(1, {0x08, 0x00, sub, std::uint8_t(value >> 8), std::uint8_t(value)}))
            << int(sub);
    }
    // Completed messages: the first read, the event log and six counters.
    EXPECT_EQ(exchange(rtu(1, {0x0B}), 2, 8), rtu(1, {0x0B, 0x00, 0x00, 0x00, 0x08}));
    const auto busy = *store->diagnostics(3);
    EXPECT_EQ(busy.serverBusy, 1);
    EXPECT_EQ(busy.busExceptionErrors, 1);
    EXPECT_EQ(busy.busCommunicationErrors, 1);
}

// libmodbus, the most common master library, as the master on a virtual port pair.
class LibmodbusTest : public ServerEngineTest {
protected:
    void SetUp() override {
        ServerEngineTest::SetUp();
        start(ports.serverPath());
        // Pseudo-terminals take no parity, so the master opens with 'N'.
        master = connectRTUMaster(ports.masterPath());
        ASSERT_TRUE(master);
        // A late answer would be read as the answer to the next request: give each the patience.
        waitForAnswers(patience);
        modbus_set_byte_timeout(master.get(), static_cast<std::uint32_t>(patience / 1s), 0);
    }

    void TearDown() override { engine.reset(); }

    void waitForAnswers(std::chrono::microseconds wait) {
        modbus_set_response_timeout(master.get(), static_cast<std::uint32_t>(wait / 1s),
                                    static_cast<std::uint32_t>(wait.count() % 1000000));
    }

    // The answer's frame, or nothing when none comes within the wait.
    Bytes raw(const Bytes& pdu, std::chrono::milliseconds wait = 2000ms) {
        Bytes request{1};
        request.insert(request.end(), pdu.begin(), pdu.end());
        const std::size_t before = log.events().size();
        EXPECT_GT(modbus_send_raw_request(master.get(), request.data(), int(request.size())), 0);
        Bytes answer;
        std::array<std::uint8_t, 300> buffer{};
        pollfd readable{modbus_get_socket(master.get()), POLLIN, 0};
        for (int timeout = int(wait.count());
             ::poll(&readable, 1, timeout) == 1 && !RTUFrame::hasValidCRC(answer); timeout = 200) {
            const ssize_t n = ::read(readable.fd, buffer.data(), buffer.size());
            if (n <= 0) {
                break;
            }
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        }
        log.waitFor(before + 2); // request, then response or silence
        return answer;
    }

    VirtualPortPair ports;
    RTUMaster master{nullptr, nullptr};
};

TEST_F(LibmodbusTest, ReadsAndWritesEveryFunction) {
    std::array<std::uint16_t, 10> registers{};
    ASSERT_EQ(modbus_read_registers(master.get(), 0, 10, registers.data()), 10);
    ASSERT_EQ(modbus_write_register(master.get(), 2, 0xBEEF), 1);
    const std::uint16_t pair[] = {7, 8}, written[] = {0xAAAA};
    ASSERT_EQ(modbus_write_registers(master.get(), 4, 2, pair), 2);
    ASSERT_EQ(modbus_mask_write_register(master.get(), 6, 0x00F2, 0x0025), 1);
    EXPECT_EQ(store->readRegisters(1, RegisterTable::holdingRegister, {2, 7}),
              (Registers{0xBEEF, 0x0103, 7, 8, (0x0106 & 0xF2) | (0x25 & ~0xF2)}));
    ASSERT_EQ(modbus_write_and_read_registers(master.get(), 0, 1, written, 0, 3, registers.data()),
              3);
    EXPECT_EQ(std::vector(registers.begin(), registers.begin() + 3),
              (std::vector<std::uint16_t>{0xAAAA, 0x0101, 0xBEEF}));
    const std::uint8_t coils[] = {1, 1, 0};
    ASSERT_EQ(modbus_write_bits(master.get(), 0, 3, coils), 3);
    ASSERT_EQ(modbus_write_bit(master.get(), 9, 0), 1);
    std::array<std::uint8_t, 10> bits{};
    ASSERT_EQ(modbus_read_bits(master.get(), 0, 10, bits.data()), 10);
    EXPECT_EQ(bits, (std::array<std::uint8_t, 10>{1, 1, 0, 1, 0, 1, 0, 1, 0, 0}));
}

TEST_F(LibmodbusTest, SeesEveryFaultAndBroadcasts) {
    // Unit, write or read, libmodbus's error (0: answered); the silent ones never answer.
    const std::tuple<int, bool, int> cases[] = {
        {3, false, EMBXSBUSY}, {3, true, EMBXSBUSY}, {6, false, EMBBADCRC}, {2, false, ETIMEDOUT},
        {5, false, ETIMEDOUT}, {4, false, 0},        {1, false, 0}, // and the bus still works
    };
    for (const auto& [id, write, error] : cases) {
        waitForAnswers(error == ETIMEDOUT ? shortWait : patience);
        modbus_set_slave(master.get(), id);
        std::uint16_t value = 0;
        const int result = write ? modbus_write_register(master.get(), 0, 1)
                                 : modbus_read_registers(master.get(), 0, 1, &value);
        EXPECT_EQ(result, error ? -1 : 1) << id;
        EXPECT_EQ(error ? errno : 0, error) << id;
    }

    modbus_set_slave(master.get(), MODBUS_BROADCAST_ADDRESS);
    waitForAnswers(shortWait);
    modbus_write_register(master.get(), 8,
                          0x0BAD); // no answer is expected; the result does not matter
    log.waitFor<ServerEvent::Wrote>();
    for (const std::uint8_t id : {1, 2, 3, 4, 6}) {
        EXPECT_EQ(holdingAt(*store, id, 8), 0x0BAD) << int(id);
    }
    EXPECT_EQ(holdingAt(*store, 5, 8), 0x0108);
}

// libmodbus sends its next request about 150 µs after a reply; none may be lost.
TEST_F(LibmodbusTest, TightLoopOfTwoThousandRequestsIsAllAnswered) {
    int answered = 0;
    std::array<std::uint16_t, 2> registers{};
    for (int i = 0; i < 2000; ++i) {
        answered += modbus_read_registers(master.get(), i % 8, 2, registers.data()) == 2;
    }
    EXPECT_EQ(answered, 2000);
}

TEST_F(LibmodbusTest, AnswersEveryNewFunction) {
    std::array<std::uint8_t, 64> id{};
    const std::string data = UnitIdentity::defaultAdditionalData();
    ASSERT_EQ(modbus_report_slave_id(master.get(), int(id.size()), id.data()),
              int(2 + data.size()));
    EXPECT_EQ(id[0], 1);    // the server ID: the unit's address
    EXPECT_EQ(id[1], 0xFF); // running
    EXPECT_EQ(std::string(id.begin() + 2, id.begin() + 2 + data.size()), data);

    EXPECT_EQ(raw({0x08, 0x00, 0x00, 0x12, 0x34}), rtu(1, {0x08, 0x00, 0x00, 0x12, 0x34}));
    EXPECT_EQ(raw({0x0B}), rtu(1, {0x0B, 0x00, 0x00, 0x00, 0x02}));
    EXPECT_EQ(raw({0x0C}).at(2), 6 + 7); // three requests, their answers, and the asking one
    store->writeRegisters(1, RegisterTable::holdingRegister, 2, std::vector<std::uint16_t>{2});
    EXPECT_EQ(raw({0x18, 0x00, 0x02}),
              rtu(1, {0x18, 0x00, 0x06, 0x00, 0x02, 0x01, 0x03, 0x01, 0x04}));
    const Bytes identity = raw({0x2B, 0x0E, 0x01, 0x00});
    ASSERT_GT(identity.size(), 9u);
    EXPECT_EQ(Bytes(identity.begin(), identity.begin() + 8),
              (Bytes{0x01, 0x2B, 0x0E, 0x01, 0x82, 0x00, 0x00, 0x03}));
}

TEST_F(LibmodbusTest, ListenOnlyIsEnteredAndLeft) {
    EXPECT_EQ(raw({0x08, 0x00, 0x04, 0x00, 0x00}, 300ms), Bytes{});
    EXPECT_TRUE(store->isListeningOnly(1));
    EXPECT_EQ(raw({0x03, 0x00, 0x00, 0x00, 0x01}, 300ms), Bytes{});
    EXPECT_EQ(raw({0x08, 0x00, 0x01, 0x00, 0x00}, 300ms), Bytes{}); // the restart is not answered
    EXPECT_FALSE(store->isListeningOnly(1));
    std::uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(master.get(), 0, 1, &value), 1);
    EXPECT_EQ(value, 0x0100);
    const auto d = *store->diagnostics(1);
    EXPECT_EQ(d.serverMessages, 1); // the restart cleared the counters
    EXPECT_EQ(std::vector(d.events.begin(), d.events.begin() + 3),
              (std::vector<std::uint8_t>{0x40, 0x80, UnitDiagnostics::restartEvent}));
}

} // namespace

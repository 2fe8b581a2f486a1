#include "ServerCore/ServerEngine.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/VirtualPortPair.h"
#include "tests/support/EngineEvents.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/RTUMaster.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Fault = ServerUnit::Fault;

const SerialConfiguration fastLine{.baudRate = 115200, .parity = Parity::none};

Bytes rtu(std::uint8_t unit, const Bytes& pdu) {
    return RTUFrame::build(unit, pdu);
}

// Unit 1 normal with holding registers 0–9, unit 3 always answering exception 06.
class SerialLineEngineTest : public testing::Test {
protected:
    void SetUp() override {
        ServerUnit busy = unit(3);
        busy.fault = Fault::exception;
        std::vector<Datapoint> points;
        for (int a = 0; a < 10; ++a) {
            points.push_back(point(1, RegisterTable::holdingRegister, a, 0x0100 + a));
        }
        store->configure({unit(1), busy}, points, true);
    }

    void start(const std::string& path) {
        engine = std::make_unique<ServerEngine>(path, fastLine, store, false, events.handler());
        engine->start();
        events.waitFor(1);
    }

    // Sends a frame and waits for the events it causes; gives the answer.
    Bytes exchange(const Bytes& frame, std::size_t newEvents, std::size_t answerLength = 0) {
        const std::size_t before = events.events().size();
        pty.send(frame);
        const Bytes answer = answerLength ? pty.receive(answerLength) : Bytes{};
        events.waitFor(before + newEvents);
        return answer;
    }

    PseudoTerminal pty{eventPatience};
    std::shared_ptr<RegisterStore> store = std::make_shared<RegisterStore>();
    EventLog events; // outlives the engine, whose thread calls it
    std::unique_ptr<ServerEngine> engine;
};

// Good, bad-CRC, other-unit, broadcast and exception traffic, then the counters as the master
// reads them: each count includes the request that asks for it.
TEST_F(SerialLineEngineTest, CountsAScriptedMixOfTraffic) {
    store->updateDiagnostics(1, [](UnitDiagnostics& d) { return d.serverMessages = 99; });
    start(pty.path());
    EXPECT_EQ(store->diagnostics(1)->serverMessages, 0); // a start clears the counters

    const Bytes readOne{0x03, 0x00, 0x00, 0x00, 0x01};
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

// libmodbus as the master on a virtual port pair: its own report server ID call and raw frames
// for the rest, whose answers the test reads itself (libmodbus does not know their lengths).
class SerialLineLibmodbusTest : public SerialLineEngineTest {
protected:
    void SetUp() override {
        SerialLineEngineTest::SetUp();
        start(ports.serverPath());
        master = connectRTUMaster(ports.masterPath());
        ASSERT_TRUE(master);
        modbus_set_response_timeout(master.get(), static_cast<std::uint32_t>(eventPatience / 1s),
                                    0);
    }
    void TearDown() override { engine.reset(); }

    // The answer's frame, or nothing when none comes within the wait.
    Bytes raw(const Bytes& pdu, std::chrono::milliseconds wait = 2000ms) {
        Bytes request{1};
        request.insert(request.end(), pdu.begin(), pdu.end());
        const std::size_t before = events.events().size();
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
        events.waitFor(before + 2); // request, then response or silence
        return answer;
    }

    VirtualPortPair ports;
    RTUMaster master{nullptr, nullptr};
};

TEST_F(SerialLineLibmodbusTest, AnswersEveryNewFunction) {
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

TEST_F(SerialLineLibmodbusTest, ListenOnlyIsEnteredAndLeft) {
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

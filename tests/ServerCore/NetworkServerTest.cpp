#include "ServerCore/NetworkServer.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/VirtualPortPair.h"
#include "ServerCore/ServerEngine.h"
#include "tests/support/EngineEvents.h"
#include "tests/support/RTUMaster.h"
#include "tests/support/StoreBuilders.h"
#include "tests/support/TCPClient.h"
#include "tests/support/TCPMaster.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Effect = FaultRule::Effect;
using Kind = FaultRule::Effect::Kind;

const Bytes readTwo{0x03, 0x00, 0x00, 0x00, 0x02};

// A unit's reply to readTwo: holding registers 0 and 1 hold 0x0100 + unit and 0x0101 + unit.
Bytes twoRegisters(std::uint8_t unit) {
    return {0x03, 0x04, 0x01, unit, 0x01, static_cast<std::uint8_t>(unit + 1)};
}

// Units 1, 2 and 5 with holding registers 0–9 (0x0100 + unit + address), coils 0–15 and input
// registers 0–3; unit 4 is disabled. A listener of each framing can be started on a free port.
class NetworkServerTest : public testing::Test {
protected:
    void SetUp() override {
        units = {unit(1), unit(2), unit(4, ServerUnit::UndefinedAddresses::exception, false),
                 unit(5)};
        units[0].identity.serverID = Bytes{0x42};
        configure(*store);
    }
    void TearDown() override { servers.clear(); }

    void configure(RegisterStore& target) const {
        std::vector<Datapoint> points;
        for (const ServerUnit& u : units) {
            for (int a = 0; a < 10; ++a) {
                points.push_back(
                    point(u.unitID, RegisterTable::holdingRegister, a, 0x0100 + u.unitID + a));
            }
            for (int a = 0; a < 16; ++a) {
                points.push_back(point(u.unitID, RegisterTable::coil, a, a % 3 == 0));
                points.push_back(point(u.unitID, RegisterTable::discreteInput, a, a % 2 == 0));
            }
            for (int a = 0; a < 4; ++a) {
                points.push_back(point(u.unitID, RegisterTable::inputRegister, a, 0x0200 + a));
            }
        }
        target.configure(units, points, true);
    }

    NetworkServer& start(TCPFraming framing = TCPFraming::tcp, bool gateway = false) {
        servers.push_back(std::make_unique<NetworkServer>(
            NetworkSettings{.framing = framing, .port = 0, .gateway = gateway}, store,
            log.handler()));
        servers.back()->start();
        return *servers.back();
    }

    std::vector<ServerUnit> units;
    std::shared_ptr<RegisterStore> store = std::make_shared<RegisterStore>();
    EventLog log;
    std::vector<std::unique_ptr<NetworkServer>> servers;
};

// Every function a unit serves answers over Modbus TCP as the request processor answers it, in
// one run of requests whose writes the later reads see.
TEST_F(NetworkServerTest, AnswersEveryFunctionAsTheProcessorDoes) {
    auto twin = std::make_shared<RegisterStore>();
    configure(*twin);
    const RequestProcessor processor{twin};
    const Bytes requests[] = {
        {0x01, 0x00, 0x00, 0x00, 0x0A},
        {0x02, 0x00, 0x03, 0x00, 0x0D},
        {0x03, 0x00, 0x01, 0x00, 0x03},
        {0x04, 0x00, 0x00, 0x00, 0x04},
        {0x05, 0x00, 0x01, 0xFF, 0x00},
        {0x06, 0x00, 0x02, 0xBE, 0xEF},
        {0x0F, 0x00, 0x04, 0x00, 0x03, 0x01, 0x05},
        {0x10, 0x00, 0x04, 0x00, 0x02, 0x04, 0x00, 0x07, 0x00, 0x08},
        {0x16, 0x00, 0x06, 0x00, 0xF2, 0x00, 0x25},
        {0x17, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x02, 0xAA, 0xAA},
        {0x01, 0x00, 0x00, 0x00, 0x10},
        {0x07},
        {0x08, 0x00, 0x00, 0x12, 0x34},
        {0x11},
        {0x18, 0x00, 0x03},
        {0x2B, 0x0E, 0x01, 0x00},
        {0x03, 0x00, 0x20, 0x00, 0x01}, // undefined: exception 02
        {0x03, 0x00, 0x00, 0x00, 0x00}, // quantity 0: exception 03
        {0x41},                         // unknown function: exception 01
    };
    NetworkServer& server = start();
    TCPClient client(server.port());
    ASSERT_TRUE(client.connected());
    std::uint16_t transaction = 0x7FF0;
    for (const Bytes& pdu : requests) {
        SCOPED_TRACE(hexText(pdu));
        const auto expected = processor.process(pdu, 1).response;
        ASSERT_TRUE(expected);
        ASSERT_TRUE(client.send(MBAPFrame::build(++transaction, 1, pdu)));
        EXPECT_EQ(receiveMBAP(client), MBAPFrame::build(transaction, 1, *expected));
    }
    EXPECT_EQ(store->memory(1)->registers, twin->memory(1)->registers);
    EXPECT_EQ(store->memory(1)->bits, twin->memory(1)->bits);
}

// libmodbus as the master, through each call it has: it checks what a real master checks
// (transaction ID, unit, function, lengths), and the writes show in the reads after them.
TEST_F(NetworkServerTest, ServesLibmodbusAsATCPMasterForEachOfItsFunctions) {
    const TCPMaster master = connectTCPMaster(start().port(), 1);
    modbus_t* m = master.get();
    std::array<std::uint8_t, 16> bits{};
    std::array<std::uint16_t, 8> registers{};
    ASSERT_EQ(modbus_read_registers(m, 1, 3, registers.data()), 3) << modbus_strerror(errno);
    EXPECT_EQ(registers[0], 0x0102);
    ASSERT_EQ(modbus_read_input_registers(m, 0, 4, registers.data()), 4);
    EXPECT_EQ(registers[3], 0x0203);
    ASSERT_EQ(modbus_read_input_bits(m, 3, 13, bits.data()), 13);
    EXPECT_EQ(bits[0] * 10 + bits[1], 1); // inputs 3 and 4: off, on
    EXPECT_EQ(modbus_write_bit(m, 1, 1), 1);
    const std::uint8_t three[] = {1, 0, 1};
    EXPECT_EQ(modbus_write_bits(m, 4, 3, three), 3);
    ASSERT_EQ(modbus_read_bits(m, 0, 8, bits.data()), 8);
    EXPECT_EQ(Bytes(bits.begin(), bits.begin() + 8), (Bytes{1, 1, 0, 1, 1, 0, 1, 0}));
    EXPECT_EQ(modbus_write_register(m, 2, 0xBEEF), 1);
    const std::uint16_t two[] = {7, 8};
    EXPECT_EQ(modbus_write_registers(m, 4, 2, two), 2);
    EXPECT_EQ(modbus_mask_write_register(m, 6, 0x00F2, 0x0025), 1);
    const std::uint16_t written = 0xAAAA;
    ASSERT_EQ(modbus_write_and_read_registers(m, 0, 1, &written, 0, 8, registers.data()), 8);
    EXPECT_EQ(registers,
              (std::array<std::uint16_t, 8>{0xAAAA, 0x0102, 0xBEEF, 0x0104, 7, 8, 0x0007, 0x0108}));
    std::array<std::uint8_t, 32> identity{};
    EXPECT_GT(modbus_report_slave_id(m, static_cast<int>(identity.size()), identity.data()), 0);
    EXPECT_EQ(identity[0], 0x42);
}

// Requests sent at once are answered in their order with their own transaction IDs; a unit that
// stays silent (absent, a broadcast) leaves no gap in the order of the rest.
TEST_F(NetworkServerTest, AnswersPipelinedRequestsAndUnitIDsInOrder) {
    const Bytes writeTwelve{0x06, 0x00, 0x09, 0x00, 0x0C};
    const Bytes gatewayFailure{0x83, 0x0B};
    struct Case {
        std::uint8_t unit;
        const Bytes& pdu;
        std::optional<Bytes> plain; // the answer without the gateway option; none: silence
        std::optional<Bytes> gateway;
    };
    const Case cases[] = {
        {2, readTwo, twoRegisters(2), twoRegisters(2)},
        {0, writeTwelve, std::nullopt, std::nullopt},     // broadcast: written, no answer
        {255, readTwo, twoRegisters(1), twoRegisters(1)}, // the lowest enabled unit
        {9, readTwo, std::nullopt, gatewayFailure},       // absent
        {4, readTwo, std::nullopt, gatewayFailure},       // disabled
        {1, readTwo, twoRegisters(1), twoRegisters(1)},
    };
    for (const bool gateway : {false, true}) {
        SCOPED_TRACE(gateway ? "gateway" : "no gateway");
        NetworkServer& server = start(TCPFraming::tcp, gateway);
        store->writeRegisters(1, RegisterTable::holdingRegister, 9, std::vector<std::uint16_t>{0});
        Bytes requests, expected;
        std::uint16_t transaction = 0xFFF0;
        for (const Case& c : cases) {
            const Bytes request = MBAPFrame::build(++transaction, c.unit, c.pdu);
            requests.insert(requests.end(), request.begin(), request.end());
            if (const auto& answer = gateway ? c.gateway : c.plain) {
                const Bytes reply = MBAPFrame::build(transaction, c.unit, *answer);
                expected.insert(expected.end(), reply.begin(), reply.end());
            }
        }
        TCPClient client(server.port());
        ASSERT_TRUE(client.send(requests));
        EXPECT_EQ(client.receive(expected.size()), expected);
        EXPECT_EQ(holdingAt(*store, 1, 9), 12);
        EXPECT_EQ(holdingAt(*store, 5, 9), 12);
    }
    const Events events = log.waitFor<ServerEvent::OtherUnit>(4);
    const auto request = std::find_if(events.begin(), events.end(), [](const ServerEvent& e) {
        return e.is<ServerEvent::Request>() && e.as<ServerEvent::Request>()->frame[6] == 255;
    });
    ASSERT_NE(request, events.end());
    EXPECT_EQ(request->as<ServerEvent::Request>()->unit, 1); // logged as the unit that answered
    EXPECT_EQ(request->origin.transport, Transport::tcp);
    EXPECT_EQ(request->origin.client.rfind("127.0.0.1:", 0), 0U);
}

// A bad header ends that connection with the reason in the log; another client keeps its own.
TEST_F(NetworkServerTest, BadHeaderClosesOnlyThatClient) {
    NetworkServer& server = start();
    TCPClient good(server.port()), bad(server.port());
    log.waitFor<ServerEvent::ClientConnected>(2);
    EXPECT_EQ(server.clientCount(), 2U);
    ASSERT_TRUE(bad.send({0x00, 0x01, 0x00, 0x05, 0x00, 0x06, 0x01, 0x03, 0, 0, 0, 1}));
    EXPECT_TRUE(bad.closedByListener());
    ASSERT_TRUE(good.send(MBAPFrame::build(3, 2, readTwo)));
    EXPECT_EQ(receiveMBAP(good), MBAPFrame::build(3, 2, twoRegisters(2)));

    const Events events = log.waitFor<ServerEvent::ClientClosed>();
    const auto closed = std::find_if(events.begin(), events.end(), [](const ServerEvent& e) {
        return e.is<ServerEvent::ClientClosed>();
    });
    const auto& why = *closed->as<ServerEvent::ClientClosed>();
    EXPECT_EQ(why.reason, TCPEvent::Reason::badFrame);
    ASSERT_TRUE(why.fault);
    EXPECT_EQ(why.fault->reason, TCPStreamSplitter::Fault::Reason::protocolID);
    EXPECT_EQ(why.clients, 1U);
    EXPECT_EQ(closed->origin.transport, Transport::tcp);
    EXPECT_FALSE(closed->origin.client.empty());
    EXPECT_EQ(events.front(), ServerEvent::listening("127.0.0.1:" + std::to_string(server.port()))
                                  .from({Transport::tcp, {}}));
}

// One client over the limit is let in and closed at once; the log says so and by whom.
TEST_F(NetworkServerTest, RefusesTheClientOverTheLimit) {
    NetworkServer server({.port = 0, .maxClients = 1}, store, log.handler());
    server.start();
    TCPClient first(server.port());
    log.waitFor<ServerEvent::ClientConnected>();
    TCPClient second(server.port());
    EXPECT_TRUE(second.closedByListener());
    const Events events = log.waitFor<ServerEvent::ClientRefused>();
    const auto refused = std::find_if(events.begin(), events.end(), [](const ServerEvent& e) {
        return e.is<ServerEvent::ClientRefused>();
    });
    ASSERT_NE(refused, events.end());
    EXPECT_EQ(refused->as<ServerEvent::ClientRefused>()->maxClients, 1U);
    EXPECT_EQ(refused->origin.client.rfind("127.0.0.1:", 0), 0U);
    EXPECT_EQ(server.clientCount(), 1U); // TCPListenerTest serves those let in
}

// A delay holds up that connection's reply only; the CRC effects damage RTU framing only, and
// the report of each transport counts its own.
TEST_F(NetworkServerTest, FaultRulesShapeRepliesPerTransport) {
    units[0].faultRules = {{"slow", true, {}, {}, {.kind = Kind::delay, .ms = 3000}}};
    units[1].faultRules = {{"crc", true, {}, {}, {.kind = Kind::badCRC}}};
    configure(*store);
    NetworkServer& tcp = start(TCPFraming::tcp);
    NetworkServer& rtu = start(TCPFraming::rtuOverTCP);
    TCPClient slow(tcp.port()), quick(tcp.port()), framed(rtu.port());
    ASSERT_TRUE(slow.send(MBAPFrame::build(1, 1, readTwo)));
    log.waitFor<ServerEvent::FaultFired>();
    ASSERT_TRUE(quick.send(MBAPFrame::build(2, 2, readTwo)));
    EXPECT_EQ(receiveMBAP(quick), MBAPFrame::build(2, 2, twoRegisters(2))); // CRC rule: intact
    const Events soFar = log.events();
    const auto answer = std::find_if(soFar.rbegin(), soFar.rend(), [](const ServerEvent& e) {
        return e.is<ServerEvent::Response>();
    });
    ASSERT_NE(answer, soFar.rend());
    EXPECT_EQ(answer->as<ServerEvent::Response>()->unit, 2);
    EXPECT_FALSE(answer->as<ServerEvent::Response>()->corruptedCRC);
    std::uint8_t byte = 0;
    EXPECT_EQ(::recv(slow.descriptor(), &byte, 1, MSG_DONTWAIT), -1); // still held back
    EXPECT_EQ(receiveMBAP(slow), MBAPFrame::build(1, 1, twoRegisters(1)));

    ASSERT_TRUE(framed.send(RTUFrame::build(2, readTwo)));
    Bytes damaged = RTUFrame::build(2, twoRegisters(2));
    damaged.back() ^= 0x5A;
    EXPECT_EQ(framed.receive(damaged.size()), damaged);

    const auto rows = [this](Transport t) { return store->masterReport(t).summary().functions; };
    ASSERT_EQ(rows(Transport::tcp).size(), 2U);
    EXPECT_EQ(rows(Transport::tcp)[0].delayed, 1U);
    EXPECT_EQ(rows(Transport::tcp)[1].damaged, 0U);
    ASSERT_EQ(rows(Transport::rtuOverTCP).size(), 1U);
    EXPECT_EQ(rows(Transport::rtuOverTCP)[0].damaged, 1U);
    EXPECT_TRUE(rows(Transport::serial).empty());
}

// One store, three transports at once: a write over Modbus TCP is read back over the serial
// line and over RTU over TCP, with libmodbus as every master; each event names its origin.
TEST_F(NetworkServerTest, ServesTheSerialLineAndTheNetworkFromOneStore) {
    VirtualPortPair ports;
    ServerEngine engine(ports.serverPath(), {.baudRate = 115200, .parity = Parity::none}, store,
                        false, log.handler());
    engine.start();
    NetworkServer& tcp = start(TCPFraming::tcp);
    auto tcpMaster = connectTCPMaster(tcp.port(), 2);
    auto serialMaster = connectRTUMaster(ports.masterPath(), 2);
    ASSERT_EQ(modbus_write_register(tcpMaster.get(), 3, 0xCAFE), 1);
    std::uint16_t value = 0;
    ASSERT_EQ(modbus_read_registers(serialMaster.get(), 3, 1, &value), 1);
    EXPECT_EQ(value, 0xCAFE);

    const Events events = log.waitFor<ServerEvent::Response>(2);
    std::vector<ServerEvent::Origin> origins;
    for (const ServerEvent& e : events) {
        if (e.is<ServerEvent::Response>() || e.is<ServerEvent::Wrote>()) {
            origins.push_back(e.origin);
        }
    }
    ASSERT_EQ(origins.size(), 3U);
    EXPECT_EQ(origins[0].transport, Transport::tcp); // wrote
    EXPECT_EQ(origins[1], origins[0]);               // its answer
    EXPECT_EQ(origins[2], ServerEvent::Origin{});    // the serial line's, as ever
    EXPECT_EQ(store->masterReport(Transport::serial).summary().line.requests, 1U);
    EXPECT_EQ(store->masterReport(Transport::tcp).summary().line.requests, 1U);
}

// The serial line's framing in a TCP stream: a raw client, and libmodbus as an RTU master
// through socat's pseudo-terminal.
TEST_F(NetworkServerTest, ServesRTUOverTCP) {
    NetworkServer& server = start(TCPFraming::rtuOverTCP);
    EXPECT_EQ(server.transport(), Transport::rtuOverTCP);
    TCPClient client(server.port());
    Bytes twoRequests = RTUFrame::build(5, readTwo);
    const Bytes second = RTUFrame::build(255, readTwo);
    twoRequests.insert(twoRequests.end(), second.begin(), second.end());
    ASSERT_TRUE(client.send(twoRequests));
    const Bytes first = RTUFrame::build(5, twoRegisters(5));
    const Bytes lowest = RTUFrame::build(255, twoRegisters(1));
    EXPECT_EQ(client.receive(first.size()), first);
    EXPECT_EQ(client.receive(lowest.size()), lowest);

    if (::access("/usr/bin/socat", X_OK) != 0) {
        GTEST_SKIP() << "socat is not installed";
    }
    const std::string link = testing::TempDir() + "corvana-rtu-" + std::to_string(::getpid());
    const std::string pty = "PTY,raw,echo=0,link=" + link;
    const std::string tcp = "TCP:127.0.0.1:" + std::to_string(server.port());
    const char* argv[] = {"socat", pty.c_str(), tcp.c_str(), nullptr};
    pid_t socat = 0;
    ASSERT_EQ(::posix_spawn(&socat, "/usr/bin/socat", nullptr, nullptr,
                            const_cast<char* const*>(argv), environ),
              0);
    for (const auto giveUp = std::chrono::steady_clock::now() + eventPatience;
         !std::filesystem::exists(link) && std::chrono::steady_clock::now() < giveUp;) {
        std::this_thread::sleep_for(10ms);
    }
    {
        auto master = connectRTUMaster(link, 5);
        ASSERT_TRUE(master);
        ASSERT_EQ(modbus_write_register(master.get(), 7, 0x1234), 1);
        std::array<std::uint16_t, 2> registers{};
        ASSERT_EQ(modbus_read_registers(master.get(), 6, 2, registers.data()), 2);
        EXPECT_EQ(registers, (std::array<std::uint16_t, 2>{0x010B, 0x1234}));
    }
    ::kill(socat, SIGTERM);
    ::waitpid(socat, nullptr, 0);
}

} // namespace

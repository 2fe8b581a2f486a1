#include "ServerCore/ServerEngine.h"

#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/VirtualPortPair.h"
#include "tests/support/EngineEvents.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/RTUMaster.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <bit>

#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Effect = FaultRule::Effect;
using Kind = FaultRule::Effect::Kind;

const SerialConfiguration fastLine{.baudRate = 115200, .parity = Parity::none};
constexpr auto masterTimeout = 300ms; // the master's wait for a reply
constexpr auto byteTimeout = 100ms;   // and between the bytes of one
constexpr int anyError = -1;          // the effect's random bytes decide which error

FaultRule always(Effect effect, std::string name = "rule") {
    return FaultRule{std::move(name), true, {}, {}, effect};
}

// Unit 1 with holding registers 0–9 (0x0100 + address) and the rules under test; the engine on one
// end of a port pair or a pseudo-terminal.
class FaultRuleEngineTest : public testing::Test {
protected:
    void SetUp() override {
        units[0].unitID = 1;
        configure({});
        store->setFaultSeed(1);
    }
    void TearDown() override { engine.reset(); }

    // Rules changed while the engine runs apply from the next request.
    void configure(std::vector<FaultRule> rules) {
        units[0].faultRules = std::move(rules);
        std::vector<Datapoint> points;
        for (int a = 0; a < 10; ++a) {
            points.push_back(point(1, RegisterTable::holdingRegister, a, 0x0100 + a));
        }
        store->configure(units, points, false);
    }

    void start(const std::string& path) {
        engine = std::make_unique<ServerEngine>(path, fastLine, store, false, log.handler());
        engine->start();
        log.waitFor<ServerEvent::Started>();
    }

    // Waits until the unit has answered or stayed silent `count` times in all.
    Events settled(std::size_t count) {
        return log.waitUntil([count](const Events& events) {
            return EventLog::countOf<ServerEvent::Response>(events) +
                       EventLog::countOf<ServerEvent::Silent>(events) >=
                   count;
        });
    }

    std::vector<ServerUnit> units{ServerUnit{}};
    std::shared_ptr<RegisterStore> store = std::make_shared<RegisterStore>();
    EventLog log;
    std::unique_ptr<ServerEngine> engine;
};

// libmodbus as the master meets every effect: what it reports, and what the store kept.
class FaultRuleMasterTest : public FaultRuleEngineTest {
protected:
    void SetUp() override {
        FaultRuleEngineTest::SetUp();
        start(ports.serverPath());
        master = connectRTUMaster(ports.masterPath());
        ASSERT_TRUE(master);
        modbus_set_response_timeout(master.get(), 0,
                                    std::chrono::microseconds(masterTimeout).count());
        modbus_set_byte_timeout(master.get(), 0, std::chrono::microseconds(byteTimeout).count());
    }
    // Reads what is still on its way: the pair's relay thread may hand on the tail of a burst
    // after the engine reported it sent. Done when the line stayed quiet for a while.
    void drainLine() {
        const int fd = modbus_get_socket(master.get());
        std::array<std::uint8_t, 256> buffer{};
        pollfd readable{fd, POLLIN, 0};
        while (::poll(&readable, 1, quietTime) == 1 &&
               ::read(fd, buffer.data(), buffer.size()) > 0) {
        }
    }

    static constexpr int quietTime = 100; // ms
    VirtualPortPair ports;
    RTUMaster master{nullptr, nullptr};
};

TEST_F(FaultRuleMasterTest, EveryEffectAsLibmodbusSeesIt) {
    struct Case {
        const char* name;
        Effect effect;
        bool write; // register 3 := 42, else a read of registers 0–2
        int error;  // 0: answered; anyError: some error
    };
    const Case cases[] = {
        {"no response", {.kind = Kind::noResponse}, false, ETIMEDOUT},
        {"exception 04", {.kind = Kind::exception, .code = 4}, false, EMBXSFAIL},
        {"exception 0x30", {.kind = Kind::exception, .code = 0x30}, true, EMBBADEXC},
        {"bad CRC", {.kind = Kind::badCRC}, false, EMBBADCRC},
        {"short delay", {.kind = Kind::delay, .ms = 50}, false, 0},
        {"delay past the time-out", {.kind = Kind::delay, .ms = 600}, false, ETIMEDOUT},
        {"slow bytes", {.kind = Kind::byteDelay, .ms = 5}, false, 0},
        {"bytes slower than the byte time-out",
         {.kind = Kind::byteDelay, .ms = 150},
         false,
         ETIMEDOUT},
        {"truncate", {.kind = Kind::truncate, .bytes = 2}, false, ETIMEDOUT},
        {"wrong unit", {.kind = Kind::wrongUnit, .unitID = 9}, false, EMBBADSLAVE},
        {"wrong function", {.kind = Kind::wrongFunction, .code = 4}, false, EMBBADDATA},
        {"fewer values", {.kind = Kind::fewerValues, .count = 1}, false, EMBBADDATA},
        {"extra bytes", {.kind = Kind::extraBytes, .bytes = 3}, false, 0},
        {"duplicate", {.kind = Kind::duplicate}, false, 0},
        {"no response, executed", {.kind = Kind::noResponse}, true, ETIMEDOUT},
        // The previous reply was the write's echo: another function than this read's.
        {"stale reply", {.kind = Kind::staleReply}, false, EMBBADDATA},
        {"noise", {.kind = Kind::noise, .bytes = 3}, false, anyError},
        {"early", {.kind = Kind::early}, true, 0},
    };
    std::size_t replies = 0;
    for (const Case& c : cases) {
        configure({always(c.effect, c.name)});
        std::array<std::uint16_t, 3> registers{};
        errno = 0;
        const int result = c.write ? modbus_write_register(master.get(), 3, 42)
                                   : modbus_read_registers(master.get(), 0, 3, registers.data());
        const int error = errno;
        EXPECT_EQ(result, c.error == 0 ? (c.write ? 1 : 3) : -1) << c.name;
        if (c.error > 0) {
            EXPECT_EQ(error, c.error) << c.name << ": " << modbus_strerror(error);
        }
        if (c.error == 0 && !c.write) {
            EXPECT_EQ(registers, (std::array<std::uint16_t, 3>{0x0100, 0x0101, 0x0102})) << c.name;
        }
        settled(++replies); // the whole burst is out; nothing of it may reach the next case
        drainLine();
    }
    EXPECT_EQ(holdingAt(*store, 1, 3), 42); // written by the write whose answer was withheld
    const auto counts = store->faultCounts(1);
    EXPECT_EQ(counts, (std::vector<FaultRule::Counts>{{1, 1}})); // counting starts anew per rule
}

TEST_F(FaultRuleMasterTest, DroppedRequestIsNeitherExecutedNorAnswered) {
    configure({always({.kind = Kind::noResponse, .dropRequest = true})});
    errno = 0;
    EXPECT_EQ(modbus_write_register(master.get(), 3, 42), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    const Events events = settled(1);
    EXPECT_EQ(holdingAt(*store, 1, 3), 0x0103);
    EXPECT_EQ(EventLog::countOf<ServerEvent::Wrote>(events), 0u);
}

// A flipped bit is what only a plausibility check catches: libmodbus reads the value happily.
TEST_F(FaultRuleMasterTest, CorruptDataPassesTheCRCWithOneBitWrong) {
    configure({always({.kind = Kind::corruptData})});
    std::array<std::uint16_t, 3> registers{};
    ASSERT_EQ(modbus_read_registers(master.get(), 0, 3, registers.data()), 3);
    const std::array<std::uint16_t, 3> stored{0x0100, 0x0101, 0x0102};
    int flipped = 0;
    for (std::size_t i = 0; i < registers.size(); ++i) {
        flipped += std::popcount(static_cast<unsigned>(registers[i] ^ stored[i]));
    }
    EXPECT_EQ(flipped, 1);
}

// Every 3rd read of registers 0–4 gets a bad CRC; writes and other addresses are left alone, and
// the rules after the first that fires do not see the request.
TEST_F(FaultRuleMasterTest, OnlyTheMatchingRequestsOnTheirScheduleFail) {
    FaultRule third{"third read",
                    true,
                    {.functions = {3}, .addressFrom = 0, .addressTo = 4},
                    {.kind = FaultRule::Schedule::Kind::everyNth, .n = 3},
                    {.kind = Kind::badCRC}};
    FaultRule writes{"writes", true, {.functions = {6}}, {}, {.kind = Kind::exception, .code = 6}};
    configure({third, writes});
    std::vector<int> errors;
    std::uint16_t value = 0;
    for (int i = 0; i < 7; ++i) {
        errno = 0;
        errors.push_back(modbus_read_registers(master.get(), 0, 1, &value) < 0 ? errno : 0);
    }
    errors.push_back(modbus_read_registers(master.get(), 8, 1, &value) < 0 ? errno : 0);
    errors.push_back(modbus_write_register(master.get(), 3, 7) < 0 ? errno : 0);
    EXPECT_EQ(errors, (std::vector<int>{0, 0, EMBBADCRC, 0, 0, EMBBADCRC, 0, 0, EMBXSBUSY}));
    EXPECT_EQ(store->faultCounts(1), (std::vector<FaultRule::Counts>{{7, 2}, {1, 1}}));
}

// The bytes really sent, as the master's end of a pseudo-terminal receives them and as the
// response event reports them; the fired rule comes before the reply it changed.
class FaultRuleWireTest : public FaultRuleEngineTest {
protected:
    void SetUp() override {
        FaultRuleEngineTest::SetUp();
        start(pty.path());
    }
    PseudoTerminal pty;
};

TEST_F(FaultRuleWireTest, BurstsOnTheWireMatchTheResponseEvent) {
    const Bytes read{0x03, 0x00, 0x00, 0x00, 0x02};
    const Bytes reply = RTUFrame::build(1, Bytes{0x03, 0x04, 0x01, 0x00, 0x01, 0x01});
    const std::tuple<Effect, std::size_t> cases[] = {
        {{.kind = Kind::duplicate}, 2 * reply.size()},
        {{.kind = Kind::noise, .bytes = 4}, 4 + reply.size()},
        {{.kind = Kind::byteDelay, .ms = 2}, reply.size()},
        {{.kind = Kind::extraBytes, .bytes = 2}, reply.size() + 2},
    };
    std::size_t replies = 0;
    for (const auto& [effect, size] : cases) {
        configure({always(effect, "wire")});
        pty.send(RTUFrame::build(1, read));
        const Bytes received = pty.receive(size);
        const Events events = settled(++replies);
        const auto* response = events.back().as<ServerEvent::Response>();
        ASSERT_NE(response, nullptr) << effect.kind.rawValue();
        EXPECT_EQ(response->frame, received) << effect.kind.rawValue();
        EXPECT_EQ(ByteView(received).last(reply.size()).size(), reply.size());
        EXPECT_TRUE(
            std::equal(reply.begin(), reply.end(),
                       received.end() - static_cast<std::ptrdiff_t>(effect.kind == Kind::extraBytes
                                                                        ? reply.size() + 2
                                                                        : reply.size())))
            << effect.kind.rawValue();
        const auto& fired = events[events.size() - 2];
        EXPECT_EQ(fired, ServerEvent::faultFired(1, 0, "wire", effect)) << effect.kind.rawValue();
    }
}

} // namespace

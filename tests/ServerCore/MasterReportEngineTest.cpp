#include "ServerCore/ServerEngine.h"

#include "ModbusSerial/VirtualPortPair.h"
#include "tests/support/EngineEvents.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/RTUMaster.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Kind = FaultRule::Effect::Kind;

const SerialConfiguration fastLine{.baudRate = 115200, .parity = Parity::none};
constexpr auto masterTimeout = 100ms; // the master's wait for an answer before it retries

// A rule that leaves the first `n` reads of holding register `address` unanswered.
FaultRule dropFirst(int n, int address) {
    return FaultRule{"drop",
                     true,
                     {.functions = {0x03}, .addressFrom = address, .addressTo = address},
                     {.kind = FaultRule::Schedule::Kind::firstN, .n = n},
                     {.kind = Kind::noResponse}};
}

// Unit 1 with holding registers 0–9 and unit 2 that always answers exception 06; the engine on
// one end of a port pair and libmodbus as the master on the other.
class MasterReportEngineTest : public testing::Test {
protected:
    void SetUp() override {
        std::vector<ServerUnit> units{unit(1), unit(2)};
        units[0].faultRules = {dropFirst(2, 0), dropFirst(100, 5)};
        units[1].fault = ServerUnit::Fault::exception;
        units[1].exceptionCode = ModbusException::serverDeviceBusy;
        std::vector<Datapoint> points;
        for (int a = 0; a < 10; ++a) {
            points.push_back(point(1, RegisterTable::holdingRegister, a, a));
        }
        store->configure(units, points, true);
        engine = std::make_unique<ServerEngine>(ports.serverPath(), fastLine, store, false,
                                                log.handler());
        engine->start();
        log.waitFor<ServerEvent::Started>();

        master = connectRTUMaster(ports.masterPath());
        ASSERT_TRUE(master);
        modbus_set_response_timeout(master.get(), 0,
                                    std::chrono::microseconds(masterTimeout).count());
        modbus_set_byte_timeout(master.get(), 0, std::chrono::microseconds(masterTimeout).count());
    }

    void TearDown() override { engine.reset(); }

    // Reads one register, trying `attempts` times in all; whether it was answered.
    bool readWithRetries(int address, int attempts) {
        std::uint16_t value = 0;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            if (modbus_read_registers(master.get(), address, 1, &value) == 1) {
                return true;
            }
        }
        return false;
    }

    MasterReport::Summary summary() const { return store->masterReport().summary(); }

    const MasterReport::PollRow* item(const MasterReport::Summary& s, int unit, int address) {
        const auto found = std::ranges::find_if(s.pollItems, [&](const MasterReport::PollRow& r) {
            return r.unit == unit && r.address == address;
        });
        return found == s.pollItems.end() ? nullptr : &*found;
    }

    std::shared_ptr<RegisterStore> store = std::make_shared<RegisterStore>();
    EventLog log;
    std::unique_ptr<ServerEngine> engine;
    VirtualPortPair ports;
    RTUMaster master{nullptr, nullptr};
};

TEST_F(MasterReportEngineTest, PollIntervalsFollowTheMastersPace) {
    // A read every 50 ms, on a schedule, as a PLC's cyclic task polls.
    constexpr int polls = 41;
    constexpr auto pace = 50ms;
    std::vector<std::chrono::steady_clock::time_point> sentAt;
    const auto begin = std::chrono::steady_clock::now();
    std::uint16_t values[3]{};
    for (int i = 0; i < polls; ++i) {
        std::this_thread::sleep_until(begin + i * pace);
        sentAt.push_back(std::chrono::steady_clock::now());
        ASSERT_EQ(modbus_read_registers(master.get(), 2, 3, values), 3) << modbus_strerror(errno);
    }

    const auto report = summary();
    const auto* polled = item(report, 1, 2);
    ASSERT_NE(polled, nullptr);
    EXPECT_EQ(polled->function, 0x03);
    EXPECT_EQ(polled->quantity, 3);
    EXPECT_EQ(polled->requests, static_cast<std::uint64_t>(polls));
    EXPECT_EQ(polled->interval.count, static_cast<std::uint64_t>(polls - 1));
    // The mean interval within 1 ms of the pace and of what the master's own clock gives. Single
    // arrivals, and with them the median, may stray by a scheduler tick on a busy machine, where
    // the thread that carries the bytes across the pair runs late; the mean does not.
    const double masterSpan =
        std::chrono::duration<double, std::milli>(sentAt.back() - sentAt.front()).count();
    const double masterMean = masterSpan / (polls - 1);
    EXPECT_NEAR(polled->interval.mean, 50.0, 1.0);
    EXPECT_NEAR(polled->interval.mean, masterMean, 1.0);
    EXPECT_LE(polled->interval.min, polled->interval.mean);
    EXPECT_LE(polled->interval.mean, polled->interval.max);
    EXPECT_LE(polled->interval.min, polled->interval.median);
    EXPECT_LE(polled->interval.median, polled->interval.p95);
    EXPECT_LE(polled->interval.p95, polled->interval.max);

    // libmodbus keeps the line's timing: no early request, no gap inside one, nothing damaged.
    EXPECT_EQ(report.line.requests, static_cast<std::uint64_t>(polls));
    EXPECT_EQ(report.line.earlyRequests, 0u);
    EXPECT_EQ(report.line.characterGaps, 0u);
    EXPECT_EQ(report.line.crcErrors + report.line.garbageBytes, 0u);
    EXPECT_EQ(report.line.turnaround.count, static_cast<std::uint64_t>(polls - 1));
    ASSERT_EQ(report.functions.size(), 1u);
    EXPECT_EQ(report.functions[0].answers, static_cast<std::uint64_t>(polls));
}

TEST_F(MasterReportEngineTest, RetriesCountedUntilSucceededOrGaveUp) {
    // Register 0: two answers dropped, the third attempt answered.
    EXPECT_TRUE(readWithRetries(0, 4));
    // Register 5 never answers: the master tries twice, then polls something else.
    EXPECT_FALSE(readWithRetries(5, 2));
    EXPECT_TRUE(readWithRetries(7, 1));
    // Unit 2 answers exception 06 to a read, and register 20 of unit 1 does not exist (02).
    modbus_set_slave(master.get(), 2);
    std::uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(master.get(), 0, 1, &value), -1);
    modbus_set_slave(master.get(), 1);
    EXPECT_EQ(modbus_read_registers(master.get(), 20, 1, &value), -1);
    EXPECT_EQ(modbus_write_register(master.get(), 20, 1), -1);

    const auto report = summary();
    ASSERT_EQ(report.units.size(), 2u);
    const auto& unit1 = report.units[0];
    EXPECT_EQ(unit1.retries, 3u);
    EXPECT_EQ(unit1.succeeded, 1u);
    EXPECT_EQ(unit1.gaveUp, 1u);
    EXPECT_EQ(unit1.retriesUntilSucceeded, (std::map<int, std::uint64_t>{{2, 1}}));
    EXPECT_EQ(unit1.retriesUntilGaveUp, (std::map<int, std::uint64_t>{{1, 1}}));
    EXPECT_EQ(unit1.retryDelay.count, 3u);
    EXPECT_EQ(report.units[1].retries, 0u);

    ASSERT_EQ(report.functions.size(), 3u);
    const auto& reads = report.functions[0];
    EXPECT_EQ(reads.function, 0x03);
    EXPECT_EQ(reads.requests, 7u);
    EXPECT_EQ(reads.answers, 3u);
    EXPECT_EQ(reads.suppressed, 4u);
    EXPECT_EQ(reads.exceptions, (std::map<int, std::uint64_t>{{2, 1}}));
    EXPECT_EQ(report.functions[1].function, 0x06);
    EXPECT_EQ(report.functions[1].exceptions, (std::map<int, std::uint64_t>{{2, 1}}));
    EXPECT_EQ(report.functions[2].unit, 2);
    EXPECT_EQ(report.functions[2].exceptions, (std::map<int, std::uint64_t>{{6, 1}}));

    const auto* dropped = item(report, 1, 0);
    ASSERT_NE(dropped, nullptr);
    EXPECT_EQ(dropped->requests, 3u);
}

TEST_F(MasterReportEngineTest, BroadcastsCrcErrorsAndGarbageOnTheLine) {
    modbus_set_slave(master.get(), MODBUS_BROADCAST_ADDRESS);
    modbus_write_register(master.get(), 1, 7); // waits for no answer; the result does not matter
    log.waitFor<ServerEvent::Wrote>();
    modbus_set_slave(master.get(), 1);
    std::uint16_t value = 0;
    ASSERT_EQ(modbus_read_registers(master.get(), 1, 1, &value), 1);
    EXPECT_EQ(value, 7);

    // A request with a damaged CRC, then noise, each closed by silence.
    const std::uint8_t damaged[] = {0x01, 0x03, 0x00, 0x01, 0x00, 0x01, 0xD5, 0xCA ^ 0xFF};
    const int fd = modbus_get_socket(master.get());
    ASSERT_EQ(::write(fd, damaged, sizeof damaged), static_cast<ssize_t>(sizeof damaged));
    log.waitFor<ServerEvent::Garbage>();
    const std::uint8_t noise[] = {0xFF, 0xFE, 0xFD};
    ASSERT_EQ(::write(fd, noise, sizeof noise), static_cast<ssize_t>(sizeof noise));
    log.waitFor<ServerEvent::Garbage>(2);

    const auto line = summary().line;
    EXPECT_EQ(line.broadcasts, 1u);
    EXPECT_EQ(line.requests, 2u);
    EXPECT_EQ(line.crcErrors, 1u);
    EXPECT_EQ(line.garbageBytes, 3u);
}

} // namespace

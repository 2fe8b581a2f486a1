#include "ServerCore/MasterReport.h"

#include "ModbusCore/RTUFrame.h"
#include "ServerCore/ArrivalTimes.h"
#include "ServerCore/MasterReportCSV.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>

namespace {

using namespace std::chrono_literals;
using Addressee = MasterReport::Addressee;
using Silence = MasterReport::Silence;
using Shaping = MasterReport::Shaping;

const MasterReport::TimePoint zero{};

MasterReport::TimePoint at(std::chrono::microseconds offset) {
    return zero + offset;
}

Bytes readFrame(std::uint8_t unit, std::uint16_t address = 0, std::uint16_t quantity = 10) {
    Bytes pdu{0x03};
    appendUInt16(pdu, address);
    appendUInt16(pdu, quantity);
    return RTUFrame::build(unit, pdu);
}

// A request that arrived whole at `when`.
MasterReport::Arrival whole(std::chrono::microseconds when) {
    return {at(when), at(when), 0};
}

// The master's side of one exchange at 19200 baud (t3.5 = 2.0 ms), fed as the engine would.
class MasterReportTest : public testing::Test {
protected:
    void SetUp() override { report.setFrameGap(0.002); }

    void poll(std::uint8_t unit, std::chrono::microseconds when, Bytes frame = {}) {
        if (frame.empty()) {
            frame = readFrame(unit);
        }
        report.request(frame, whole(when), Addressee::served);
    }
    void answer(std::uint8_t unit, std::chrono::microseconds end, Shaping shaping = Shaping::none) {
        report.answered(unit, 0x03, std::nullopt, shaping);
        report.sent(unit, at(end));
    }

    MasterReport report;
};

TEST_F(MasterReportTest, PollIntervalsPerItemWithNearestRankPercentiles) {
    // Unit 1 every 100 ms but one late poll; unit 2 polled once.
    const std::chrono::microseconds starts[] = {0ms, 100ms, 200ms, 300ms, 450ms, 550ms};
    for (auto start : starts) {
        poll(1, start);
        answer(1, start + 10ms);
    }
    poll(2, 600ms);

    const auto summary = report.summary();
    ASSERT_EQ(summary.pollItems.size(), 2u);
    const auto& item = summary.pollItems[0];
    EXPECT_EQ(item.unit, 1);
    EXPECT_EQ(item.function, 0x03);
    EXPECT_EQ(item.address, 0);
    EXPECT_EQ(item.quantity, 10);
    EXPECT_EQ(item.requests, 6u);
    // Intervals 100, 100, 100, 150, 100.
    EXPECT_EQ(item.interval, (MasterReport::Figures{5, 100.0, 110.0, 100.0, 150.0, 150.0}));
    EXPECT_EQ(summary.pollItems[1].requests, 1u);
    EXPECT_EQ(summary.pollItems[1].interval.count, 0u);
}

TEST_F(MasterReportTest, FiguresHaveATenthOfAMillisecond) {
    MasterReport::Durations durations;
    durations.add(1234us);
    durations.add(1250us);
    durations.add(-5us); // clock steps never give negative figures
    EXPECT_EQ(durations.figures(), (MasterReport::Figures{3, 0.0, 0.8, 1.2, 1.3, 1.3}));
}

TEST_F(MasterReportTest, KeptSampleStaysBoundedAndRepresentative) {
    MasterReport::Durations durations(100);
    for (int i = 1; i <= 10000; ++i) {
        durations.add(std::chrono::milliseconds(i % 100 + 1)); // 1–100 ms, evenly
    }
    const auto figures = durations.figures();
    EXPECT_EQ(figures.count, 10000u);
    EXPECT_EQ(figures.min, 1.0);
    EXPECT_EQ(figures.max, 100.0);
    EXPECT_NEAR(figures.median, 50, 15);
    EXPECT_NEAR(figures.p95, 95, 10);
}

TEST_F(MasterReportTest, PollItemsAreCapped) {
    for (std::uint16_t address = 0; address < MasterReport::maxPollItems + 5; ++address) {
        poll(1, std::chrono::microseconds(address * 1000), readFrame(1, address));
    }
    const auto summary = report.summary();
    EXPECT_EQ(summary.pollItems.size(), MasterReport::maxPollItems);
    EXPECT_EQ(summary.pollItemsLeftOut, 5u);
    EXPECT_EQ(summary.functions.at(0).requests, MasterReport::maxPollItems + 5);
}

TEST_F(MasterReportTest, CountsPerUnitAndFunction) {
    poll(1, 0ms);
    report.answered(1, 0x03, 2, Shaping::none);
    poll(1, 10ms);
    report.answered(1, 0x03, 2, Shaping::damaged);
    poll(1, 20ms);
    report.answered(1, 0x03, 6, Shaping::none);
    poll(1, 30ms);
    report.silent(1, 0x03, Silence::fault);
    poll(1, 40ms);
    report.silent(1, 0x03, Silence::listenOnly);
    poll(1, 50ms);
    report.answered(1, 0x03, std::nullopt, Shaping::delayed);

    const auto summary = report.summary();
    ASSERT_EQ(summary.functions.size(), 1u);
    const auto& row = summary.functions[0];
    EXPECT_EQ(row.requests, 6u);
    EXPECT_EQ(row.answers, 4u);
    EXPECT_EQ(row.exceptions, (std::map<int, std::uint64_t>{{2, 2}, {6, 1}}));
    EXPECT_EQ(row.suppressed, 1u);
    EXPECT_EQ(row.damaged, 1u);
    EXPECT_EQ(row.delayed, 1u);
}

// Retries: the same request again within 5 s after a failed exchange, counted until the master
// succeeds or leaves it.
TEST_F(MasterReportTest, RetriesUntilSucceededOrGaveUp) {
    const Bytes first = readFrame(1, 0);
    const Bytes other = readFrame(1, 20);

    // Two suppressed, then answered: 2 retries, 300 ms after each failed request.
    poll(1, 0ms, first);
    report.silent(1, 0x03, Silence::fault);
    poll(1, 300ms, first);
    report.silent(1, 0x03, Silence::busy);
    poll(1, 600ms, first);
    answer(1, 610ms);

    // A damaged answer (its exchange ends when the answer has left), one retry 50 ms later,
    // also damaged, then the master moves on.
    poll(1, 1000ms, first);
    answer(1, 1010ms, Shaping::damaged);
    poll(1, 1060ms, first);
    answer(1, 1070ms, Shaping::damaged);
    poll(1, 1200ms, other);
    answer(1, 1210ms);

    // A failure never retried within 5 s.
    poll(1, 2000ms, other);
    report.silent(1, 0x03, Silence::fault);
    report.expire(at(6999ms));
    EXPECT_EQ(report.summary().units.at(0).gaveUp, 1u);
    report.expire(at(7001ms));
    // The same request later than that is no retry.
    poll(1, 8000ms, other);
    answer(1, 8010ms);

    const auto unit = report.summary().units.at(0);
    EXPECT_EQ(unit.retries, 3u);
    EXPECT_EQ(unit.retryDelay, (MasterReport::Figures{3, 50.0, 216.7, 300.0, 300.0, 300.0}));
    EXPECT_EQ(unit.succeeded, 1u);
    EXPECT_EQ(unit.gaveUp, 2u);
    EXPECT_EQ(unit.retriesUntilSucceeded, (std::map<int, std::uint64_t>{{2, 1}}));
    EXPECT_EQ(unit.retriesUntilGaveUp, (std::map<int, std::uint64_t>{{0, 1}, {1, 1}}));
}

TEST_F(MasterReportTest, ARetryWhileTheDelayedAnswerIsPendingCountsFromItsOwnSilence) {
    const Bytes frame = readFrame(3);
    poll(3, 0ms, frame);
    report.answered(3, 0x03, std::nullopt, Shaping::delayed);
    poll(3, 100ms, frame); // the master gave up waiting: still busy
    report.silent(3, 0x03, Silence::busy);
    report.sent(3, at(150ms)); // the delayed answer of the first request
    poll(3, 400ms, frame);
    answer(3, 410ms);

    const auto unit = report.summary().units.at(0);
    EXPECT_EQ(unit.retries, 2u);
    EXPECT_EQ(unit.retryDelay.max, 300.0); // from the busy request, not the late answer
    EXPECT_EQ(unit.retriesUntilSucceeded, (std::map<int, std::uint64_t>{{2, 1}}));
}

TEST_F(MasterReportTest, LineDiscipline) {
    struct Line {
        std::uint64_t requests = 0;
        std::uint64_t broadcasts = 0;
        std::uint64_t otherUnits = 0;
        std::uint64_t earlyRequests = 0;
        std::uint64_t characterGaps = 0;
        std::uint64_t crcErrors = 0;
        std::uint64_t garbageBytes = 0;
    };
    struct Case {
        const char* name;
        std::function<void(MasterReport&)> feed;
        Line expected;
    };
    const Bytes request = readFrame(1);
    Bytes badCRC = request;
    badCRC.back() ^= 0x01;
    const Case cases[] = {
        {"a request 1.9 ms after our answer is early, 2.0 ms is not",
         [&](MasterReport& r) {
             r.sent(1, at(0ms));
             r.request(request, whole(1900us), Addressee::served);
             r.sent(1, at(10ms));
             r.request(request, whole(12ms), Addressee::served);
         },
         {.requests = 2, .earlyRequests = 1}},
        {"one that started while we were still sending is early too",
         [&](MasterReport& r) {
             r.sent(1, at(5ms));
             r.request(request, {at(4ms), at(6ms), 0}, Addressee::otherUnit);
         },
         {.requests = 1, .otherUnits = 1, .earlyRequests = 1}},
        {"character gaps add up",
         [&](MasterReport& r) {
             r.request(request, {at(0ms), at(3ms), 2}, Addressee::served);
             r.request(request, {at(10ms), at(12ms), 1}, Addressee::served);
         },
         {.requests = 2, .characterGaps = 3}},
        {"a request with a wrong CRC is a CRC error, other bytes garbage",
         [&](MasterReport& r) {
             r.garbage(badCRC);
             r.garbage(Bytes{0xFF, 0x00, 0x12});
             r.garbage(Bytes{0x01, 0x03, 0x00, 0x00}); // a request's start only
         },
         {.crcErrors = 1, .garbageBytes = 7}},
        {"broadcasts and other units are counted apart",
         [&](MasterReport& r) {
             r.request(readFrame(0), whole(0ms), Addressee::broadcast);
             r.request(readFrame(9), whole(5ms), Addressee::otherUnit);
             r.request(request, whole(10ms), Addressee::served);
         },
         {.requests = 3, .broadcasts = 1, .otherUnits = 1}},
        {"a frame too short for a request is ignored",
         [&](MasterReport& r) {
             r.request(Bytes{0x01, 0x03}, whole(0ms), Addressee::served);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MasterReport fresh;
        fresh.setFrameGap(0.002);
        c.feed(fresh);
        const auto line = fresh.summary().line;
        EXPECT_EQ(line.requests, c.expected.requests);
        EXPECT_EQ(line.broadcasts, c.expected.broadcasts);
        EXPECT_EQ(line.otherUnits, c.expected.otherUnits);
        EXPECT_EQ(line.earlyRequests, c.expected.earlyRequests);
        EXPECT_EQ(line.characterGaps, c.expected.characterGaps);
        EXPECT_EQ(line.crcErrors, c.expected.crcErrors);
        EXPECT_EQ(line.garbageBytes, c.expected.garbageBytes);
    }
}

TEST_F(MasterReportTest, TurnaroundPerAnsweringUnitAndLine) {
    poll(1, 0ms);
    answer(1, 10ms);
    poll(2, 13ms); // 3 ms after unit 1's answer
    answer(2, 20ms);
    poll(1, 30ms); // 10 ms after unit 2's
    answer(1, 40ms);
    poll(1, 45ms); // 5 ms after unit 1's

    const auto summary = report.summary();
    EXPECT_EQ(summary.line.turnaround, (MasterReport::Figures{3, 3.0, 6.0, 5.0, 10.0, 10.0}));
    EXPECT_EQ(summary.units.at(0).turnaround, (MasterReport::Figures{2, 3.0, 4.0, 3.0, 5.0, 5.0}));
    EXPECT_EQ(summary.units.at(1).turnaround,
              (MasterReport::Figures{1, 10.0, 10.0, 10.0, 10.0, 10.0}));
}

TEST_F(MasterReportTest, JSONKeysAndReset) {
    poll(1, 0ms);
    report.answered(1, 0x03, 2, Shaping::none);
    report.sent(1, at(5ms));
    poll(1, 50ms);

    const auto json = report.toJSON();
    EXPECT_EQ(json["frameGap"], 2.0);
    EXPECT_EQ(json["characterGap"], 0.9);
    EXPECT_EQ(json["line"]["requests"], 2);
    EXPECT_EQ(json["line"]["turnaround"]["median"], 45.0);
    const auto& unit = json["units"][0];
    EXPECT_EQ(unit["unit"], 1);
    EXPECT_EQ(unit["functions"][0]["exceptions"]["2"], 1);
    EXPECT_EQ(unit["retries"]["count"], 0);
    EXPECT_EQ(unit["retries"]["delay"], nlohmann::json({{"count", 0}}));
    const auto& item = json["pollItems"][0];
    EXPECT_EQ(item["address"], 0);
    EXPECT_EQ(item["interval"]["p95"], 50.0);

    report.reset();
    const auto empty = report.toJSON();
    EXPECT_EQ(empty["frameGap"], 2.0); // the line stays the same
    EXPECT_EQ(empty["line"]["requests"], 0);
    EXPECT_TRUE(empty["units"].empty());
    EXPECT_TRUE(empty["pollItems"].empty());
}

TEST_F(MasterReportTest, CSVInTheLocalesDialect) {
    poll(1, 0ms);
    report.answered(1, 0x03, 2, Shaping::none);
    report.sent(1, at(5250us));
    poll(1, 50ms);
    report.silent(1, 0x03, Silence::fault);

    const std::string comma = MasterReportCSV::text(report.summary(), {',', false});
    EXPECT_NE(comma.find("unit,function,requests,answers,exceptions,suppressed,damaged,delayed\r\n"
                         "1,3,2,1,2:1,1,0,0\r\n\r\n"),
              std::string::npos)
        << comma;
    EXPECT_NE(comma.find("\r\n1,3,0,10,2,1,50.0,50.0,50.0,50.0,50.0\r\n"), std::string::npos)
        << comma;
    EXPECT_NE(comma.find("\r\nturnaroundMin,44.8\r\n"), std::string::npos) << comma;
    const std::string semicolon = MasterReportCSV::text(report.summary(), {';', true});
    EXPECT_NE(semicolon.find("\r\nframeGap;2,0\r\n"), std::string::npos) << semicolon;
    // A unit without retries leaves their figures empty.
    EXPECT_NE(semicolon.find("\r\n1;44,8;44,8;0;;;;0;0;;\r\n"), std::string::npos) << semicolon;
}

TEST(ArrivalTimesTest, FramesGetTheTimesOfTheirReads) {
    ArrivalTimes arrivals(750us);
    arrivals.arrived(3, at(0us));
    arrivals.arrived(5, at(500us));  // within t1.5
    arrivals.arrived(4, at(2000us)); // a gap
    arrivals.arrived(8, at(9000us));

    // An 8-byte frame from the first two reads, then one from the third and fourth.
    const auto first = arrivals.take(8, at(99ms));
    EXPECT_EQ(first.first, at(0us));
    EXPECT_EQ(first.last, at(500us));
    EXPECT_EQ(first.gaps, 0);
    const auto second = arrivals.take(6, at(99ms));
    EXPECT_EQ(second.first, at(2000us));
    EXPECT_EQ(second.last, at(9000us));
    EXPECT_EQ(second.gaps, 1);

    // The splitter dropped the oldest bytes: what is left starts later.
    arrivals.arrived(10, at(20ms));
    arrivals.keepNewest(12);
    const auto third = arrivals.take(12, at(99ms));
    EXPECT_EQ(third.first, at(9000us));
    EXPECT_EQ(third.last, at(20ms));
    EXPECT_EQ(third.gaps, 1);
    EXPECT_EQ(arrivals.take(4, at(99ms)).first, at(99ms)); // nothing known
}

} // namespace

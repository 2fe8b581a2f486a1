#include "Corvana/model/LogLines.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <ostream>

using Kind = LogSegment::Kind;

void PrintTo(const LogSegment& segment, std::ostream* os) {
    *os << "[" << static_cast<int>(segment.kind) << "] \"" << segment.text.toStdString() << "\"";
}

namespace {

LogSegment seg(Kind kind, const char* text) {
    return {kind, QString::fromUtf8(text)};
}

Bytes countingBytes(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

ServerUnit unit(std::uint8_t id, bool enabled) {
    ServerUnit u;
    u.unitID = id;
    u.enabled = enabled;
    return u;
}

struct EventCase {
    const char* name;
    ServerEvent event;
    LogLines::Options options;
    std::optional<LogLine> expected;
};

const Bytes readPDU{0x03, 0x00, 0x0A, 0x00, 0x02};
const Bytes readFrame{0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09};
const LogLines::Options plain{};
const LogLines::Options raw{.showRawFrames = true, .showBusTraffic = false};
const LogLines::Options bus{.showRawFrames = false, .showBusTraffic = true};

const std::string garbage32Hex = hexText(countingBytes(32));

std::vector<EventCase> eventCases() {
    return {
        {"request shows PDU data", ServerEvent::request(1, readPDU, readFrame), plain,
         LogLine{seg(Kind::request, "→ "), seg(Kind::request, "Unit 1 · FC 03"),
                 seg(Kind::meta, " Read holding registers · "), seg(Kind::request, "00 0A 00 02")}},
        {"request shows raw frame", ServerEvent::request(1, readPDU, readFrame), raw,
         LogLine{seg(Kind::request, "→ "), seg(Kind::request, "Unit 1 · FC 03"),
                 seg(Kind::meta, " Read holding registers · "),
                 seg(Kind::request, "01 03 00 0A 00 02 E4 09")}},
        {"normal response",
         ServerEvent::response(12, {0x03, 0x02, 0x12, 0x34},
                               {0x0C, 0x03, 0x02, 0x12, 0x34, 0xAA, 0xBB}, false),
         plain,
         LogLine{seg(Kind::response, "← "), seg(Kind::response, "Unit 12 · FC 03"),
                 seg(Kind::meta, " Read holding registers · "), seg(Kind::response, "02 12 34")}},
        {"exception response",
         ServerEvent::response(1, {0x86, 0x04}, {0x01, 0x86, 0x04, 0x43, 0xA3}, false), plain,
         LogLine{seg(Kind::warning, "← "), seg(Kind::warning, "Unit 1 · FC 86"),
                 seg(Kind::meta, " Write single register · "), seg(Kind::warning, "04"),
                 seg(Kind::meta, "  Server device failure (04)")}},
        {"damaged CRC only",
         ServerEvent::response(1, {0x06, 0x00, 0x01, 0x00, 0x05},
                               {0x01, 0x06, 0x00, 0x01, 0x00, 0x05, 0x00, 0x00}, true),
         raw,
         LogLine{seg(Kind::warning, "← "), seg(Kind::warning, "Unit 1 · FC 06"),
                 seg(Kind::meta, " Write single register · "),
                 seg(Kind::warning, "01 06 00 01 00 05 00 00"),
                 seg(Kind::meta, "  (CRC damaged on purpose)")}},
        {"exception with damaged CRC",
         ServerEvent::response(1, {0x83, 0x02}, {0x01, 0x83, 0x02, 0x00, 0x00}, true), plain,
         LogLine{seg(Kind::warning, "← "), seg(Kind::warning, "Unit 1 · FC 83"),
                 seg(Kind::meta, " Read holding registers · "), seg(Kind::warning, "02"),
                 seg(Kind::meta, "  Illegal data address (02)  (CRC damaged on purpose)")}},
        {"one-byte 0x83 is no exception",
         ServerEvent::response(1, {0x83}, {0x01, 0x83, 0x00, 0x00}, false), plain,
         LogLine{seg(Kind::response, "← "), seg(Kind::response, "Unit 1 · FC 83"),
                 seg(Kind::meta, " Read holding registers · "), seg(Kind::response, "")}},
        {"empty response PDU", ServerEvent::response(1, {}, {}, false), plain,
         LogLine{seg(Kind::response, "← "), seg(Kind::response, "Unit 1 · FC 00"),
                 seg(Kind::meta, " Function · "), seg(Kind::response, "")}},
        {"broadcast",
         ServerEvent::broadcast({0x06, 0x00, 0x01, 0x00, 0x05},
                                {0x00, 0x06, 0x00, 0x01, 0x00, 0x05, 0x48, 0x18}),
         plain,
         LogLine{seg(Kind::request,
                     "→ Broadcast (unit 0, no reply) · Write single register · 00 01 00 05")}},
        {"broadcast raw",
         ServerEvent::broadcast({0x06, 0x00, 0x01, 0x00, 0x05},
                                {0x00, 0x06, 0x00, 0x01, 0x00, 0x05, 0x48, 0x18}),
         raw,
         LogLine{seg(Kind::request, "→ Broadcast (unit 0, no reply) · Write single register · "
                                    "00 06 00 01 00 05 48 18")}},
        {"silent unit", ServerEvent::silent(4), plain,
         LogLine{seg(Kind::warning, "✕ Unit 4 does not answer (simulated fault)")}},
        {"other unit with bus traffic", ServerEvent::otherUnit(9, {0x09, 0x03, 0x00, 0x00}), bus,
         LogLine{seg(Kind::meta, "· Request for unit 9 (not simulated) · 09 03 00 00")}},
        {"other unit hidden", ServerEvent::otherUnit(9, {0x09, 0x03, 0x00, 0x00}), plain,
         std::nullopt},
        {"bus response with bus traffic", ServerEvent::busResponse({0x09, 0x03, 0x02, 0x00, 0x07}),
         bus, LogLine{seg(Kind::meta, "· Response from another device · 09 03 02 00 07")}},
        {"bus response hidden", ServerEvent::busResponse({0x09, 0x03}), raw, std::nullopt},
        {"32 bytes of garbage", ServerEvent::garbage(countingBytes(32)), plain,
         LogLine{
             {Kind::error, QString::fromStdString("✕ Invalid data (32 bytes) · " + garbage32Hex)}}},
        {"40 bytes of garbage are cut", ServerEvent::garbage(countingBytes(40)), plain,
         LogLine{{Kind::error,
                  QString::fromStdString("✕ Invalid data (40 bytes) · " + garbage32Hex + " …")}}},
        {"no bytes of garbage", ServerEvent::garbage({}), plain,
         LogLine{seg(Kind::error, "✕ Invalid data (0 bytes) · ")}},
        {"wrote has no line of its own",
         ServerEvent::wrote({WriteEvent{1, RegisterTable::holdingRegister, {0, 1}}}), plain,
         std::nullopt},
        {"serial lost", ServerEvent::serialLost("/dev/ttyUSB3"), plain,
         LogLine{seg(Kind::error, "Serial port /dev/ttyUSB3 is gone; waiting for it to return")}},
        {"started lists enabled units in order", ServerEvent::started(), plain,
         LogLine{
             seg(Kind::system, "--- Server started on /dev/ttyUSB0 @ 9600 8E1 · units 1, 7 ---")}},
    };
}

class LogLinesTest : public ::testing::Test {
protected:
    L10n::ScopedLanguage english{Language::en};
};

TEST_F(LogLinesTest, EveryEventRendersItsLine) {
    const std::vector<ServerUnit> units{unit(1, true), unit(5, false), unit(7, true)};
    for (const EventCase& c : eventCases()) {
        SCOPED_TRACE(c.name);
        const auto line = LogLines::forEvent(c.event, c.options, QStringLiteral("/dev/ttyUSB0"),
                                             SerialConfiguration{}, units);
        EXPECT_EQ(line, c.expected);
    }
}

TEST_F(LogLinesTest, StartedLineFollowsTheOrderOfUnits) {
    const std::vector<ServerUnit> units{unit(20, true), unit(3, true), unit(9, false)};
    SerialConfiguration serial;
    serial.baudRate = 19200;
    serial.parity = Parity::none;
    serial.stopBits = 2;
    const auto line =
        LogLines::forEvent(ServerEvent::started(), {}, QStringLiteral("/dev/ttyS1"), serial, units);
    EXPECT_EQ(line,
              (LogLine{seg(Kind::system,
                           "--- Server started on /dev/ttyS1 @ 19200 8N2 · units 20, 3 ---")}));
}

TEST_F(LogLinesTest, StateLinesAreSystemLines) {
    EXPECT_EQ(LogLines::serverStopped(), (LogLine{seg(Kind::system, "--- Server stopped ---")}));
    EXPECT_EQ(LogLines::portBack(), (LogLine{seg(Kind::system, "--- Serial port open again ---")}));
}

TEST_F(LogLinesTest, WriteLines) {
    Datapoint named;
    named.name = "Setpoint";
    named.unitID = 3;
    named.table = RegisterTable::holdingRegister;
    named.address = 10;
    named.scale = 0.1;
    named.engineeringUnit = "°C";

    Datapoint unnamed;
    unnamed.unitID = 1;
    unnamed.table = RegisterTable::holdingRegister;
    unnamed.address = 7;

    Datapoint coil;
    coil.unitID = 247;
    coil.changeTable(RegisterTable::coil);
    coil.address = 0;

    const struct {
        const Datapoint* datapoint;
        double value;
        const char* separator;
        const char* expected;
    } cases[] = {
        {&named, 21.5, ",", "✎ Unit 3 · Setpoint = 21,5 °C"},
        {&named, 21.5, ".", "✎ Unit 3 · Setpoint = 21.5 °C"},
        {&unnamed, 42, ".", "✎ Unit 1 · HR 7 = 42"},
        {&coil, 1, ".", "✎ Unit 247 · CO 0 = 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(LogLines::forWrite(*c.datapoint, c.value, c.separator),
                  (LogLine{seg(Kind::response, c.expected)}));
    }
}

TEST(LogLinesTimestamp, FixedPatternWithTwoBlanks) {
    EXPECT_EQ(LogLines::timestampText(QTime(9, 30, 5, 7)), QStringLiteral("09:30:05.007  "));
    EXPECT_EQ(LogLines::timestampText(QTime(23, 59, 59, 999)), QStringLiteral("23:59:59.999  "));
}

TEST(LogLinesException, NeedsTwoBytesAndBitSeven) {
    const struct {
        Bytes pdu;
        bool exception;
    } cases[] = {
        {{}, false},           {{0x83}, false},      {{0x83, 0x02}, true},
        {{0x03, 0x02}, false}, {{0x80, 0x00}, true}, {{0x7F, 0x01, 0x00}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hexText(c.pdu));
        EXPECT_EQ(LogLines::isExceptionPDU(c.pdu), c.exception);
    }
}

} // namespace

#include "Corvana/model/LogLines.h"

#include "Localization/L10n.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <numeric>
#include <ostream>

using Kind = LogSegment::Kind;
constexpr auto HR = RegisterTable::holdingRegister;

void PrintTo(const LogSegment& segment, std::ostream* os) {
    *os << "[" << static_cast<int>(segment.kind) << "] \"" << segment.text.toStdString() << "\"";
}

namespace {

LogSegment seg(Kind kind, const std::string& text) {
    return {kind, QString::fromStdString(text)};
}

LogLine one(Kind kind, const std::string& text) {
    return {seg(kind, text)};
}

// Requests and responses: arrow, unit and FC, function name, data, then any suffix.
LogLine framed(Kind kind, const char* arrow, const char* head, const char* function,
               const char* data, const char* suffix = nullptr) {
    LogLine line{seg(kind, arrow), seg(kind, head), seg(Kind::meta, function), seg(kind, data)};
    if (suffix != nullptr) {
        line.append(seg(Kind::meta, suffix));
    }
    return line;
}

TEST(LogLines, EveryEventRendersItsLine) {
    L10n::ScopedLanguage english(Language::en);
    Bytes garbage(40);
    std::iota(garbage.begin(), garbage.end(), 0);
    const Bytes garbage32(garbage.begin(), garbage.begin() + 32);
    const Bytes readPDU{0x03, 0x00, 0x0A, 0x00, 0x02};
    const Bytes readFrame{0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09};
    const Bytes writePDU{0x06, 0x00, 0x01, 0x00, 0x05};
    const Bytes broadcastFrame{0x00, 0x06, 0x00, 0x01, 0x00, 0x05, 0x48, 0x18};
    const LogLines::Options plain{};
    const LogLines::Options raw{.showRawFrames = true, .showBusTraffic = false};
    const LogLines::Options bus{.showRawFrames = false, .showBusTraffic = true};
    const std::string hex32 = hexText(garbage32);
    const char* readHR = " Read holding registers · ";
    const char* writeSR = " Write single register · ";

    const struct {
        const char* what;
        ServerEvent event;
        LogLines::Options options;
        std::optional<LogLine> expected;
    } cases[] = {
        {"request, PDU data", ServerEvent::request(1, readPDU, readFrame), plain,
         framed(Kind::request, "→ ", "Unit 1 · FC 03", readHR, "00 0A 00 02")},
        {"request, raw frame", ServerEvent::request(1, readPDU, readFrame), raw,
         framed(Kind::request, "→ ", "Unit 1 · FC 03", readHR, "01 03 00 0A 00 02 E4 09")},
        {"response", ServerEvent::response(12, {0x03, 0x02, 0x12, 0x34}, {0x0C, 0x03}, false),
         plain, framed(Kind::response, "← ", "Unit 12 · FC 03", readHR, "02 12 34")},
        {"exception", ServerEvent::response(1, {0x86, 0x04}, {0x01, 0x86, 0x04}, false), plain,
         framed(Kind::warning, "← ", "Unit 1 · FC 86", writeSR, "04",
                "  Server device failure (04)")},
        {"damaged CRC, raw", ServerEvent::response(1, writePDU, {0x01, 0x06, 0x00, 0x00}, true),
         raw,
         framed(Kind::warning, "← ", "Unit 1 · FC 06", writeSR, "01 06 00 00",
                "  (CRC damaged on purpose)")},
        {"exception with damaged CRC",
         ServerEvent::response(1, {0x83, 0x02}, {0x01, 0x83, 0x02, 0x00, 0x00}, true), plain,
         framed(Kind::warning, "← ", "Unit 1 · FC 83", readHR, "02",
                "  Illegal data address (02)  (CRC damaged on purpose)")},
        {"one-byte 0x83 is no exception", ServerEvent::response(1, {0x83}, {0x01, 0x83}, false),
         plain, framed(Kind::response, "← ", "Unit 1 · FC 83", readHR, "")},
        {"empty PDU", ServerEvent::response(1, {}, {}, false), plain,
         framed(Kind::response, "← ", "Unit 1 · FC 00", " Function · ", "")},
        {"broadcast", ServerEvent::broadcast(writePDU, broadcastFrame), plain,
         one(Kind::request,
             "→ Broadcast (unit 0, no reply) · Write single register · 00 01 00 05")},
        {"silent", ServerEvent::silent(4), plain,
         one(Kind::warning, "✕ Unit 4 does not answer (simulated fault)")},
        {"listening only", ServerEvent::silent(4, true), plain,
         one(Kind::warning, "✕ Unit 4 is in listen-only mode and does not answer")},
        {"busy with an earlier reply", ServerEvent::silent(4, false, true), plain,
         one(Kind::warning, "✕ Unit 4 is busy with its previous reply and does not answer")},
        {"fault rule fired",
         ServerEvent::faultFired(3, 0, "Bad CRC every 5th",
                                 {.kind = FaultRule::Effect::Kind::badCRC}),
         plain, one(Kind::fault, "⚠ Unit 3: rule \"Bad CRC every 5th\" — bad CRC")},
        {"fault rule with its number and an escaped name",
         ServerEvent::faultFired(3, 1, "slow\n",
                                 {.kind = FaultRule::Effect::Kind::truncate, .bytes = 2}),
         plain, one(Kind::fault, "⚠ Unit 3: rule \"slow\\n\" — last 2 bytes cut off")},
        {"dropped request",
         ServerEvent::faultFired(
             3, 1, "drop", {.kind = FaultRule::Effect::Kind::noResponse, .dropRequest = true}),
         plain,
         one(Kind::fault,
             "⚠ Unit 3: rule \"drop\" — request dropped, not executed and not answered")},
        {"diagnostics name their sub-function",
         ServerEvent::request(1, {0x08, 0x00, 0x0B, 0x00, 0x00}, {}), plain,
         framed(Kind::request, "→ ", "Unit 1 · FC 08", " Diagnostics, sub-function 0B · ",
                "00 0B 00 00")},
        {"device identification", ServerEvent::request(1, {0x2B, 0x0E, 0x01, 0x00}, {}), plain,
         framed(Kind::request, "→ ", "Unit 1 · FC 2B", " Read device identification · ",
                "0E 01 00")},
        {"report server ID", ServerEvent::response(1, {0x11, 0x02, 0x01, 0xFF}, {}, false), plain,
         framed(Kind::response, "← ", "Unit 1 · FC 11", " Report server ID · ", "02 01 FF")},
        {"other unit shown", ServerEvent::otherUnit(9, {0x09, 0x03, 0x00}), bus,
         one(Kind::meta, "· Request for unit 9 (not simulated) · 09 03 00")},
        {"bus response shown", ServerEvent::busResponse({0x09, 0x03, 0x02}), bus,
         one(Kind::meta, "· Response from another device · 09 03 02")},
        {"32 bytes of garbage", ServerEvent::garbage(garbage32), plain,
         one(Kind::error, "✕ Invalid data (32 bytes) · " + hex32)},
        {"40 bytes of garbage", ServerEvent::garbage(garbage), plain,
         one(Kind::error, "✕ Invalid data (40 bytes) · " + hex32 + " …")},
        {"serial lost", ServerEvent::serialLost("/dev/ttyUSB3"), plain,
         one(Kind::error, "Serial port /dev/ttyUSB3 is gone; waiting for it to return")},
        {"a network request names its client first",
         ServerEvent::request(1, readPDU, {}).from({Transport::tcp, "127.0.0.1:50312"}), plain,
         LogLine{seg(Kind::meta, "Modbus TCP 127.0.0.1:50312 · ")} +
             framed(Kind::request, "→ ", "Unit 1 · FC 03", readHR, "00 0A 00 02")},
        {"a listener bound: named by the started line",
         ServerEvent::listening("127.0.0.1:1502").from({Transport::tcp, {}}), plain, std::nullopt},
        {"client connected",
         ServerEvent::clientConnected(2).from({Transport::rtuOverTCP, "[::1]:4000"}), plain,
         LogLine{seg(Kind::meta, "RTU over TCP [::1]:4000 · "),
                 seg(Kind::meta, "Client connected · 2 clients now")}},
        {"client refused", ServerEvent::clientRefused(1).from({Transport::tcp, "10.0.0.9:7"}),
         plain,
         LogLine{seg(Kind::meta, "Modbus TCP 10.0.0.9:7 · "),
                 seg(Kind::warning,
                     "Client refused: 1 client is connected already, the most allowed")}},
        {"closed by the client mid-frame",
         ServerEvent::clientClosed(TCPEvent::Reason::clientClosed, 0, 3, std::nullopt, 0)
             .from({Transport::tcp, "127.0.0.1:9"}),
         plain,
         LogLine{seg(Kind::meta, "Modbus TCP 127.0.0.1:9 · "),
                 seg(Kind::meta, "Disconnected by the client · 3 bytes of an unfinished request "
                                 "dropped · 0 clients now")}},
        {"closed for a bad MBAP header",
         ServerEvent::clientClosed(
             TCPEvent::Reason::badFrame, 0, 0,
             TCPStreamSplitter::Fault{TCPStreamSplitter::Fault::Reason::protocolID, 7, {}}, 1)
             .from({Transport::tcp, "127.0.0.1:9"}),
         plain,
         LogLine{seg(Kind::meta, "Modbus TCP 127.0.0.1:9 · "),
                 seg(Kind::warning, "Closed: protocol ID 7 instead of 0 · 1 client now")}},
        {"closed when idle",
         ServerEvent::clientClosed(TCPEvent::Reason::idle, 0, 0, std::nullopt, 0)
             .from({Transport::tcp, "127.0.0.1:9"}),
         plain,
         LogLine{seg(Kind::meta, "Modbus TCP 127.0.0.1:9 · "),
                 seg(Kind::meta, "Closed: nothing received for the idle time · 0 clients now")}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogLines::forEvent(c.event, c.options, "/dev/ttyS1", {}, {}), c.expected)
            << c.what;
    }
    // The started line names the serial port, then each listener; without a port the listeners.
    ServerUnit unitTwo;
    unitTwo.unitID = 2;
    EXPECT_EQ(LogLines::forEvent(ServerEvent::started(), plain, "/dev/ttyS1",
                                 {9600, 8, Parity::even, 1}, {unitTwo},
                                 {"Modbus TCP 127.0.0.1:1502"}),
              one(Kind::system,
                  "--- Server started on /dev/ttyS1 @ 9600 8E1, Modbus TCP 127.0.0.1:1502 · units "
                  "2 ---"));
    EXPECT_EQ(LogLines::forEvent(ServerEvent::started().from({Transport::tcp, {}}), plain, "", {},
                                 {unitTwo},
                                 {"Modbus TCP 127.0.0.1:1502", "RTU over TCP 0.0.0.0:1503"}),
              one(Kind::system, "--- Server started on Modbus TCP 127.0.0.1:1502, RTU over TCP "
                                "0.0.0.0:1503 · units 2 ---"));
    EXPECT_EQ(LogLines::serverStopped(), one(Kind::system, "--- Server stopped ---"));
    EXPECT_EQ(LogLines::portBack(), one(Kind::system, "--- Serial port open again ---"));
    EXPECT_EQ(LogLines::timestampText(QTime(9, 30, 5, 7)), QStringLiteral("09:30:05.007  "));
}

TEST(LogLines, WriteLinesNameTheDatapointOrItsAddress) {
    L10n::ScopedLanguage english(Language::en);
    Datapoint level = point(1, HR, 5, 0, DataType::uint16, 0.1);
    level.name = "Level";
    level.engineeringUnit = "m";
    EXPECT_EQ(LogLines::forWrite(level, 21.5, ","),
              one(Kind::response, "✎ Unit 1 · Level = 21,5 m"));
    EXPECT_EQ(LogLines::forWrite(point(247, RegisterTable::coil, 0, 0), 1, "."),
              one(Kind::response, "✎ Unit 247 · CO 0 = 1"));

    // Names from a file must not retitle or clear the terminal, nor fake a line of their own.
    level.name = "\x1B]0;owned\x07\x1B[2J\n12:00:00.000  --- Server stopped ---";
    level.engineeringUnit = "m\r\xC2\x9B"
                            "2J";
    EXPECT_EQ(LogLines::forWrite(level, 21.5, "."),
              one(Kind::response,
                  "✎ Unit 1 · \\x1B]0;owned\\x07\\x1B[2J\\n12:00:00.000  --- Server "
                  "stopped --- = 21.5 m\\r\\u009B2J"));
}

} // namespace

#pragma once

#include "Corvana/model/LogSegment.h"

#include "ModbusCore/Bytes.h"
#include "ModbusCore/Datapoint.h"
#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/ServerEvent.h"
#include "ServerCore/ServerUnit.h"

#include <QString>
#include <QTime>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of every log line, in the user's language, as coloured segments. Pure functions: the
// model decides when a line is written, counts the statistics and adds the timestamp.
namespace LogLines {

struct Options {
    bool showRawFrames = false;  // whole frames instead of the PDU data
    bool showBusTraffic = false; // lines for other units' requests and other devices' answers
};

// The line of one engine event, or nullopt when the event writes none (`wrote`, whose lines come
// from forWrite per datapoint, bus traffic while it is hidden, and a listener's start, which the
// started line names). selectedPath and serial describe the port in the started line (an empty
// path: no serial port), followed by the listeners ("Modbus TCP 127.0.0.1:1502"); units gives the
// enabled addresses in their order. A network client's lines begin with its transport and
// address; the serial line's stay as they were.
std::optional<LogLine> forEvent(const ServerEvent& event, const Options& options,
                                const QString& selectedPath, const SerialConfiguration& serial,
                                const std::vector<ServerUnit>& units,
                                const std::vector<std::string>& listeners = {});

// "--- Server stopped ---", one system segment.
LogLine serverStopped();
// "--- Serial port open again ---", one system segment.
LogLine portBack();
// A port known by its stable link that came back under another node.
LogLine portBackAt(const std::string& port, const std::string& node);
// A warning that a flood of traffic made the log leave out `count` lines.
LogLine linesDropped(std::uint64_t count);
// The system's device list cannot be read, so the port list stays empty.
LogLine portsUnavailable();

// The "✎" line of a master write: one response segment with the unit, the datapoint's name (or
// table code and address when unnamed), its display text and engineering unit.
LogLine forWrite(const Datapoint& datapoint, double value, std::string_view decimalSeparator);

// The text of the timestamp segment: "HH:mm:ss.SSS" followed by two blanks, digits always ASCII.
QString timestampText(const QTime& time);

// An exception response: at least 2 bytes and bit 7 of the function byte set (Modbus
// application protocol, 7). A lone 0x83 is not one.
bool isExceptionPDU(ByteView pdu);

} // namespace LogLines

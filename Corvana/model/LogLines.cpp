#include "Corvana/model/LogLines.h"

#include "Localization/L10n.h"
#include "Localization/NetworkTexts.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/TextForms.h"
#include "ModbusSerial/SerialLinkError.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

using Kind = LogSegment::Kind;

// Invalid data shows at most this many bytes; the rest is left to " …".
constexpr std::size_t garbageHexLimit = 32;

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// One allocation per text; also keeps g++ 12 from a false -Wrestrict on literal + string.
std::string concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) {
        size += part.size();
    }
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

std::uint8_t functionByte(const Bytes& pdu) {
    return pdu.empty() ? 0 : pdu.front();
}

// The frame when raw frames are shown, else the PDU without its function byte.
std::string payloadHex(const Bytes& pdu, const Bytes& frame, const LogLines::Options& options) {
    if (options.showRawFrames) {
        return hexText(frame);
    }
    if (pdu.empty()) {
        return {};
    }
    return hexText(ByteView(pdu).subspan(1));
}

// The function's name; diagnostics (not their exceptions) name their sub-function too.
std::string functionName(const Bytes& pdu) {
    const std::uint8_t fc = functionByte(pdu);
    std::string name = functionDisplayName(fc);
    if (fc == FunctionCode::diagnostics && pdu.size() >= 3) {
        const std::uint16_t sub = readUInt16(pdu, 1);
        char digits[5];
        std::snprintf(digits, sizeof digits, sub > 0xFF ? "%04X" : "%02X", sub);
        name = L10n::Modbus::withSubFunction(name, digits);
    }
    return name;
}

std::string functionPart(const Bytes& pdu) {
    return concat({" ", functionName(pdu), " · "});
}

LogLine oneSegment(Kind kind, const std::string& text) {
    return {LogSegment{kind, q(text)}};
}

LogLine systemLine(const std::string& text) {
    return oneSegment(Kind::system, concat({"--- ", text, " ---"}));
}

LogLine requestLine(const ServerEvent::Request& event, const LogLines::Options& options) {
    const std::uint8_t fc = functionByte(event.pdu);
    return {
        {Kind::request, QStringLiteral("→ ")},
        {Kind::request, q(L10n::Log::request(event.unit, fc))},
        {Kind::meta, q(functionPart(event.pdu))},
        {Kind::request, q(payloadHex(event.pdu, event.frame, options))},
    };
}

LogLine responseLine(const ServerEvent::Response& event, const LogLines::Options& options) {
    const std::uint8_t fc = functionByte(event.pdu);
    const bool exception = LogLines::isExceptionPDU(event.pdu);
    std::string suffix;
    if (exception) {
        suffix += concat({"  ", exceptionDisplayText(event.pdu[1])});
    }
    if (event.corruptedCRC) {
        suffix += concat({"  ", L10n::Log::crcDamaged()});
    }
    const Kind main = exception || event.corruptedCRC ? Kind::warning : Kind::response;
    LogLine line{
        {main, QStringLiteral("← ")},
        {main, q(L10n::Log::request(event.unit, fc))},
        {Kind::meta, q(functionPart(event.pdu))},
        {main, q(payloadHex(event.pdu, event.frame, options))},
    };
    if (!suffix.empty()) {
        line.append({Kind::meta, q(suffix)});
    }
    return line;
}

// The number an effect's text names: its delay, byte count, code, unit or value count.
int effectValue(const FaultRule::Effect& effect) {
    using EffectKind = FaultRule::Effect::Kind;
    switch (effect.kind) {
    case EffectKind::delay:
    case EffectKind::byteDelay:
        return effect.ms;
    case EffectKind::truncate:
    case EffectKind::extraBytes:
    case EffectKind::noise:
        return effect.bytes;
    case EffectKind::exception:
    case EffectKind::wrongFunction:
        return effect.code;
    case EffectKind::wrongUnit:
        return effect.unitID;
    case EffectKind::fewerValues:
        return effect.count;
    default:
        return 0;
    }
}

LogLine faultLine(const ServerEvent::FaultFired& event) {
    const std::string effect = L10n::Log::faultEffect(
        event.effect.kind.rawValue(), effectValue(event.effect), event.effect.dropRequest);
    return oneSegment(
        Kind::fault,
        concat({"⚠ ", L10n::Log::faultFired(event.unit, TextForms::escapedControls(event.ruleName),
                                            effect)}));
}

LogLine broadcastLine(const ServerEvent::Broadcast& event, const LogLines::Options& options) {
    return oneSegment(Kind::request,
                      concat({"→ ", L10n::Log::broadcast(), " · ", functionName(event.pdu), " · ",
                              payloadHex(event.pdu, event.frame, options)}));
}

LogLine garbageLine(const ServerEvent::Garbage& event) {
    const std::size_t shown = std::min(event.bytes.size(), garbageHexLimit);
    const bool cut = event.bytes.size() > garbageHexLimit;
    return oneSegment(Kind::error,
                      concat({"✕ ", L10n::Log::invalidData(event.bytes.size()), " · ",
                              hexText(ByteView(event.bytes).first(shown)), cut ? " …" : ""}));
}

LogLine startedLine(const QString& selectedPath, const SerialConfiguration& serial,
                    const std::vector<ServerUnit>& units,
                    const std::vector<std::string>& listeners) {
    std::string addresses;
    for (const ServerUnit& unit : units) {
        if (!unit.enabled) {
            continue;
        }
        if (!addresses.empty()) {
            addresses += ", ";
        }
        addresses += std::to_string(unit.unitID);
    }
    std::string served = selectedPath.isEmpty()
                             ? std::string()
                             : concat({selectedPath.toStdString(), " @ ", serial.summary()});
    for (const std::string& listener : listeners) {
        served += concat({served.empty() ? "" : ", ", listener});
    }
    return systemLine(L10n::Log::serverStarted(served, addresses));
}

std::string closedText(const ServerEvent::ClientClosed& event) {
    std::string detail;
    if (event.reason == TCPEvent::Reason::connectionLost) {
        detail = SerialLinkError::systemText(event.code);
    } else if (event.fault) {
        detail = L10n::Network::streamFault(static_cast<std::size_t>(event.fault->reason),
                                            event.fault->value);
    }
    std::string text = L10n::Network::clientClosed(static_cast<std::size_t>(event.reason), detail);
    if (event.unfinishedBytes > 0) {
        text += concat({" · ", L10n::Network::unfinishedRequest(event.unfinishedBytes)});
    }
    return concat({text, " · ", L10n::Network::clientsConnected(event.clients)});
}

// The lines of a listener's clients; nullopt for other events.
std::optional<LogLine> clientLine(const ServerEvent& event) {
    if (const auto* connected = event.as<ServerEvent::ClientConnected>()) {
        return oneSegment(Kind::meta,
                          concat({L10n::Network::clientConnected(), " · ",
                                  L10n::Network::clientsConnected(connected->clients)}));
    }
    if (const auto* refused = event.as<ServerEvent::ClientRefused>()) {
        return oneSegment(Kind::warning, L10n::Network::clientRefused(refused->maxClients));
    }
    if (const auto* closed = event.as<ServerEvent::ClientClosed>()) {
        const bool trouble = closed->reason != TCPEvent::Reason::clientClosed &&
                             closed->reason != TCPEvent::Reason::idle;
        return oneSegment(trouble ? Kind::warning : Kind::meta, closedText(*closed));
    }
    return std::nullopt;
}

// The serial line's lines as they always were: the transport and client go first only for the
// network's.
std::optional<LogLine> withOrigin(std::optional<LogLine> line, const ServerEvent::Origin& origin) {
    if (!line || origin.client.empty()) {
        return line;
    }
    const std::string transport =
        L10n::Network::transportName(static_cast<std::size_t>(origin.transport));
    line->prepend(LogSegment{Kind::meta,
                             q(concat({L10n::Network::served(transport, origin.client), " · "}))});
    return line;
}

std::optional<LogLine> lineFor(const ServerEvent& event, const LogLines::Options& options,
                               const QString& selectedPath, const SerialConfiguration& serial,
                               const std::vector<ServerUnit>& units,
                               const std::vector<std::string>& listeners) {
    if (const auto* request = event.as<ServerEvent::Request>()) {
        return requestLine(*request, options);
    }
    if (const auto* response = event.as<ServerEvent::Response>()) {
        return responseLine(*response, options);
    }
    if (const auto* broadcast = event.as<ServerEvent::Broadcast>()) {
        return broadcastLine(*broadcast, options);
    }
    if (const auto* silent = event.as<ServerEvent::Silent>()) {
        const std::string text = silent->busy         ? L10n::Log::busy(silent->unit)
                                 : silent->listenOnly ? L10n::Log::listenOnly(silent->unit)
                                                      : L10n::Log::noAnswer(silent->unit);
        return oneSegment(Kind::warning, concat({"✕ ", text}));
    }
    if (const auto* fired = event.as<ServerEvent::FaultFired>()) {
        return faultLine(*fired);
    }
    if (const auto* other = event.as<ServerEvent::OtherUnit>()) {
        if (!options.showBusTraffic) {
            return std::nullopt;
        }
        return oneSegment(Kind::meta, concat({"· ", L10n::Log::notSimulated(other->unit), " · ",
                                              hexText(other->frame)}));
    }
    if (const auto* answer = event.as<ServerEvent::BusResponse>()) {
        if (!options.showBusTraffic) {
            return std::nullopt;
        }
        return oneSegment(Kind::meta,
                          concat({"· ", L10n::Log::otherDevice(), " · ", hexText(answer->frame)}));
    }
    if (const auto* garbage = event.as<ServerEvent::Garbage>()) {
        return garbageLine(*garbage);
    }
    if (const auto* lost = event.as<ServerEvent::SerialLost>()) {
        return oneSegment(Kind::error, L10n::Log::portGone(lost->path));
    }
    if (event.is<ServerEvent::Started>()) {
        return startedLine(selectedPath, serial, units, listeners);
    }
    return clientLine(event); // wrote: one line per datapoint, see forWrite
}

} // namespace

namespace LogLines {

bool isExceptionPDU(ByteView pdu) {
    return pdu.size() >= 2 && (pdu[0] & Modbus::exceptionFlag) != 0;
}

std::optional<LogLine> forEvent(const ServerEvent& event, const Options& options,
                                const QString& selectedPath, const SerialConfiguration& serial,
                                const std::vector<ServerUnit>& units,
                                const std::vector<std::string>& listeners) {
    return withOrigin(lineFor(event, options, selectedPath, serial, units, listeners),
                      event.origin);
}

LogLine serverStopped() {
    return systemLine(L10n::Log::serverStopped());
}

LogLine portBack() {
    return systemLine(L10n::Log::portBack());
}

LogLine portBackAt(const std::string& port, const std::string& node) {
    return systemLine(L10n::Log::portBackAt(port, node));
}

LogLine linesDropped(std::uint64_t count) {
    return oneSegment(Kind::warning, concat({"✕ ", L10n::Log::linesDropped(count)}));
}

LogLine portsUnavailable() {
    return systemLine(L10n::Log::portsUnavailable());
}

LogLine forWrite(const Datapoint& datapoint, double value, std::string_view decimalSeparator) {
    // Names come from files: a control character in one must not act on a terminal or split
    // the line.
    const std::string label =
        datapoint.name.empty()
            ? concat({datapoint.table.shortCode(), " ", std::to_string(datapoint.address)})
            : TextForms::escapedControls(datapoint.name);
    const std::string_view unitGap = datapoint.engineeringUnit.empty() ? "" : " ";
    return oneSegment(Kind::response,
                      concat({"✎ ", L10n::Log::unit(datapoint.unitID), " · ", label, " = ",
                              datapoint.displayText(value, decimalSeparator), unitGap,
                              TextForms::escapedControls(datapoint.engineeringUnit)}));
}

QString timestampText(const QTime& time) {
    return time.toString(u"HH:mm:ss.zzz") + QStringLiteral("  ");
}

} // namespace LogLines

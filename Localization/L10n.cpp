#include "Localization/L10n.h"

#include "Localization/TextLookup.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <initializer_list>
#include <utility>

extern const std::string_view corvanaTranslationEn;
extern const std::string_view corvanaTranslationNl;
extern const std::string_view corvanaTranslationDe;
extern const std::string_view corvanaTranslationFr;
extern const std::string_view corvanaTranslationEs;

namespace L10n {

using Catalogue::countText;
using Catalogue::fill;
using Catalogue::text;

namespace {

using Texts = std::map<std::string, std::string, std::less<>>;

thread_local std::optional<Language> scopedLanguage;

// A damaged file gives an empty table; every lookup then falls back to English.
Texts parse(std::string_view source) {
    Texts texts;
    const auto json = nlohmann::json::parse(source, nullptr, false);
    if (!json.is_object()) {
        return texts;
    }
    for (const auto& [key, value] : json.items()) {
        if (value.is_string()) {
            texts.emplace(key, value.get<std::string>());
        }
    }
    return texts;
}

template <std::size_t N>
std::string indexedText(std::string_view key, const std::array<std::string_view, N>& names,
                        int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) {
        return {};
    }
    return text(std::string(key) + "." + std::string(names[static_cast<std::size_t>(index)]));
}

ShortcutFormatter shortcutFormatter = nullptr;

std::string withShortcut(std::string_view key, std::string_view shortcut) {
    return fill(key, {{"shortcut", shortcutText(shortcut)}});
}

} // namespace

void setShortcutFormatter(ShortcutFormatter formatter) {
    shortcutFormatter = formatter;
}

std::string shortcutText(std::string_view portable) {
    return shortcutFormatter ? shortcutFormatter(portable) : std::string(portable);
}

Language language() {
    return scopedLanguage ? *scopedLanguage : Language::current();
}

ScopedLanguage::ScopedLanguage(Language language)
    : previous_(scopedLanguage) {
    scopedLanguage = language;
}

ScopedLanguage::~ScopedLanguage() {
    scopedLanguage = previous_;
}

const std::map<std::string, std::string, std::less<>>& texts(Language language) {
    // Each file is parsed on first use only; the run normally needs its own and English.
    switch (language) {
    case Language::nl: {
        static const Texts dutch = parse(corvanaTranslationNl);
        return dutch;
    }
    case Language::de: {
        static const Texts german = parse(corvanaTranslationDe);
        return german;
    }
    case Language::fr: {
        static const Texts french = parse(corvanaTranslationFr);
        return french;
    }
    case Language::es: {
        static const Texts spanish = parse(corvanaTranslationEs);
        return spanish;
    }
    case Language::en:
        break;
    }
    static const Texts english = parse(corvanaTranslationEn);
    return english;
}

// Constant keys: the function Space::name() returns the text of "Space.name".
#define L10N_CONSTANT(space, name)                                                                 \
    std::string space::name() {                                                                    \
        return text(#space "." #name);                                                             \
    }

L10N_CONSTANT(Header, serialPort)
L10N_CONSTANT(Header, noPortsFound)
L10N_CONSTANT(Header, selectPort)
L10N_CONSTANT(Header, notConnected)
L10N_CONSTANT(Header, baudSuffix)
L10N_CONSTANT(Header, baudRate)
L10N_CONSTANT(Header, start)
L10N_CONSTANT(Header, stop)

L10N_CONSTANT(VirtualPort, name)
L10N_CONSTANT(VirtualPort, masterEndHint)
L10N_CONSTANT(VirtualPort, copyPath)
L10N_CONSTANT(VirtualPort, baudNote)
L10N_CONSTANT(VirtualPort, linkInUse)
L10N_CONSTANT(VirtualPort, folderNotPrivate)

std::string VirtualPort::masterEnd(std::string_view port) {
    return fill("VirtualPort.masterEnd", {{"port", port}});
}

std::string VirtualPort::logName(std::string_view master) {
    return fill("VirtualPort.logName", {{"master", master}});
}

std::string VirtualPort::noLink(std::string_view link, std::string_view reason,
                                std::string_view path) {
    return fill("VirtualPort.noLink", {{"link", link}, {"reason", reason}, {"path", path}});
}

std::string VirtualPort::failed(std::string_view reason) {
    return fill("VirtualPort.failed", {{"reason", reason}});
}

L10N_CONSTANT(Settings, dataBits)
L10N_CONSTANT(Settings, parity)
L10N_CONSTANT(Settings, stopBits)
L10N_CONSTANT(Settings, parityNone)
L10N_CONSTANT(Settings, parityEven)
L10N_CONSTANT(Settings, parityOdd)
L10N_CONSTANT(Settings, millisecondsSuffix)
L10N_CONSTANT(Settings, modbusDefault)
L10N_CONSTANT(Settings, modbusDefaultHint)
L10N_CONSTANT(Settings, frame)

L10N_CONSTANT(Footer, logOptions)
L10N_CONSTANT(Footer, autoscroll)
L10N_CONSTANT(Footer, timestamps)
L10N_CONSTANT(Footer, showRawFrames)
L10N_CONSTANT(Footer, showRawFramesHint)
L10N_CONSTANT(Footer, save)
L10N_CONSTANT(Footer, clearLog)

std::string Footer::saveHint() {
    return withShortcut("Footer.saveHint", Shortcut::saveLog);
}

std::string Footer::clearHint() {
    return withShortcut("Footer.clearHint", Shortcut::clearLog);
}

L10N_CONSTANT(Menu, saveLog)
L10N_CONSTANT(Menu, clearLog)
L10N_CONSTANT(Menu, newProject)
L10N_CONSTANT(Menu, openProject)
L10N_CONSTANT(Menu, saveProjectAs)
L10N_CONSTANT(Menu, saveProject)
L10N_CONSTANT(Menu, edit)
L10N_CONSTANT(Menu, undo)
L10N_CONSTANT(Menu, redo)
L10N_CONSTANT(Menu, addDatapoint)
L10N_CONSTANT(Menu, importDatapoints)
L10N_CONSTANT(Menu, exportDatapoints)
L10N_CONSTANT(Menu, file)
L10N_CONSTANT(Menu, server)
L10N_CONSTANT(Menu, help)
L10N_CONSTANT(Menu, quit)
L10N_CONSTANT(Menu, projectFiles)
L10N_CONSTANT(Menu, csvFiles)
L10N_CONSTANT(Menu, tabSeparatedFiles)
L10N_CONSTANT(Menu, plainTextFiles)
L10N_CONSTANT(Menu, datapointLists)
L10N_CONSTANT(Find, placeholder)
L10N_CONSTANT(Find, next)
L10N_CONSTANT(Find, previous)
L10N_CONSTANT(Find, noMatches)
L10N_CONSTANT(Find, close)

L10N_CONSTANT(Table, name)
L10N_CONSTANT(Table, unit)
L10N_CONSTANT(Table, table)
L10N_CONSTANT(Table, address)
L10N_CONSTANT(Table, type)
L10N_CONSTANT(Table, order)
L10N_CONSTANT(Table, scale)
L10N_CONSTANT(Table, value)
L10N_CONSTANT(Table, engineeringUnit)
L10N_CONSTANT(Table, display)
L10N_CONSTANT(Table, description)
L10N_CONSTANT(Table, simulation)
L10N_CONSTANT(Table, nameField)
L10N_CONSTANT(Table, datapoint)
L10N_CONSTANT(Table, duplicate)
L10N_CONSTANT(Table, csv)
L10N_CONSTANT(Table, csvHint)
L10N_CONSTANT(Table, overlapTitle)
L10N_CONSTANT(Table, overlapMessage)
L10N_CONSTANT(Table, overlapHint)
L10N_CONSTANT(Table, orderHint)
L10N_CONSTANT(Table, scaleHint)
L10N_CONSTANT(Table, valueHint)
L10N_CONSTANT(Table, noDatapoints)

std::string Table::delete_() {
    return text("Table.delete");
}

std::string Table::addHint() {
    return withShortcut("Table.addHint", Shortcut::addDatapoint);
}

std::string Table::addressHint(std::string_view modicon) {
    return fill("Table.addressHint", {{"modicon", modicon}});
}

std::string Table::valueDoesNotFit(std::string_view typeName) {
    return fill("Table.valueDoesNotFit", {{"type", typeName}});
}

std::string Table::notANumber(std::string_view text) {
    return fill("Table.notANumber", {{"text", text}});
}

std::string Table::notAWholeNumber(std::string_view text) {
    return fill("Table.notAWholeNumber", {{"text", text}});
}

std::string Table::notInRange(std::string_view text, std::string_view minimum,
                              std::string_view maximum) {
    return fill("Table.notInRange", {{"text", text}, {"minimum", minimum}, {"maximum", maximum}});
}

std::string Table::valueOutOfRange(std::string_view text, std::string_view typeName,
                                   std::string_view minimum, std::string_view maximum) {
    return fill("Table.valueOutOfRange",
                {{"text", text}, {"type", typeName}, {"minimum", minimum}, {"maximum", maximum}});
}

std::string Table::valueRounded(std::string_view text, std::string_view stored) {
    return fill("Table.valueRounded", {{"text", text}, {"stored", stored}});
}

std::string Table::tableName(int index) {
    static constexpr std::array<std::string_view, 4> names = {"coil", "discreteInput",
                                                              "holdingRegister", "inputRegister"};
    return indexedText("Table.tableName", names, index);
}

std::string Table::dataTypeName(int index) {
    static constexpr std::array<std::string_view, 9> names = {
        "bool", "uint16", "int16", "uint32", "int32", "float32", "uint64", "int64", "float64"};
    return indexedText("Table.dataTypeName", names, index);
}

std::string Table::formatName(int index) {
    static constexpr std::array<std::string_view, 3> names = {"decimal", "hex", "binary"};
    return indexedText("Table.formatName", names, index);
}

L10N_CONSTANT(Project, project)
L10N_CONSTANT(Project, projectHint)
L10N_CONSTANT(Project, saveCurrentTitle)
L10N_CONSTANT(Project, saveCurrentMessage)
L10N_CONSTANT(Project, save)
L10N_CONSTANT(Project, dontSave)

std::string Import::found(int count) {
    return countText("Import.found", count);
}

std::string Import::skipped(int count) {
    return fill("Import.skipped", {{"count", std::to_string(count)}});
}

std::string Import::more(int count) {
    return fill("Import.more", {{"count", std::to_string(count)}});
}

std::string Import::adjusted(int count) {
    return countText("Import.adjusted", count);
}

std::string Import::clamped(int line, std::string_view typed, std::string_view stored) {
    return fill("Import.clamped",
                {{"line", std::to_string(line)}, {"typed", typed}, {"stored", stored}});
}

std::string Import::rounded(int line, std::string_view typed, std::string_view stored) {
    return fill("Import.rounded",
                {{"line", std::to_string(line)}, {"typed", typed}, {"stored", stored}});
}

L10N_CONSTANT(Import, addOrReplace)
L10N_CONSTANT(Import, add)
L10N_CONSTANT(Import, replace)
L10N_CONSTANT(Import, cancel)

std::string Modbus::functionName(std::uint8_t code) {
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 11:
    case 12:
    case 15:
    case 16:
    case 17:
    case 22:
    case 23:
    case 24:
    case 43: // Encapsulated Interface Transport / Read Device Identification
        return text("Modbus.function." + std::to_string(code));
    default:
        return text("Modbus.function.other");
    }
}

std::string Modbus::withSubFunction(std::string_view name, std::string_view code) {
    return fill("Modbus.subFunction", {{"name", name}, {"code", code}});
}

std::string Modbus::exceptionName(std::uint8_t code) {
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 10:
    case 11:
        return text("Modbus.exception." + std::to_string(code));
    default:
        return text("Modbus.exception.other");
    }
}

std::string Board::usbSerial(std::string_view detail) {
    return fill("Board.usbSerial", {{"detail", detail}});
}

L10N_CONSTANT(Errors, somethingWentWrong)
L10N_CONSTANT(Errors, ok)
L10N_CONSTANT(Errors, selectPortFirst)
L10N_CONSTANT(Errors, portNotOpen)
L10N_CONSTANT(Errors, noResponse)
L10N_CONSTANT(Errors, adapterDisconnected)
L10N_CONSTANT(Errors, missingColumns)

std::string Errors::savingFailed(std::string_view reason) {
    return fill("Errors.savingFailed", {{"reason", reason}});
}

std::string Errors::cannotRead(std::string_view fileName) {
    return fill("Errors.cannotRead", {{"file", fileName}});
}

std::string Errors::autosaveUnreadable(std::string_view file) {
    return fill("Errors.autosaveUnreadable", {{"file", file}});
}

std::string Errors::tooManyDatapoints(std::string_view fileName, std::size_t count) {
    return fill("Errors.tooManyDatapoints", {{"file", fileName}, {"count", std::to_string(count)}});
}

std::string Errors::noDatapointsInFile(std::string_view detail) {
    return fill("Errors.noDatapointsInFile", {{"detail", detail}});
}

std::string Errors::importLine(int line, std::string_view problem) {
    return fill("Errors.importLine", {{"line", std::to_string(line)}, {"problem", problem}});
}

std::string Errors::invalidPort(std::string_view path) {
    return fill("Errors.invalidPort", {{"path", path}});
}

std::string Errors::cannotOpen(std::string_view path, std::string_view reason) {
    return fill("Errors.cannotOpen", {{"path", path}, {"reason", reason}});
}

std::string Errors::portBusy(std::string_view path) {
    return fill("Errors.portBusy", {{"path", path}});
}

std::string Errors::portBusyProbing(std::string_view path) {
    return fill("Errors.portBusyProbing", {{"path", path}});
}

std::string Errors::portAccessDenied(std::string_view path, std::string_view group) {
    return fill("Errors.portAccessDenied", {{"path", path}, {"group", group}});
}

std::string Errors::portAccessDeniedNoGroup(std::string_view path) {
    return fill("Errors.portAccessDeniedNoGroup", {{"path", path}});
}

std::string Errors::configureFailed(std::string_view reason) {
    return fill("Errors.configureFailed", {{"reason", reason}});
}

std::string Errors::unsupportedBaudRate(std::int64_t rate) {
    return fill("Errors.unsupportedBaudRate", {{"rate", std::to_string(rate)}});
}

std::string Errors::sendingFailed(std::string_view reason) {
    return fill("Errors.sendingFailed", {{"reason", reason}});
}

std::string Errors::invalidTable(std::string_view text) {
    return fill("Errors.invalidTable", {{"text", text}});
}

std::string Errors::invalidAddress(std::string_view text) {
    return fill("Errors.invalidAddress", {{"text", text}});
}

std::string Errors::invalidUnit(std::string_view text) {
    return fill("Errors.invalidUnit", {{"text", text}});
}

std::string Errors::invalidDataType(std::string_view text) {
    return fill("Errors.invalidDataType", {{"text", text}});
}

std::string Errors::invalidNumber(std::string_view text) {
    return fill("Errors.invalidNumber", {{"text", text}});
}

L10N_CONSTANT(Help, serialSettings)
L10N_CONSTANT(Help, stopToChange)

std::string Help::start() {
    return withShortcut("Help.start", Shortcut::startStop);
}

std::string Help::stop() {
    return withShortcut("Help.stop", Shortcut::startStop);
}

L10N_CONSTANT(State, running)
L10N_CONSTANT(State, stopped)
L10N_CONSTANT(State, serialLost)
L10N_CONSTANT(State, ready)

std::string Notice::emptyLog() {
    return withShortcut("Notice.emptyLog", Shortcut::startStop);
}

L10N_CONSTANT(Notice, noAdapterTitle)
L10N_CONSTANT(Notice, noAdapterMessage)
L10N_CONSTANT(Notice, startServer)
L10N_CONSTANT(Notice, invalidData)
L10N_CONSTANT(Notice, portGone)
L10N_CONSTANT(Notice, dismiss)

L10N_CONSTANT(Log, log)
L10N_CONSTANT(Log, showLog)
L10N_CONSTANT(Log, optionsHint)
L10N_CONSTANT(Log, showOtherUnits)
L10N_CONSTANT(Log, showOtherUnitsHint)
L10N_CONSTANT(Log, serverLog)
L10N_CONSTANT(Log, server)
L10N_CONSTANT(Log, unitEmpty)
L10N_CONSTANT(Log, simulatedValue)
L10N_CONSTANT(Log, addUnitFirst)
L10N_CONSTANT(Log, serverStopped)
L10N_CONSTANT(Log, broadcast)
L10N_CONSTANT(Log, otherDevice)
L10N_CONSTANT(Log, crcDamaged)
L10N_CONSTANT(Log, portBack)
L10N_CONSTANT(Log, portsUnavailable)

std::string Log::faultFired(int id, std::string_view rule, std::string_view effect) {
    return fill("Log.faultFired", {{"id", std::to_string(id)}, {"rule", rule}, {"effect", effect}});
}

std::string Log::faultEffect(std::string_view kind, int value, bool dropRequest) {
    const std::string key = "Log.effect." + std::string(kind);
    const std::string number = std::to_string(value);
    if (kind == "noResponse" && dropRequest) {
        return text("Log.effect.dropRequest");
    }
    if (kind == "truncate" || kind == "fewerValues" || kind == "extraBytes" || kind == "noise") {
        return countText(key, value);
    }
    return fill(key, {{"ms", number}, {"code", number}, {"id", number}});
}

std::string Log::busy(int id) {
    return fill("Log.busy", {{"id", std::to_string(id)}});
}

std::string Log::faultsInjected(std::uint64_t count) {
    return fill("Log.faultsInjected", {{"count", std::to_string(count)}});
}

std::string Log::linesDropped(std::uint64_t count) {
    return fill("Log.linesDropped", {{"count", std::to_string(count)}});
}

std::string Log::toggleHint() {
    return withShortcut("Log.toggleHint", Shortcut::toggleLog);
}

std::string Log::statistics(std::uint64_t requests, std::uint64_t responses,
                            std::uint64_t exceptions, std::uint64_t otherUnits,
                            std::uint64_t invalid) {
    return fill("Log.statistics", {{"requests", std::to_string(requests)},
                                   {"responses", std::to_string(responses)},
                                   {"exceptions", std::to_string(exceptions)},
                                   {"otherUnits", std::to_string(otherUnits)},
                                   {"invalid", std::to_string(invalid)}});
}

std::string Log::serverStarted(std::string_view port, std::string_view units) {
    return fill("Log.serverStarted", {{"port", port}, {"units", units}});
}

std::string Log::unit(int id) {
    return fill("Log.unit", {{"id", std::to_string(id)}});
}

std::string Log::request(int id, std::uint8_t functionCode) {
    std::array<char, 3> hex{};
    std::snprintf(hex.data(), hex.size(), "%02X", static_cast<unsigned>(functionCode));
    return fill("Log.request", {{"id", std::to_string(id)}, {"code", hex.data()}});
}

std::string Log::noAnswer(int id) {
    return fill("Log.noAnswer", {{"id", std::to_string(id)}});
}

std::string Log::listenOnly(int id) {
    return fill("Log.listenOnly", {{"id", std::to_string(id)}});
}

std::string Log::notSimulated(int id) {
    return fill("Log.notSimulated", {{"id", std::to_string(id)}});
}

std::string Log::invalidData(std::size_t byteCount) {
    return fill("Log.invalidData", {{"count", std::to_string(byteCount)}});
}

std::string Log::portGone(std::string_view name) {
    return fill("Log.portGone", {{"name", name}});
}

std::string Log::portBackAt(std::string_view port, std::string_view node) {
    return fill("Log.portBackAt", {{"port", port}, {"node", node}});
}

L10N_CONSTANT(Units, units)
L10N_CONSTANT(Units, addUnit)
L10N_CONSTANT(Units, addUnitHint)
L10N_CONSTANT(Units, removeUnit)
L10N_CONSTANT(Units, removeUnitHint)
L10N_CONSTANT(Units, removeUnitMessage)
L10N_CONSTANT(Units, noUnitSelected)
L10N_CONSTANT(Units, unitID)
L10N_CONSTANT(Units, unitIDHint)
L10N_CONSTANT(Units, unitIDInvalid)

std::string Units::unitIDRefused(std::string_view text) {
    return fill("Units.unitIDRefused", {{"text", text}});
}
L10N_CONSTANT(Units, nameOptional)
L10N_CONSTANT(Units, enabled)
L10N_CONSTANT(Units, enabledHint)
L10N_CONSTANT(Units, turnedOff)
L10N_CONSTANT(Units, behaviour)
L10N_CONSTANT(Units, behaviourHint)
L10N_CONSTANT(Units, exceptionCode)
L10N_CONSTANT(Units, delay)
L10N_CONSTANT(Units, delayHint)
L10N_CONSTANT(Units, unknownAddresses)
L10N_CONSTANT(Units, exception02)
L10N_CONSTANT(Units, readAsZero)
L10N_CONSTANT(Units, unknownAddressesHint)
L10N_CONSTANT(Units, listenOnly)
L10N_CONSTANT(Units, identityAndFunctions)
L10N_CONSTANT(Units, identityAndFunctionsHint)

L10N_CONSTANT(Identity, identity)
L10N_CONSTANT(Identity, serverID)
L10N_CONSTANT(Identity, serverIDHint)
L10N_CONSTANT(Identity, running)
L10N_CONSTANT(Identity, additionalData)
L10N_CONSTANT(Identity, exceptionStatus)
L10N_CONSTANT(Identity, vendorName)
L10N_CONSTANT(Identity, productCode)
L10N_CONSTANT(Identity, revision)
L10N_CONSTANT(Identity, vendorURL)
L10N_CONSTANT(Identity, productName)
L10N_CONSTANT(Identity, modelName)
L10N_CONSTANT(Identity, modelNameHint)
L10N_CONSTANT(Identity, userApplicationName)
L10N_CONSTANT(Identity, functions)
L10N_CONSTANT(Identity, functionsHint)
L10N_CONSTANT(Identity, invalidServerID)

std::string Identity::title(int id) {
    return fill("Identity.title", {{"id", std::to_string(id)}});
}

std::string Identity::tooLong(int count) {
    return fill("Identity.tooLong", {{"count", std::to_string(count)}});
}

L10N_CONSTANT(Diagnostics, title)

std::string Diagnostics::counters(int bus, int crc, int exceptions, int unit, int silent, int busy,
                                  int events) {
    return fill("Diagnostics.counters", {{"bus", std::to_string(bus)},
                                         {"crc", std::to_string(crc)},
                                         {"exceptions", std::to_string(exceptions)},
                                         {"unit", std::to_string(unit)},
                                         {"silent", std::to_string(silent)},
                                         {"busy", std::to_string(busy)},
                                         {"events", std::to_string(events)}});
}

std::string Units::removeUnitQuestion(int id) {
    return fill("Units.removeUnitQuestion", {{"id", std::to_string(id)}});
}

std::string Units::datapointCount(int count) {
    return countText("Units.datapointCount", count);
}

std::string Units::faultName(int index) {
    static constexpr std::array<std::string_view, 4> names = {"none", "noResponse", "exception",
                                                              "badCRC"};
    return indexedText("Units.faultName", names, index);
}

namespace {
constexpr std::array<std::string_view, 6> simulationKinds = {"none", "counter", "ramp",
                                                             "sine", "random",  "toggle"};
}

L10N_CONSTANT(Simulation, minimumAboveMaximum)
L10N_CONSTANT(Simulation, invalidPeriod)
L10N_CONSTANT(Simulation, kind)
L10N_CONSTANT(Simulation, minimum)
L10N_CONSTANT(Simulation, maximum)
L10N_CONSTANT(Simulation, period)
L10N_CONSTANT(Simulation, hint)

std::string Simulation::kindName(int index) {
    return indexedText("Simulation.kindName", simulationKinds, index);
}

std::string Simulation::kindDescription(int index) {
    return indexedText("Simulation.kindDescription", simulationKinds, index);
}

L10N_CONSTANT(Example, deviceName)
L10N_CONSTANT(Example, energyMeter)
L10N_CONSTANT(Example, temperature)
L10N_CONSTANT(Example, pressure)
L10N_CONSTANT(Example, runTime)
L10N_CONSTANT(Example, mode)
L10N_CONSTANT(Example, setpoint)
L10N_CONSTANT(Example, pumpOn)
L10N_CONSTANT(Example, alarm)
L10N_CONSTANT(Example, energy)

L10N_CONSTANT(Cli, usage)
L10N_CONSTANT(Cli, description)
L10N_CONSTANT(Cli, helpOption)
L10N_CONSTANT(Cli, versionOption)
L10N_CONSTANT(Cli, tryHelp)

std::string Cli::unknownOption(std::string_view option) {
    return fill("Cli.unknownOption", {{"option", option}});
}

L10N_CONSTANT(Cli, commands)
L10N_CONSTANT(Cli, serveCommand)
L10N_CONSTANT(Cli, serveUsage)
L10N_CONSTANT(Cli, serveDescription)
L10N_CONSTANT(Cli, serveDefaults)
L10N_CONSTANT(Cli, projectOption)
L10N_CONSTANT(Cli, csvOption)
L10N_CONSTANT(Cli, portOption)
L10N_CONSTANT(Cli, virtualOption)
L10N_CONSTANT(Cli, baudOption)
L10N_CONSTANT(Cli, frameOption)
L10N_CONSTANT(Cli, noTimestampsOption)
L10N_CONSTANT(Cli, rawFramesOption)
L10N_CONSTANT(Cli, busTrafficOption)
L10N_CONSTANT(Cli, exitOnLossOption)
L10N_CONSTANT(Cli, serveTryHelp)

std::string Cli::virtualPort(std::string_view path) {
    return fill("Cli.virtualPort", {{"path", path}});
}

std::string Cli::virtualFailed(std::string_view reason) {
    return fill("Cli.virtualFailed", {{"reason", reason}});
}

std::string Cli::stopSignalsFailed(std::string_view reason) {
    return fill("Cli.stopSignalsFailed", {{"reason", reason}});
}

std::string Cli::missingValue(std::string_view option) {
    return fill("Cli.missingValue", {{"option", option}});
}

std::string Cli::invalidBaud(std::string_view value) {
    return fill("Cli.invalidBaud", {{"value", value}});
}

std::string Cli::invalidFrame(std::string_view value) {
    return fill("Cli.invalidFrame", {{"value", value}});
}

std::string Cli::conflictingOptions(std::string_view first, std::string_view second) {
    return fill("Cli.conflictingOptions", {{"first", first}, {"second", second}});
}

#undef L10N_CONSTANT

} // namespace L10n

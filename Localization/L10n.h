#pragma once

#include "Localization/Language.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Every short text the user sees, in the language of the run (Language::current(), or the
// language of a ScopedLanguage on this thread). The wordings live in one translation file per
// language (Localization/translations/<code>.json), compiled into the binary. Localization
// depends on no other module, so enumerations are passed as their raw numbers or as their index
// in the enumeration's declaration order, as documented at each function. An index out of range
// gives an empty text.
namespace L10n {

// The language texts are returned in on this thread.
Language language();

// Makes this thread's texts use `language` until the guard ends; guards nest.
class ScopedLanguage {
public:
    explicit ScopedLanguage(Language language);
    ~ScopedLanguage();
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

private:
    std::optional<Language> previous_;
};

// The raw translation table of one language: key ("Header.serialPort") to text, with named
// placeholders such as "{path}" still in it. For tests and tools.
const std::map<std::string, std::string, std::less<>>& texts(Language language);

// Keyboard shortcuts in their portable form; texts show them through shortcutText.
namespace Shortcut {
inline constexpr std::string_view startStop = "Ctrl+R";
inline constexpr std::string_view toggleLog = "Ctrl+L";
inline constexpr std::string_view saveProject = "Ctrl+S";
inline constexpr std::string_view saveLog = "Ctrl+Alt+S";
inline constexpr std::string_view undo = "Ctrl+Z";
inline constexpr std::string_view redo = "Ctrl+Shift+Z";
inline constexpr std::string_view clearLog = "Ctrl+K";
inline constexpr std::string_view find = "Ctrl+F";
inline constexpr std::string_view addDatapoint = "Ctrl+Shift+D";
inline constexpr std::string_view deleteDatapoints = "Ctrl+Backspace";
inline constexpr std::string_view importDatapoints = "Ctrl+Shift+I";
inline constexpr std::string_view exportDatapoints = "Ctrl+Shift+E";
inline constexpr std::string_view newProject = "Ctrl+N";
inline constexpr std::string_view openProject = "Ctrl+O";
inline constexpr std::string_view saveProjectAs = "Ctrl+Shift+S";
inline constexpr std::string_view help = "F1";
} // namespace Shortcut

// How a shortcut reads in this language on this desktop ("Strg+R" in German). Without a
// formatter, the portable form. The user interface installs one at start-up, before any
// other thread asks for texts.
using ShortcutFormatter = std::string (*)(std::string_view portable);
void setShortcutFormatter(ShortcutFormatter formatter);
std::string shortcutText(std::string_view portable);

// The port bar at the top of the window.
namespace Header {
std::string serialPort();
std::string noPortsFound();
std::string selectPort();
std::string notConnected(); // appended to a remembered port that is not present
std::string baudSuffix();   // appended to a baud rate number
std::string baudRate();
std::string start();
std::string stop();
} // namespace Header

// The virtual serial port of the port picker: a pseudo-terminal pair for a master on this computer.
namespace VirtualPort {
std::string name();                           // the picker's entry
std::string masterEnd(std::string_view port); // the serial bar's label
std::string masterEndHint();
std::string copyPath();
std::string baudNote(); // in the frame popover
// How the started line names the port; master is "link → /dev/pts/N" or the bare path.
std::string logName(std::string_view master);
std::string noLink(std::string_view link, std::string_view reason, std::string_view path);
std::string linkInUse();
std::string folderNotPrivate();
std::string failed(std::string_view reason);
} // namespace VirtualPort

// The serial settings popover.
namespace Settings {
std::string dataBits();
std::string parity();
std::string stopBits();
std::string parityNone();
std::string parityEven();
std::string parityOdd();
std::string millisecondsSuffix();
std::string modbusDefault();
std::string modbusDefaultHint();
std::string frame(); // the popover's section title
} // namespace Settings

// The log pane's bar.
namespace Footer {
std::string logOptions();
std::string autoscroll();
std::string timestamps();
std::string showRawFrames();
std::string showRawFramesHint();
std::string save();
std::string saveHint();
std::string clearLog();
std::string clearHint();
} // namespace Footer

namespace Menu {
std::string saveLog();
std::string clearLog();
std::string newProject();
std::string openProject();
std::string saveProjectAs();
std::string saveProject();
std::string edit();
std::string undo();
std::string redo();
std::string addDatapoint();
std::string importDatapoints();
std::string exportDatapoints();
std::string file();
std::string server();
std::string help();
std::string quit();
// File type names of the open and save dialogs.
std::string projectFiles();
std::string csvFiles();
std::string tabSeparatedFiles();
std::string plainTextFiles();
std::string datapointLists();
} // namespace Menu

// The find bar of the log.
namespace Find {
std::string placeholder();
std::string next();
std::string previous();
std::string noMatches();
std::string close();
} // namespace Find

// The datapoint table.
namespace Table {
// Column titles.
std::string name();
std::string unit(); // the unit ID column
std::string table();
std::string address();
std::string type();
std::string order();
std::string scale();
std::string value();
std::string engineeringUnit();
std::string display();
std::string description();
std::string simulation();
std::string nameField();

std::string datapoint();
std::string addHint();
std::string duplicate();
std::string delete_();
std::string csv();
std::string csvHint();
std::string overlapTitle();
std::string overlapMessage();
std::string overlapHint();
std::string addressHint(std::string_view modicon);
std::string orderHint();
std::string scaleHint();
std::string valueHint();
std::string valueDoesNotFit(std::string_view typeName);
// "abc" is not a number.
std::string notANumber(std::string_view text);
std::string notAWholeNumber(std::string_view text);
// 70000 is not between 0 and 65535.
std::string notInRange(std::string_view text, std::string_view minimum, std::string_view maximum);
// 70000 does not fit "UInt16 (0 to 65535)"; range is "0 to 65535" in the language's words.
std::string valueOutOfRange(std::string_view text, std::string_view typeName,
                            std::string_view minimum, std::string_view maximum);
// A fraction typed into a whole-number type.
std::string valueRounded(std::string_view text, std::string_view stored);
std::string noDatapoints();
// RegisterTable order: 0 coil, 1 discrete input, 2 holding register, 3 input register.
std::string tableName(int index);
// DataType order: 0 bool, 1 uint16, 2 int16, 3 uint32, 4 int32, 5 float32, 6 uint64, 7 int64,
// 8 float64.
std::string dataTypeName(int index);
// DisplayFormat order: 0 decimal, 1 hex, 2 binary.
std::string formatName(int index);
} // namespace Table

// The project menu.
namespace Project {
std::string project();
std::string projectHint();
std::string saveCurrentTitle();
std::string saveCurrentMessage();
std::string save();
std::string dontSave();
} // namespace Project

// CSV import.
namespace Import {
std::string found(int count);
std::string addOrReplace();
std::string skipped(int count);
// After the listed lines: "…and 7 more".
std::string more(int count);
// Values stored as the master will read them.
std::string adjusted(int count);
std::string clamped(int line, std::string_view typed, std::string_view stored);
std::string rounded(int line, std::string_view typed, std::string_view stored);
std::string add();
std::string replace();
std::string cancel();
} // namespace Import

namespace Modbus {
// Any function code; codes without a name of their own get a generic one.
std::string functionName(std::uint8_t code);
// A function's name with its sub-function, as two or four upper-case hex digits.
std::string withSubFunction(std::string_view name, std::string_view code);
// Any exception code; codes that are not Modbus exceptions get a generic one.
std::string exceptionName(std::uint8_t code);
} // namespace Modbus

namespace Board {
std::string usbSerial(std::string_view detail);
} // namespace Board

namespace Errors {
std::string somethingWentWrong();
std::string ok();
std::string selectPortFirst();
std::string savingFailed(std::string_view reason);
std::string cannotRead(std::string_view fileName);
std::string autosaveUnreadable(std::string_view file);
std::string noDatapointsInFile(std::string_view detail);
std::string importLine(int line, std::string_view problem);
std::string invalidPort(std::string_view path);
std::string cannotOpen(std::string_view path, std::string_view reason);
std::string portBusy(std::string_view path);
std::string portBusyProbing(std::string_view path);
std::string portAccessDenied(std::string_view path, std::string_view group);
std::string portAccessDeniedNoGroup(std::string_view path);
std::string configureFailed(std::string_view reason);
std::string unsupportedBaudRate(std::int64_t rate);
std::string portNotOpen();
std::string sendingFailed(std::string_view reason);
std::string noResponse();
std::string adapterDisconnected();
std::string missingColumns();
std::string invalidTable(std::string_view text);
std::string invalidAddress(std::string_view text);
std::string invalidUnit(std::string_view text);
std::string invalidDataType(std::string_view text);
std::string invalidNumber(std::string_view text);
std::string tooManyDatapoints(std::string_view fileName, std::size_t count);
} // namespace Errors

// Tooltips.
namespace Help {
std::string serialSettings();
std::string start();
std::string stop();
std::string stopToChange();
} // namespace Help

// The status next to the start button.
namespace State {
std::string running();
std::string stopped();
std::string serialLost();
std::string ready();
} // namespace State

// Notices and banners.
namespace Notice {
std::string emptyLog();
std::string noAdapterTitle();
std::string noAdapterMessage();
std::string startServer();
std::string invalidData();
std::string portGone();
std::string dismiss();
} // namespace Notice

// The log pane and log lines.
namespace Log {
std::string log();
std::string toggleHint();
std::string showLog();
std::string optionsHint();
std::string statistics(std::uint64_t requests, std::uint64_t responses, std::uint64_t exceptions,
                       std::uint64_t otherUnits, std::uint64_t invalid);
std::string showOtherUnits();
std::string showOtherUnitsHint();
std::string serverLog();
std::string server();
std::string unitEmpty();
std::string simulatedValue();
std::string addUnitFirst();
std::string serverStarted(std::string_view port, std::string_view units);
std::string serverStopped();
std::string unit(int id);
std::string request(int id, std::uint8_t functionCode); // the code as two upper-case hex digits
std::string broadcast();
std::string noAnswer(int id);
std::string listenOnly(int id);
std::string notSimulated(int id);
std::string otherDevice();
std::string invalidData(std::size_t byteCount);
std::string crcDamaged();
std::string portGone(std::string_view name);
std::string portBack();
std::string portBackAt(std::string_view port, std::string_view node);
std::string linesDropped(std::uint64_t count);
std::string portsUnavailable();
// A fault rule fired: the unit, the rule's name and faultEffect's text.
std::string faultFired(int id, std::string_view rule, std::string_view effect);
// What a fault rule did, by the effect's raw name ("badCRC"); value is the number the effect
// reads (ms, bytes, code, unit ID or count).
std::string faultEffect(std::string_view kind, int value, bool dropRequest);
std::string busy(int id);
std::string faultsInjected(std::uint64_t count);
} // namespace Log

// The unit sidebar and unit settings.
namespace Units {
std::string units();
std::string addUnit();
std::string addUnitHint();
std::string removeUnit();
std::string removeUnitHint();
std::string removeUnitQuestion(int id);
std::string removeUnitMessage();
std::string datapointCount(int count);
std::string noUnitSelected();
std::string unitID();
std::string unitIDHint();
std::string unitIDInvalid();
// An address typed into the unit ID field that was refused.
std::string unitIDRefused(std::string_view text);
std::string nameOptional();
std::string enabled();
std::string enabledHint();
std::string turnedOff();
std::string behaviour();
std::string behaviourHint();
// ServerUnit::Fault order: 0 none (normal), 1 no response, 2 always exception, 3 bad CRC.
std::string faultName(int index);
std::string exceptionCode();
std::string delay();
std::string delayHint();
std::string unknownAddresses();
std::string exception02();
std::string readAsZero();
std::string unknownAddressesHint();
std::string listenOnly();
std::string identityAndFunctions();
std::string identityAndFunctionsHint();
} // namespace Units

// The dialog for a unit's identity and function codes.
namespace Identity {
std::string title(int id);
std::string identity();
std::string serverID();
std::string serverIDHint();
std::string running();
std::string additionalData();
std::string exceptionStatus();
std::string vendorName();
std::string productCode();
std::string revision();
std::string vendorURL();
std::string productName();
std::string modelName();
std::string modelNameHint();
std::string userApplicationName();
std::string functions();
std::string functionsHint();
std::string invalidServerID();
std::string tooLong(int count);
} // namespace Identity

// The selected unit's diagnostic counters while the server runs.
namespace Diagnostics {
std::string title();
std::string counters(int bus, int crc, int exceptions, int unit, int silent, int busy, int events);
} // namespace Diagnostics

// The simulation editor.
namespace Simulation {
std::string kind();
std::string minimum();
std::string maximum();
std::string period();
std::string hint();
// Simulation::Kind order: 0 none, 1 counter, 2 ramp, 3 sine, 4 random, 5 toggle.
std::string kindName(int index);
std::string kindDescription(int index);
std::string minimumAboveMaximum();
std::string invalidPeriod();
} // namespace Simulation

// The example device of the first start.
namespace Example {
std::string deviceName();
std::string energyMeter();
std::string temperature();
std::string pressure();
std::string runTime();
std::string mode();
std::string setpoint();
std::string pumpOn();
std::string alarm();
std::string energy();
} // namespace Example

// The corvana command's own output.
namespace Cli {
std::string usage();       // "Usage: corvana [OPTION]"
std::string description(); // one line saying what the program does
std::string helpOption();
std::string versionOption();
std::string unknownOption(std::string_view option);
std::string tryHelp();
std::string commands();
std::string serveCommand();
// corvana serve: its help, its messages and the options' errors (those exit with status 2).
std::string serveUsage();
std::string serveDescription();
std::string serveDefaults();
std::string projectOption();
std::string csvOption();
std::string portOption();
std::string virtualOption();
std::string baudOption();
std::string frameOption();
std::string noTimestampsOption();
std::string rawFramesOption();
std::string busTrafficOption();
std::string exitOnLossOption();
std::string virtualPort(std::string_view path);
std::string virtualFailed(std::string_view reason);
std::string stopSignalsFailed(std::string_view reason);
std::string missingValue(std::string_view option);
std::string invalidBaud(std::string_view value);
std::string invalidFrame(std::string_view value);
std::string conflictingOptions(std::string_view first, std::string_view second);
std::string serveTryHelp();
} // namespace Cli

} // namespace L10n

#include "Localization/ControlTexts.h"
#include "Localization/FaultTexts.h"
#include "Localization/L10n.h"
#include "Localization/NetworkTexts.h"
#include "Localization/NetworkViewTexts.h"
#include "Localization/ReportTexts.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace {

using TextFunction = std::string (*)();

// Every key of the catalogue, each indexed and counted key in all its forms.
const TextFunction allTexts[] = {
    [] { return L10n::Header::serialPort(); },
    [] { return L10n::Header::noPortsFound(); },
    [] { return L10n::Header::selectPort(); },
    [] { return L10n::Header::notConnected(); },
    [] { return L10n::Header::baudSuffix(); },
    [] { return L10n::Header::baudRate(); },
    [] { return L10n::Header::start(); },
    [] { return L10n::Header::stop(); },
    [] { return L10n::Settings::dataBits(); },
    [] { return L10n::Settings::parity(); },
    [] { return L10n::Settings::stopBits(); },
    [] { return L10n::Settings::parityNone(); },
    [] { return L10n::Settings::parityEven(); },
    [] { return L10n::Settings::parityOdd(); },
    [] { return L10n::Settings::millisecondsSuffix(); },
    [] { return L10n::Settings::modbusDefault(); },
    [] { return L10n::Settings::modbusDefaultHint(); },
    [] { return L10n::Footer::logOptions(); },
    [] { return L10n::Footer::autoscroll(); },
    [] { return L10n::Footer::timestamps(); },
    [] { return L10n::Footer::showRawFrames(); },
    [] { return L10n::Footer::showRawFramesHint(); },
    [] { return L10n::Footer::save(); },
    [] { return L10n::Footer::saveHint(); },
    [] { return L10n::Footer::clearLog(); },
    [] { return L10n::Footer::clearHint(); },
    [] { return L10n::Menu::saveLog(); },
    [] { return L10n::Menu::clearLog(); },
    [] { return L10n::Menu::newProject(); },
    [] { return L10n::Menu::openProject(); },
    [] { return L10n::Menu::saveProjectAs(); },
    [] { return L10n::Menu::importDatapoints(); },
    [] { return L10n::Menu::exportDatapoints(); },
    [] { return L10n::Table::name(); },
    [] { return L10n::Table::unit(); },
    [] { return L10n::Table::table(); },
    [] { return L10n::Table::address(); },
    [] { return L10n::Table::type(); },
    [] { return L10n::Table::order(); },
    [] { return L10n::Table::scale(); },
    [] { return L10n::Table::value(); },
    [] { return L10n::Table::engineeringUnit(); },
    [] { return L10n::Table::display(); },
    [] { return L10n::Table::description(); },
    [] { return L10n::Table::simulation(); },
    [] { return L10n::Table::nameField(); },
    [] { return L10n::Table::datapoint(); },
    [] { return L10n::Table::addHint(); },
    [] { return L10n::Table::duplicate(); },
    [] { return L10n::Table::delete_(); },
    [] { return L10n::Table::csv(); },
    [] { return L10n::Table::csvHint(); },
    [] { return L10n::Table::overlapTitle(); },
    [] { return L10n::Table::overlapMessage(); },
    [] { return L10n::Table::overlapHint(); },
    [] { return L10n::Table::addressHint("x"); },
    [] { return L10n::Table::orderHint(); },
    [] { return L10n::Table::scaleHint(); },
    [] { return L10n::Table::valueHint(); },
    [] { return L10n::Table::valueDoesNotFit("x"); },
    [] { return L10n::Table::noDatapoints(); },
    [] { return L10n::Table::tableName(0); },
    [] { return L10n::Table::tableName(1); },
    [] { return L10n::Table::tableName(2); },
    [] { return L10n::Table::tableName(3); },
    [] { return L10n::Table::dataTypeName(0); },
    [] { return L10n::Table::dataTypeName(1); },
    [] { return L10n::Table::dataTypeName(2); },
    [] { return L10n::Table::dataTypeName(3); },
    [] { return L10n::Table::dataTypeName(4); },
    [] { return L10n::Table::dataTypeName(5); },
    [] { return L10n::Table::dataTypeName(6); },
    [] { return L10n::Table::dataTypeName(7); },
    [] { return L10n::Table::dataTypeName(8); },
    [] { return L10n::Table::formatName(0); },
    [] { return L10n::Table::formatName(1); },
    [] { return L10n::Table::formatName(2); },
    [] { return L10n::Project::project(); },
    [] { return L10n::Project::projectHint(); },
    [] { return L10n::Project::saveCurrentTitle(); },
    [] { return L10n::Project::saveCurrentMessage(); },
    [] { return L10n::Project::save(); },
    [] { return L10n::Project::dontSave(); },
    [] { return L10n::Import::found(1); },
    [] { return L10n::Import::found(2); },
    [] { return L10n::Import::addOrReplace(); },
    [] { return L10n::Import::skipped(2); },
    [] { return L10n::Import::add(); },
    [] { return L10n::Import::replace(); },
    [] { return L10n::Import::cancel(); },
    [] { return L10n::Modbus::functionName(1); },
    [] { return L10n::Modbus::functionName(2); },
    [] { return L10n::Modbus::functionName(3); },
    [] { return L10n::Modbus::functionName(4); },
    [] { return L10n::Modbus::functionName(5); },
    [] { return L10n::Modbus::functionName(6); },
    [] { return L10n::Modbus::functionName(8); },
    [] { return L10n::Modbus::functionName(15); },
    [] { return L10n::Modbus::functionName(16); },
    [] { return L10n::Modbus::functionName(22); },
    [] { return L10n::Modbus::functionName(23); },
    [] { return L10n::Modbus::functionName(43); },
    [] { return L10n::Modbus::functionName(99); },
    [] { return L10n::Modbus::exceptionName(1); },
    [] { return L10n::Modbus::exceptionName(2); },
    [] { return L10n::Modbus::exceptionName(3); },
    [] { return L10n::Modbus::exceptionName(4); },
    [] { return L10n::Modbus::exceptionName(5); },
    [] { return L10n::Modbus::exceptionName(6); },
    [] { return L10n::Modbus::exceptionName(8); },
    [] { return L10n::Modbus::exceptionName(10); },
    [] { return L10n::Modbus::exceptionName(11); },
    [] { return L10n::Modbus::exceptionName(12); },
    [] { return L10n::Board::usbSerial("x"); },
    [] { return L10n::Errors::somethingWentWrong(); },
    [] { return L10n::Errors::ok(); },
    [] { return L10n::Errors::selectPortFirst(); },
    [] { return L10n::Errors::savingFailed("x"); },
    [] { return L10n::Errors::cannotRead("x"); },
    [] { return L10n::Errors::noDatapointsInFile("x"); },
    [] { return L10n::Errors::importLine(2, "x"); },
    [] { return L10n::Errors::invalidPort("x"); },
    [] { return L10n::Errors::cannotOpen("x", "x"); },
    [] { return L10n::Errors::portBusy("x"); },
    [] { return L10n::Errors::configureFailed("x"); },
    [] { return L10n::Errors::unsupportedBaudRate(9600); },
    [] { return L10n::Errors::portNotOpen(); },
    [] { return L10n::Errors::sendingFailed("x"); },
    [] { return L10n::Errors::noResponse(); },
    [] { return L10n::Errors::adapterDisconnected(); },
    [] { return L10n::Errors::missingColumns(); },
    [] { return L10n::Errors::invalidTable("x"); },
    [] { return L10n::Errors::invalidAddress("x"); },
    [] { return L10n::Errors::invalidUnit("x"); },
    [] { return L10n::Errors::invalidDataType("x"); },
    [] { return L10n::Errors::invalidNumber("x"); },
    [] { return L10n::Help::serialSettings(); },
    [] { return L10n::Help::start(); },
    [] { return L10n::Help::stop(); },
    [] { return L10n::Help::stopToChange(); },
    [] { return L10n::State::running(); },
    [] { return L10n::State::stopped(); },
    [] { return L10n::State::serialLost(); },
    [] { return L10n::State::ready(); },
    [] { return L10n::Notice::emptyLog(); },
    [] { return L10n::Notice::noAdapterTitle(); },
    [] { return L10n::Notice::noAdapterMessage(); },
    [] { return L10n::Notice::startServer(); },
    [] { return L10n::Notice::invalidData(); },
    [] { return L10n::Notice::portGone(); },
    [] { return L10n::Notice::dismiss(); },
    [] { return L10n::Log::log(); },
    [] { return L10n::Log::toggleHint(); },
    [] { return L10n::Log::showLog(); },
    [] { return L10n::Log::optionsHint(); },
    [] { return L10n::Log::statistics(1, 2, 3, 4, 5); },
    [] { return L10n::Log::showOtherUnits(); },
    [] { return L10n::Log::showOtherUnitsHint(); },
    [] { return L10n::Log::serverLog(); },
    [] { return L10n::Log::server(); },
    [] { return L10n::Log::unitEmpty(); },
    [] { return L10n::Log::simulatedValue(); },
    [] { return L10n::Log::addUnitFirst(); },
    [] { return L10n::Log::serverStarted("x", "x"); },
    [] { return L10n::Log::serverStopped(); },
    [] { return L10n::Log::unit(2); },
    [] { return L10n::Log::request(2, 3); },
    [] { return L10n::Log::broadcast(); },
    [] { return L10n::Log::noAnswer(2); },
    [] { return L10n::Log::notSimulated(2); },
    [] { return L10n::Log::otherDevice(); },
    [] { return L10n::Log::invalidData(5); },
    [] { return L10n::Log::crcDamaged(); },
    [] { return L10n::Log::portGone("x"); },
    [] { return L10n::Log::portBack(); },
    [] { return L10n::Log::portsUnavailable(); },
    [] { return L10n::Units::units(); },
    [] { return L10n::Units::addUnit(); },
    [] { return L10n::Units::addUnitHint(); },
    [] { return L10n::Units::removeUnit(); },
    [] { return L10n::Units::removeUnitHint(); },
    [] { return L10n::Units::removeUnitQuestion(2); },
    [] { return L10n::Units::removeUnitMessage(); },
    [] { return L10n::Units::datapointCount(1); },
    [] { return L10n::Units::datapointCount(2); },
    [] { return L10n::Units::noUnitSelected(); },
    [] { return L10n::Units::unitID(); },
    [] { return L10n::Units::unitIDHint(); },
    [] { return L10n::Units::unitIDInvalid(); },
    [] { return L10n::Units::nameOptional(); },
    [] { return L10n::Units::enabled(); },
    [] { return L10n::Units::enabledHint(); },
    [] { return L10n::Units::turnedOff(); },
    [] { return L10n::Units::behaviour(); },
    [] { return L10n::Units::behaviourHint(); },
    [] { return L10n::Units::faultName(0); },
    [] { return L10n::Units::faultName(1); },
    [] { return L10n::Units::faultName(2); },
    [] { return L10n::Units::faultName(3); },
    [] { return L10n::Units::exceptionCode(); },
    [] { return L10n::Units::delay(); },
    [] { return L10n::Units::delayHint(); },
    [] { return L10n::Units::unknownAddresses(); },
    [] { return L10n::Units::exception02(); },
    [] { return L10n::Units::readAsZero(); },
    [] { return L10n::Units::unknownAddressesHint(); },
    [] { return L10n::Simulation::kind(); },
    [] { return L10n::Simulation::minimum(); },
    [] { return L10n::Simulation::maximum(); },
    [] { return L10n::Simulation::period(); },
    [] { return L10n::Simulation::hint(); },
    [] { return L10n::Simulation::kindName(0); },
    [] { return L10n::Simulation::kindName(1); },
    [] { return L10n::Simulation::kindName(2); },
    [] { return L10n::Simulation::kindName(3); },
    [] { return L10n::Simulation::kindName(4); },
    [] { return L10n::Simulation::kindName(5); },
    [] { return L10n::Simulation::kindDescription(0); },
    [] { return L10n::Simulation::kindDescription(1); },
    [] { return L10n::Simulation::kindDescription(2); },
    [] { return L10n::Simulation::kindDescription(3); },
    [] { return L10n::Simulation::kindDescription(4); },
    [] { return L10n::Simulation::kindDescription(5); },
    [] { return L10n::Example::deviceName(); },
    [] { return L10n::Example::energyMeter(); },
    [] { return L10n::Example::temperature(); },
    [] { return L10n::Example::pressure(); },
    [] { return L10n::Example::runTime(); },
    [] { return L10n::Example::setpoint(); },
    [] { return L10n::Example::mode(); },
    [] { return L10n::Example::pumpOn(); },
    [] { return L10n::Example::alarm(); },
    [] { return L10n::Example::energy(); },
    [] { return L10n::Cli::usage(); },
    [] { return L10n::Cli::description(); },
    [] { return L10n::Cli::helpOption(); },
    [] { return L10n::Cli::versionOption(); },
    [] { return L10n::Cli::unknownOption("x"); },
    [] { return L10n::Cli::tryHelp(); },
    [] { return L10n::Cli::commands(); },
    [] { return L10n::Cli::serveCommand(); },
    [] { return L10n::Cli::serveUsage(); },
    [] { return L10n::Cli::serveDescription(); },
    [] { return L10n::Cli::serveDefaults(); },
    [] { return L10n::Cli::projectOption(); },
    [] { return L10n::Cli::csvOption(); },
    [] { return L10n::Cli::portOption(); },
    [] { return L10n::Cli::virtualOption(); },
    [] { return L10n::Cli::baudOption(); },
    [] { return L10n::Cli::frameOption(); },
    [] { return L10n::Cli::noTimestampsOption(); },
    [] { return L10n::Cli::rawFramesOption(); },
    [] { return L10n::Cli::busTrafficOption(); },
    [] { return L10n::Cli::virtualPort("x"); },
    [] { return L10n::Cli::virtualFailed("x"); },
    [] { return L10n::Cli::stopSignalsFailed("x"); },
    [] { return L10n::Cli::missingValue("x"); },
    [] { return L10n::Cli::invalidBaud("x"); },
    [] { return L10n::Cli::invalidFrame("x"); },
    [] { return L10n::Cli::conflictingOptions("x", "y"); },
    [] { return L10n::Cli::serveTryHelp(); },
    [] { return L10n::Control::lineTooLong(); },
    [] { return L10n::Control::invalidJSON(); },
    [] { return L10n::Control::notAnObject(); },
    [] { return L10n::Control::tooManyClients(); },
    [] { return L10n::Control::pathInUse(); },
    [] { return L10n::Control::notASocket(); },
    [] { return L10n::Control::pathTooLong(); },
    [] { return L10n::Control::clientDropped(); },
    [] { return L10n::Control::allowScripts(); },
    [] { return L10n::Control::allowScriptsHint(); },
    [] { return L10n::Control::ctlCommand(); },
    [] { return L10n::Control::ctlUsage(); },
    [] { return L10n::Control::ctlDescription(); },
    [] { return L10n::Control::ctlCommands(); },
    [] { return L10n::Control::ctlExitStatus(); },
    [] { return L10n::Control::ctlTryHelp(); },
    [] { return L10n::Control::missingCommand(); },
    [] { return L10n::Control::noReply(); },
    [] { return L10n::Control::unknownCommand("x"); },
    [] { return L10n::Control::missingKey("x"); },
    [] { return L10n::Control::invalidKey("x"); },
    [] { return L10n::Control::unknownKey("x"); },
    [] { return L10n::Control::unknownUnit("x"); },
    [] { return L10n::Control::invalidUnitSettings("x"); },
    [] { return L10n::Control::invalidProject("x"); },
    [] { return L10n::Control::socketOpen("x"); },
    [] { return L10n::Control::socketClosed("x"); },
    [] { return L10n::Control::folderNotPrivate("x"); },
    [] { return L10n::Control::controlOption("x"); },
    [] { return L10n::Control::socketOption("x"); },
    [] { return L10n::Control::badPair("x"); },
    [] { return L10n::Control::unknownName("x", "y"); },
    [] { return L10n::Control::ambiguousName("x", "y"); },
    [] { return L10n::Control::invalidRules("x", "y"); },
    [] { return L10n::Control::socketFailed("x", "y"); },
    [] { return L10n::Control::noServer("x", "y"); },
    [] { return L10n::Control::noDatapointAt("1", "x", "2"); },
    [] { return L10n::Faults::name(); },
    [] { return L10n::Faults::title(); },
    [] { return L10n::Faults::noRules(); },
    [] { return L10n::Faults::add(); },
    [] { return L10n::Faults::addHint(); },
    [] { return L10n::Faults::emptyRule(); },
    [] { return L10n::Faults::presets(); },
    [] { return L10n::Faults::edit(); },
    [] { return L10n::Faults::editHint(); },
    [] { return L10n::Faults::duplicate(); },
    [] { return L10n::Faults::remove(); },
    [] { return L10n::Faults::moveUp(); },
    [] { return L10n::Faults::moveDown(); },
    [] { return L10n::Faults::columnOn(); },
    [] { return L10n::Faults::columnName(); },
    [] { return L10n::Faults::columnRule(); },
    [] { return L10n::Faults::columnFired(); },
    [] { return L10n::Faults::firedHint(); },
    [] { return L10n::Faults::newRuleName(); },
    [] { return L10n::Faults::editorTitle(); },
    [] { return L10n::Faults::name(); },
    [] { return L10n::Faults::enabled(); },
    [] { return L10n::Faults::match(); },
    [] { return L10n::Faults::functionCodes(); },
    [] { return L10n::Faults::functionCodesHint(); },
    [] { return L10n::Faults::all(); },
    [] { return L10n::Faults::any(); },
    [] { return L10n::Faults::addresses(); },
    [] { return L10n::Faults::quantity(); },
    [] { return L10n::Faults::from(); },
    [] { return L10n::Faults::to(); },
    [] { return L10n::Faults::schedule(); },
    [] { return L10n::Faults::kind(); },
    [] { return L10n::Faults::n(); },
    [] { return L10n::Faults::probabilityField(); },
    [] { return L10n::Faults::windowFrom(); },
    [] { return L10n::Faults::windowTo(); },
    [] { return L10n::Faults::on(); },
    [] { return L10n::Faults::period(); },
    [] { return L10n::Faults::effectField(); },
    [] { return L10n::Faults::exceptionCode(); },
    [] { return L10n::Faults::functionCode(); },
    [] { return L10n::Faults::milliseconds(); },
    [] { return L10n::Faults::byteGap(); },
    [] { return L10n::Faults::byteCount(); },
    [] { return L10n::Faults::unitID(); },
    [] { return L10n::Faults::valueCount(); },
    [] { return L10n::Faults::dropRequest(); },
    [] { return L10n::Faults::dropRequestHint(); },
    [] { return L10n::Faults::summaryLabel(); },
    [] { return L10n::Faults::secondsSuffix(); },
    [] { return L10n::Faults::percentSuffix(); },
    [] { return L10n::Faults::fromAboveTo(); },
    [] { return L10n::Faults::windowEmpty(); },
    [] { return L10n::Faults::onLongerThanPeriod(); },
    // The summary pieces: every request kind, range form, ordinal form and schedule.
    [] { return L10n::Faults::requests(0, false, "3, 16"); },
    [] { return L10n::Faults::requests(0, true, "3, 16"); },
    [] { return L10n::Faults::requests(1, false, "3, 16"); },
    [] { return L10n::Faults::requests(1, true, "3, 16"); },
    [] { return L10n::Faults::requests(2, false, "3, 16"); },
    [] { return L10n::Faults::requests(2, true, "3, 16"); },
    [] { return L10n::Faults::requests(3, false, "3, 16"); },
    [] { return L10n::Faults::requests(3, true, "3, 16"); },
    [] { return L10n::Faults::requests(4, false, "3, 16"); },
    [] { return L10n::Faults::requests(4, true, "3, 16"); },
    [] { return L10n::Faults::requests(5, false, "3, 16"); },
    [] { return L10n::Faults::requests(5, true, "3, 16"); },
    [] { return L10n::Faults::requests(6, false, "3, 16"); },
    [] { return L10n::Faults::requests(6, true, "3, 16"); },
    [] { return L10n::Faults::requests(7, false, "3, 16"); },
    [] { return L10n::Faults::requests(7, true, "3, 16"); },
    [] { return L10n::Faults::range("1", "9"); },
    [] { return L10n::Faults::range("1", ""); },
    [] { return L10n::Faults::range("", "9"); },
    [] { return L10n::Faults::atAddresses("x", "1–9", true); },
    [] { return L10n::Faults::atAddresses("x", "1–9", false); },
    [] { return L10n::Faults::withQuantity("x", "1–9"); },
    [] { return L10n::Faults::ordinal(1); },
    [] { return L10n::Faults::ordinal(2); },
    [] { return L10n::Faults::ordinal(3); },
    [] { return L10n::Faults::ordinal(4); },
    [] { return L10n::Faults::seconds("3"); },
    [] { return L10n::Faults::percent("10"); },
    [] { return L10n::Faults::always("x"); },
    [] { return L10n::Faults::everyNth(5, "x"); },
    [] { return L10n::Faults::probability("10 %", "xs"); },
    [] { return L10n::Faults::firstN(1, "x", "xs"); },
    [] { return L10n::Faults::firstN(2, "x", "xs"); },
    [] { return L10n::Faults::afterN(1, "x"); },
    [] { return L10n::Faults::afterN(2, "x"); },
    [] { return L10n::Faults::window("1 s", "2 s", "x"); },
    [] { return L10n::Faults::periodic("1 s", "2 s", "x"); },
    [] { return L10n::Faults::summary("when", "effect"); },
    [] { return L10n::Faults::effect(0, 0, true); },
    [] { return L10n::Faults::effect(0, 1); },
    [] { return L10n::Faults::effect(0, 2); },
    [] { return L10n::Faults::effect(1, 1); },
    [] { return L10n::Faults::effect(1, 2); },
    [] { return L10n::Faults::effect(2, 1); },
    [] { return L10n::Faults::effect(2, 2); },
    [] { return L10n::Faults::effect(3, 1); },
    [] { return L10n::Faults::effect(3, 2); },
    [] { return L10n::Faults::effect(4, 1); },
    [] { return L10n::Faults::effect(4, 2); },
    [] { return L10n::Faults::effect(5, 1); },
    [] { return L10n::Faults::effect(5, 2); },
    [] { return L10n::Faults::effect(6, 1); },
    [] { return L10n::Faults::effect(6, 2); },
    [] { return L10n::Faults::effect(7, 1); },
    [] { return L10n::Faults::effect(7, 2); },
    [] { return L10n::Faults::effect(8, 1); },
    [] { return L10n::Faults::effect(8, 2); },
    [] { return L10n::Faults::effect(9, 1); },
    [] { return L10n::Faults::effect(9, 2); },
    [] { return L10n::Faults::effect(10, 1); },
    [] { return L10n::Faults::effect(10, 2); },
    [] { return L10n::Faults::effect(11, 1); },
    [] { return L10n::Faults::effect(11, 2); },
    [] { return L10n::Faults::effect(12, 1); },
    [] { return L10n::Faults::effect(12, 2); },
    [] { return L10n::Faults::effect(13, 1); },
    [] { return L10n::Faults::effect(13, 2); },
    [] { return L10n::Faults::effect(14, 1); },
    [] { return L10n::Faults::effect(14, 2); },
    [] { return L10n::Faults::ruleCount(1, 1); },
    [] { return L10n::Faults::ruleCount(2, 1); },
    [] { return L10n::Faults::invalidFunctionCodes("x"); },
    [] { return L10n::Faults::invalidBound("x"); },
    [] { return L10n::Faults::scheduleName(0); },
    [] { return L10n::Faults::scheduleName(1); },
    [] { return L10n::Faults::scheduleName(2); },
    [] { return L10n::Faults::scheduleName(3); },
    [] { return L10n::Faults::scheduleName(4); },
    [] { return L10n::Faults::scheduleName(5); },
    [] { return L10n::Faults::scheduleName(6); },
    [] { return L10n::Faults::effectName(0); },
    [] { return L10n::Faults::effectName(1); },
    [] { return L10n::Faults::effectName(2); },
    [] { return L10n::Faults::effectName(3); },
    [] { return L10n::Faults::effectName(4); },
    [] { return L10n::Faults::effectName(5); },
    [] { return L10n::Faults::effectName(6); },
    [] { return L10n::Faults::effectName(7); },
    [] { return L10n::Faults::effectName(8); },
    [] { return L10n::Faults::effectName(9); },
    [] { return L10n::Faults::effectName(10); },
    [] { return L10n::Faults::effectName(11); },
    [] { return L10n::Faults::effectName(12); },
    [] { return L10n::Faults::effectName(13); },
    [] { return L10n::Faults::effectName(14); },
    [] { return L10n::Faults::presetName(0); },
    [] { return L10n::Faults::presetName(1); },
    [] { return L10n::Faults::presetName(2); },
    [] { return L10n::Faults::presetName(3); },
    [] { return L10n::Faults::presetName(4); },
    [] { return L10n::Faults::presetName(5); },
    [] { return L10n::Faults::presetHint(0); },
    [] { return L10n::Faults::presetHint(1); },
    [] { return L10n::Faults::presetHint(2); },
    [] { return L10n::Faults::presetHint(3); },
    [] { return L10n::Faults::presetHint(4); },
    [] { return L10n::Faults::presetHint(5); },
    [] { return L10n::Report::master(); },
    [] { return L10n::Report::masterHint(); },
    [] { return L10n::Report::exportCSV(); },
    [] { return L10n::Report::exportHint(); },
    [] { return L10n::Report::functionsTab(); },
    [] { return L10n::Report::pollItemsTab(); },
    [] { return L10n::Report::retriesTab(); },
    [] { return L10n::Report::unit(); },
    [] { return L10n::Report::function(); },
    [] { return L10n::Report::requests(); },
    [] { return L10n::Report::answers(); },
    [] { return L10n::Report::exceptions(); },
    [] { return L10n::Report::suppressed(); },
    [] { return L10n::Report::damaged(); },
    [] { return L10n::Report::delayed(); },
    [] { return L10n::Report::address(); },
    [] { return L10n::Report::quantity(); },
    [] { return L10n::Report::minimum(); },
    [] { return L10n::Report::mean(); },
    [] { return L10n::Report::median(); },
    [] { return L10n::Report::percentile95(); },
    [] { return L10n::Report::maximum(); },
    [] { return L10n::Report::turnaroundMinimum(); },
    [] { return L10n::Report::turnaroundMedian(); },
    [] { return L10n::Report::retries(); },
    [] { return L10n::Report::retryDelay(); },
    [] { return L10n::Report::succeeded(); },
    [] { return L10n::Report::gaveUp(); },
    [] { return L10n::Report::untilSucceeded(); },
    [] { return L10n::Report::untilGaveUp(); },
    [] { return L10n::Report::serveOption(); },
    [] { return L10n::Report::lineSummary(1, 2, 3, 4, 5, 6); },
    [] { return L10n::Report::turnaroundSummary("1.5", "2.5"); },
    [] { return L10n::Report::pollItemsLeftOut(1, 1024); },
    [] { return L10n::Report::pollItemsLeftOut(7, 1024); },
    [] { return L10n::Report::writeFailed("/tmp/r.json", "No space left on device"); },
    [] { return L10n::Report::folderNotWritable("/tmp/r.json"); },
    [] { return L10n::NetworkView::network(); },
    [] { return L10n::NetworkView::networkHint(); },
    [] { return L10n::NetworkView::tcpShort(); },
    [] { return L10n::NetworkView::rtuOverTCPShort(); },
    [] { return L10n::NetworkView::tcpHint(); },
    [] { return L10n::NetworkView::rtuOverTCPHint(); },
    [] { return L10n::NetworkView::port(); },
    [] { return L10n::NetworkView::reachableFrom(); },
    [] { return L10n::NetworkView::thisComputer(); },
    [] { return L10n::NetworkView::allNetworks(); },
    [] { return L10n::NetworkView::maxClients(); },
    [] { return L10n::NetworkView::idleTimeout(); },
    [] { return L10n::NetworkView::never(); },
    [] { return L10n::NetworkView::secondsSuffix(); },
    [] { return L10n::NetworkView::gateway(); },
    [] { return L10n::NetworkView::gatewayHint(); },
    [] { return L10n::NetworkView::footer(); },
    [] { return L10n::NetworkView::privilegedPort(); },
    [] { return L10n::NetworkView::allNetworksWarning(); },
    [] { return L10n::NetworkView::samePort(); },
    [] { return L10n::NetworkView::listener("Modbus TCP", 1502); },
    [] { return L10n::NetworkView::clients("Modbus TCP 1502", 1); },
    [] { return L10n::NetworkView::clients("Modbus TCP 1502", 3); },
    [] { return L10n::NetworkView::emptyLog("127.0.0.1:1502"); },
    [] { return L10n::Network::transportName(0); },
    [] { return L10n::Network::transportName(1); },
    [] { return L10n::Network::transportName(2); },
    [] { return L10n::Network::served("Modbus TCP", "127.0.0.1:1502"); },
    [] { return L10n::Network::clientConnected(); },
    [] { return L10n::Network::clientsConnected(1); },
    [] { return L10n::Network::clientsConnected(2); },
    [] { return L10n::Network::clientRefused(1); },
    [] { return L10n::Network::clientRefused(32); },
    [] { return L10n::Network::clientClosed(1, ""); },
    [] { return L10n::Network::clientClosed(2, "Connection reset by peer"); },
    [] { return L10n::Network::clientClosed(3, ""); },
    [] { return L10n::Network::clientClosed(4, "protocol ID 1 instead of 0"); },
    [] { return L10n::Network::clientClosed(5, ""); },
    [] { return L10n::Network::unfinishedRequest(1); },
    [] { return L10n::Network::unfinishedRequest(5); },
    [] { return L10n::Network::streamFault(0, 1); },
    [] { return L10n::Network::streamFault(1, 300); },
    [] { return L10n::Network::streamFault(2, 3); },
    [] { return L10n::Network::streamFault(3, 0x55); },
    [] { return L10n::Network::streamFault(4, 10); },
    [] { return L10n::Network::invalidAddress("localhost"); },
    [] { return L10n::Network::addressNotLocal("10.9.8.7"); },
    [] { return L10n::Network::privilegedPort(502, 1502); },
    [] { return L10n::Network::addressInUse("127.0.0.1", 1502); },
    [] { return L10n::Network::listenFailed("127.0.0.1:1502", "Too many open files"); },
    [] { return L10n::Network::tcpOption(); },
    [] { return L10n::Network::rtuOverTCPOption(); },
    [] { return L10n::Network::maxClientsOption(); },
    [] { return L10n::Network::serveNetwork(); },
    [] { return L10n::Network::invalidListener("--tcp", "host:1502"); },
    [] { return L10n::Network::invalidMaxClients("0"); },
};

std::set<std::string> placeholders(const std::string& text) {
    std::set<std::string> names;
    static const std::regex placeholder(R"(\{([A-Za-z]+)\})");
    for (std::sregex_iterator it(text.begin(), text.end(), placeholder), end; it != end; ++it) {
        names.insert((*it)[1]);
    }
    return names;
}

class CatalogTest : public ::testing::TestWithParam<Language> {};

INSTANTIATE_TEST_SUITE_P(AllLanguages, CatalogTest, ::testing::ValuesIn(Language::allCases()),
                         [](const auto& info) { return std::string(info.param.rawValue()); });

TEST_P(CatalogTest, HasExactlyTheEnglishKeys) {
    const auto& english = L10n::texts(Language::en);
    const auto& texts = L10n::texts(GetParam());
    ASSERT_FALSE(english.empty());
    for (const auto& [key, text] : english) {
        EXPECT_TRUE(texts.contains(key)) << "missing " << key;
    }
    for (const auto& [key, text] : texts) {
        EXPECT_TRUE(english.contains(key)) << "unknown " << key;
    }
}

TEST_P(CatalogTest, TextsAreNotEmptyAndUseTheEnglishPlaceholders) {
    const auto& english = L10n::texts(Language::en);
    for (const auto& [key, text] : L10n::texts(GetParam())) {
        EXPECT_FALSE(text.empty()) << key;
        const auto found = english.find(key);
        if (found != english.end()) {
            EXPECT_EQ(placeholders(text), placeholders(found->second)) << key << ": " << text;
        }
    }
}

// A key the code asks for but no file holds comes back as the key itself.
TEST_P(CatalogTest, EveryKeyTheCodeAsksForHasAText) {
    const L10n::ScopedLanguage scope(GetParam());
    static const std::regex keyName(R"([A-Z][A-Za-z]+(\.[A-Za-z0-9]+)+)");
    for (const TextFunction text : allTexts) {
        const std::string result = text();
        EXPECT_FALSE(result.empty());
        EXPECT_FALSE(std::regex_match(result, keyName)) << result;
        EXPECT_EQ(result.find('{'), std::string::npos) << result;
    }
}

TEST_P(CatalogTest, CountsChooseSingularForExactlyOne) {
    const L10n::ScopedLanguage scope(GetParam());
    const auto& texts = L10n::texts(GetParam());
    for (const std::string key :
         {"Import.found", "Units.datapointCount", "Faults.ruleCount", "NetworkView.clients"}) {
        EXPECT_NE(texts.at(key + ".one"), texts.at(key + ".other")) << key;
    }
    EXPECT_NE(L10n::Import::found(1).find('1'), std::string::npos);
    EXPECT_NE(L10n::Import::found(0).find('0'), std::string::npos);
    EXPECT_NE(L10n::Import::found(1), L10n::Import::found(0).replace(0, 1, "1"));
    EXPECT_NE(L10n::Units::datapointCount(1), L10n::Units::datapointCount(0).replace(0, 1, "1"));
    EXPECT_NE(L10n::Units::datapointCount(1234).find("1234"), std::string::npos);
}

// Names chosen by index must not collapse onto one key.
TEST_P(CatalogTest, IndexedNamesAreDistinct) {
    const L10n::ScopedLanguage scope(GetParam());
    const struct {
        const char* name;
        std::string (*text)(int);
        int count;
    } lists[] = {
        {"tableName", L10n::Table::tableName, 4},
        {"dataTypeName", L10n::Table::dataTypeName, 9},
        {"formatName", L10n::Table::formatName, 3},
        {"faultName", L10n::Units::faultName, 4},
        {"kindName", L10n::Simulation::kindName, 6},
        {"kindDescription", L10n::Simulation::kindDescription, 6},
        {"scheduleName", L10n::Faults::scheduleName, 7},
        {"effectName", L10n::Faults::effectName, 15},
        {"presetName", L10n::Faults::presetName, 6},
        {"presetHint", L10n::Faults::presetHint, 6},
    };
    for (const auto& list : lists) {
        std::set<std::string> names;
        for (int index = 0; index < list.count; ++index) {
            names.insert(list.text(index));
        }
        EXPECT_EQ(names.size(), static_cast<std::size_t>(list.count)) << list.name;
        EXPECT_EQ(list.text(-1), "") << list.name;
        EXPECT_EQ(list.text(list.count), "") << list.name;
    }
}

TEST_P(CatalogTest, ShortcutsReadTheSameInEveryLanguage) {
    const L10n::ScopedLanguage scope(GetParam());
    EXPECT_NE(L10n::Help::start().find("(Ctrl+R)"), std::string::npos);
    EXPECT_NE(L10n::Notice::emptyLog().find("(Ctrl+R)"), std::string::npos);
    EXPECT_NE(L10n::Table::addHint().find("(Ctrl+Shift+D)"), std::string::npos);
    EXPECT_NE(L10n::Footer::saveHint().find("(Ctrl+Alt+S)"), std::string::npos);
    EXPECT_NE(L10n::Footer::clearHint().find("(Ctrl+K)"), std::string::npos);
    EXPECT_NE(L10n::Log::toggleHint().find("(Ctrl+L)"), std::string::npos);
    EXPECT_NE(L10n::NetworkView::emptyLog("127.0.0.1:1502").find("(Ctrl+R)"), std::string::npos);
}

// The desktop's form of a shortcut comes from the user interface ("Strg+R" in German).
std::string bracketed(std::string_view portable) {
    return "[" + std::string(portable) + "]";
}

TEST(Catalog, ShortcutsInTextsGoThroughTheInstalledFormatter) {
    L10n::setShortcutFormatter(&bracketed);
    const std::string hint = L10n::Footer::saveHint();
    L10n::setShortcutFormatter(nullptr);
    EXPECT_NE(hint.find("([Ctrl+Alt+S])"), std::string::npos) << hint;
    EXPECT_EQ(L10n::shortcutText("Ctrl+R"), "Ctrl+R");
}

TEST(Catalog, FrenchPutsASpaceBeforeColonAndQuestionMark) {
    for (const auto& [key, text] : L10n::texts(Language::fr)) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != ':' && text[i] != '?') {
                continue;
            }
            // Inside a token (HOST:PORT, 0.0.0.0:1502, ::1) a colon is no punctuation.
            if (text[i] == ':' && i + 1 < text.size() && text[i + 1] != ' ' &&
                text.compare(i + 1, 2, "\u00A0") != 0) {
                continue;
            }
            const bool space = i > 0 && text[i - 1] == ' ';
            const bool noBreakSpace = i >= 2 && text.compare(i - 2, 2, "\u00A0") == 0;
            EXPECT_TRUE(space || noBreakSpace) << key << ": " << text;
        }
    }
}

TEST(Catalog, EnglishTextsWithValues) {
    const L10n::ScopedLanguage scope(Language::en);
    const struct {
        std::string actual;
        std::string expected;
    } cases[] = {
        {L10n::NetworkView::clients(L10n::NetworkView::listener("Modbus TCP", 1502), 1),
         "Modbus TCP 1502: 1 client"},
        {L10n::NetworkView::clients("RTU over TCP 1503", 2), "RTU over TCP 1503: 2 clients"},
        {L10n::Import::found(1), "1 datapoint found"},
        {L10n::Import::found(0), "0 datapoints found"},
        {L10n::Units::datapointCount(1), "1 datapoint"},
        {L10n::Units::datapointCount(12), "12 datapoints"},
        {L10n::Import::skipped(3), "3 line(s) skipped:"},
        {L10n::Errors::cannotOpen("/dev/ttyUSB0", "Permission denied"),
         "Cannot open /dev/ttyUSB0: Permission denied."},
        {L10n::Errors::importLine(7, L10n::Errors::invalidTable("XX")),
         "Line 7: unknown table 'XX' (use CO, DI, HR or IR)"},
        {L10n::Errors::unsupportedBaudRate(1234567),
         "Baud rate 1234567 is not supported by this adapter."},
        {L10n::Log::request(17, 0x03), "Unit 17 · FC 03"},
        {L10n::Log::request(1, 0x2B), "Unit 1 · FC 2B"},
        {L10n::Log::statistics(12345, 2, 3, 4, 5),
         "Requests 12345 · Responses 2 · Exceptions 3 · Other units 4 · Invalid 5"},
        {L10n::Log::serverStarted("ttyUSB0", "1, 2"), "Server started on ttyUSB0 · units 1, 2"},
        {L10n::Modbus::functionName(43), "Read device identification"},
        {L10n::Modbus::functionName(7), "Read exception status"},
        {L10n::Modbus::functionName(24), "Read FIFO queue"},
        {L10n::Modbus::functionName(9), "Function"},
        {L10n::Modbus::withSubFunction("Diagnostics", "0A"), "Diagnostics, sub-function 0A"},
        {L10n::Diagnostics::counters(1, 2, 3, 4, 5, 6, 7),
         "Bus messages 1 · CRC errors 2 · exceptions 3 · to this unit 4 · not answered 5 · "
         "busy 6 · events 7"},
        {L10n::Modbus::exceptionName(2), "Illegal data address"},
        {L10n::Modbus::exceptionName(11), "Gateway target failed to respond"},
        {L10n::Modbus::exceptionName(0x0C), "Exception"},
        {L10n::Simulation::kindDescription(0), "The value stays as you set it."},
        {L10n::Simulation::kindName(1), "Counter"},
        {L10n::Table::tableName(2), "Holding register"},
        {L10n::Table::dataTypeName(0), "Bit"},
        {L10n::Units::faultName(2), "Always exception"},
        {L10n::Help::start(), "Start the server: the units begin to answer (Ctrl+R)"},
        {L10n::Board::usbSerial("CH340"), "USB serial (CH340)"},
        {L10n::Network::streamFault(2, 0x10), "CRC error in a request (FC 10)"},
        {L10n::Network::clientClosed(4, L10n::Network::streamFault(1, 300)),
         "Closed: MBAP length 300 outside 2–254"},
        {L10n::Network::clientRefused(32),
         "Client refused: 32 clients are connected already, the most allowed"},
        // An inserted value is not scanned for placeholders again.
        {L10n::Errors::invalidNumber("{text}"), "invalid number '{text}'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.actual, c.expected);
    }
}

TEST(Catalog, ScopedLanguagesNestAndEnd) {
    const Language before = L10n::language();
    {
        const L10n::ScopedLanguage french(Language::fr);
        EXPECT_EQ(L10n::Header::serialPort(), "Port série");
        {
            const L10n::ScopedLanguage german(Language::de);
            EXPECT_EQ(L10n::language(), Language::de);
            EXPECT_EQ(L10n::Import::found(2), "2 Datenpunkte gefunden");
        }
        EXPECT_EQ(L10n::language(), Language::fr);
    }
    EXPECT_EQ(L10n::language(), before);
    EXPECT_EQ(before, Language::current());
}

} // namespace

#include "Localization/ControlTexts.h"

#include "Localization/TextLookup.h"

namespace L10n::Control {

using Catalogue::fill;
using Catalogue::text;

std::string lineTooLong() {
    return text("Control.lineTooLong");
}
std::string invalidJSON() {
    return text("Control.invalidJSON");
}
std::string notAnObject() {
    return text("Control.notAnObject");
}
std::string unknownCommand(std::string_view command) {
    return fill("Control.unknownCommand", {{"command", command}});
}
std::string tooManyClients() {
    return text("Control.tooManyClients");
}
std::string missingKey(std::string_view key) {
    return fill("Control.missingKey", {{"key", key}});
}
std::string invalidKey(std::string_view key) {
    return fill("Control.invalidKey", {{"key", key}});
}
std::string unknownKey(std::string_view key) {
    return fill("Control.unknownKey", {{"key", key}});
}
std::string unknownUnit(std::string_view unit) {
    return fill("Control.unknownUnit", {{"unit", unit}});
}
std::string unknownName(std::string_view unit, std::string_view name) {
    return fill("Control.unknownName", {{"unit", unit}, {"name", name}});
}
std::string ambiguousName(std::string_view unit, std::string_view name) {
    return fill("Control.ambiguousName", {{"unit", unit}, {"name", name}});
}
std::string unknownTable(std::string_view table) {
    return fill("Control.unknownTable", {{"table", table}});
}
std::string noDatapointAt(std::string_view unit, std::string_view table, std::string_view address) {
    return fill("Control.noDatapointAt", {{"unit", unit}, {"table", table}, {"address", address}});
}
std::string invalidUnitSettings(std::string_view reason) {
    return fill("Control.invalidUnitSettings", {{"reason", reason}});
}
std::string invalidRules(std::string_view number, std::string_view reason) {
    return fill("Control.invalidRules", {{"number", number}, {"reason", reason}});
}
std::string invalidProject(std::string_view reason) {
    return fill("Control.invalidProject", {{"reason", reason}});
}
std::string socketOpen(std::string_view path) {
    return fill("Control.socketOpen", {{"path", path}});
}
std::string socketClosed(std::string_view path) {
    return fill("Control.socketClosed", {{"path", path}});
}
std::string socketFailed(std::string_view path, std::string_view reason) {
    return fill("Control.socketFailed", {{"path", path}, {"reason", reason}});
}
std::string pathInUse() {
    return text("Control.pathInUse");
}
std::string notASocket() {
    return text("Control.notASocket");
}
std::string pathTooLong() {
    return text("Control.pathTooLong");
}
std::string folderNotPrivate(std::string_view folder) {
    return fill("Control.folderNotPrivate", {{"folder", folder}});
}
std::string clientDropped() {
    return text("Control.clientDropped");
}

std::string allowScripts() {
    return text("Control.allowScripts");
}
std::string allowScriptsHint() {
    return text("Control.allowScriptsHint");
}

std::string controlOption(std::string_view path) {
    return fill("Control.controlOption", {{"path", path}});
}
std::string ctlCommand() {
    return text("Control.ctlCommand");
}
std::string ctlUsage() {
    return text("Control.ctlUsage");
}
std::string ctlDescription() {
    return text("Control.ctlDescription");
}
std::string ctlCommands() {
    return text("Control.ctlCommands");
}
std::string ctlExitStatus() {
    return text("Control.ctlExitStatus");
}
std::string socketOption(std::string_view path) {
    return fill("Control.socketOption", {{"path", path}});
}
std::string ctlTryHelp() {
    return text("Control.ctlTryHelp");
}
std::string missingCommand() {
    return text("Control.missingCommand");
}
std::string badPair(std::string_view argument) {
    return fill("Control.badPair", {{"argument", argument}});
}
std::string noServer(std::string_view path, std::string_view reason) {
    return fill("Control.noServer", {{"path", path}, {"reason", reason}});
}
std::string noReply() {
    return text("Control.noReply");
}

} // namespace L10n::Control

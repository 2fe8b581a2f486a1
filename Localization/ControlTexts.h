#pragma once

#include <string>
#include <string_view>

// The texts of the control socket that scripts drive: the errors its replies carry, its log
// lines, the window's preference and the `corvana ctl` command. Numbers and names arrive as
// text; tables by their index in RegisterTable's declaration order are the caller's business.
namespace L10n::Control {

// Errors of a request, as reply sentences.
std::string lineTooLong();
std::string invalidJSON();
std::string notAnObject();
std::string unknownCommand(std::string_view command);
std::string tooManyClients();
std::string missingKey(std::string_view key);
std::string invalidKey(std::string_view key);
std::string unknownKey(std::string_view key);
std::string unknownUnit(std::string_view unit);
std::string unknownName(std::string_view unit, std::string_view name);
std::string ambiguousName(std::string_view unit, std::string_view name);
std::string unknownTable(std::string_view table);
std::string noDatapointAt(std::string_view unit, std::string_view table, std::string_view address);
std::string invalidUnitSettings(std::string_view reason);
std::string invalidRules(std::string_view number, std::string_view reason);
std::string invalidProject(std::string_view reason);

// Log lines and the reasons a socket cannot be opened.
std::string socketOpen(std::string_view path);
std::string socketClosed(std::string_view path);
std::string socketFailed(std::string_view path, std::string_view reason);
std::string pathInUse();
std::string notASocket();
std::string pathTooLong();
std::string folderNotPrivate(std::string_view folder);
std::string clientDropped();

// The window's preference.
std::string allowScripts();
std::string allowScriptsHint();

// `corvana serve --control` and `corvana ctl`.
std::string controlOption(std::string_view path);
std::string ctlCommand();
std::string ctlUsage();
std::string ctlDescription();
std::string ctlCommands();
std::string ctlExitStatus();
std::string socketOption(std::string_view path);
std::string ctlTryHelp();
std::string missingCommand();
std::string badPair(std::string_view argument);
std::string noServer(std::string_view path, std::string_view reason);
std::string noReply();

} // namespace L10n::Control

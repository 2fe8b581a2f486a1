#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the system says about why a port cannot be opened: who may use it, and who is holding it.
namespace PortAccess {

// The name of the group that owns the device at path (links followed), or none when the device
// is gone or its group has no name.
std::optional<std::string> owningGroup(const std::string& path);

// Whether a process whose command name (/proc/PID/comm) is `name` runs; processFolder is /proc
// except in tests.
bool isRunning(std::string_view name, const std::string& processFolder = "/proc");

// ModemManager opens every newly plugged serial adapter for a few seconds to see whether it is
// a modem; a port busy meanwhile is usually that.
bool modemManagerRunning();

} // namespace PortAccess

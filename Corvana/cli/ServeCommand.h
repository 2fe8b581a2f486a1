#pragma once

#include "Corvana/model/PortScanner.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// `corvana serve`: the application's model without a window. It serves a project on a serial
// port, writes every log line to `out` as it is logged and stops on SIGINT or SIGTERM.
namespace ServeCommand {

// The exit status with --exit-on-loss after the port went away, for process supervisors.
inline constexpr int exitPortLost = 3;

// Arguments after "serve"; returns the process's exit status. Creates the QCoreApplication
// unless one exists. Without a scanner the system's serial ports are watched.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::unique_ptr<PortScanner> scanner = nullptr);

} // namespace ServeCommand

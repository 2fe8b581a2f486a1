#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// `corvana ctl`: sends one command to the control socket of a running Corvana and prints the
// reply as JSON; after "log", every log line that follows until the server closes.
namespace CtlCommand {

// The exit status when nothing listens on the socket, so scripts can wait for a server.
inline constexpr int exitNoServer = 3;

// Arguments after "ctl"; returns the exit status: 0 for an ok reply, 1 for an error reply, 2 for
// bad usage, exitNoServer when no server listens.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

std::string helpText();

} // namespace CtlCommand

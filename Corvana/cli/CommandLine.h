#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Entry point of the corvana executable: parses the options and runs what they ask for.
namespace CommandLine {

inline constexpr int exitOk = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

int run(int argc, char** argv);

// The testable core of run: arguments without the program name, output streams injected.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace CommandLine

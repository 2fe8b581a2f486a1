#include "Corvana/cli/CommandLine.h"

#include <iostream>
#include <string_view>

namespace CommandLine {
namespace {

constexpr std::string_view versionText = "corvana 0.1.0";

std::string usageText() {
    return "Usage: corvana [OPTION]\n"
           "Simulates Modbus RTU slave devices on a serial line.\n"
           "\n"
           "  -h, --help      show this help and exit\n"
           "  -v, --version   show the version and exit\n";
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            out << usageText();
            return exitOk;
        }
        if (argument == "--version" || argument == "-v") {
            out << versionText << '\n';
            return exitOk;
        }
        err << "corvana: unknown option '" << argument << "'\n"
            << "Try 'corvana --help' for more information.\n";
        return exitUsage;
    }
    out << usageText();
    return exitOk;
}

int run(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return run(arguments, std::cout, std::cerr);
}

} // namespace CommandLine

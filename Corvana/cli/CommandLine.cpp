#include "Corvana/cli/CommandLine.h"

#include "Corvana/cli/ServeCommand.h"

#include "Localization/L10n.h"

#include <iostream>
#include <string_view>

namespace CommandLine {
namespace {

constexpr std::string_view versionText = "corvana 0.1.0";

std::string usageText() {
    std::string text = L10n::Cli::usage() + "\n" + L10n::Cli::description() + "\n\n";
    text += "  -h, --help      " + L10n::Cli::helpOption() + "\n";
    text += "  -v, --version   " + L10n::Cli::versionOption() + "\n";
    text += "\n" + L10n::Cli::commands() + "\n";
    text += "  serve           " + L10n::Cli::serveCommand() + "\n";
    return text;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (!arguments.empty() && arguments.front() == "serve") {
        return ServeCommand::run({arguments.begin() + 1, arguments.end()}, out, err);
    }
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            out << usageText();
            return exitOk;
        }
        if (argument == "--version" || argument == "-v") {
            out << versionText << '\n';
            return exitOk;
        }
        err << L10n::Cli::unknownOption(argument) << '\n' << L10n::Cli::tryHelp() << '\n';
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

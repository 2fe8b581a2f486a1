#include "Corvana/cli/CommandLine.h"

#include "Corvana/Version.h"
#include "Corvana/cli/CtlCommand.h"
#include "Corvana/cli/OptionTable.h"
#include "Corvana/cli/ServeCommand.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"

#include <array>
#include <iostream>
#include <string_view>

namespace CommandLine {
namespace {

struct Options {
    bool help = false;
    bool version = false;
};
using Row = OptionRow<Options>;

// The first of them decides; what follows is not read.
constexpr std::array rows{
    Row{"--help", "-h", "", L10n::Cli::helpOption, setFlag<Options, &Options::help>, true},
    Row{"--version", "-v", "", L10n::Cli::versionOption, setFlag<Options, &Options::version>, true},
};

constexpr std::size_t helpColumn = 16;

std::string usageText() {
    std::string text = L10n::Cli::usage() + "\n" + L10n::Cli::description() + "\n\n";
    text += optionHelp<Options>(rows, helpColumn);
    text += "\n" + L10n::Cli::commands() + "\n";
    text += "  serve           " + L10n::Cli::serveCommand() + "\n";
    text += "  ctl             " + L10n::Control::ctlCommand() + "\n";
    return text;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (!arguments.empty() && arguments.front() == "serve") {
        return ServeCommand::run({arguments.begin() + 1, arguments.end()}, out, err);
    }
    if (!arguments.empty() && arguments.front() == "ctl") {
        return CtlCommand::run({arguments.begin() + 1, arguments.end()}, out, err);
    }
    const auto [parsed, message] =
        parseOptions<Options>(rows, arguments, L10n::Cli::unknownOption, L10n::Cli::missingValue);
    if (!parsed) {
        err << message << '\n' << L10n::Cli::tryHelp() << '\n';
        return exitUsage;
    }
    if (parsed->options.version) {
        out << "corvana " << corvanaVersion << '\n';
        return exitOk;
    }
    out << usageText();
    return exitOk;
}

int run(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return run(arguments, std::cout, std::cerr);
}

} // namespace CommandLine

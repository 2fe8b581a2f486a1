#include "Corvana/cli/ServeOptions.h"

#include "Corvana/cli/OptionTable.h"
#include "Corvana/model/ControlProtocol.h"
#include "Corvana/model/NetworkConfiguration.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"
#include "Localization/NetworkTexts.h"
#include "Localization/ReportTexts.h"

#include <array>
#include <cctype>
#include <charconv>
#include <ostream>
#include <utility>

namespace ServeOptions {
namespace {

// A decimal number from minimum to maximum, nothing else around it.
std::optional<int> parseWholeNumber(std::string_view text, int minimum, int maximum) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        number < minimum || number > maximum) {
        return std::nullopt;
    }
    return number;
}

using Row = OptionRow<Options>;
using Result = std::optional<std::string>;

// What a row does with its value.
Result storeVirtual(Options& options, const std::string& link) {
    options.virtualPort = true;
    if (!link.empty()) {
        options.linkPath = link;
    }
    return {};
}
Result storeControl(Options& options, const std::string& path) {
    options.controlPath = path.empty() ? ControlProtocol::defaultSocketPath() : path;
    return {};
}
Result storeBaud(Options& options, const std::string& value) {
    options.baudRate = parseBaudRate(value);
    return options.baudRate ? Result() : L10n::Cli::invalidBaud(value);
}
Result storeFrame(Options& options, const std::string& value) {
    options.frame = parseFrame(value);
    return options.frame ? Result() : L10n::Cli::invalidFrame(value);
}

Result storeTCP(Options& options, const std::string& value) {
    options.tcp = parseEndpoint(value);
    return options.tcp ? Result() : L10n::Network::invalidListener("--tcp", value);
}
Result storeRTUOverTCP(Options& options, const std::string& value) {
    options.rtuOverTCP = parseEndpoint(value);
    return options.rtuOverTCP ? Result() : L10n::Network::invalidListener("--rtu-over-tcp", value);
}
Result storeMaxClients(Options& options, const std::string& value) {
    options.maxClients = parseWholeNumber(value, ListenerConfiguration::minClients,
                                          ListenerConfiguration::maxClientsLimit);
    return options.maxClients ? Result() : L10n::Network::invalidMaxClients(value);
}

// In the order of the help text.
constexpr std::array rows{
    Row{"--project", "", "FILE", L10n::Cli::projectOption,
        storeText<Options, &Options::projectPath>},
    Row{"--csv", "", "FILE", L10n::Cli::csvOption, storeText<Options, &Options::csvPath>},
    Row{"--port", "", "PATH", L10n::Cli::portOption, storeText<Options, &Options::portPath>},
    Row{"--virtual", "", "[LINK]", L10n::Cli::virtualOption, storeVirtual},
    Row{"--baud", "", "N", L10n::Cli::baudOption, storeBaud},
    Row{"--frame", "", "FRAME", L10n::Cli::frameOption, storeFrame},
    Row{"--no-timestamps", "", "", L10n::Cli::noTimestampsOption,
        setFlag<Options, &Options::timestamps, false>},
    Row{"--raw-frames", "", "", L10n::Cli::rawFramesOption,
        setFlag<Options, &Options::rawFrames, true>},
    Row{"--bus-traffic", "", "", L10n::Cli::busTrafficOption,
        setFlag<Options, &Options::busTraffic, true>},
    Row{"--exit-on-loss", "", "", L10n::Cli::exitOnLossOption,
        setFlag<Options, &Options::exitOnLoss>},
    Row{"--tcp", "", "[HOST:]PORT", L10n::Network::tcpOption, storeTCP},
    Row{"--rtu-over-tcp", "", "[HOST:]PORT", L10n::Network::rtuOverTCPOption, storeRTUOverTCP},
    Row{"--max-clients", "", "N", L10n::Network::maxClientsOption, storeMaxClients},
    Row{"--report", "", "FILE", L10n::Report::serveOption,
        storeText<Options, &Options::reportPath>},
    Row{"--control", "", "[PATH]",
        [] { return L10n::Control::controlOption(ControlProtocol::defaultSocketPath()); },
        storeControl},
    Row{"--help", "-h", "", L10n::Cli::helpOption, setFlag<Options, &Options::help, true>},
};

// Options that exclude each other; --help overrides the check.
constexpr std::array<std::pair<std::string_view, std::string_view>, 2> conflicts{{
    {"--project", "--csv"},
    {"--port", "--virtual"},
}};

constexpr std::size_t helpColumn = 24;

} // namespace

std::optional<int> parseBaudRate(std::string_view text) {
    int rate = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || rate <= 0) {
        return std::nullopt;
    }
    return rate;
}

std::optional<Endpoint> parseEndpoint(std::string_view text) {
    Endpoint endpoint;
    std::string_view port = text;
    if (text.starts_with('[')) {
        const auto close = text.find("]:");
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        endpoint.host = std::string(text.substr(1, close - 1));
        port = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        endpoint.host = std::string(text.substr(0, colon));
        port = text.substr(colon + 1);
    }
    const auto number =
        parseWholeNumber(port, ListenerConfiguration::minPort, ListenerConfiguration::maxPort);
    if (!number || !isIPAddress(endpoint.host)) {
        return std::nullopt;
    }
    endpoint.port = *number;
    return endpoint;
}

std::optional<SerialConfiguration> parseFrame(std::string_view text) {
    if (text.size() != 3 || (text[0] != '7' && text[0] != '8') ||
        (text[2] != '1' && text[2] != '2')) {
        return std::nullopt;
    }
    SerialConfiguration frame;
    switch (std::toupper(static_cast<unsigned char>(text[1]))) {
    case 'N':
        frame.parity = Parity::none;
        break;
    case 'E':
        frame.parity = Parity::even;
        break;
    case 'O':
        frame.parity = Parity::odd;
        break;
    default:
        return std::nullopt;
    }
    frame.dataBits = text[0] - '0';
    frame.stopBits = text[2] - '0';
    return frame;
}

std::optional<Options> parse(const std::vector<std::string>& arguments, std::ostream& err) {
    const auto fail = [&err](const std::string& message) {
        err << message << '\n' << L10n::Cli::serveTryHelp() << '\n';
        return std::nullopt;
    };
    auto [parsed, message] =
        parseOptions<Options>(rows, arguments, L10n::Cli::unknownOption, L10n::Cli::missingValue);
    if (!parsed) {
        return fail(message);
    }
    if (parsed->options.help) {
        return parsed->options;
    }
    for (const auto& [first, second] : conflicts) {
        if (parsed->given.contains(first) && parsed->given.contains(second)) {
            return fail(L10n::Cli::conflictingOptions(first, second));
        }
    }
    return parsed->options;
}

std::string helpText() {
    return L10n::Cli::serveUsage() + "\n" + L10n::Cli::serveDescription() + "\n" +
           L10n::Cli::serveDefaults() + "\n" + L10n::Network::serveNetwork() + "\n\n" +
           optionHelp<Options>(rows, helpColumn);
}

} // namespace ServeOptions

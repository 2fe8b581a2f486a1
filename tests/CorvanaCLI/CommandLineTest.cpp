#include "tests/CorvanaModel/TestEnvironment.h"

#include "Corvana/Version.h"
#include "Corvana/cli/CommandLine.h"
#include "Corvana/cli/ServeCommand.h"
#include "Corvana/cli/ServeOptions.h"
#include "tests/support/ModelStubs.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;
using ServeOptions::Options;

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

Outcome command(const Arguments& arguments) {
    std::ostringstream out, err;
    const int code = CommandLine::run(arguments, out, err);
    return {code, out.str(), err.str()};
}

Outcome serve(const Arguments& arguments) {
    std::ostringstream out, err;
    const int code = ServeCommand::run(arguments, out, err, std::make_unique<NoScanner>());
    return {code, out.str(), err.str()};
}

TEST(CommandLine, TheFirstOptionDecidesAndUnknownOnesExitWithTheUsageStatus) {
    const L10n::ScopedLanguage english(Language::en);
    const std::string version = "corvana " + std::string(corvanaVersion) + "\n";
    const struct {
        Arguments arguments;
        int exitCode;
        std::string out; // contained in stdout
        std::string err; // contained in stderr
    } cases[] = {
        {{}, 0, "Usage: corvana", ""},
        {{"--help"}, 0, "  -v, --version   ", ""},
        {{"-h", "--frobnicate"}, 0, "  serve           ", ""},
        {{"--version"}, 0, version, ""},
        {{"-v", "--help"}, 0, version, ""},
        {{"--frobnicate"}, 2, "", "unknown option '--frobnicate'"},
        {{"--help=yes"}, 2, "", "unknown option '--help=yes'"},
        {{"help"}, 2, "", "unknown option 'help'"},
        {{"--frobnicate", "--help"}, 2, "", "--help"},
        {{"serve", "--baud"}, 2, "", "option '--baud' needs a value"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = command(c.arguments);
        const std::string context = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << context;
        EXPECT_NE(outcome.out.find(c.out), std::string::npos) << context << outcome.out;
        EXPECT_NE(outcome.err.find(c.err), std::string::npos) << context << outcome.err;
        EXPECT_EQ(outcome.out.empty(), c.exitCode != 0) << context;
    }
    EXPECT_EQ(command({"-v"}).out, version);
}

TEST(ServeOptions, EveryOptionReachesItsField) {
    const struct {
        Arguments arguments;
        std::function<bool(const Options&)> holds;
    } cases[] = {
        {{},
         [](const Options& o) {
             return o.timestamps && !o.rawFrames && !o.busTraffic && !o.virtualPort &&
                    !o.projectPath && !o.baudRate;
         }},
        {{"--project", "a.json"}, [](const Options& o) { return o.projectPath == "a.json"; }},
        {{"--project=-odd.json"}, [](const Options& o) { return o.projectPath == "-odd.json"; }},
        {{"--csv", "-"}, [](const Options& o) { return o.csvPath == "-"; }},
        {{"--port", "/dev/ttyUSB0"}, [](const Options& o) { return o.portPath == "/dev/ttyUSB0"; }},
        {{"--virtual"}, [](const Options& o) { return o.virtualPort && o.linkPath.empty(); }},
        {{"--virtual", "/tmp/m"}, [](const Options& o) { return o.linkPath == "/tmp/m"; }},
        {{"--virtual=/tmp/m"}, [](const Options& o) { return o.linkPath == "/tmp/m"; }},
        {{"--virtual", "--raw-frames"},
         [](const Options& o) { return o.virtualPort && o.linkPath.empty() && o.rawFrames; }},
        {{"--baud", "19200"}, [](const Options& o) { return o.baudRate == 19200; }},
        {{"--baud=300"}, [](const Options& o) { return o.baudRate == 300; }},
        {{"--frame", "7o2"},
         [](const Options& o) {
             return o.frame && o.frame->dataBits == 7 && o.frame->parity == Parity::odd &&
                    o.frame->stopBits == 2;
         }},
        {{"--frame=8E1"},
         [](const Options& o) { return o.frame && o.frame->parity == Parity::even; }},
        {{"--no-timestamps"}, [](const Options& o) { return !o.timestamps; }},
        {{"--raw-frames"}, [](const Options& o) { return o.rawFrames; }},
        {{"--bus-traffic"}, [](const Options& o) { return o.busTraffic; }},
        {{"-h"}, [](const Options& o) { return o.help; }},
        // Help wins over options that exclude each other.
        {{"--port", "p", "--virtual", "--help"}, [](const Options& o) { return o.help; }},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        const auto options = ServeOptions::parse(c.arguments, err);
        ASSERT_TRUE(options) << ::testing::PrintToString(c.arguments) << err.str();
        EXPECT_TRUE(c.holds(*options)) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(err.str(), "");
    }
}

TEST(ServeOptions, BadValuesNameTheArgumentAndPointToHelp) {
    const L10n::ScopedLanguage english(Language::en);
    const struct {
        Arguments arguments;
        std::string message;
    } cases[] = {
        {{"--baud", "0"}, "invalid baud rate '0'"},
        {{"--baud", "-9600"}, "invalid baud rate '-9600'"},
        {{"--baud", "99999999999"}, "invalid baud rate '99999999999'"},
        {{"--baud="}, "invalid baud rate ''"},
        {{"--frame", "8N3"}, "invalid frame '8N3'"},
        {{"--frame", "6N1"}, "invalid frame '6N1'"},
        {{"--frame", "8N12"}, "invalid frame '8N12'"},
        {{"--port"}, "option '--port' needs a value"},
        {{"--bus-traffic=no"}, "unknown option '--bus-traffic=no'"},
        {{"-x"}, "unknown option '-x'"},
        {{"serve"}, "unknown option 'serve'"},
        {{"--csv", "a", "--project", "b"}, "--project and --csv"},
        {{"--virtual", "--port", "p"}, "--port and --virtual"},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        EXPECT_FALSE(ServeOptions::parse(c.arguments, err))
            << ::testing::PrintToString(c.arguments);
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        EXPECT_NE(err.str().find(L10n::Cli::serveTryHelp()), std::string::npos) << err.str();
    }
}

TEST(ServeCommand, ExitsWithTheUsageStatusForOptionsAndFailureForFiles) {
    const TestEnvironment environment;
    EXPECT_EQ(serve({"--frame", "9N1"}).exitCode, CommandLine::exitUsage);
    const Outcome help = serve({"--help"});
    EXPECT_EQ(help.exitCode, CommandLine::exitOk);
    for (const char* option :
         {"  -h, --help              ", "      --virtual [LINK]    serve", "--exit-on-loss",
          "--report FILE", "--tcp [HOST:]PORT", "--rtu-over-tcp [HOST:]PORT", "--max-clients N"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option << "\n" << help.out;
    }

    const Outcome missing = serve({"--project", environment.path("missing.json").toStdString()});
    EXPECT_EQ(missing.exitCode, CommandLine::exitFailure);
    EXPECT_NE(missing.err.find("Cannot read missing.json"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.out, "");
}

TEST(ServeCommand, HelpSpeaksTheUsersLanguage) {
    const L10n::ScopedLanguage german(Language::de);
    const Outcome help = serve({"--help"});
    EXPECT_EQ(help.exitCode, CommandLine::exitOk);
    EXPECT_TRUE(help.out.starts_with("Aufruf: corvana serve")) << help.out;
    EXPECT_NE(help.out.find("Baudrate N statt der des Projekts"), std::string::npos);

    const Outcome bad = serve({"--baud", "schnell"});
    EXPECT_EQ(bad.exitCode, CommandLine::exitUsage);
    EXPECT_NE(bad.err.find("ungültige Baudrate „schnell“"), std::string::npos) << bad.err;
}

} // namespace

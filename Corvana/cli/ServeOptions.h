#pragma once

#include "ModbusSerial/SerialConfiguration.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The options of `corvana serve`.
namespace ServeOptions {

// Where a listener of the command line binds.
struct Endpoint {
    std::string host = "127.0.0.1";
    int port = 0;
    bool operator==(const Endpoint&) const = default;
};

struct Options {
    std::optional<std::string> projectPath;
    std::optional<std::string> csvPath;
    std::optional<std::string> portPath;
    bool virtualPort = false;
    std::string linkPath; // with virtualPort; empty for no symlink
    std::optional<int> baudRate;
    std::optional<SerialConfiguration> frame; // only its data bits, parity and stop bits count
    bool timestamps = true;
    bool rawFrames = false;
    bool busTraffic = false;
    bool exitOnLoss = false; // end with ServeCommand::exitPortLost when the port goes away
    std::optional<std::string> reportPath;  // the master report is written there at the end
    std::optional<std::string> controlPath; // the control socket; the default path when empty
    std::optional<Endpoint> tcp;            // a Modbus TCP listener
    std::optional<Endpoint> rtuOverTCP;     // an RTU over TCP listener
    std::optional<int> maxClients;          // for every listener served
    bool help = false;
};

// A positive decimal number that fits an int.
std::optional<int> parseBaudRate(std::string_view text);
// Data bits 7 or 8, parity N, E or O (either case), stop bits 1 or 2: "8E1", "7o2".
std::optional<SerialConfiguration> parseFrame(std::string_view text);

// "PORT", "HOST:PORT" or "[IPv6]:PORT": HOST a numeric address (127.0.0.1 when left out),
// PORT 1 to 65535.
std::optional<Endpoint> parseEndpoint(std::string_view text);

// The arguments after "serve". On a bad one writes the reason and a hint to err and answers
// nullopt; the caller exits with the usage status.
std::optional<Options> parse(const std::vector<std::string>& arguments, std::ostream& err);

std::string helpText();

} // namespace ServeOptions

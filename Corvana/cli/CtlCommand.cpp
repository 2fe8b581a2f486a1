#include "Corvana/cli/CtlCommand.h"

#include "Corvana/cli/CommandLine.h"
#include "Corvana/cli/OptionTable.h"
#include "Corvana/model/ControlProtocol.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/SerialLinkError.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace CtlCommand {
namespace {

struct Options {
    std::optional<std::string> socketPath;
    bool help = false;
};
using Row = OptionRow<Options>;

constexpr std::array rows{
    Row{"--socket", "", "PATH",
        [] { return L10n::Control::socketOption(ControlProtocol::defaultSocketPath()); },
        storeText<Options, &Options::socketPath>},
    Row{"--help", "-h", "", L10n::Cli::helpOption, setFlag<Options, &Options::help>, true},
};

constexpr std::size_t helpColumn = 16;
// A reply larger than any project the model reads ends the connection instead of the memory.
constexpr std::size_t maxReplyBytes = 256 * 1024 * 1024;

// Reads one line at a time from the server; blocking, as the command waits for nothing else.
class Connection {
public:
    explicit Connection(FileDescriptor fd)
        : fd_(std::move(fd)) {}

    void send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            if (sent <= 0) {
                return;
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }

    // The next line without its newline; nullopt when the server closed the connection first.
    std::optional<std::string> nextLine() {
        for (;;) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            if (buffer_.size() > maxReplyBytes) {
                return std::nullopt;
            }
            std::array<char, 65536> chunk;
            const ssize_t count = ::read(fd_.get(), chunk.data(), chunk.size());
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk.data(), static_cast<std::size_t>(count));
        }
    }

private:
    FileDescriptor fd_;
    std::string buffer_;
};

// The connection, or the errno of the failed connect.
std::variant<Connection, int> connectTo(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return ENAMETOOLONG;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.isOpen()) {
        return errno;
    }
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return errno;
    }
    return Connection(std::move(fd));
}

int usageError(std::ostream& err, const std::string& message) {
    err << message << '\n' << L10n::Control::ctlTryHelp() << '\n';
    return CommandLine::exitUsage;
}

} // namespace

std::string helpText() {
    return L10n::Control::ctlUsage() + "\n" + L10n::Control::ctlDescription() + "\n\n" +
           optionHelp<Options>(rows, helpColumn) + "\n" + L10n::Control::ctlCommands() + "\n\n" +
           L10n::Control::ctlExitStatus() + "\n";
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    // The options come first; from the command on every argument is the request's.
    std::size_t first = 0;
    while (first < arguments.size() && arguments[first].starts_with('-')) {
        const bool takesValue = arguments[first] == "--socket";
        first += takesValue && first + 1 < arguments.size() ? 2 : 1;
    }
    const std::vector<std::string> optionArguments(arguments.begin(),
                                                   arguments.begin() + static_cast<long>(first));
    const auto [parsed, message] = parseOptions<Options>(
        rows, optionArguments, L10n::Cli::unknownOption, L10n::Cli::missingValue);
    if (!parsed) {
        return usageError(err, message);
    }
    if (parsed->options.help) {
        out << helpText();
        return CommandLine::exitOk;
    }
    auto request = ControlProtocol::requestFromArguments(
        {arguments.begin() + static_cast<long>(first), arguments.end()});
    if (const auto* problem = std::get_if<std::string>(&request)) {
        return usageError(err, *problem);
    }
    const std::string path =
        parsed->options.socketPath.value_or(ControlProtocol::defaultSocketPath());
    auto connection = connectTo(path);
    if (const int* error = std::get_if<int>(&connection)) {
        err << L10n::Control::noServer(path, SerialLinkError::systemText(*error)) << '\n';
        return exitNoServer;
    }
    Connection& server = std::get<Connection>(connection);
    const nlohmann::json& sent = std::get<nlohmann::json>(request);
    // A server that refuses the connection (too many clients) has answered already, so a failed
    // send still reads what came.
    server.send(ControlProtocol::encodeLine(sent));
    const auto line = server.nextLine();
    nlohmann::json reply;
    try {
        reply = nlohmann::json::parse(line.value_or(std::string()));
    } catch (const nlohmann::json::exception&) {
        err << L10n::Control::noReply() << '\n';
        return CommandLine::exitFailure;
    }
    out << reply.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
    const bool ok = reply.value("ok", false);
    if (ok && sent.value("command", "") == "log") {
        // One event per line, as it comes, until the server goes away.
        while (const auto event = server.nextLine()) {
            out << *event << std::endl;
        }
    }
    return ok ? CommandLine::exitOk : CommandLine::exitFailure;
}

} // namespace CtlCommand

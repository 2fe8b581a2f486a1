#include "Corvana/model/ControlServer.h"

#include "Corvana/model/ServerModel.h"

#include "Localization/ControlTexts.h"
#include "ModbusSerial/SerialLinkError.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// What one notification reads from a client at most, so a flood waits its turn.
constexpr std::size_t readBudget = 256 * 1024;
constexpr std::size_t readChunk = 64 * 1024;
// How long accepting rests when the process is out of descriptors.
constexpr std::chrono::milliseconds acceptPause{100};

constexpr std::string_view kindNames[] = {"text",    "timestamp", "meta",   "request", "response",
                                          "warning", "error",     "system", "fault"};

LogLine systemLine(const std::string& text) {
    return {LogSegment{LogSegment::Kind::system, QString::fromStdString("--- " + text + " ---")}};
}

std::string reason(int error) {
    return SerialLinkError::systemText(error);
}

std::optional<sockaddr_un> socketAddress(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

// The folder of the socket: made private when missing; the default one must be the user's own
// and is kept private, since others could otherwise put their socket in its place.
std::optional<std::string> prepareFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return std::nullopt;
    }
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) == 0) {
        return std::nullopt;
    }
    if (errno != EEXIST) {
        return reason(errno);
    }
    if (path != ControlProtocol::defaultSocketPath()) {
        return std::nullopt;
    }
    struct stat status = {};
    if (::lstat(folder.c_str(), &status) != 0) {
        return reason(errno);
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid() ||
        ((status.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)) {
        return L10n::Control::folderNotPrivate(folder);
    }
    return std::nullopt;
}

// Clears the way for a new socket: a stale one (nobody answers) is removed.
std::optional<std::string> clearPath(const std::string& path, const sockaddr_un& address) {
    struct stat status = {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? std::nullopt : std::optional(reason(errno));
    }
    if (!S_ISSOCK(status.st_mode)) {
        return L10n::Control::notASocket();
    }
    const FileDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!probe.isOpen()) {
        return reason(errno);
    }
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return L10n::Control::pathInUse();
    }
    if (errno != ECONNREFUSED) {
        return reason(errno);
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return reason(errno);
    }
    return std::nullopt;
}

} // namespace

struct ControlServer::Client {
    FileDescriptor fd;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    ControlProtocol::LineSplitter splitter;
    std::string output;
    std::size_t written = 0; // of output
    bool subscribed = false;
    bool ended = false;  // the client sent its last byte; close once its replies are out
    bool closed = false; // waiting for the sweep

    std::size_t pending() const { return output.size() - written; }
};

ControlServer::ControlServer(ServerModel& model, QObject* parent)
    : QObject(parent)
    , model_(model)
    , commands_(model) {
    connect(&model_.logBuffer(), &LogBuffer::appended, this,
            [this](qsizetype, const LogLine& line) { pushLog(line); });
}

ControlServer::~ControlServer() {
    close();
}

std::size_t ControlServer::clientCount() const {
    return static_cast<std::size_t>(std::count_if(
        clients_.begin(), clients_.end(), [](const auto& client) { return !client->closed; }));
}

std::optional<std::string> ControlServer::listen(const std::string& path) {
    close();
    const auto address = socketAddress(path);
    if (!address) {
        return L10n::Control::pathTooLong();
    }
    if (auto problem = prepareFolder(path)) {
        return problem;
    }
    if (auto problem = clearPath(path, *address)) {
        return problem;
    }
    FileDescriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.isOpen()) {
        return reason(errno);
    }
    // Private from the moment it exists: nobody else may connect even before the chmod.
    const mode_t previousMask = ::umask(0177);
    const int bound =
        ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    const int bindError = errno;
    ::umask(previousMask);
    if (bound != 0) {
        return reason(bindError);
    }
    struct stat status = {};
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(listener.get(), SOMAXCONN) != 0 ||
        ::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        return reason(error);
    }
    listener_ = std::move(listener);
    path_ = path;
    device_ = status.st_dev;
    inode_ = status.st_ino;
    listenerNotifier_ = std::make_unique<QSocketNotifier>(listener_.get(), QSocketNotifier::Read);
    connect(listenerNotifier_.get(), &QSocketNotifier::activated, this,
            &ControlServer::acceptClients);
    model_.appendLog(systemLine(L10n::Control::socketOpen(path)));
    return std::nullopt;
}

void ControlServer::close() {
    for (auto& client : clients_) {
        client->closed = true;
    }
    clients_.clear();
    listenerNotifier_.reset();
    if (!listener_.isOpen()) {
        return;
    }
    listener_.reset();
    struct stat status = {};
    if (::lstat(path_.c_str(), &status) == 0 && status.st_dev == device_ &&
        status.st_ino == inode_) {
        ::unlink(path_.c_str());
    }
}

void ControlServer::followPreference(const std::string& path) {
    preferencePath_ = path;
    connect(&model_, &ServerModel::allowControlChanged, this, &ControlServer::applyPreference,
            Qt::UniqueConnection);
    applyPreference();
}

void ControlServer::applyPreference() {
    if (model_.allowControl() == isListening()) {
        return;
    }
    if (!model_.allowControl()) {
        close();
        model_.appendLog(systemLine(L10n::Control::socketClosed(preferencePath_)));
    } else if (const auto problem = listen(preferencePath_)) {
        model_.appendLog(systemLine(L10n::Control::socketFailed(preferencePath_, *problem)));
    }
}

void ControlServer::acceptClients() {
    for (;;) {
        FileDescriptor fd(
            ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.isOpen()) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pauseAccepting();
            }
            return;
        }
        if (clientCount() >= maxClients) {
            const std::string refusal = ControlProtocol::encodeLine(
                ControlProtocol::errorReply(L10n::Control::tooManyClients()));
            [[maybe_unused]] const auto sent =
                ::send(fd.get(), refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            continue;
        }
        auto client = std::make_unique<Client>();
        client->fd = std::move(fd);
        Client* raw = client.get();
        client->reader = std::make_unique<QSocketNotifier>(raw->fd.get(), QSocketNotifier::Read);
        client->writer = std::make_unique<QSocketNotifier>(raw->fd.get(), QSocketNotifier::Write);
        client->writer->setEnabled(false);
        connect(client->reader.get(), &QSocketNotifier::activated, this,
                [this, raw] { readFrom(*raw); });
        connect(client->writer.get(), &QSocketNotifier::activated, this,
                [this, raw] { writeTo(*raw); });
        clients_.push_back(std::move(client));
    }
}

// The waiting connection keeps the listener readable, so the notifier would fire again at once
// for as long as the process has no descriptor to spare: it rests a while instead.
void ControlServer::pauseAccepting() {
    listenerNotifier_->setEnabled(false);
    QTimer::singleShot(acceptPause, this, [this] {
        if (listenerNotifier_) {
            listenerNotifier_->setEnabled(true);
        }
    });
}

void ControlServer::readFrom(Client& client) {
    std::array<char, readChunk> buffer;
    std::size_t total = 0;
    while (!client.closed && total < readBudget) {
        const ssize_t count = ::read(client.fd.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                drop(client, false);
            }
            return;
        }
        if (count == 0) {
            client.ended = true;
            client.reader->setEnabled(false);
            if (client.pending() == 0 && !client.subscribed) {
                drop(client, false);
            }
            return;
        }
        total += static_cast<std::size_t>(count);
        for (const auto& line :
             client.splitter.feed({buffer.data(), static_cast<std::size_t>(count)})) {
            if (client.closed) {
                return;
            }
            handleLine(client, line);
        }
        if (!client.closed && client.pending() > throttleBytes) {
            // Read on once the client has taken its replies (writeTo).
            client.reader->setEnabled(false);
            return;
        }
    }
}

void ControlServer::handleLine(Client& client, const ControlProtocol::LineSplitter::Line& line) {
    if (line.overlong) {
        send(client, ControlProtocol::encodeLine(
                         ControlProtocol::errorReply(L10n::Control::lineTooLong())));
        return;
    }
    if (line.text.find_first_not_of(" \t\r") == std::string::npos) {
        return; // blank lines are no requests
    }
    auto decoded = ControlProtocol::decodeRequest(line.text);
    if (const auto* message = std::get_if<std::string>(&decoded)) {
        send(client, ControlProtocol::encodeLine(ControlProtocol::errorReply(*message)));
        return;
    }
    ControlCommands::Outcome outcome = commands_.execute(std::get<nlohmann::json>(decoded));
    if (client.closed) {
        return;
    }
    send(client, ControlProtocol::encodeLine(outcome.reply));
    if (outcome.subscribe && !client.closed) {
        client.subscribed = true;
    }
    if (outcome.stop) {
        // After the reply has gone out and this notification has ended.
        QTimer::singleShot(0, this, [this] {
            if (onStop) {
                onStop();
            } else {
                model_.stop();
            }
        });
    }
}

void ControlServer::send(Client& client, const std::string& line) {
    if (client.closed) {
        return;
    }
    if (client.pending() + line.size() > maxPendingBytes) {
        drop(client, true);
        return;
    }
    client.output += line;
    if (!client.writer->isEnabled()) {
        writeTo(client);
    }
}

void ControlServer::writeTo(Client& client) {
    while (!client.closed && client.pending() > 0) {
        const ssize_t count = ::send(client.fd.get(), client.output.data() + client.written,
                                     client.pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                client.writer->setEnabled(true);
                // Keep the buffer from growing by what was sent already.
                if (client.written > client.output.size() / 2) {
                    client.output.erase(0, client.written);
                    client.written = 0;
                }
                return;
            }
            drop(client, false);
            return;
        }
        client.written += static_cast<std::size_t>(count);
    }
    if (client.closed) {
        return;
    }
    client.output.clear();
    client.written = 0;
    client.writer->setEnabled(false);
    if (client.ended && !client.subscribed) {
        drop(client, false);
    } else if (!client.ended) {
        client.reader->setEnabled(true);
    }
}

void ControlServer::drop(Client& client, bool stalled) {
    if (client.closed) {
        return;
    }
    client.closed = true;
    client.reader->setEnabled(false);
    client.writer->setEnabled(false);
    client.fd.reset();
    if (!sweepQueued_) {
        sweepQueued_ = true;
        // Later: this may run inside the client's own notification or the log's signal.
        QMetaObject::invokeMethod(this, &ControlServer::sweep, Qt::QueuedConnection);
    }
    if (stalled) {
        QMetaObject::invokeMethod(
            this, [this] { model_.appendLog(systemLine(L10n::Control::clientDropped())); },
            Qt::QueuedConnection);
    }
}

void ControlServer::sweep() {
    sweepQueued_ = false;
    std::erase_if(clients_, [](const auto& client) { return client->closed; });
}

void ControlServer::pushLog(const LogLine& line) {
    if (std::none_of(clients_.begin(), clients_.end(),
                     [](const auto& client) { return client->subscribed && !client->closed; })) {
        return;
    }
    LogSegment::Kind kind = LogSegment::Kind::text;
    QString text;
    for (const LogSegment& segment : line) {
        if (segment.kind == LogSegment::Kind::timestamp) {
            continue;
        }
        if (text.isEmpty()) {
            kind = segment.kind;
        }
        text += segment.text;
    }
    const std::string event =
        ControlProtocol::encodeLine({{"event", "log"},
                                     {"kind", kindNames[static_cast<std::size_t>(kind)]},
                                     {"text", text.toStdString()}});
    // By index: a send may drop a client, which only marks it.
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        if (clients_[i]->subscribed) {
            send(*clients_[i], event);
        }
    }
}

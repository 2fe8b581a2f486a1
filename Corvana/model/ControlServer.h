#pragma once

#include "Corvana/model/ControlCommands.h"
#include "Corvana/model/ControlProtocol.h"
#include "Corvana/model/LogSegment.h"

#include "ModbusSerial/FileDescriptor.h"

#include <QObject>

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;
class ServerModel;

// The control socket: a Unix domain socket of the user's own (0600) where scripts send JSON-line
// requests that ControlCommands runs. Everything happens on the main thread from socket
// notifiers; reads and writes never block, so a client that floods, stalls or never reads can
// only lose its own connection, never hold up the engine or the window.
class ControlServer : public QObject {
    Q_OBJECT

public:
    // More clients are answered with an error and closed.
    static constexpr std::size_t maxClients = 16;
    // Replies and log lines waiting for one client; beyond this it is dropped.
    static constexpr std::size_t maxPendingBytes = 8 * 1024 * 1024;
    // Requests are not read from a client while this much of its output waits.
    static constexpr std::size_t throttleBytes = ControlProtocol::maxLineBytes;

    // The model must outlive the server.
    explicit ControlServer(ServerModel& model, QObject* parent = nullptr);
    ~ControlServer() override;

    // Opens the socket at path: its folder is made (0700) when missing, a stale socket file is
    // replaced, one where a server answers is left alone. Logs a line when it opens; answers
    // the reason, in the user's language, when it cannot.
    std::optional<std::string> listen(const std::string& path);
    // Closes every connection and removes the socket file, if it is still ours.
    void close();
    bool isListening() const { return listener_.isOpen(); }
    const std::string& path() const { return path_; }
    std::size_t clientCount() const;

    // Opens the socket at path while the model's "allow scripts" preference is on, now and
    // whenever it changes, with a log line for each opening, closing or failure.
    void followPreference(const std::string& path);

    ControlCommands& commands() { return commands_; }
    // Runs after the reply to "stop" was sent; without it "stop" stops the server.
    std::function<void()> onStop;

private:
    struct Client;

    void acceptClients();
    void pauseAccepting();
    void readFrom(Client& client);
    void handleLine(Client& client, const ControlProtocol::LineSplitter::Line& line);
    void send(Client& client, const std::string& line);
    void writeTo(Client& client);
    void drop(Client& client, bool stalled);
    void sweep();
    void pushLog(const LogLine& line);
    void applyPreference();

    ServerModel& model_;
    ControlCommands commands_;
    FileDescriptor listener_;
    std::unique_ptr<QSocketNotifier> listenerNotifier_;
    std::string path_;
    dev_t device_ = 0; // of the socket file, so close removes only our own
    ino_t inode_ = 0;
    std::vector<std::unique_ptr<Client>> clients_;
    bool sweepQueued_ = false;
    std::string preferencePath_;
};

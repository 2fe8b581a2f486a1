#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/TCPStreamSplitter.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TCPListenerSettings {
    TCPFraming framing = TCPFraming::tcp;
    // An IPv4 or IPv6 address: 127.0.0.1 for this computer only, 0.0.0.0 for all networks.
    std::string host = "127.0.0.1";
    std::uint16_t port = 0; // 0: a free port chosen by the system
    std::size_t maxClients = 32;
    // A client that sends nothing for this long, with no reply pending, is closed; 0: never.
    std::chrono::milliseconds idleTimeout{0};
    // Reply bytes a client has not taken yet; more closes it, so that a master that never reads
    // costs nothing but its own connection.
    std::size_t outputLimit = 64 * 1024;
};

// One request as a client sent it.
struct TCPRequest {
    std::uint64_t client = 0; // numbered from 1 in order of connection
    std::string origin;       // the client's address and port: "127.0.0.1:50312", "[::1]:50312"
    TCPStreamSplitter::Frame frame;
    std::chrono::steady_clock::time_point arrived;
};

// What goes back for one request, as timed transmissions. On a connection replies leave in the
// order of their requests, so a reply that is due later holds up the ones behind it on that
// connection only.
struct TCPReply {
    struct Chunk {
        Bytes bytes; // framed as the connection expects: MBAP header or address and CRC included
        // Wait after the previous chunk went out; for the first, after the request arrived.
        std::chrono::nanoseconds after{};
        bool operator==(const Chunk&) const = default;
    };
    std::vector<Chunk> chunks; // none: no answer
    // Called on the listener's thread when the last chunk went to the connection (true) or the
    // reply was dropped because the connection closed or the listener stopped (false).
    std::function<void(bool sent)> done;
};

// What happened to the listener and its connections.
struct TCPEvent {
    enum class Kind : std::uint8_t { listening, connected, refused, closed };
    enum class Reason : std::uint8_t {
        none,
        clientClosed,   // the client ended the connection
        connectionLost, // code: the connection failed (reset by the client, …)
        idle,           // nothing received for the idle time
        badFrame,       // fault: bytes that are no request
        outputFull,     // the client did not take its replies
    };

    Kind kind;
    std::uint64_t client = 0; // 0 for listening and refused
    std::string origin;       // the client's address and port; for listening the bound one
    Reason reason = Reason::none;
    int code = 0;
    std::size_t unfinishedBytes = 0; // closed: bytes of a request that never completed
    std::optional<TCPStreamSplitter::Fault> fault;

    static TCPEvent listening(std::string origin) {
        return {Kind::listening, 0, std::move(origin), Reason::none, 0, 0, std::nullopt};
    }
    static TCPEvent connected(std::uint64_t client, std::string origin) {
        return {Kind::connected, client, std::move(origin), Reason::none, 0, 0, std::nullopt};
    }
    static TCPEvent refused(std::string origin) {
        return {Kind::refused, 0, std::move(origin), Reason::none, 0, 0, std::nullopt};
    }
    static TCPEvent closed(std::uint64_t client, std::string origin, Reason reason, int code = 0,
                           std::size_t unfinishedBytes = 0,
                           std::optional<TCPStreamSplitter::Fault> fault = std::nullopt) {
        return {Kind::closed, client,          std::move(origin), reason,
                code,         unfinishedBytes, std::move(fault)};
    }

    bool operator==(const TCPEvent&) const = default;
};

// Serves one TCP port on a thread of its own: accepts up to maxClients connections, cuts each
// stream into requests, hands every request to the handler and sends the handler's reply back on
// its connection. Nothing one client does (garbage, a stalled read, a slow reply, vanishing
// mid-frame) holds up another.
//
// Callback contract: the handler and onEvent run on the listener's thread, one call at a time.
// The handler must return at once (a reply that is due later says so in its chunks' waits);
// neither may throw or call back into the listener.
class TCPListener {
public:
    using RequestHandler = std::function<TCPReply(const TCPRequest&)>;
    using EventHandler = std::function<void(TCPEvent)>;

    // Touches no socket.
    TCPListener(TCPListenerSettings settings, RequestHandler handler, EventHandler onEvent);
    ~TCPListener();

    TCPListener(const TCPListener&) = delete;
    TCPListener& operator=(const TCPListener&) = delete;

    const TCPListenerSettings& settings() const { return settings_; }

    // Binds and listens on the calling thread, so that a refused port reaches the user at once,
    // then starts the thread, which emits listening first. Throws TCPListenerError with nothing
    // started. Does nothing on a listener that was started before.
    void start();

    // Closes the port and every connection and waits for the thread; pending replies are
    // dropped. Emits no events. Not from the callbacks.
    void stop();

    // The port listened on (the system's choice for port 0); 0 before start.
    std::uint16_t port() const { return boundPort_; }

    // Connections open now; any thread.
    std::size_t clientCount() const { return clientCount_.load(); }

private:
    struct Loop;

    TCPListenerSettings settings_;
    RequestHandler handler_;
    EventHandler onEvent_;
    std::unique_ptr<Loop> loop_;
    std::thread thread_;
    bool started_ = false;
    std::uint16_t boundPort_ = 0;
    std::atomic<std::size_t> clientCount_{0};
};

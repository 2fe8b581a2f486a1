#include "ServerCore/TCPListener.h"

#include "ModbusSerial/FileDescriptor.h"
#include "ServerCore/TCPListenerError.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t readSize = 4096;
// Requests of one connection waiting for their replies; beyond this the connection is not read
// until replies have gone, so a master that pipelines without end is slowed by TCP itself.
constexpr std::size_t maxQueuedReplies = 64;
constexpr int listenBacklog = 64;
// Connections taken per wake-up, so that a flood of them cannot starve the open ones.
constexpr int acceptsPerRound = 32;
// Out of file descriptors, the pending connection stays in the queue and the listening socket
// stays readable; it is left alone for this long instead of being polled in a busy loop.
constexpr auto acceptPause = 100ms;

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// A numeric IPv4 or IPv6 address ("[::1]" as well), or "localhost"; names are not looked up, so
// a start never waits for a name server.
std::optional<SocketAddress> bindAddress(std::string host, std::uint16_t port) {
    if (host == "localhost") {
        host = "127.0.0.1";
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    SocketAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
        return address;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
        return address;
    }
    return std::nullopt;
}

// "192.168.1.20:50312" or "[fe80::1]:50312".
std::string addressText(const sockaddr_storage& storage) {
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (storage.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        inet_ntop(AF_INET6, &v6->sin6_addr, text.data(), text.size());
        return "[" + std::string(text.data()) + "]:" + std::to_string(ntohs(v6->sin6_port));
    }
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&storage);
    inet_ntop(AF_INET, &v4->sin_addr, text.data(), text.size());
    return std::string(text.data()) + ":" + std::to_string(ntohs(v4->sin_port));
}

struct Outgoing {
    TCPReply reply;
    std::size_t next = 0;
    Clock::time_point due; // of the next chunk
};

struct Client {
    FileDescriptor socket;
    std::uint64_t id = 0;
    std::string origin;
    TCPStreamSplitter splitter;
    std::deque<Outgoing> replies; // in request order
    Bytes output;                 // reply bytes handed over, from `written` on not yet sent
    std::size_t written = 0;
    Clock::time_point lastHeard;
    bool closed = false;

    std::size_t unsent() const { return output.size() - written; }
    // A reply still to come is the listener's wait, not the client's silence.
    bool idleWatched() const { return replies.empty(); }
};

timespec toTimespec(Clock::duration duration) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(duration, Clock::duration::zero()));
    return {static_cast<time_t>(ns.count() / 1'000'000'000),
            static_cast<long>(ns.count() % 1'000'000'000)};
}

} // namespace

struct TCPListener::Loop {
    Loop(const TCPListenerSettings& settings, RequestHandler& handler, EventHandler& onEvent,
         std::atomic<std::size_t>& clientCount, FileDescriptor listening, FileDescriptor wake,
         std::string listeningOrigin)
        : settings(settings)
        , handler(handler)
        , onEvent(onEvent)
        , clientCount(clientCount)
        , listening(std::move(listening))
        , wake(std::move(wake))
        , listeningOrigin(std::move(listeningOrigin)) {}

    const TCPListenerSettings& settings;
    RequestHandler& handler;
    EventHandler& onEvent;
    std::atomic<std::size_t>& clientCount;
    FileDescriptor listening;
    FileDescriptor wake; // an eventfd: stop() writes to it to end the wait at once
    std::string listeningOrigin;
    std::atomic<bool> stopping{false};

    std::vector<std::unique_ptr<Client>> clients;
    std::uint64_t nextClient = 1;
    Clock::time_point acceptPausedUntil{};

    void run();
    void accept(Clock::time_point now);
    void read(Client& client, Clock::time_point now);
    void sendDue(Client& client, Clock::time_point now);
    void flush(Client& client);
    void close(Client& client, TCPEvent::Reason reason, int code = 0,
               std::optional<TCPStreamSplitter::Fault> fault = std::nullopt);
    std::optional<Clock::time_point> nextDeadline(Clock::time_point now) const;
    void emit(TCPEvent event) {
        if (onEvent) {
            onEvent(std::move(event));
        }
    }
};

void TCPListener::Loop::run() {
    pthread_setname_np(pthread_self(), "Corvana TCP");
    emit(TCPEvent::listening(listeningOrigin));
    std::vector<pollfd> polled;
    while (!stopping.load()) {
        auto now = Clock::now();
        for (auto& client : clients) {
            sendDue(*client, now);
            if (!client->closed && settings.idleTimeout > 0ms && client->idleWatched() &&
                now - client->lastHeard >= settings.idleTimeout) {
                close(*client, TCPEvent::Reason::idle);
            }
        }
        std::erase_if(clients, [](const auto& client) { return client->closed; });

        const bool acceptPaused = now < acceptPausedUntil;
        polled.clear();
        polled.push_back({wake.get(), POLLIN, 0});
        polled.push_back({acceptPaused ? -1 : listening.get(), POLLIN, 0});
        for (const auto& client : clients) {
            short events = 0;
            if (client->replies.size() < maxQueuedReplies) {
                events |= POLLIN;
            }
            if (client->unsent() > 0) {
                events |= POLLOUT;
            }
            polled.push_back({client->socket.get(), events, 0});
        }
        const auto deadline = nextDeadline(now);
        const timespec timeout = toTimespec(deadline ? *deadline - now : Clock::duration::zero());
        if (ppoll(polled.data(), polled.size(), deadline ? &timeout : nullptr, nullptr) < 0) {
            continue; // EINTR; the descriptors are the loop's own, so nothing else is expected
        }
        if ((polled[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto ignored = ::read(wake.get(), &count, sizeof count);
        }
        now = Clock::now();
        // Only the clients that were polled; accept() appends behind them.
        const std::size_t polledClients = polled.size() - 2;
        for (std::size_t i = 0; i < polledClients && !stopping.load(); ++i) {
            Client& client = *clients[i];
            const short revents = polled[i + 2].revents;
            if ((revents & POLLOUT) != 0) {
                flush(client);
            }
            if (!client.closed && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                read(client, now);
            }
        }
        if ((polled[1].revents & POLLIN) != 0 && !stopping.load()) {
            accept(now);
        }
    }
    // Replies still pending are dropped with their connections.
    for (auto& client : clients) {
        for (Outgoing& outgoing : client->replies) {
            if (outgoing.reply.done) {
                outgoing.reply.done(false);
            }
        }
    }
    clients.clear();
    clientCount.store(0);
}

void TCPListener::Loop::accept(Clock::time_point now) {
    for (int round = 0; round < acceptsPerRound; ++round) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const int fd = ::accept4(listening.get(), reinterpret_cast<sockaddr*>(&peer), &peerLength,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                acceptPausedUntil = now + acceptPause;
            }
            return; // EAGAIN: none left
        }
        FileDescriptor socket(fd);
        std::string origin = addressText(peer);
        if (clientCount.load() >= settings.maxClients) {
            socket.reset();
            emit(TCPEvent::refused(std::move(origin)));
            continue;
        }
        // Replies are whole frames written at once; waiting to fill a segment only adds latency.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto client =
            std::make_unique<Client>(Client{.socket = std::move(socket),
                                            .id = nextClient++,
                                            .origin = origin,
                                            .splitter = TCPStreamSplitter(settings.framing),
                                            .replies = {},
                                            .output = {},
                                            .written = 0,
                                            .lastHeard = now,
                                            .closed = false});
        const std::uint64_t id = client->id;
        clients.push_back(std::move(client));
        clientCount.fetch_add(1);
        emit(TCPEvent::connected(id, std::move(origin)));
    }
}

void TCPListener::Loop::read(Client& client, Clock::time_point now) {
    std::array<std::uint8_t, readSize> buffer{};
    const std::size_t wanted = std::min(buffer.size(), client.splitter.room());
    ssize_t count = 0;
    do {
        count = ::recv(client.socket.get(), buffer.data(), wanted, 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            close(client, TCPEvent::Reason::connectionLost, errno);
        }
        return;
    }
    if (count == 0) {
        close(client, TCPEvent::Reason::clientClosed);
        return;
    }
    client.lastHeard = now;
    client.splitter.append(ByteView(buffer.data(), static_cast<std::size_t>(count)));
    while (auto result = client.splitter.next()) {
        if (auto* fault = std::get_if<TCPStreamSplitter::Fault>(&*result)) {
            close(client, TCPEvent::Reason::badFrame, 0, std::move(*fault));
            return;
        }
        TCPRequest request{.client = client.id,
                           .origin = client.origin,
                           .frame = std::move(std::get<TCPStreamSplitter::Frame>(*result)),
                           .arrived = now};
        TCPReply reply = handler(request);
        const auto wait =
            reply.chunks.empty()
                ? Clock::duration::zero()
                : std::chrono::duration_cast<Clock::duration>(reply.chunks.front().after);
        client.replies.push_back({.reply = std::move(reply), .next = 0, .due = now + wait});
    }
    sendDue(client, now);
}

void TCPListener::Loop::sendDue(Client& client, Clock::time_point now) {
    bool handedOver = false;
    while (!client.closed && !client.replies.empty()) {
        Outgoing& outgoing = client.replies.front();
        auto& chunks = outgoing.reply.chunks;
        if (!chunks.empty()) {
            if (outgoing.due > now) {
                break;
            }
            const Bytes& bytes = chunks[outgoing.next].bytes;
            client.output.insert(client.output.end(), bytes.begin(), bytes.end());
            handedOver = true;
            if (++outgoing.next < chunks.size()) {
                outgoing.due =
                    now + std::chrono::duration_cast<Clock::duration>(chunks[outgoing.next].after);
                continue;
            }
        }
        // Complete (or nothing to say): the next reply's wait ran from its own request.
        auto done = std::move(outgoing.reply.done);
        client.replies.pop_front();
        if (done) {
            done(true);
        }
    }
    if (handedOver) {
        flush(client);
    }
}

void TCPListener::Loop::flush(Client& client) {
    while (!client.closed && client.unsent() > 0) {
        const ssize_t count = ::send(client.socket.get(), client.output.data() + client.written,
                                     client.unsent(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            close(client, TCPEvent::Reason::connectionLost, errno);
            return;
        }
        client.written += static_cast<std::size_t>(count);
    }
    if (client.closed) {
        return;
    }
    if (client.unsent() == 0) {
        client.output.clear();
        client.written = 0;
    } else if (client.unsent() > settings.outputLimit) {
        close(client, TCPEvent::Reason::outputFull);
    }
}

void TCPListener::Loop::close(Client& client, TCPEvent::Reason reason, int code,
                              std::optional<TCPStreamSplitter::Fault> fault) {
    if (client.closed) {
        return;
    }
    client.closed = true;
    const std::size_t unfinished = client.splitter.pending();
    client.socket.reset();
    clientCount.fetch_sub(1);
    for (Outgoing& outgoing : client.replies) {
        if (outgoing.reply.done) {
            outgoing.reply.done(false);
        }
    }
    client.replies.clear();
    emit(TCPEvent::closed(client.id, client.origin, reason, code, unfinished, std::move(fault)));
}

std::optional<Clock::time_point> TCPListener::Loop::nextDeadline(Clock::time_point now) const {
    std::optional<Clock::time_point> deadline;
    const auto consider = [&](Clock::time_point time) {
        if (!deadline || time < *deadline) {
            deadline = time;
        }
    };
    if (acceptPausedUntil > now) {
        consider(acceptPausedUntil);
    }
    for (const auto& client : clients) {
        if (!client->replies.empty() && !client->replies.front().reply.chunks.empty()) {
            consider(client->replies.front().due);
        }
        if (settings.idleTimeout > 0ms && client->idleWatched()) {
            consider(client->lastHeard + settings.idleTimeout);
        }
    }
    return deadline;
}

TCPListener::TCPListener(TCPListenerSettings settings, RequestHandler handler, EventHandler onEvent)
    : settings_(std::move(settings))
    , handler_(std::move(handler))
    , onEvent_(std::move(onEvent)) {}

TCPListener::~TCPListener() {
    stop();
}

void TCPListener::start() {
    if (started_) {
        return;
    }
    const auto address = bindAddress(settings_.host, settings_.port);
    if (!address) {
        throw TCPListenerError(TCPListenerError::invalidAddress, settings_.host, settings_.port);
    }
    const auto failure = [&] {
        return TCPListenerError::fromSystem(errno, settings_.host, settings_.port);
    };
    FileDescriptor socket(
        ::socket(address->storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.isOpen()) {
        throw failure();
    }
    // A restart must not wait for the previous run's connections to leave TIME_WAIT; a port
    // another program listens on is still refused.
    const int one = 1;
    setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address->storage),
               address->length) != 0 ||
        ::listen(socket.get(), listenBacklog) != 0) {
        throw failure();
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    FileDescriptor wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &boundLength) != 0 ||
        !wake.isOpen()) {
        throw failure();
    }

    auto loop = std::make_unique<Loop>(settings_, handler_, onEvent_, clientCount_,
                                       std::move(socket), std::move(wake), addressText(bound));
    boundPort_ =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port
                                          : reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
    Loop* running = loop.get();
    thread_ = std::thread([running] { running->run(); });
    loop_ = std::move(loop);
    started_ = true;
}

void TCPListener::stop() {
    if (!thread_.joinable()) {
        return;
    }
    loop_->stopping.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(loop_->wake.get(), &one, sizeof one);
    thread_.join();
    loop_.reset(); // closes the port
}

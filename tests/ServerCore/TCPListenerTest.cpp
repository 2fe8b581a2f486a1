#include "ServerCore/TCPListener.h"
#include "ServerCore/TCPListenerError.h"

#include "ModbusCore/MBAPFrame.h"
#include "ModbusCore/RTUFrame.h"
#include "tests/support/EngineEvents.h"
#include "tests/support/TCPClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Kind = TCPEvent::Kind;
using Reason = TCPEvent::Reason;

// The listener's events.
class EventRecorder : public EventQueue<TCPEvent> {
public:
    std::size_t count(Kind kind) { return countOf(events(), kind); }
    // The first event of this kind once `count` of them came, or none when patience ran out.
    std::optional<TCPEvent> waitFor(Kind kind, std::size_t count = 1) {
        const auto all = waitUntil([&](const auto& e) { return countOf(e, kind) >= count; });
        const auto found =
            std::find_if(all.begin(), all.end(), [&](const TCPEvent& e) { return e.kind == kind; });
        return countOf(all, kind) >= count ? std::optional(*found) : std::nullopt;
    }

private:
    static std::size_t countOf(const std::vector<TCPEvent>& events, Kind kind) {
        return static_cast<std::size_t>(std::count_if(
            events.begin(), events.end(), [&](const TCPEvent& e) { return e.kind == kind; }));
    }
};

const Bytes readPDU{0x03, 0x00, 0x00, 0x00, 0x02};

// Echoes every request's PDU, framed as it came; unit 9's reply comes late, in two parts.
TCPReply echo(const TCPRequest& request) {
    const auto& frame = request.frame;
    const Bytes bytes = frame.header ? MBAPFrame::buildReply(*frame.header, frame.pdu)
                                     : RTUFrame::build(frame.unit, frame.pdu);
    if (frame.unit != 9) {
        return {.chunks = {{bytes, 0ms}}, .done = {}};
    }
    const auto half = bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2);
    return {.chunks = {{Bytes(bytes.begin(), half), 50ms}, {Bytes(half, bytes.end()), 10ms}},
            .done = {}};
}

TEST(TCPListenerTest, AnswersPipelinedRequestsInOrderOnEachFraming) {
    for (const TCPFraming framing : {TCPFraming::tcp, TCPFraming::rtuOverTCP}) {
        SCOPED_TRACE(framing == TCPFraming::tcp ? "Modbus TCP" : "RTU over TCP");
        EventRecorder events;
        TCPListener listener(TCPListenerSettings{.framing = framing}, echo, events.handler());
        listener.start();
        ASSERT_NE(listener.port(), 0);
        const auto listening = events.waitFor(Kind::listening);
        ASSERT_TRUE(listening);
        EXPECT_EQ(listening->origin, "127.0.0.1:" + std::to_string(listener.port()));

        // The late reply to unit 9 comes first and holds up the two behind it.
        Bytes requests;
        for (const auto& [transaction, unit] : {std::pair{0x0102, 9}, {0xFFFE, 1}, {0x0000, 255}}) {
            const auto u = static_cast<std::uint8_t>(unit);
            const Bytes frame =
                framing == TCPFraming::tcp
                    ? MBAPFrame::build(static_cast<std::uint16_t>(transaction), u, readPDU)
                    : RTUFrame::build(u, readPDU);
            requests.insert(requests.end(), frame.begin(), frame.end());
        }
        TCPClient client(listener.port());
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(client.send(requests));
        EXPECT_EQ(client.receive(requests.size()), requests); // the echo
        const auto connected = events.waitFor(Kind::connected);
        ASSERT_TRUE(connected);
        EXPECT_EQ(connected->client, 1U);
        EXPECT_EQ(listener.clientCount(), 1U);
    }
}

TEST(TCPListenerTest, ClosesOnlyTheConnectionThatSendsGarbage) {
    const Bytes badProtocol{0x00, 0x01, 0x00, 0x07, 0x00, 0x06, 0x01, 0x03, 0, 0, 0, 1};
    Bytes badCRC = RTUFrame::build(1, readPDU);
    badCRC.back() ^= 0xFF;
    // One fault of each framing: TCPStreamSplitterTest has every reason.
    const std::tuple<TCPFraming, Bytes, TCPStreamSplitter::Fault::Reason> cases[] = {
        {TCPFraming::tcp, badProtocol, TCPStreamSplitter::Fault::Reason::protocolID},
        {TCPFraming::rtuOverTCP, badCRC, TCPStreamSplitter::Fault::Reason::badCRC},
    };
    for (const auto& [framing, garbage, reason] : cases) {
        SCOPED_TRACE(hexText(garbage));
        EventRecorder events;
        TCPListener listener(TCPListenerSettings{.framing = framing}, echo, events.handler());
        listener.start();
        TCPClient good(listener.port()), bad(listener.port());
        const Bytes request = framing == TCPFraming::tcp ? MBAPFrame::build(7, 1, readPDU)
                                                         : RTUFrame::build(1, readPDU);
        ASSERT_TRUE(good.send(request));
        EXPECT_EQ(good.receive(request.size()), request);

        ASSERT_TRUE(bad.send(garbage));
        EXPECT_TRUE(bad.closedByListener());
        const auto closed = events.waitFor(Kind::closed);
        ASSERT_TRUE(closed);
        EXPECT_EQ(closed->client, 2U);
        EXPECT_EQ(closed->reason, Reason::badFrame);
        ASSERT_TRUE(closed->fault);
        EXPECT_EQ(closed->fault->reason, reason);

        ASSERT_TRUE(good.send(request));
        EXPECT_EQ(good.receive(request.size()), request);
        EXPECT_EQ(listener.clientCount(), 1U);
    }
}

TEST(TCPListenerTest, RefusesTheClientBeyondTheLimit) {
    EventRecorder events;
    TCPListener listener(TCPListenerSettings{}, echo, events.handler());
    listener.start();
    std::vector<std::unique_ptr<TCPClient>> clients;
    for (int i = 0; i < 32; ++i) {
        clients.push_back(std::make_unique<TCPClient>(listener.port()));
    }
    ASSERT_TRUE(events.waitFor(Kind::connected, 32));

    TCPClient refused(listener.port());
    EXPECT_TRUE(refused.closedByListener());
    const auto refusal = events.waitFor(Kind::refused);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->origin.rfind("127.0.0.1:", 0), 0U) << refusal->origin;
    EXPECT_EQ(listener.clientCount(), 32U);

    // The 32 still work, and a place that comes free is taken again.
    const Bytes request = MBAPFrame::build(1, 1, readPDU);
    ASSERT_TRUE(clients.back()->send(request));
    EXPECT_EQ(clients.back()->receive(request.size()), request);
    clients.front()->close();
    ASSERT_TRUE(events.waitFor(Kind::closed));
    TCPClient late(listener.port());
    ASSERT_TRUE(late.send(request));
    EXPECT_EQ(late.receive(request.size()), request);
    EXPECT_EQ(events.count(Kind::refused), 1U);
}

TEST(TCPListenerTest, ClosesAnIdleClientWhenAsked) {
    EventRecorder events;
    TCPListener listener({.idleTimeout = 50ms}, echo, events.handler());
    listener.start();
    TCPClient quiet(listener.port());
    EXPECT_TRUE(quiet.closedByListener());
    const auto closed = events.waitFor(Kind::closed);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->reason, Reason::idle);
    EXPECT_EQ(listener.clientCount(), 0U);
}

TEST(TCPListenerTest, LetsAClientGoMidFrameAndServesTheNext) {
    EventRecorder events;
    TCPListener listener(TCPListenerSettings{}, echo, events.handler());
    listener.start();
    const Bytes request = MBAPFrame::build(3, 1, readPDU);
    {
        TCPClient leaving(listener.port());
        ASSERT_TRUE(leaving.send(Bytes(request.begin(), request.begin() + 9)));
    }
    const auto closed = events.waitFor(Kind::closed);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->reason, Reason::clientClosed);
    EXPECT_EQ(closed->unfinishedBytes, 9U);

    TCPClient next(listener.port());
    ASSERT_TRUE(next.send(request));
    EXPECT_EQ(next.receive(request.size()), request);
}

TEST(TCPListenerTest, AClientThatNeverReadsCostsOnlyItsOwnConnection) {
    EventRecorder events;
    // Large replies fill the stalled client's buffers quickly.
    const auto bigReply = [](const TCPRequest& request) {
        return TCPReply{
            .chunks = {{MBAPFrame::buildReply(*request.frame.header, Bytes(250, 0x11)), 0ms}},
            .done = {}};
    };
    TCPListener listener(TCPListenerSettings{}, bigReply, events.handler());
    listener.start();
    TCPClient stalled(listener.port()), reader(listener.port());
    const Bytes request = MBAPFrame::build(5, 1, readPDU);
    const std::size_t replySize = MBAPFrame::headerSize + 250;
    Bytes burst;
    for (int i = 0; i < 100; ++i) {
        burst.insert(burst.end(), request.begin(), request.end());
    }
    // Each round sends 25 kB of replies the stalled client never takes, then the reader asks.
    bool stalledClosed = false;
    for (int round = 0; round < 2000 && !stalledClosed; ++round) {
        stalledClosed = !stalled.send(burst) || events.count(Kind::closed) > 0;
        ASSERT_TRUE(reader.send(request));
        ASSERT_EQ(reader.receive(replySize).size(), replySize) << "round " << round;
    }
    const auto closed = events.waitFor(Kind::closed);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->client, 1U);
    EXPECT_EQ(closed->reason, Reason::outputFull);
    ASSERT_TRUE(reader.send(request));
    EXPECT_EQ(reader.receive(replySize).size(), replySize);
}

TEST(TCPListenerTest, StopClosesEverythingAndDropsPendingReplies) {
    EventRecorder events;
    std::atomic<int> handled = 0, dropped = 0;
    // A reply due in an hour: stop must not wait for it.
    const auto late = [&](const TCPRequest& request) {
        ++handled;
        return TCPReply{.chunks = {{MBAPFrame::buildReply(*request.frame.header, readPDU), 1h}},
                        .done = [&](bool sent) { dropped += sent ? 0 : 1; }};
    };
    TCPListener listener(TCPListenerSettings{}, late, events.handler());
    listener.start();
    TCPClient client(listener.port());
    ASSERT_TRUE(client.send(MBAPFrame::build(1, 1, readPDU)));
    for (const auto giveUp = std::chrono::steady_clock::now() + eventPatience;
         handled.load() == 0 && std::chrono::steady_clock::now() < giveUp;) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(handled.load(), 1);
    listener.stop();
    EXPECT_EQ(dropped.load(), 1);
    EXPECT_TRUE(client.closedByListener());
    EXPECT_EQ(listener.clientCount(), 0U);
    TCPClient after(listener.port());
    EXPECT_FALSE(after.connected());
}

TEST(TCPListenerTest, RefusesToStartWithAClearReason) {
    TCPListener first(TCPListenerSettings{}, echo, nullptr);
    first.start();
    const std::uint16_t taken = first.port();

    const std::tuple<std::string, std::uint16_t, TCPListenerError::Case> cases[] = {
        {"127.0.0.1", taken, TCPListenerError::addressInUse},
        {"corvana.example", 1502, TCPListenerError::invalidAddress},
        {"300.1.2.3", 1502, TCPListenerError::invalidAddress},
        {"192.0.2.1", 1502, TCPListenerError::addressNotLocal}, // documentation net, never local
    };
    for (const auto& [host, port, expected] : cases) {
        TCPListener listener({.host = host, .port = port}, echo, nullptr);
        try {
            listener.start();
            ADD_FAILURE() << host << " started";
        } catch (const TCPListenerError& error) {
            EXPECT_EQ(error.kind(), expected) << host << ": " << error.message();
            EXPECT_EQ(error.port(), port);
        }
        EXPECT_EQ(listener.port(), 0);
    }
}

TEST(TCPListenerErrorTest, MapsErrorNumbersToCases) {
    const std::tuple<int, std::uint16_t, TCPListenerError::Case, const char*> cases[] = {
        {EACCES, 502, TCPListenerError::privilegedPort,
         "Port 502 is below 1024 and needs administrator rights. Choose a port from 1024 up, such "
         "as 1502."},
        {EACCES, 1502, TCPListenerError::failed,
         "Cannot listen on 127.0.0.1:1502: Permission denied."},
        {EADDRINUSE, 1502, TCPListenerError::addressInUse,
         "Port 1502 on 127.0.0.1 is already in use by another program."},
        {EADDRNOTAVAIL, 1502, TCPListenerError::addressNotLocal,
         "The address 127.0.0.1 does not belong to this computer."},
        {EMFILE, 1502, TCPListenerError::failed,
         "Cannot listen on 127.0.0.1:1502: Too many open files."},
    };
    for (const auto& [code, port, expected, message] : cases) {
        const TCPListenerError error = TCPListenerError::fromSystem(code, "127.0.0.1", port);
        EXPECT_EQ(error.kind(), expected) << code;
        EXPECT_EQ(error.message(), message);
    }
}

} // namespace

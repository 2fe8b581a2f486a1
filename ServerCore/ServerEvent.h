#pragma once

#include "ModbusCore/Bytes.h"
#include "ServerCore/FaultRule.h"
#include "ServerCore/RequestProcessor.h"
#include "ServerCore/TCPListener.h"
#include "ServerCore/Transport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// What the engine saw on the bus or did, one event per observation, in the order it happened.
// The cases keep this order (the application matches on them); each is built by the function
// of its name (ServerEvent::request(…), …). Every event names the transport it came from; the
// serial line's events leave the client empty.
struct ServerEvent {
    struct Origin {
        Transport transport = Transport::serial;
        std::string client; // "127.0.0.1:50312", "[::1]:50312"; empty for the serial line
        bool operator==(const Origin&) const = default;
    };

    // A request for an enabled simulated unit arrived; pdu is the frame without address and CRC.
    struct Request {
        std::uint8_t unit;
        Bytes pdu;
        Bytes frame;
        bool operator==(const Request&) const = default;
    };
    // The answer to that request was written; frame holds the bytes as sent.
    struct Response {
        std::uint8_t unit;
        Bytes pdu;
        Bytes frame;
        bool corruptedCRC;
        bool operator==(const Response&) const = default;
    };
    // A request for address 0 arrived and was executed.
    struct Broadcast {
        Bytes pdu;
        Bytes frame;
        bool operator==(const Broadcast&) const = default;
    };
    // An enabled unit stayed silent: the fault noResponse, or listen-only mode (entered by this
    // request or before).
    struct Silent {
        std::uint8_t unit;
        bool listenOnly = false;
        bool busy = false; // still sending or waiting to send its reply to an earlier request
        bool operator==(const Silent&) const = default;
    };
    // A fault rule fired on the request just reported, before the reply it changed (or the
    // silence it caused).
    struct FaultFired {
        std::uint8_t unit;
        std::size_t ruleIndex;
        std::string ruleName;
        FaultRule::Effect effect;
        bool operator==(const FaultFired&) const = default;
    };
    // A request for an address that is not simulated or whose unit is disabled.
    struct OtherUnit {
        std::uint8_t unit;
        Bytes frame;
        bool operator==(const OtherUnit&) const = default;
    };
    // A frame shaped like a response: another slave answering.
    struct BusResponse {
        Bytes frame;
        bool operator==(const BusResponse&) const = default;
    };
    // Bytes that form no valid frame.
    struct Garbage {
        Bytes bytes;
        bool operator==(const Garbage&) const = default;
    };
    // The master changed unit memory; never empty.
    struct Wrote {
        std::vector<WriteEvent> writes;
        bool operator==(const Wrote&) const = default;
    };
    // Reading from or writing to the port failed while running.
    struct SerialLost {
        std::string path;
        bool operator==(const SerialLost&) const = default;
    };
    // The port is open and the reading thread runs.
    struct Started {
        bool operator==(const Started&) const = default;
    };

    // A network listener bound its port; address is the bound one: "127.0.0.1:1502".
    struct Listening {
        std::string address;
        bool operator==(const Listening&) const = default;
    };
    // A client connected; clients: connected now on this transport.
    struct ClientConnected {
        std::size_t clients = 0;
        bool operator==(const ClientConnected&) const = default;
    };
    // A client over the limit was accepted and closed at once.
    struct ClientRefused {
        std::size_t maxClients = 0;
        bool operator==(const ClientRefused&) const = default;
    };
    // A client's connection ended; clients: connected after it closed.
    struct ClientClosed {
        TCPEvent::Reason reason = TCPEvent::Reason::none;
        int code = 0;                    // the system's error number for connectionLost
        std::size_t unfinishedBytes = 0; // of a request that never completed
        std::optional<TCPStreamSplitter::Fault> fault; // badFrame: what gave the stream away
        std::size_t clients = 0;
        bool operator==(const ClientClosed&) const = default;
    };

    using Case = std::variant<Request, Response, Broadcast, Silent, FaultFired, OtherUnit,
                              BusResponse, Garbage, Wrote, SerialLost, Started, Listening,
                              ClientConnected, ClientRefused, ClientClosed>;

    static ServerEvent request(std::uint8_t unit, Bytes pdu, Bytes frame) {
        return {Request{unit, std::move(pdu), std::move(frame)}, {}};
    }
    static ServerEvent response(std::uint8_t unit, Bytes pdu, Bytes frame, bool corruptedCRC) {
        return {Response{unit, std::move(pdu), std::move(frame), corruptedCRC}, {}};
    }
    static ServerEvent broadcast(Bytes pdu, Bytes frame) {
        return {Broadcast{std::move(pdu), std::move(frame)}, {}};
    }
    static ServerEvent silent(std::uint8_t unit, bool listenOnly = false, bool busy = false) {
        return {Silent{unit, listenOnly, busy}, {}};
    }
    static ServerEvent faultFired(std::uint8_t unit, std::size_t ruleIndex, std::string ruleName,
                                  FaultRule::Effect effect) {
        return {FaultFired{unit, ruleIndex, std::move(ruleName), effect}, {}};
    }
    static ServerEvent otherUnit(std::uint8_t unit, Bytes frame) {
        return {OtherUnit{unit, std::move(frame)}, {}};
    }
    static ServerEvent busResponse(Bytes frame) { return {BusResponse{std::move(frame)}, {}}; }
    static ServerEvent garbage(Bytes bytes) { return {Garbage{std::move(bytes)}, {}}; }
    static ServerEvent wrote(std::vector<WriteEvent> writes) {
        return {Wrote{std::move(writes)}, {}};
    }
    static ServerEvent serialLost(std::string path) { return {SerialLost{std::move(path)}, {}}; }
    static ServerEvent started() { return {Started{}, {}}; }
    static ServerEvent listening(std::string address) {
        return {Listening{std::move(address)}, {}};
    }
    static ServerEvent clientConnected(std::size_t clients) {
        return {ClientConnected{clients}, {}};
    }
    static ServerEvent clientRefused(std::size_t maxClients) {
        return {ClientRefused{maxClients}, {}};
    }
    static ServerEvent clientClosed(TCPEvent::Reason reason, int code, std::size_t unfinishedBytes,
                                    std::optional<TCPStreamSplitter::Fault> fault,
                                    std::size_t clients) {
        return {ClientClosed{reason, code, unfinishedBytes, std::move(fault), clients}, {}};
    }

    // The same event from another transport or client.
    ServerEvent from(Origin where) && {
        origin = std::move(where);
        return std::move(*this);
    }

    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }

    bool operator==(const ServerEvent&) const = default;

    Case value;
    Origin origin; // set by the transport that emitted the event
};

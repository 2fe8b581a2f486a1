#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/MBAPFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

// How requests are carried in a TCP byte stream: behind an MBAP header (Modbus TCP), or as the
// serial line's frames with address and CRC (RTU over TCP).
enum class TCPFraming : std::uint8_t { tcp, rtuOverTCP };

// Cuts the byte stream of one TCP connection into requests. A stream has no silence to resync
// on, so the first bytes that cannot start a valid frame end it: the splitter reports why and
// the connection is to be closed. Never throws, never blocks; at most maxBuffered bytes held.
class TCPStreamSplitter {
public:
    static constexpr std::size_t maxBuffered = 4096;

    // One request as it arrived.
    struct Frame {
        std::uint8_t unit = 0;
        Bytes pdu;
        Bytes bytes;                      // header and PDU, or address, PDU and CRC
        std::optional<MBAPHeader> header; // Modbus TCP only: what the reply echoes
        bool operator==(const Frame&) const = default;
    };

    // Why the stream cannot be read on.
    struct Fault {
        enum class Reason : std::uint8_t {
            protocolID,      // value: the protocol ID, not 0
            length,          // value: the MBAP length, outside 2–254
            badCRC,          // value: the function code
            unknownFunction, // value: a function code with no known request length
            overflow,        // value: the bytes offered beyond maxBuffered
        };
        Reason reason;
        std::uint32_t value = 0;
        Bytes bytes; // the frame or header that gave it away, for the log
        bool operator==(const Fault&) const = default;
    };

    using Result = std::variant<Frame, Fault>;

    explicit TCPStreamSplitter(TCPFraming framing)
        : framing_(framing) {}

    TCPFraming framing() const { return framing_; }

    // How many bytes append takes at most now; a reader asks for no more.
    std::size_t room() const;

    // Adds what was read. More than room() is an overflow fault; after a fault nothing is taken.
    void append(ByteView bytes);

    // The next complete request, the fault that ends the stream (reported once), or no value
    // while the front frame is incomplete or after the fault.
    std::optional<Result> next();

    bool failed() const { return failed_; }
    // Bytes held that are not yet a whole frame.
    std::size_t pending() const { return buffer_.size() - start_; }

private:
    std::optional<Result> nextMBAP();
    std::optional<Result> nextRTU();
    Result fail(Fault fault);
    Bytes take(std::size_t count);

    TCPFraming framing_;
    Bytes buffer_;
    std::size_t start_ = 0; // the consumed front, dropped at the next append
    bool failed_ = false;
    std::optional<Fault> fault_; // awaiting report
};

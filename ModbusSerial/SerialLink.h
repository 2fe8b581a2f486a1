#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusSerial/EchoFilter.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/SerialClock.h"
#include "ModbusSerial/SerialConfiguration.h"
#include "ModbusSerial/SerialLinkError.h"
#include "ModbusSerial/TerminalDevice.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One serial device opened exclusively for raw RTU traffic. Used by one thread at a time: open
// on the thread that starts the server, then read, write and close on the engine's thread.
// Destroying the link closes it.
//
// Every operation that fails throws SerialLinkError.
class SerialLink {
public:
    static constexpr std::size_t bufferSize = 512;
    // How long after the end of a transmission its echo may still arrive.
    static constexpr std::chrono::microseconds echoSettleTime{2000};

    // allowsTestDevice skips the path check (any terminal, e.g. a pseudo-terminal made by a
    // test) and ignores a refused baud rate. The application always passes false.
    SerialLink(std::string path, SerialConfiguration configuration, bool allowsTestDevice = false);
    // The same with an injected clock, for tests of pacing and of the echo window.
    SerialLink(std::string path, SerialConfiguration configuration, bool allowsTestDevice,
               std::shared_ptr<SerialClock> clock);
    ~SerialLink();

    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    const std::string& path() const { return path_; }
    const SerialConfiguration& configuration() const { return configuration_; }
    bool allowsTestDevice() const { return allowsTestDevice_; }

    // Does nothing on an open link. Throws invalidPath, openFailed, busy, configurationFailed or
    // unsupportedBaudRate; a failed open holds nothing.
    void open();
    // Restores the attributes found at open and releases the device; never fails.
    void close() noexcept;
    bool isOpen() const { return fd_.isOpen(); }

    // t3.5 of the configuration in seconds.
    double frameGap() const;

    // Waits up to `timeout` seconds (rounded up to whole milliseconds, at least 1) for input and
    // returns what arrived, 0 to bufferSize bytes; never waits for more once something arrived.
    // While the echo window of the last frame sent is open it may return early with no bytes
    // (the echo was dropped, or the window closed). Throws notOpen or disconnected.
    Bytes read(double timeout);

    // Sends the frame once the line has been silent for one frame gap after the last byte
    // received or sent, and waits until it has been transmitted. Input that repeats the frame
    // from its first byte, arriving during the transmission or within echoSettleTime after it,
    // is the echo of a two-wire adapter and is dropped by the following reads; all other input
    // is kept. On a pseudo-terminal, which never echoes, all input is kept (a master repeating
    // a write whose answer repeats the request would otherwise lose it). Throws notOpen,
    // timeout, disconnected or writeFailed.
    void write(ByteView frame);

    // Whether a write keeps the frame gap first. Sending at once serves the deliberate faults
    // of a slave that answers early or trickles its bytes out.
    enum class Pacing { afterFrameGap, immediately };
    void write(ByteView frame, Pacing pacing);

    // For tests only: watch for the echo on a pseudo-terminal too, so that tests can drive the
    // echo window through one. Applies to the following writes.
    void forceEchoWindow() { forcesEchoWindow_ = true; }

    // "/dev/tty…" or "/dev/rfcomm…" without further "/" or "..", shorter than 128 characters
    // after "/dev/"; or a pseudo-terminal "/dev/pts/<digits>". Never the controlling terminal
    // "/dev/tty" nor a virtual console "/dev/tty0" … "/dev/tty63". Pure; any thread.
    static bool isValidPath(std::string_view path);

    // Whether open may serve the device at path: symlinks resolved first (so that
    // "/dev/serial/by-id/…" reaches "/dev/ttyUSB0"), the target must pass isValidPath and must
    // not be a console by its device number. A path that does not resolve is judged as given.
    static bool isServablePath(const std::string& path);

private:
    using TimePoint = SerialClock::TimePoint;

    bool watchesEcho() const { return forcesEchoWindow_ || !isPseudoTerminal_; }
    std::size_t readAvailable(); // into buffer_; 0 when nothing is waiting
    void collectInputBeforeSending();
    void collectInputAfterSending(ByteView frame);
    void writeAll(ByteView frame);
    void keep(const Bytes& bytes);
    Bytes takePending();

    std::string path_;
    SerialConfiguration configuration_;
    FileDescriptor fd_;
    TerminalAttributes originalAttributes_;
    TimePoint lastActivity_ = TimePoint::min();
    std::array<std::uint8_t, bufferSize> buffer_{};
    bool allowsTestDevice_;
    std::shared_ptr<SerialClock> clock_;
    EchoFilter echoFilter_;
    bool isPseudoTerminal_ = false; // of the open device
    bool forcesEchoWindow_ = false;
    Bytes pending_; // received, not yet returned by read
};

#pragma once

#include "ModbusSerial/FileDescriptor.h"

#include <array>
#include <csignal>

// SIGINT and SIGTERM become a byte in a pipe that the event loop watches (a QSocketNotifier on
// readEnd()): a signal handler may only do async-signal-safe work, so stopping the server and
// saving happen on the main thread. One instance at a time; it restores the previous handlers.
class SignalPipe {
public:
    SignalPipe();
    ~SignalPipe();

    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // -1 when the pipe could not be made (error() says why); the signals then keep their
    // previous handling.
    int readEnd() const { return readEnd_.get(); }
    int error() const { return error_; }
    void drain() const;

private:
    static constexpr std::array<int, 2> stopSignals = {SIGINT, SIGTERM};
    static void handle(int);

    FileDescriptor readEnd_;
    FileDescriptor writeEnd_;
    int error_ = 0;
    std::array<struct sigaction, 2> previous_{};
};

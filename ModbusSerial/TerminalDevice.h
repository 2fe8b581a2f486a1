#pragma once

#include "ModbusSerial/SerialConfiguration.h"

#include <array>
#include <cstddef>

// The device's terminal attributes as the kernel's termios2, which carries an arbitrary baud
// rate. That structure's header clashes with <termios.h>, so it stays inside
// TerminalDevice.cpp (and Termios2.h for tests); everyone else holds the bytes.
struct TerminalAttributes {
    alignas(8) std::array<std::byte, 64> bytes{};

    bool operator==(const TerminalAttributes&) const = default;
};

// Terminal controls on an open descriptor. Each returns 0 or the error number.
namespace TerminalDevice {

int getAttributes(int fd, TerminalAttributes& attributes);
// Applied at once (TCSETS2). Unlike tcsetattr this does not fail on a pseudo-terminal, which
// ignores parity and character size.
int setAttributes(int fd, const TerminalAttributes& attributes);

// Raw RTU attributes for the configuration, built from the saved ones, at 9600 baud.
TerminalAttributes rawAttributes(const TerminalAttributes& saved,
                                 const SerialConfiguration& configuration);
// Sets an arbitrary rate on top of the current attributes; EINVAL for a rate below 1.
int setBaudRate(int fd, int rate);

int takeExclusiveUse(int fd);    // TIOCEXCL
int releaseExclusiveUse(int fd); // TIOCNXCL
int flushInput(int fd);
int flushInputAndOutput(int fd);
// Waits until all output has been transmitted; retried on EINTR.
int drain(int fd);

// Whether fd is the device side of a pseudo-terminal ("/dev/pts/N"), which never echoes what is
// written to it. False for anything fstat cannot describe.
bool isPseudoTerminal(int fd);

} // namespace TerminalDevice

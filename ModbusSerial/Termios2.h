#pragma once

// The kernel's terminal attributes with an arbitrary baud rate. Never include this together with
// <termios.h>: both define struct termios and the flag macros.
#include "ModbusSerial/TerminalDevice.h"

#include <asm/termbits.h>

namespace Termios2 {

termios2 fromAttributes(const TerminalAttributes& attributes);
TerminalAttributes toAttributes(const termios2& attributes);

// The attributes open applies, from a copy of the device's saved ones: raw mode, the frame of
// the configuration, receiver on, modem lines ignored, no flow control, 9600 baud.
termios2 raw(termios2 saved, const SerialConfiguration& configuration);

// The same attributes at `rate` bits per second (BOTHER), input speed following output.
termios2 withBaudRate(termios2 attributes, int rate);

} // namespace Termios2

#pragma once

// The RTU character and inter-frame timing rules (Modbus over serial line, 2.5.1.1).
namespace SerialTiming {

// Start bit + data bits + parity bit (if any) + stop bits.
int characterBits(int dataBits, bool parityEnabled, int stopBits);

// t3.5 in seconds; fixed at 1.75 ms above 19200 baud.
double frameGap(int baudRate, int bitsPerCharacter);

} // namespace SerialTiming

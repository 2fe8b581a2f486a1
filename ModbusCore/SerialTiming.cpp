#include "ModbusCore/SerialTiming.h"

namespace {
// Above 19200 baud the standard fixes t3.5 instead of letting it shrink with the bit time
// (Modbus over serial line V1.02, 2.5.1.1).
constexpr int fixedGapAbove = 19200;
constexpr double fixedGap = 0.00175;
} // namespace

int SerialTiming::characterBits(int dataBits, bool parityEnabled, int stopBits) {
    return 1 + dataBits + (parityEnabled ? 1 : 0) + stopBits;
}

double SerialTiming::frameGap(int baudRate, int bitsPerCharacter) {
    if (baudRate > fixedGapAbove) {
        return fixedGap;
    }
    return bitsPerCharacter * 3.5 / baudRate;
}

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Protocol limits of Modbus RTU (Modbus over serial line, Modbus application protocol).
namespace Modbus {
inline constexpr std::uint8_t broadcastAddress = 0;
inline constexpr std::uint8_t minUnitAddress = 1;
inline constexpr std::uint8_t maxUnitAddress = 247;
inline constexpr std::size_t maxFrameLength = 256;
inline constexpr std::size_t minFrameLength = 4; // address, function code, CRC low, CRC high
inline constexpr std::size_t frameOverhead = 3;  // the address before the PDU, the CRC after it
inline constexpr std::size_t crcLength = 2;
// Protocol addresses are 16 bits; a datapoint may run up to the last one.
inline constexpr std::uint16_t maxAddress = 0xFFFF;
inline constexpr int addressSpace = maxAddress + 1;
inline constexpr std::uint16_t maxReadBits = 2000;
inline constexpr std::uint16_t maxReadRegisters = 125;
inline constexpr std::uint16_t maxWriteBits = 1968;
inline constexpr std::uint16_t maxWriteRegisters = 123;
inline constexpr std::uint16_t maxReadWriteWriteRegisters = 121; // function 23 (6.17)
inline constexpr std::uint8_t exceptionFlag = 0x80;
} // namespace Modbus

// The function codes a simulated unit executes; any other byte has no FunctionCode.
struct FunctionCode {
    enum Value : std::uint8_t {
        readCoils = 0x01,
        readDiscreteInputs = 0x02,
        readHoldingRegisters = 0x03,
        readInputRegisters = 0x04,
        writeSingleCoil = 0x05,
        writeSingleRegister = 0x06,
        readExceptionStatus = 0x07,
        diagnostics = 0x08,
        getCommEventCounter = 0x0B,
        getCommEventLog = 0x0C,
        writeMultipleCoils = 0x0F,
        writeMultipleRegisters = 0x10,
        reportServerID = 0x11,
        maskWriteRegister = 0x16,
        readWriteMultipleRegisters = 0x17,
        readFIFOQueue = 0x18,
        encapsulatedInterface = 0x2B, // only MEI type 0x0E, read device identification
    };

    constexpr FunctionCode(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }
    constexpr std::uint8_t rawValue() const { return value; }

    static std::optional<FunctionCode> fromRaw(std::uint8_t raw);
    static const std::array<FunctionCode, 17>& allCases();

    Value value;
};

struct ModbusException {
    enum Value : std::uint8_t {
        illegalFunction = 0x01,
        illegalDataAddress = 0x02,
        illegalDataValue = 0x03,
        serverDeviceFailure = 0x04,
        acknowledge = 0x05,
        serverDeviceBusy = 0x06,
        memoryParityError = 0x08,
        gatewayPathUnavailable = 0x0A,
        gatewayTargetFailedToRespond = 0x0B,
    };

    constexpr ModbusException(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }
    constexpr std::uint8_t rawValue() const { return value; }

    static std::optional<ModbusException> fromRaw(std::uint8_t raw);
    static const std::array<ModbusException, 9>& allCases();

    Value value;
};

// Public function codes that no unit executes; the frame splitter still knows their lengths.
namespace OtherFunctionCode {
inline constexpr std::uint8_t readFileRecord = 0x14;
inline constexpr std::uint8_t writeFileRecord = 0x15;
} // namespace OtherFunctionCode

// The sub-functions of function 08 on a serial line.
namespace DiagnosticCode {
inline constexpr std::uint16_t returnQueryData = 0x0000;
inline constexpr std::uint16_t restartCommunications = 0x0001;
inline constexpr std::uint16_t returnDiagnosticRegister = 0x0002;
inline constexpr std::uint16_t forceListenOnly = 0x0004;
inline constexpr std::uint16_t clearCounters = 0x000A;
inline constexpr std::uint16_t busMessageCount = 0x000B;
inline constexpr std::uint16_t busCommunicationErrorCount = 0x000C;
inline constexpr std::uint16_t busExceptionErrorCount = 0x000D;
inline constexpr std::uint16_t serverMessageCount = 0x000E;
inline constexpr std::uint16_t serverNoResponseCount = 0x000F;
inline constexpr std::uint16_t serverNAKCount = 0x0010;
inline constexpr std::uint16_t serverBusyCount = 0x0011;
inline constexpr std::uint16_t busCharacterOverrunCount = 0x0012;
inline constexpr std::uint16_t clearOverrun = 0x0014;
} // namespace DiagnosticCode

// The MEI type of function 43 that a unit serves.
inline constexpr std::uint8_t readDeviceIdentificationMEI = 0x0E;

// The name the log shows for a function byte, bit 7 ignored ("Read holding registers"); codes
// without a name of their own get the generic one. In the user's language.
std::string functionDisplayName(std::uint8_t functionByte);

// An exception as the log and the unit settings show it: the name, then the code as two
// upper-case hex digits in parentheses ("Illegal data address (02)", "Exception (0C)").
std::string exceptionDisplayText(std::uint8_t code);

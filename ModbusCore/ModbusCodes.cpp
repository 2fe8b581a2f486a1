#include "ModbusCore/ModbusCodes.h"

#include "Localization/EnumCases.h"
#include "Localization/L10n.h"

#include <cstdio>

std::optional<FunctionCode> FunctionCode::fromRaw(std::uint8_t raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<FunctionCode, 17>& FunctionCode::allCases() {
    static constexpr std::array<FunctionCode, 17> cases{
        readCoils,           readDiscreteInputs,    readHoldingRegisters,
        readInputRegisters,  writeSingleCoil,       writeSingleRegister,
        readExceptionStatus, diagnostics,           getCommEventCounter,
        getCommEventLog,     writeMultipleCoils,    writeMultipleRegisters,
        reportServerID,      maskWriteRegister,     readWriteMultipleRegisters,
        readFIFOQueue,       encapsulatedInterface,
    };
    return cases;
}

std::optional<ModbusException> ModbusException::fromRaw(std::uint8_t raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<ModbusException, 9>& ModbusException::allCases() {
    static constexpr std::array<ModbusException, 9> cases{
        illegalFunction,
        illegalDataAddress,
        illegalDataValue,
        serverDeviceFailure,
        acknowledge,
        serverDeviceBusy,
        memoryParityError,
        gatewayPathUnavailable,
        gatewayTargetFailedToRespond,
    };
    return cases;
}

std::string functionDisplayName(std::uint8_t functionByte) {
    return L10n::Modbus::functionName(functionByte & ~Modbus::exceptionFlag);
}

std::string exceptionDisplayText(std::uint8_t code) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", code);
    return L10n::Modbus::exceptionName(code) + " (" + digits + ")";
}

#include "ServerCore/UnitDiagnostics.h"

#include "ModbusCore/ModbusCodes.h"

namespace {

// The status word of functions 11 and 12: 0xFFFF only while a program command runs, which a
// simulated unit never has.
constexpr std::uint16_t notBusy = 0x0000;

} // namespace

void UnitDiagnostics::log(std::uint8_t event) {
    events.push_front(event);
    if (events.size() > eventLogSize) {
        events.pop_back();
    }
}

void UnitDiagnostics::heard(bool broadcast) {
    ++serverMessages;
    log(static_cast<std::uint8_t>(receiveEvent | (listenOnly ? receiveListenOnly : 0) |
                                  (broadcast ? receiveBroadcast : 0)));
}

void UnitDiagnostics::answered(ByteView response) {
    if (response.empty()) {
        return;
    }
    std::uint8_t event = sendEvent;
    const bool exception = (response[0] & Modbus::exceptionFlag) != 0 && response.size() > 1;
    if (exception) {
        ++busExceptionErrors;
        switch (const std::uint8_t code = response[1]) {
        case ModbusException::serverDeviceFailure:
            event |= sendAbortException;
            break;
        case ModbusException::acknowledge:
        case ModbusException::serverDeviceBusy:
            event |= sendBusyException;
            serverBusy += code == ModbusException::serverDeviceBusy ? 1 : 0;
            break;
        case 0x07: // negative acknowledge
            event |= sendNAKException;
            ++serverNAKs;
            break;
        default:
            event |= sendReadException;
            break;
        }
    } else if (response[0] != FunctionCode::getCommEventCounter) {
        // Exceptions and the fetch of the counter itself do not count as completed messages.
        ++eventCounter;
    }
    log(event);
}

void UnitDiagnostics::restart(bool clearLog) {
    clearCounters();
    listenOnly = false;
    if (clearLog) {
        events.clear();
    }
    log(restartEvent);
}

void UnitDiagnostics::enterListenOnly() {
    listenOnly = true;
    log(enteredListenOnlyEvent);
}

void UnitDiagnostics::clearCounters() {
    diagnosticRegister = 0;
    busMessages = 0;
    busCommunicationErrors = 0;
    busExceptionErrors = 0;
    serverMessages = 0;
    serverNoResponses = 0;
    serverNAKs = 0;
    serverBusy = 0;
    busCharacterOverruns = 0;
    eventCounter = 0;
}

Bytes UnitDiagnostics::eventLogData() const {
    Bytes data;
    data.reserve(6 + events.size());
    appendUInt16(data, notBusy);
    appendUInt16(data, eventCounter);
    appendUInt16(data, busMessages);
    data.insert(data.end(), events.begin(), events.end());
    return data;
}

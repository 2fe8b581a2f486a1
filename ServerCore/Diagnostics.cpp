#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"
#include "ServerCore/SerialLineFunctions.h"

namespace {

// PDU layouts of functions 07, 08, 11 and 12.
constexpr std::size_t bareRequestLength = 1;    // fc alone
constexpr std::size_t diagnosticsMinLength = 3; // fc, sub-function
constexpr std::size_t diagnosticsLength = 5;    // fc, sub-function, one data word
constexpr std::uint16_t noData = 0x0000;
constexpr std::uint16_t clearLogToo = 0xFF00; // restart option that also empties the event log
constexpr std::uint16_t notBusy = 0x0000;

Bytes fail(std::uint8_t fc, ModbusException code) {
    return ExceptionPDU::make(fc, code);
}

UnitDiagnostics current(const RegisterStore& store, std::uint8_t unit) {
    return store.diagnostics(unit).value_or(UnitDiagnostics{});
}

// The counter a read sub-function returns; none for any other sub-function.
std::optional<std::uint16_t> counter(const UnitDiagnostics& d, std::uint16_t sub) {
    using namespace DiagnosticCode;
    switch (sub) {
    case returnDiagnosticRegister:
        return d.diagnosticRegister;
    case busMessageCount:
        return d.busMessages;
    case busCommunicationErrorCount:
        return d.busCommunicationErrors;
    case busExceptionErrorCount:
        return d.busExceptionErrors;
    case serverMessageCount:
        return d.serverMessages;
    case serverNoResponseCount:
        return d.serverNoResponses;
    case serverNAKCount:
        return d.serverNAKs;
    case serverBusyCount:
        return d.serverBusy;
    case busCharacterOverrunCount:
        return d.busCharacterOverruns;
    default:
        return std::nullopt;
    }
}

bool isStateChange(std::uint16_t sub) {
    using namespace DiagnosticCode;
    return sub == restartCommunications || sub == forceListenOnly || sub == clearCounters ||
           sub == clearOverrun;
}

} // namespace

namespace SerialLineFunctions {

Bytes readExceptionStatus(const RegisterStore& store, ByteView pdu, std::uint8_t unit) {
    if (pdu.size() != bareRequestLength) {
        return fail(pdu[0], ModbusException::illegalDataValue);
    }
    const auto identity = store.identity(unit);
    return {pdu[0], identity ? identity->exceptionStatus : std::uint8_t{0}};
}

bool changesDiagnosticState(ByteView pdu) {
    return pdu.size() >= diagnosticsMinLength && pdu[0] == FunctionCode::diagnostics &&
           isStateChange(readUInt16(pdu, 1));
}

bool isRestart(ByteView pdu) {
    return pdu.size() >= diagnosticsMinLength && pdu[0] == FunctionCode::diagnostics &&
           readUInt16(pdu, 1) == DiagnosticCode::restartCommunications;
}

std::optional<Bytes> diagnostics(RegisterStore& store, ByteView pdu, std::uint8_t unit) {
    using namespace DiagnosticCode;
    const std::uint8_t fc = pdu[0];
    if (pdu.size() < diagnosticsMinLength) {
        return fail(fc, ModbusException::illegalFunction);
    }
    const std::uint16_t sub = readUInt16(pdu, 1);
    const Bytes echo(pdu.begin(), pdu.end());
    if (sub == returnQueryData) {
        return echo; // any number of data bytes
    }
    const bool known = sub == restartCommunications || isStateChange(sub) || counter({}, sub);
    if (!known) {
        return fail(fc, ModbusException::illegalFunction);
    }
    if (pdu.size() != diagnosticsLength) {
        return fail(fc, ModbusException::illegalDataValue);
    }
    const std::uint16_t data = readUInt16(pdu, 3);
    if (sub == restartCommunications) {
        if (data != noData && data != clearLogToo) {
            return fail(fc, ModbusException::illegalDataValue);
        }
        store.updateDiagnostics(unit, [&](UnitDiagnostics& d) {
            d.restart(data == clearLogToo);
            return true;
        });
        return echo; // the engine drops it while the unit was listening only
    }
    if (data != noData) {
        return fail(fc, ModbusException::illegalDataValue);
    }
    switch (sub) {
    case forceListenOnly:
        store.updateDiagnostics(unit, [](UnitDiagnostics& d) {
            d.enterListenOnly();
            return true;
        });
        return std::nullopt; // never answered
    case clearCounters:
        store.updateDiagnostics(unit, [](UnitDiagnostics& d) {
            d.clearCounters();
            return true;
        });
        return echo;
    case clearOverrun:
        store.updateDiagnostics(unit, [](UnitDiagnostics& d) {
            d.busCharacterOverruns = 0;
            return true;
        });
        return echo;
    default: {
        Bytes response(pdu.begin(), pdu.begin() + diagnosticsMinLength);
        appendUInt16(response, counter(current(store, unit), sub).value_or(0));
        return response;
    }
    }
}

Bytes getCommEventCounter(const RegisterStore& store, ByteView pdu, std::uint8_t unit) {
    if (pdu.size() != bareRequestLength) {
        return fail(pdu[0], ModbusException::illegalDataValue);
    }
    Bytes response{pdu[0]};
    appendUInt16(response, notBusy);
    appendUInt16(response, current(store, unit).eventCounter);
    return response;
}

Bytes getCommEventLog(const RegisterStore& store, ByteView pdu, std::uint8_t unit) {
    if (pdu.size() != bareRequestLength) {
        return fail(pdu[0], ModbusException::illegalDataValue);
    }
    const Bytes data = current(store, unit).eventLogData();
    Bytes response{pdu[0], static_cast<std::uint8_t>(data.size())};
    response.insert(response.end(), data.begin(), data.end());
    return response;
}

} // namespace SerialLineFunctions

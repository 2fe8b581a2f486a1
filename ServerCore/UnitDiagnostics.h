#pragma once

#include "ModbusCore/Bytes.h"

#include <cstdint>
#include <deque>

// The serial-line diagnostics of one unit: the counters of function 08, the communication event
// counter and event log (functions 11 and 12) and listen-only mode. The register store keeps one
// per unit, so that the engine thread updates it under the store's lock and the window reads a
// copy. Counters wrap at 65535, as the 16-bit fields that report them.
struct UnitDiagnostics {
    static constexpr std::size_t eventLogSize = 64;

    // Event log bytes of the serial line standard.
    static constexpr std::uint8_t receiveEvent = 0x80;
    static constexpr std::uint8_t receiveCommunicationError = 0x02;
    static constexpr std::uint8_t receiveCharacterOverrun = 0x10;
    static constexpr std::uint8_t receiveListenOnly = 0x20;
    static constexpr std::uint8_t receiveBroadcast = 0x40;
    static constexpr std::uint8_t sendEvent = 0x40;
    static constexpr std::uint8_t sendReadException = 0x01;  // exceptions 01–03
    static constexpr std::uint8_t sendAbortException = 0x02; // exception 04
    static constexpr std::uint8_t sendBusyException = 0x04;  // exceptions 05 and 06
    static constexpr std::uint8_t sendNAKException = 0x08;   // exception 07
    static constexpr std::uint8_t sendListenOnly = 0x20;
    static constexpr std::uint8_t enteredListenOnlyEvent = 0x04;
    static constexpr std::uint8_t restartEvent = 0x00;

    std::uint16_t diagnosticRegister = 0;
    std::uint16_t busMessages = 0;
    std::uint16_t busCommunicationErrors = 0;
    std::uint16_t busExceptionErrors = 0;
    std::uint16_t serverMessages = 0;
    std::uint16_t serverNoResponses = 0;
    std::uint16_t serverNAKs = 0;
    std::uint16_t serverBusy = 0;
    std::uint16_t busCharacterOverruns = 0;
    std::uint16_t eventCounter = 0;
    bool listenOnly = false;
    std::deque<std::uint8_t> events; // newest first, at most eventLogSize

    bool operator==(const UnitDiagnostics&) const = default;

    // A frame with a good CRC on the port, for any address.
    void busMessage() { ++busMessages; }
    // A frame with a bad CRC, or bytes that form no frame.
    void communicationError() {
        ++busCommunicationErrors;
        log(receiveEvent | receiveCommunicationError | (listenOnly ? receiveListenOnly : 0));
    }
    // A request for this unit or a broadcast arrived.
    void heard(bool broadcast);
    // The unit answered with this PDU (a normal answer or an exception).
    void answered(ByteView response);
    // The unit did not answer a request it heard (broadcast, listen-only, injected silence).
    void stayedSilent() { ++serverNoResponses; }

    // Diagnostics 0x01: counters cleared, listen-only left, the log cleared when asked; then the
    // restart itself is logged.
    void restart(bool clearLog);
    // Diagnostics 0x04.
    void enterListenOnly();
    // Diagnostics 0x0A: every counter and the diagnostic register.
    void clearCounters();

    // Status word, event counter, message counter and the event bytes, as function 12 answers.
    Bytes eventLogData() const;

private:
    void log(std::uint8_t event);
};

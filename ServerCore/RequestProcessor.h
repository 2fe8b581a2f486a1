#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/ValueTypes.h"
#include "ServerCore/RegisterStore.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One contiguous write by the master, so that the affected datapoints can be refreshed and logged.
struct WriteEvent {
    std::uint8_t unit = 0;
    RegisterTable table = RegisterTable::holdingRegister; // coil or holdingRegister
    AddressRange addresses;

    bool operator==(const WriteEvent&) const = default;
};

// The slave side of the Modbus application protocol: executes one request PDU against the store
// for one unit (or every enabled unit for a broadcast). Knows nothing of frames, timing or faults.
// Never throws: every malformed or unserviceable request becomes an exception PDU, and a request
// that ends in an exception leaves the store unchanged.
struct RequestProcessor {
    struct Result {
        std::optional<Bytes> response; // none for a broadcast or an empty request
        std::vector<WriteEvent> writes;

        bool operator==(const Result&) const = default;
    };

    std::shared_ptr<RegisterStore> store;

    // The engine's entry point; unit 0 executes the writing functions and the state-changing
    // diagnostics on every enabled unit and answers nothing. A unit in listen-only mode executes
    // only a restart and answers nothing. Does not check whether the unit exists or is enabled.
    Result process(ByteView pdu, std::uint8_t unit) const;

    // Executes the request for exactly one unit; an empty PDU gives an empty result.
    Result handle(ByteView pdu, std::uint8_t unit) const;
};

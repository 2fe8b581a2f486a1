#pragma once

#include "ModbusCore/ModbusCodes.h"
#include "ServerCore/FaultRule.h"
#include "ServerCore/UnitIdentity.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One simulated slave device as the user configures it; identified by unitID.
struct ServerUnit {
    struct Fault {
        enum Value : std::uint8_t { none, noResponse, exception, badCRC };

        constexpr Fault(Value v)
            : value(v) {}
        constexpr operator Value() const { return value; }

        static std::optional<Fault> fromRaw(std::string_view raw);
        static const std::array<Fault, 4>& allCases();
        std::string_view rawValue() const;

        Value value;
    };

    struct UndefinedAddresses {
        enum Value : std::uint8_t { exception, zero };

        constexpr UndefinedAddresses(Value v)
            : value(v) {}
        constexpr operator Value() const { return value; }

        static std::optional<UndefinedAddresses> fromRaw(std::string_view raw);
        static const std::array<UndefinedAddresses, 2>& allCases();
        std::string_view rawValue() const;

        Value value;
    };

    // What the engine needs of a unit for every request.
    struct Behaviour {
        bool enabled = true;
        Fault fault = Fault::none;
        ModbusException exceptionCode = ModbusException::serverDeviceBusy;
        double delay = 0; // seconds, never negative
        UndefinedAddresses undefinedAddresses = UndefinedAddresses::exception;
        FunctionSet functions = allSupportedFunctions(); // the codes the unit answers

        bool operator==(const Behaviour&) const = default;
    };

    std::uint8_t unitID = 1;
    std::string name;
    bool enabled = true;
    Fault fault = Fault::none;
    ModbusException exceptionCode = ModbusException::serverDeviceBusy;
    int delayMs = 0;
    UndefinedAddresses undefinedAddresses = UndefinedAddresses::exception;
    std::vector<std::uint8_t> functions = supportedFunctionCodes(); // enabled codes, ascending
    UnitIdentity identity = {};
    std::vector<FaultRule> faultRules = {}; // tried in order for each request to this unit

    Behaviour behaviour() const;
    ServedIdentity servedIdentity() const;

    bool operator==(const ServerUnit&) const = default;

    nlohmann::json toJSON() const;
    // unitID required (0–255); other keys optional; wrong types or unknown values throw
    // DecodingError. "functions" and "identity" are written only when they differ from the
    // defaults, so files of units that keep them read and write as before.
    static ServerUnit fromJSON(const nlohmann::json& json);
};

#pragma once

#include "ModbusCore/ModbusCodes.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

        bool operator==(const Behaviour&) const = default;
    };

    std::uint8_t unitID = 1;
    std::string name;
    bool enabled = true;
    Fault fault = Fault::none;
    ModbusException exceptionCode = ModbusException::serverDeviceBusy;
    int delayMs = 0;
    UndefinedAddresses undefinedAddresses = UndefinedAddresses::exception;

    Behaviour behaviour() const;

    bool operator==(const ServerUnit&) const = default;

    nlohmann::json toJSON() const;
    // unitID required (0–255); other keys optional; wrong types or unknown values throw
    // DecodingError.
    static ServerUnit fromJSON(const nlohmann::json& json);
};

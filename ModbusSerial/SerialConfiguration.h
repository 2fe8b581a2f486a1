#pragma once

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct Parity {
    enum Value : std::uint8_t { none, even, odd };

    constexpr Parity(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<Parity> fromRaw(std::string_view raw);
    static const std::array<Parity, 3>& allCases();
    std::string_view rawValue() const;
    char letter() const; // N, E, O as in "8E1"

    Value value;
};

// The line settings of the serial port. Default-constructed it is the Modbus default, 9600 8E1.
struct SerialConfiguration {
    // The rates offered to the user; a configuration may hold any other positive rate.
    static constexpr std::array<int, 10> standardBaudRates = {1200,  2400,  4800,  9600,   14400,
                                                              19200, 38400, 57600, 115200, 230400};

    int baudRate = 9600;
    int dataBits = 8; // 7 selects 7-bit characters, anything else 8
    Parity parity = Parity::even;
    int stopBits = 1; // 2 selects two stop bits, anything else one

    std::string frameText() const; // "8E1"
    std::string summary() const;   // "9600 8E1"
    int characterBits() const;     // 11 for 8E1

    bool operator==(const SerialConfiguration&) const = default;

    nlohmann::json toJSON() const;
    // All four keys required; a missing key, a wrong type or an unknown parity throws
    // DecodingError.
    static SerialConfiguration fromJSON(const nlohmann::json& json);
};

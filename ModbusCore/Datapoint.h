#pragma once

#include "ModbusCore/Simulation.h"
#include "ModbusCore/UUID.h"
#include "ModbusCore/ValueCodec.h"
#include "ModbusCore/ValueText.h"
#include "ModbusCore/ValueTypes.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The most datapoints a project file or a CSV list may hold: far beyond any real plant, and a
// bound on the memory (a few hundred bytes each) that a hostile file can make us take.
inline constexpr std::size_t maxDatapoints = 1'000'000;

// One named engineering value of a simulated unit. Invariant: a datapoint in a bit table has
// data type bool (the constructor, changeTable and fromJSON keep it).
struct Datapoint {
    UUID id = UUID::random();
    std::string name;
    std::uint8_t unitID = 1;
    RegisterTable table = RegisterTable::holdingRegister;
    std::uint16_t address = 0;
    DataType dataType = DataType::uint16;
    WordOrder wordOrder = WordOrder::abcd;
    double scale = 1.0;
    std::string engineeringUnit;
    DisplayFormat format = DisplayFormat::decimal;
    double value = 0.0;
    std::string notes;
    Simulation simulation;

    Datapoint() = default;
    Datapoint(UUID id, std::string name, std::uint8_t unitID, RegisterTable table,
              std::uint16_t address, DataType dataType, WordOrder wordOrder, double scale,
              std::string engineeringUnit, DisplayFormat format, double value, std::string notes,
              Simulation simulation);

    // Keeps a non-bool type when moving between register tables; else uint16 or bool.
    void changeTable(RegisterTable newTable);

    int registerSpan() const;                         // 1 in a bit table
    std::pair<int, int> addressRange() const;         // closed, may pass 65535
    std::optional<std::uint16_t> lastAddress() const; // nullopt when running past 65535
    bool overlaps(const Datapoint& other) const;      // same unit, same table, ranges meet
    std::string modiconAddress() const;               // "40001", "30010", "00001"

    Registers registersFor(double engineeringValue) const;
    double valueFromRegisters(std::span<const std::uint16_t> registers) const;

    ValueShape shape() const;
    int fractionDigits() const;
    std::string displayText(double v, std::string_view decimalSeparator) const;
    std::optional<double> parseInput(std::string_view text,
                                     std::string_view decimalSeparator) const;

    bool operator==(const Datapoint&) const = default;

    nlohmann::json toJSON() const;
    // Missing or null keys take defaults; a wrong type, out-of-range number or unknown raw string
    // throws DecodingError. A missing id gets a fresh random one.
    static Datapoint fromJSON(const nlohmann::json& json);
};

#include "ModbusCore/Datapoint.h"

#include "ModbusCore/JSONFields.h"
#include "ModbusCore/ModbusCodes.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

Datapoint::Datapoint(UUID id, std::string name, std::uint8_t unitID, RegisterTable table,
                     std::uint16_t address, DataType dataType, WordOrder wordOrder, double scale,
                     std::string engineeringUnit, DisplayFormat format, double value,
                     std::string notes, Simulation simulation)
    : id(id)
    , name(std::move(name))
    , unitID(unitID)
    , table(table)
    , address(address)
    , dataType(table.isBit() ? DataType(DataType::bool_) : dataType)
    , wordOrder(wordOrder)
    , scale(scale)
    , engineeringUnit(std::move(engineeringUnit))
    , format(format)
    , value(value)
    , notes(std::move(notes))
    , simulation(simulation) {}

void Datapoint::changeTable(RegisterTable newTable) {
    table = newTable;
    if (newTable.isBit()) {
        dataType = DataType::bool_;
    } else if (dataType == DataType::bool_) {
        dataType = DataType::uint16;
    }
}

int Datapoint::registerSpan() const {
    return table.isBit() ? 1 : dataType.registerCount();
}

std::pair<int, int> Datapoint::addressRange() const {
    return {address, address + registerSpan() - 1};
}

std::optional<std::uint16_t> Datapoint::lastAddress() const {
    const int end = address + registerSpan();
    if (end > Modbus::addressSpace) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(end - 1);
}

bool Datapoint::overlaps(const Datapoint& other) const {
    if (unitID != other.unitID || table != other.table) {
        return false;
    }
    // Half-open intervals [address, address + span) meet.
    return address < other.address + other.registerSpan() &&
           other.address < address + registerSpan();
}

std::string Datapoint::modiconAddress() const {
    // The one-based address gets a fifth digit once it reaches 10000 (six-digit notation).
    const char* pattern = address < 9999 ? "%d%04d" : "%d%05d";
    char text[16];
    std::snprintf(text, sizeof text, pattern, table.modiconPrefix(), address + 1);
    return text;
}

Registers Datapoint::registersFor(double engineeringValue) const {
    return ValueCodec::encode(engineeringValue, dataType, wordOrder, scale);
}

double Datapoint::valueFromRegisters(std::span<const std::uint16_t> registers) const {
    return ValueCodec::decode(registers, dataType, wordOrder, scale);
}

ValueShape Datapoint::shape() const {
    return ValueShape{table, dataType, scale, format};
}

int Datapoint::fractionDigits() const {
    return ValueText::fractionDigits(scale);
}

std::string Datapoint::displayText(double v, std::string_view decimalSeparator) const {
    return ValueText::displayText(shape(), v, decimalSeparator);
}

std::optional<double> Datapoint::parseInput(std::string_view text,
                                            std::string_view decimalSeparator) const {
    return ValueText::parseInput(shape(), text, decimalSeparator);
}

nlohmann::json Datapoint::toJSON() const {
    nlohmann::json json = nlohmann::json::object();
    json["id"] = id.toString();
    json["name"] = name;
    json["unitID"] = unitID;
    json["table"] = std::string(table.rawValue());
    json["address"] = address;
    json["dataType"] = std::string(dataType.rawValue());
    json["wordOrder"] = std::string(wordOrder.rawValue());
    json["scale"] = scale;
    json["engineeringUnit"] = engineeringUnit;
    json["format"] = std::string(format.rawValue());
    json["value"] = value;
    json["notes"] = notes;
    json["simulation"] = simulation.toJSON();
    return json;
}

Datapoint Datapoint::fromJSON(const nlohmann::json& json) {
    using namespace JSONFields;
    const auto& object = requireObject(json, "datapoint");

    Datapoint point;
    if (auto text = optionalString(object, "id")) {
        auto id = UUID::fromString(*text);
        if (!id) {
            throw DecodingError("\"id\" is not a UUID: '" + *text + "'");
        }
        point.id = *id;
    }
    point.name = optionalString(object, "name").value_or(point.name);
    point.unitID =
        static_cast<std::uint8_t>(optionalInteger(object, "unitID", 0, 255).value_or(point.unitID));
    point.table = optionalEnum<RegisterTable>(object, "table").value_or(point.table);
    point.address = static_cast<std::uint16_t>(
        optionalInteger(object, "address", 0, Modbus::maxAddress).value_or(point.address));
    point.dataType = optionalEnum<DataType>(object, "dataType").value_or(point.dataType);
    point.wordOrder = optionalEnum<WordOrder>(object, "wordOrder").value_or(point.wordOrder);
    point.scale = optionalNumber(object, "scale").value_or(point.scale);
    point.engineeringUnit =
        optionalString(object, "engineeringUnit").value_or(point.engineeringUnit);
    point.format = optionalEnum<DisplayFormat>(object, "format").value_or(point.format);
    point.value = optionalNumber(object, "value").value_or(point.value);
    point.notes = optionalString(object, "notes").value_or(point.notes);
    if (auto it = object.find("simulation"); it != object.end() && !it->is_null()) {
        point.simulation = Simulation::fromJSON(*it);
    }
    if (point.table.isBit()) {
        point.dataType = DataType::bool_;
    }
    return point;
}

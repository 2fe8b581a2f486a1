#include "Corvana/model/UnitEditing.h"

#include "ModbusCore/ModbusCodes.h"

#include <algorithm>
#include <array>

std::optional<std::uint8_t> UnitEditing::lowestFreeAddress(const std::vector<ServerUnit>& units) {
    std::array<bool, Modbus::maxUnitAddress + 1> used{};
    for (const ServerUnit& unit : units) {
        if (unit.unitID <= Modbus::maxUnitAddress) {
            used[unit.unitID] = true;
        }
    }
    for (int address = Modbus::minUnitAddress; address <= Modbus::maxUnitAddress; ++address) {
        if (!used[address]) {
            return static_cast<std::uint8_t>(address);
        }
    }
    return std::nullopt;
}

bool UnitEditing::changeUnitAddress(std::vector<ServerUnit>& units,
                                    std::vector<Datapoint>& datapoints, std::uint8_t from,
                                    std::uint8_t to) {
    if (to == from) {
        return true;
    }
    const auto hasAddress = [&](std::uint8_t address) {
        return [address](const ServerUnit& unit) { return unit.unitID == address; };
    };
    if (to < Modbus::minUnitAddress || to > Modbus::maxUnitAddress ||
        std::any_of(units.begin(), units.end(), hasAddress(to))) {
        return false;
    }
    const auto unit = std::find_if(units.begin(), units.end(), hasAddress(from));
    if (unit == units.end()) {
        return false;
    }
    unit->unitID = to;
    for (Datapoint& datapoint : datapoints) {
        if (datapoint.unitID == from) {
            datapoint.unitID = to;
        }
    }
    sortByAddress(units);
    return true;
}

void UnitEditing::sortByAddress(std::vector<ServerUnit>& units) {
    std::stable_sort(units.begin(), units.end(),
                     [](const ServerUnit& a, const ServerUnit& b) { return a.unitID < b.unitID; });
}

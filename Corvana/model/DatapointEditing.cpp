#include "Corvana/model/DatapointEditing.h"

#include "ModbusCore/ModbusCodes.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

std::uint16_t DatapointEditing::nextFreeAddress(const std::vector<Datapoint>& all,
                                                std::uint8_t unit, RegisterTable table,
                                                const Datapoint* templateOrNull, int span) {
    std::vector<std::pair<int, int>> taken; // closed ranges of the candidates
    for (const Datapoint& datapoint : all) {
        if (datapoint.unitID == unit && datapoint.table == table) {
            taken.emplace_back(datapoint.address, datapoint.addressRange().second);
        }
    }

    int start = 0;
    if (templateOrNull != nullptr) {
        start = templateOrNull->addressRange().second + 1;
    } else {
        for (const auto& [first, last] : taken) {
            start = std::max(start, last + 1);
        }
    }
    span = std::max(span, 1);

    // Every jump past a blocking range skips only starts that would meet that same range, so the
    // result is the lowest free start at or after `start`, whichever blocking range is taken
    // first. Walking the ranges by address finds it in O(n log n) even in a full table.
    std::sort(taken.begin(), taken.end());
    for (const auto& [first, last] : taken) {
        if (start + span - 1 > Modbus::maxAddress) {
            return 0;
        }
        if (first > start + span - 1) {
            break;
        }
        if (last >= start) {
            start = last + 1;
        }
    }
    if (start + span - 1 > Modbus::maxAddress) {
        return 0;
    }
    return static_cast<std::uint16_t>(start);
}

std::optional<UUID> DatapointEditing::addDatapoint(std::vector<Datapoint>& all,
                                                   std::optional<std::uint8_t> selectedUnit,
                                                   std::optional<UUID> after) {
    if (!selectedUnit) {
        return std::nullopt;
    }

    auto templateIt = all.end();
    if (after) {
        templateIt = std::find_if(all.begin(), all.end(), [&](const Datapoint& datapoint) {
            return datapoint.id == *after;
        });
    }
    if (templateIt == all.end()) {
        const auto last = std::find_if(all.rbegin(), all.rend(), [&](const Datapoint& datapoint) {
            return datapoint.unitID == *selectedUnit;
        });
        templateIt = last == all.rend() ? all.end() : std::prev(last.base());
    }
    const Datapoint* shape = templateIt == all.end() ? nullptr : &*templateIt;

    Datapoint datapoint; // fresh id, scale 1, decimal, value 0, no simulation
    datapoint.unitID = *selectedUnit;
    datapoint.table =
        shape != nullptr ? shape->table : RegisterTable(RegisterTable::holdingRegister);
    if (datapoint.table.isBit()) {
        datapoint.dataType = DataType::bool_;
    } else {
        datapoint.dataType = shape != nullptr ? shape->dataType : DataType(DataType::uint16);
    }
    datapoint.wordOrder = shape != nullptr ? shape->wordOrder : WordOrder(WordOrder::abcd);
    // A single free register is enough, whatever the new type needs.
    datapoint.address = nextFreeAddress(all, *selectedUnit, datapoint.table, shape, 1);
    datapoint.name =
        std::string(datapoint.table.shortCode()) + " " + std::to_string(datapoint.address);

    const UUID id = datapoint.id;
    if (shape != nullptr) {
        all.insert(std::next(templateIt), std::move(datapoint));
    } else {
        all.push_back(std::move(datapoint));
    }
    return id;
}

std::vector<UUID> DatapointEditing::duplicate(std::vector<Datapoint>& all,
                                              const std::vector<UUID>& ids) {
    std::vector<UUID> copies;
    for (const UUID& id : ids) {
        const auto source = std::find_if(
            all.begin(), all.end(), [&](const Datapoint& datapoint) { return datapoint.id == id; });
        if (source == all.end()) {
            continue;
        }
        Datapoint copy = *source;
        copy.id = UUID::random();
        copy.address =
            nextFreeAddress(all, source->unitID, source->table, &*source, copy.registerSpan());
        copies.push_back(copy.id);
        all.insert(std::next(source), std::move(copy));
    }
    return copies;
}

void DatapointEditing::remove(std::vector<Datapoint>& all, const std::unordered_set<UUID>& ids) {
    std::erase_if(all, [&](const Datapoint& datapoint) { return ids.contains(datapoint.id); });
}

#include "Corvana/model/Overlaps.h"

#include "ModbusCore/ModbusCodes.h"

#include <algorithm>
#include <tuple>

std::unordered_set<UUID> Overlaps::compute(const std::vector<Datapoint>& datapoints) {
    std::unordered_set<UUID> conflicts;

    // Grouping by unit and table and then sorting by address is one stable sort on the triple;
    // stability keeps list order among equal addresses.
    std::vector<const Datapoint*> sorted;
    sorted.reserve(datapoints.size());
    for (const Datapoint& datapoint : datapoints) {
        sorted.push_back(&datapoint);
        if (datapoint.addressRange().second > Modbus::maxAddress) {
            conflicts.insert(datapoint.id);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Datapoint* a, const Datapoint* b) {
        return std::tuple(a->unitID, a->table.value, a->address) <
               std::tuple(b->unitID, b->table.value, b->address);
    });

    int reach = -1;
    const Datapoint* owner = nullptr;
    for (const Datapoint* point : sorted) {
        if (owner != nullptr && (owner->unitID != point->unitID || owner->table != point->table)) {
            reach = -1;
            owner = nullptr;
        }
        if (owner != nullptr && point->address <= reach) {
            conflicts.insert(owner->id);
            conflicts.insert(point->id);
        }
        if (const int end = point->addressRange().second; end > reach) {
            reach = end;
            owner = point;
        }
    }
    return conflicts;
}

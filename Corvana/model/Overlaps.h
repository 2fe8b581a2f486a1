#pragma once

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/UUID.h"

#include <unordered_set>
#include <vector>

namespace Overlaps {

// Ids of datapoints that share a register with another datapoint of the same unit and table, or
// that run past address 65535. O(n log n).
std::unordered_set<UUID> compute(const std::vector<Datapoint>& datapoints);

} // namespace Overlaps

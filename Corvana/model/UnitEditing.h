#pragma once

#include "ModbusCore/Datapoint.h"
#include "ServerCore/ServerUnit.h"

#include <cstdint>
#include <optional>
#include <vector>

// Unit addresses, as pure functions on the model's lists. The caller refreshes the store,
// overlaps and autosave after each change.
namespace UnitEditing {

// The lowest of 1…247 that no unit uses; nullopt when all are taken.
std::optional<std::uint8_t> lowestFreeAddress(const std::vector<ServerUnit>& units);

// Renumbers unit `from` and its datapoints to `to`, then sorts the units. True when `to` equals
// `from` (nothing changes); false when `to` is outside 1…247, already used, or `from` is unknown.
bool changeUnitAddress(std::vector<ServerUnit>& units, std::vector<Datapoint>& datapoints,
                       std::uint8_t from, std::uint8_t to);

// Ascending by address; units with equal addresses keep their order.
void sortByAddress(std::vector<ServerUnit>& units);

} // namespace UnitEditing

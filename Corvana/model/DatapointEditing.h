#pragma once

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/UUID.h"
#include "ModbusCore/ValueTypes.h"

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

// Address rules of adding, duplicating and removing datapoints, as pure functions on the model's
// list. The caller refreshes the store, overlaps and autosave after each change.
namespace DatapointEditing {

// The first start address at or after the template's end (or after the last candidate without a
// template) where `span` registers of `unit`/`table` are free; 0 when none fits below 65536.
std::uint16_t nextFreeAddress(const std::vector<Datapoint>& all, std::uint8_t unit,
                              RegisterTable table, const Datapoint* templateOrNull, int span);

// A new datapoint in the selected unit, shaped like the datapoint `after` (or the unit's last
// one) and inserted behind it; nullopt without a selected unit.
std::optional<UUID> addDatapoint(std::vector<Datapoint>& all,
                                 std::optional<std::uint8_t> selectedUnit,
                                 std::optional<UUID> after);

// Copies keeping the name, each at the next free address after its source and inserted directly
// behind it; unknown ids are skipped. Returns the copies' ids in the order of `ids`.
std::vector<UUID> duplicate(std::vector<Datapoint>& all, const std::vector<UUID>& ids);

void remove(std::vector<Datapoint>& all, const std::unordered_set<UUID>& ids);

} // namespace DatapointEditing

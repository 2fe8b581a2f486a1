#include "ServerCore/RegisterStore.h"

#include <algorithm>

namespace {

using Modbus::addressSpace;

// A datapoint prepared outside the lock: where it lives and its own value, encoded.
struct PreparedDatapoint {
    std::uint8_t unit;
    AddressRange addresses; // cut at 65536
    RegisterStore::Memory::Encoded ownValue;
};

AddressRange storedAddresses(const Datapoint& datapoint) {
    return {datapoint.address,
            std::min(datapoint.address + datapoint.registerSpan(), addressSpace)};
}

bool definesAll(const AddressMap<bool>& defined, AddressRange range) {
    for (int address = range.start; address < range.end; ++address) {
        if (!defined.contains(static_cast<std::uint16_t>(address))) {
            return false;
        }
    }
    return true;
}

// The caller guarantees 0 <= start <= end <= 65536.
template <class T, class Values>
void readInto(const AddressMap<T>& map, AddressRange range, Values& values) {
    for (int address = range.start; address < range.end; ++address) {
        values[static_cast<std::size_t>(address - range.start)] =
            map.get(static_cast<std::uint16_t>(address));
    }
}

// A rule that stays as it was keeps its counts, wherever it moved in the list; a changed or new
// rule counts from zero.
std::vector<FaultRule::Counts>
keptCounts(const std::unordered_map<std::uint8_t, RegisterStore::Memory>& old, std::uint8_t unit,
           const std::vector<FaultRule>& rules) {
    std::vector<FaultRule::Counts> counts(rules.size());
    const auto previous = old.find(unit);
    if (previous == old.end()) {
        return counts;
    }
    const auto& oldRules = previous->second.faultRules;
    std::vector<bool> taken(oldRules.size(), false);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        for (std::size_t j = 0; j < oldRules.size(); ++j) {
            if (!taken[j] && oldRules[j] == rules[i] && j < previous->second.faultCounts.size()) {
                taken[j] = true;
                counts[i] = previous->second.faultCounts[j];
                break;
            }
        }
    }
    return counts;
}

AddressRange clamped(AddressRange range) {
    const int start = std::clamp(range.start, 0, addressSpace);
    return {start, std::clamp(range.end, start, addressSpace)};
}

} // namespace

RegisterStore::Memory::Encoded RegisterStore::Memory::encode(const Datapoint& datapoint,
                                                             double value) {
    Encoded encoded{datapoint.table, datapoint.address, false, {}};
    if (datapoint.table.isBit()) {
        encoded.bit = value != 0.0;
    } else {
        encoded.registers =
            ValueCodec::encode(value, datapoint.dataType, datapoint.wordOrder, datapoint.scale);
    }
    return encoded;
}

void RegisterStore::Memory::apply(const Encoded& encoded) {
    if (encoded.table.isBit()) {
        bits[encoded.table].set(encoded.address, encoded.bit);
        return;
    }
    auto& map = registers[encoded.table];
    const std::size_t fitting =
        std::min<std::size_t>(encoded.registers.size(), addressSpace - encoded.address);
    for (std::size_t i = 0; i < fitting; ++i) {
        map.set(static_cast<std::uint16_t>(encoded.address + i), encoded.registers[i]);
    }
}

void RegisterStore::configure(const std::vector<ServerUnit>& units,
                              const std::vector<Datapoint>& datapoints, bool resetValues) {
    // Everything but the map work happens before the lock: behaviours, address ranges and the
    // encoding of every datapoint's own value.
    std::array<std::optional<ServerUnit::Behaviour>, 256> behaviours;
    std::vector<ServedIdentity> identities(256);
    std::vector<std::vector<FaultRule>> rules(256);
    for (const auto& unit : units) {
        behaviours[unit.unitID] = unit.behaviour(); // a later unit replaces an earlier one
        identities[unit.unitID] = unit.servedIdentity();
        rules[unit.unitID] = unit.faultRules;
    }
    std::vector<PreparedDatapoint> prepared;
    prepared.reserve(datapoints.size());
    for (const auto& datapoint : datapoints) {
        if (behaviours[datapoint.unitID]) {
            prepared.push_back({datapoint.unitID, storedAddresses(datapoint),
                                Memory::encode(datapoint, datapoint.value)});
        }
    }

    std::unordered_map<std::uint8_t, Memory> old; // destroyed after the lock is released
    {
        std::lock_guard guard(lock_);
        old.swap(units_);
        for (std::size_t id = 0; id < behaviours.size(); ++id) {
            if (!behaviours[id]) {
                continue;
            }
            Memory memory;
            // A reset starts every unit empty, so nothing of an earlier run or project shows
            // through where the datapoints define nothing.
            if (const auto kept = old.find(static_cast<std::uint8_t>(id));
                !resetValues && kept != old.end()) {
                // Only the values move; the old defined sets still decide what is new below.
                memory.bits = std::move(kept->second.bits);
                memory.registers = std::move(kept->second.registers);
                memory.diagnostics = std::move(kept->second.diagnostics);
            }
            memory.behaviour = *behaviours[id];
            memory.identity = std::move(identities[id]);
            memory.faultRules = std::move(rules[id]);
            memory.faultCounts = keptCounts(old, static_cast<std::uint8_t>(id), memory.faultRules);
            units_.emplace(static_cast<std::uint8_t>(id), std::move(memory));
        }
        for (const auto& datapoint : prepared) {
            const RegisterTable table = datapoint.ownValue.table;
            const auto previous = old.find(datapoint.unit);
            const bool isNew = previous == old.end() ||
                               !definesAll(previous->second.defined[table], datapoint.addresses);
            Memory& memory = units_.at(datapoint.unit);
            for (int address = datapoint.addresses.start; address < datapoint.addresses.end;
                 ++address) {
                memory.defined[table].set(static_cast<std::uint16_t>(address), true);
            }
            if (resetValues || isNew) {
                memory.apply(datapoint.ownValue);
            }
        }
    }
}

void RegisterStore::setValue(const Datapoint& datapoint, double value) {
    const Memory::Encoded encoded = Memory::encode(datapoint, value);
    std::lock_guard guard(lock_);
    if (const auto memory = units_.find(datapoint.unitID); memory != units_.end()) {
        memory->second.apply(encoded);
    }
}

std::optional<double> RegisterStore::value(const Datapoint& datapoint) const {
    const AddressRange range = storedAddresses(datapoint);
    std::array<std::uint16_t, 4> words{}; // the widest data type spans four registers
    const auto count = std::min<std::size_t>(datapoint.registerSpan(), words.size());
    {
        std::lock_guard guard(lock_);
        const auto memory = units_.find(datapoint.unitID);
        if (memory == units_.end()) {
            return std::nullopt;
        }
        if (datapoint.table.isBit()) {
            words[0] = memory->second.bits[datapoint.table].get(datapoint.address);
        } else {
            // Registers at or above 65536 are not read and stay 0.
            readInto(memory->second.registers[datapoint.table], range, words);
        }
    }
    if (datapoint.table.isBit()) {
        return words[0] != 0 ? 1.0 : 0.0;
    }
    return ValueCodec::decode(std::span(words.data(), count), datapoint.dataType,
                              datapoint.wordOrder, datapoint.scale);
}

std::optional<ServerUnit::Behaviour> RegisterStore::behaviour(std::uint8_t unit) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return std::nullopt;
    }
    return memory->second.behaviour;
}

std::vector<std::uint8_t> RegisterStore::enabledUnitIDs() const {
    std::vector<std::uint8_t> ids;
    {
        std::lock_guard guard(lock_);
        ids.reserve(units_.size());
        for (const auto& [id, memory] : units_) {
            if (memory.behaviour.enabled) {
                ids.push_back(id);
            }
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool RegisterStore::isAccessible(std::uint8_t unit, RegisterTable table, AddressRange range) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return false;
    }
    // An inverted range names no addresses a request could touch; it is refused like one
    // running out of the address space.
    if (range.start < 0 || range.end > addressSpace || range.start > range.end) {
        return false;
    }
    if (memory->second.behaviour.undefinedAddresses == ServerUnit::UndefinedAddresses::zero) {
        return true;
    }
    return definesAll(memory->second.defined[table], range);
}

std::vector<bool> RegisterStore::readBits(std::uint8_t unit, RegisterTable table,
                                          AddressRange range) const {
    range = clamped(range);
    std::vector<bool> values(static_cast<std::size_t>(range.count()), false);
    std::lock_guard guard(lock_);
    if (const auto memory = units_.find(unit); memory != units_.end()) {
        readInto(memory->second.bits[table], range, values);
    }
    return values;
}

Registers RegisterStore::readRegisters(std::uint8_t unit, RegisterTable table,
                                       AddressRange range) const {
    range = clamped(range);
    Registers values(static_cast<std::size_t>(range.count()), 0);
    std::lock_guard guard(lock_);
    if (const auto memory = units_.find(unit); memory != units_.end()) {
        readInto(memory->second.registers[table], range, values);
    }
    return values;
}

void RegisterStore::writeBits(std::uint8_t unit, RegisterTable table, std::uint16_t start,
                              const std::vector<bool>& values) {
    const std::size_t count = std::min<std::size_t>(values.size(), addressSpace - start);
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return;
    }
    auto& map = memory->second.bits[table];
    for (std::size_t i = 0; i < count; ++i) {
        map.set(static_cast<std::uint16_t>(start + i), values[i]);
    }
}

void RegisterStore::writeRegisters(std::uint8_t unit, RegisterTable table, std::uint16_t start,
                                   std::span<const std::uint16_t> values) {
    const std::size_t count = std::min<std::size_t>(values.size(), addressSpace - start);
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return;
    }
    auto& map = memory->second.registers[table];
    for (std::size_t i = 0; i < count; ++i) {
        map.set(static_cast<std::uint16_t>(start + i), values[i]);
    }
}

std::optional<RegisterStore::Memory> RegisterStore::memory(std::uint8_t unit) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return std::nullopt;
    }
    return memory->second;
}

bool RegisterStore::isFunctionEnabled(std::uint8_t unit, std::uint8_t fc) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    return memory == units_.end() || memory->second.behaviour.functions.test(fc);
}

std::optional<ServedIdentity> RegisterStore::identity(std::uint8_t unit) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return std::nullopt;
    }
    return memory->second.identity;
}

std::optional<UnitDiagnostics> RegisterStore::diagnostics(std::uint8_t unit) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return std::nullopt;
    }
    return memory->second.diagnostics;
}

bool RegisterStore::isListeningOnly(std::uint8_t unit) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    return memory != units_.end() && memory->second.diagnostics.listenOnly;
}

void RegisterStore::resetDiagnostics() {
    std::lock_guard guard(lock_);
    for (auto& [id, memory] : units_) {
        memory.diagnostics = {};
        std::fill(memory.faultCounts.begin(), memory.faultCounts.end(), FaultRule::Counts{});
    }
    reseed();
}

std::vector<FaultRule::Counts> RegisterStore::faultCounts(std::uint8_t unit) const {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end()) {
        return {};
    }
    return memory->second.faultCounts;
}

void RegisterStore::setFaultSeed(std::uint64_t seed) {
    std::lock_guard guard(lock_);
    faultSeed_ = seed;
    reseed();
}

void RegisterStore::useRandomFaultSeed() {
    std::lock_guard guard(lock_);
    faultSeed_.reset();
    reseed();
}

void RegisterStore::reseed() {
    faultRandom_.seed(faultSeed_ ? *faultSeed_ : std::random_device{}());
}

std::optional<RegisterStore::FiredFault>
RegisterStore::fireFaultRule(std::uint8_t unit, const FaultRules::RequestShape& request,
                             double seconds) {
    std::lock_guard guard(lock_);
    const auto memory = units_.find(unit);
    if (memory == units_.end() || memory->second.faultRules.empty()) {
        return std::nullopt;
    }
    Memory& m = memory->second;
    const auto index =
        FaultRules::evaluate(m.faultRules, m.faultCounts, request, seconds, faultRandom_);
    if (!index) {
        return std::nullopt;
    }
    const FaultRule& rule = m.faultRules[*index];
    return FiredFault{*index, rule.name, rule.effect, faultRandom_()};
}

#pragma once

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/ValueCodec.h"
#include "ModbusCore/ValueTypes.h"
#include "ServerCore/FaultRules.h"
#include "ServerCore/MasterReport.h"
#include "ServerCore/ServerUnit.h"
#include "ServerCore/Transport.h"
#include "ServerCore/UnitDiagnostics.h"
#include "ServerCore/UnitIdentity.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Half-open range of protocol addresses, start ..< end. Signed so that a range running past
// 65535 can be expressed and rejected.
struct AddressRange {
    int start = 0;
    int end = 0;

    int count() const { return end - start; }
    bool operator==(const AddressRange&) const = default;
};

// Sparse map from a protocol address (0–65535) to T. Addresses live in pages of 256 that are
// allocated on first use, so memory grows with the address blocks in use, and a lookup is an
// index and a bit test: a 10-register read costs no hashing.
template <class T>
class AddressMap {
public:
    AddressMap() = default;
    AddressMap(const AddressMap& other) { *this = other; }
    AddressMap(AddressMap&&) noexcept = default;
    AddressMap& operator=(AddressMap&&) noexcept = default;
    AddressMap& operator=(const AddressMap& other) {
        if (this != &other) {
            pages_.clear();
            pages_.resize(other.pages_.size());
            for (std::size_t i = 0; i < other.pages_.size(); ++i) {
                if (other.pages_[i]) {
                    pages_[i] = std::make_unique<Page>(*other.pages_[i]);
                }
            }
        }
        return *this;
    }

    bool contains(std::uint16_t address) const {
        const Page* page = pageOf(address);
        return page && page->present.test(address % pageSize);
    }
    // The stored value, or nothing for an address never set.
    std::optional<T> find(std::uint16_t address) const {
        const Page* page = pageOf(address);
        if (!page || !page->present.test(address % pageSize)) {
            return std::nullopt;
        }
        return page->values[address % pageSize];
    }
    // The stored value, or T{} (false, 0) for an address never set.
    T get(std::uint16_t address) const {
        const Page* page = pageOf(address);
        return page ? page->values[address % pageSize] : T{};
    }
    void set(std::uint16_t address, T value) {
        if (pages_.empty()) {
            pages_.resize(pageCount);
        }
        auto& page = pages_[address / pageSize];
        if (!page) {
            page = std::make_unique<Page>();
        }
        page->present.set(address % pageSize);
        page->values[address % pageSize] = value;
    }

    std::size_t size() const {
        std::size_t count = 0;
        for (const auto& page : pages_) {
            count += page ? page->present.count() : 0;
        }
        return count;
    }
    bool empty() const { return size() == 0; }

    // Equal when the same addresses are set to the same values.
    bool operator==(const AddressMap& other) const {
        if (pages_.empty() && other.pages_.empty()) {
            return true;
        }
        for (std::size_t i = 0; i < pageCount; ++i) {
            const Page* a = i < pages_.size() ? pages_[i].get() : nullptr;
            const Page* b = i < other.pages_.size() ? other.pages_[i].get() : nullptr;
            // A page exists only once an address in it was set.
            if (!a || !b) {
                if (a != b) {
                    return false;
                }
            } else if (a->present != b->present || a->values != b->values) {
                return false;
            }
        }
        return true;
    }

private:
    static constexpr std::size_t pageSize = 256;
    static constexpr std::size_t pageCount = Modbus::addressSpace / pageSize;

    struct Page {
        std::bitset<pageSize> present;
        std::array<T, pageSize> values{}; // T{} where not present, so pages compare as wholes
    };

    const Page* pageOf(std::uint16_t address) const {
        return pages_.empty() ? nullptr : pages_[address / pageSize].get();
    }

    std::vector<std::unique_ptr<Page>> pages_; // empty, or one slot per page
};

// One value per Modbus table, indexed by RegisterTable.
template <class T>
using PerTable = std::array<T, 4>;

// The memory of every simulated unit, shared by the application and the engine thread.
// Every operation is atomic under one lock and does nothing under it but map work; a Modbus
// request as a whole is not atomic (the request processor calls several operations).
class RegisterStore {
public:
    // One unit: sparse maps per table (indexed by RegisterTable) and its fault behaviour.
    struct Memory {
        PerTable<AddressMap<bool>> bits;               // coils and discrete inputs that were set
        PerTable<AddressMap<std::uint16_t>> registers; // holding and input registers that were set
        PerTable<AddressMap<bool>> defined;            // set at every address a datapoint covers
        ServerUnit::Behaviour behaviour;
        ServedIdentity identity;
        UnitDiagnostics diagnostics; // kept across configure, reset by resetDiagnostics
        std::vector<FaultRule> faultRules;
        std::vector<FaultRule::Counts> faultCounts; // one per rule

        // A datapoint value already encoded for its table, so that encoding runs outside the lock.
        struct Encoded {
            RegisterTable table = RegisterTable::holdingRegister;
            std::uint16_t address = 0;
            bool bit = false;
            Registers registers; // register tables only
        };
        static Encoded encode(const Datapoint& datapoint, double value);
        // Stores an encoded value; registers at or above 65536 are dropped.
        void apply(const Encoded& encoded);

        bool operator==(const Memory&) const = default;
    };

    RegisterStore() = default;
    RegisterStore(const RegisterStore&) = delete;
    RegisterStore& operator=(const RegisterStore&) = delete;

    // Replaces the whole unit map. With resetValues every unit starts from empty memory and each
    // datapoint's own value; without, values of units that stay are kept and only a datapoint
    // covering an address that was not defined before gets its own value.
    void configure(const std::vector<ServerUnit>& units, const std::vector<Datapoint>& datapoints,
                   bool resetValues);

    // Does nothing when the datapoint's unit is not configured.
    void setValue(const Datapoint& datapoint, double value);
    std::optional<double> value(const Datapoint& datapoint) const;

    std::optional<ServerUnit::Behaviour> behaviour(std::uint8_t unit) const;
    std::vector<std::uint8_t> enabledUnitIDs() const; // ascending

    // May the master access every address of range (the unit's policy for undefined addresses
    // decides)? A range outside 0 ..< 65536 is never accessible.
    bool isAccessible(std::uint8_t unit, RegisterTable table, AddressRange range) const;

    // The caller guarantees 0 <= start <= end <= 65536; unset addresses read as false / 0.
    std::vector<bool> readBits(std::uint8_t unit, RegisterTable table, AddressRange range) const;
    Registers readRegisters(std::uint8_t unit, RegisterTable table, AddressRange range) const;

    // The caller guarantees start + count <= 65536. Ignored for units that are not configured.
    void writeBits(std::uint8_t unit, RegisterTable table, std::uint16_t start,
                   const std::vector<bool>& values);
    void writeRegisters(std::uint8_t unit, RegisterTable table, std::uint16_t start,
                        std::span<const std::uint16_t> values);

    // Is fc switched on for the unit? True for a unit that is not configured.
    bool isFunctionEnabled(std::uint8_t unit, std::uint8_t fc) const;
    std::optional<ServedIdentity> identity(std::uint8_t unit) const;

    std::optional<UnitDiagnostics> diagnostics(std::uint8_t unit) const;
    bool isListeningOnly(std::uint8_t unit) const; // false for a unit that is not configured
    // Runs change on the unit's diagnostics under the lock and gives its result; nothing (and
    // change not run) for a unit that is not configured. change must only do map work.
    template <class Change>
    auto updateDiagnostics(std::uint8_t unit, Change&& change)
        -> std::optional<decltype(change(std::declval<UnitDiagnostics&>()))> {
        std::lock_guard guard(lock_);
        const auto memory = units_.find(unit);
        if (memory == units_.end()) {
            return std::nullopt;
        }
        return change(memory->second.diagnostics);
    }
    // Runs change(diagnostics, behaviour) for every configured unit, enabled or not.
    template <class Change>
    void updateEveryDiagnostics(Change&& change) {
        std::lock_guard guard(lock_);
        for (auto& [id, memory] : units_) {
            change(memory.diagnostics, std::as_const(memory.behaviour));
        }
    }
    // Fresh counters, an empty event log and no listen-only mode, as at power-up; fault rule
    // counts from zero and the fault generator from its seed, so a run can be repeated.
    void resetDiagnostics();

    // How often each of the unit's fault rules matched and fired, in rule order; empty for a unit
    // that is not configured. Counts survive configure for rules that stay the same.
    std::vector<FaultRule::Counts> faultCounts(std::uint8_t unit) const;
    // Seeds the generator of probability schedules and random bytes: the same seed and the same
    // requests give the same faults.
    void setFaultSeed(std::uint64_t seed);
    // A new random seed at every reset: runs differ (the default).
    void useRandomFaultSeed();

    // A fault rule that fired for a request, with a number drawn for the random parts of its
    // effect.
    struct FiredFault {
        std::size_t index = 0;
        std::string name;
        FaultRule::Effect effect;
        std::uint64_t random = 0;
    };
    // Tries the unit's rules on the request (see FaultRules::evaluate) and counts; nothing when
    // none fires or the unit is not configured. Allocates only when a rule fires.
    std::optional<FiredFault>
    fireFaultRule(std::uint8_t unit, const FaultRules::RequestShape& request, double seconds);

    // A copy of one unit's memory, for diagnostics and tests.
    std::optional<Memory> memory(std::uint8_t unit) const;

    // How the masters behave, one report per transport, fed by the engine and the listeners and
    // read by the application; each has a lock of its own and outlives configure and
    // resetDiagnostics (the application resets them at start).
    MasterReport& masterReport(Transport transport = Transport::serial) const {
        return masterReports_[static_cast<std::size_t>(transport)];
    }

private:
    void reseed(); // under the lock

    mutable std::mutex lock_;
    std::unordered_map<std::uint8_t, Memory> units_;
    std::optional<std::uint64_t> faultSeed_; // none: a random one at every reset
    FaultRules::Random faultRandom_{std::random_device{}()};
    mutable std::array<MasterReport, 3> masterReports_; // indexed by Transport
};

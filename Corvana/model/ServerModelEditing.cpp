#include "Corvana/model/ServerModel.h"

#include "Corvana/model/DatapointEditing.h"
#include "Corvana/model/Overlaps.h"
#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/UnitEditing.h"

#include <algorithm>
#include <iterator>
#include <set>

// The document side of the model: setters of the document, live values, editing, applying
// projects and imports, and the autosave.

namespace {

// The datapoint of a list with the given id, or the list's end.
template <class Datapoints>
auto findDatapoint(Datapoints& datapoints, const UUID& id) {
    return std::find_if(datapoints.begin(), datapoints.end(),
                        [&](const Datapoint& p) { return p.id == id; });
}

} // namespace

void ServerModel::setSerial(const SerialConfiguration& serial) {
    if (serial == serial_) {
        return;
    }
    serial_ = serial;
    emit serialChanged();
    refresh();
}

void ServerModel::setUnits(std::vector<ServerUnit> units) {
    units_ = std::move(units);
    emit unitsChanged();
    refresh();
}

void ServerModel::setDatapoints(std::vector<Datapoint> datapoints) {
    datapoints_ = std::move(datapoints);
    emit datapointsChanged();
    refresh();
}

void ServerModel::setSelectedUnitID(std::optional<std::uint8_t> unitID) {
    if (unitID != selectedUnitID_) {
        selectedUnitID_ = unitID;
        emit selectedUnitIDChanged();
    }
}

void ServerModel::setLiveValues(LiveValues values) {
    if (values != liveValues_) {
        liveValues_ = std::move(values);
        emit liveValuesChanged();
    }
}

void ServerModel::setConflicts(std::unordered_set<UUID> conflicts) {
    if (conflicts != conflicts_) {
        conflicts_ = std::move(conflicts);
        emit conflictsChanged();
    }
}

void ServerModel::refresh() {
    updateSimulated();
    setConflicts(Overlaps::compute(datapoints_));
    store_->configure(units_, datapoints_, false);
    if (state_ != ServerState::stopped) {
        const bool complete =
            std::all_of(datapoints_.begin(), datapoints_.end(),
                        [&](const Datapoint& p) { return liveValues_.contains(p.id); });
        if (!complete) {
            LiveValues values = liveValues_;
            for (const Datapoint& datapoint : datapoints_) {
                if (!values.contains(datapoint.id)) {
                    values.emplace(datapoint.id,
                                   store_->value(datapoint).value_or(datapoint.value));
                }
            }
            setLiveValues(std::move(values));
        }
    }
    updateModified();
    scheduleAutosave();
}

void ServerModel::rebuildLiveValues() {
    LiveValues values;
    values.reserve(datapoints_.size());
    for (const Datapoint& datapoint : datapoints_) {
        values[datapoint.id] = store_->value(datapoint).value_or(datapoint.value);
    }
    setLiveValues(std::move(values));
}

double ServerModel::displayValue(const Datapoint& datapoint) const {
    const auto live = liveValues_.find(datapoint.id);
    return live != liveValues_.end() ? live->second : datapoint.value;
}

std::vector<Datapoint> ServerModel::selectedUnitPoints() const {
    std::vector<Datapoint> points;
    if (!selectedUnitID_) {
        return points;
    }
    std::copy_if(datapoints_.begin(), datapoints_.end(), std::back_inserter(points),
                 [&](const Datapoint& p) { return p.unitID == *selectedUnitID_; });
    return points;
}

void ServerModel::setValue(const UUID& id, double value) {
    const auto found = findDatapoint(datapoints_, id);
    if (found == datapoints_.end()) {
        return;
    }
    found->value = value;
    const Datapoint datapoint = *found;
    emit datapointsChanged();
    refresh();
    recordEdit();
    // Read back so the live value shows what the registers hold after clamping and scaling.
    store_->setValue(datapoint, value);
    LiveValues values = liveValues_;
    values[id] = store_->value(datapoint).value_or(value);
    setLiveValues(std::move(values));
}

std::optional<UUID> ServerModel::addDatapoint(std::optional<UUID> after) {
    const auto id = DatapointEditing::addDatapoint(datapoints_, selectedUnitID_, after);
    if (id) {
        emit datapointsChanged();
        refresh();
        recordEdit();
    }
    return id;
}

std::vector<UUID> ServerModel::duplicateDatapoints(const std::vector<UUID>& ids) {
    auto copies = DatapointEditing::duplicate(datapoints_, ids);
    if (!copies.empty()) {
        emit datapointsChanged();
        refresh();
        recordEdit();
    }
    return copies;
}

void ServerModel::deleteDatapoints(const std::unordered_set<UUID>& ids) {
    const std::size_t before = datapoints_.size();
    DatapointEditing::remove(datapoints_, ids);
    if (datapoints_.size() != before) {
        emit datapointsChanged();
    }
    refresh();
    recordEdit();
}

RegisterTable ServerModel::table(const UUID& id) const {
    const auto found = findDatapoint(datapoints_, id);
    return found != datapoints_.end() ? found->table
                                      : RegisterTable(RegisterTable::holdingRegister);
}

void ServerModel::setTable(const UUID& id, RegisterTable table) {
    const auto found = findDatapoint(datapoints_, id);
    if (found == datapoints_.end()) {
        return;
    }
    found->changeTable(table);
    emit datapointsChanged();
    refresh();
    recordEdit();
}

void ServerModel::updateDatapoint(const Datapoint& datapoint) {
    const auto found = findDatapoint(datapoints_, datapoint.id);
    if (found == datapoints_.end() || *found == datapoint) {
        return;
    }
    *found = datapoint;
    if (found->table.isBit()) {
        found->dataType = DataType::bool_; // a bit table holds nothing else
    }
    emit datapointsChanged();
    refresh();
    recordEdit();
}

void ServerModel::updateUnit(const ServerUnit& unit) {
    const auto found = std::find_if(units_.begin(), units_.end(),
                                    [&](const ServerUnit& u) { return u.unitID == unit.unitID; });
    if (found == units_.end() || *found == unit) {
        return;
    }
    // Typing a name or a delay is one step of undo, not one per keystroke.
    std::string mergeKey;
    if (found->name != unit.name) {
        mergeKey = "name " + std::to_string(unit.unitID);
    } else if (found->delayMs != unit.delayMs) {
        mergeKey = "delay " + std::to_string(unit.unitID);
    }
    *found = unit;
    emit unitsChanged();
    refresh();
    recordEdit(mergeKey);
}

void ServerModel::addUnit() {
    const auto address = UnitEditing::lowestFreeAddress(units_);
    if (!address) {
        return;
    }
    ServerUnit unit;
    unit.unitID = *address;
    units_.push_back(unit);
    UnitEditing::sortByAddress(units_);
    emit unitsChanged();
    refresh();
    setSelectedUnitID(address);
    recordEdit();
}

void ServerModel::deleteUnit(std::uint8_t address) {
    const auto removedPoints =
        std::erase_if(datapoints_, [&](const Datapoint& p) { return p.unitID == address; });
    const auto removedUnits =
        std::erase_if(units_, [&](const ServerUnit& u) { return u.unitID == address; });
    if (removedPoints > 0) {
        emit datapointsChanged();
    }
    if (removedUnits > 0) {
        emit unitsChanged();
    }
    refresh();
    if (selectedUnitID_ == address) {
        setSelectedUnitID(firstUnitID());
    }
    recordEdit();
}

bool ServerModel::changeUnitAddress(std::uint8_t from, std::uint8_t to) {
    if (from == to) {
        return true;
    }
    if (!UnitEditing::changeUnitAddress(units_, datapoints_, from, to)) {
        return false;
    }
    emit unitsChanged();
    emit datapointsChanged();
    refresh();
    if (selectedUnitID_ == from) {
        setSelectedUnitID(to);
    }
    recordEdit();
    return true;
}

void ServerModel::setPersistent(bool persistent) {
    persistent_ = persistent;
    preferences_.setPersistent(persistent);
    if (!persistent) {
        autosaveTimer_->stop();
    }
}

void ServerModel::saveAutosave() {
    // Held back after an unreadable autosave, so the example never replaces the user's work
    // unasked.
    if (persistent_ && !autosaveHeld_ && !autosaveBlocked_) {
        // A failed write keeps the previous file; the next change or the exit tries again.
        ProjectFile::writeAutosave(currentProject());
    }
}

void ServerModel::scheduleAutosave() {
    autosaveHeld_ = false; // a change by the user: from now on it is their project
    if (persistent_ && !autosaveBlocked_) {
        autosaveTimer_->start(); // restarting drops the pending write
    }
}

void ServerModel::applicationWillEnd() {
    stop();
    autosaveTimer_->stop();
    saveAutosave();
    // A master still holding its end sees the line hang up; the link goes with the pair.
    if (virtualPort_.isOpen()) {
        virtualPort_.close();
        emit virtualPortChanged();
    }
}

ServerProject ServerModel::currentProject() const {
    return ServerProject{1, serial_, units_, datapoints_, faultSeed_, network_};
}

void ServerModel::applyProject(const ServerProject& project) {
    if (state_ != ServerState::stopped) {
        stop();
    }
    serial_ = project.serial;
    emit serialChanged();
    network_ = project.network;
    emit networkChanged();
    refresh();
    std::vector<ServerUnit> units = project.units;
    UnitEditing::sortByAddress(units);
    setUnits(std::move(units));
    setDatapoints(project.datapoints);
    setSelectedUnitID(firstUnitID());
    faultSeed_ = project.seed;
    if (faultSeed_) {
        store_->setFaultSeed(static_cast<std::uint64_t>(*faultSeed_));
    } else {
        store_->useRandomFaultSeed();
    }
    store_->configure(units_, datapoints_, true);
    setLiveValues({});
    history_.reset(documentState());
    emit historyChanged();
}

void ServerModel::mergeImportedDatapoints(std::vector<Datapoint> imported, bool replace) {
    if (replace) {
        setDatapoints({});
    }
    if (imported.empty()) {
        recordEdit();
        return;
    }

    std::set<std::uint8_t> known;
    for (const ServerUnit& unit : units_) {
        known.insert(unit.unitID);
    }
    std::vector<ServerUnit> units = units_;
    for (const Datapoint& datapoint : imported) {
        if (known.insert(datapoint.unitID).second) {
            ServerUnit unit;
            unit.unitID = datapoint.unitID;
            units.push_back(unit);
        }
    }
    if (units.size() != units_.size()) {
        UnitEditing::sortByAddress(units);
        setUnits(std::move(units));
    }

    // The user sees what arrived: when no imported row is the selected unit's, its first unit.
    const std::uint8_t firstUnit = imported.front().unitID;
    const bool selectedUnitGotRows =
        selectedUnitID_ && std::any_of(imported.begin(), imported.end(), [&](const Datapoint& p) {
            return p.unitID == *selectedUnitID_;
        });
    std::vector<Datapoint> datapoints = datapoints_;
    datapoints.insert(datapoints.end(), std::make_move_iterator(imported.begin()),
                      std::make_move_iterator(imported.end()));
    setDatapoints(std::move(datapoints));
    if (!selectedUnitGotRows) {
        setSelectedUnitID(firstUnit);
    }
    recordEdit();
}

#include "Corvana/model/ServerModel.h"

#include <unordered_map>

// The model's undo history and the project file the work belongs to.

DocumentState ServerModel::documentState() const {
    return DocumentState{units_, datapoints_, selectedUnitID_};
}

void ServerModel::recordEdit(const std::string& mergeKey) {
    const bool couldUndo = history_.canUndo();
    const bool couldRedo = history_.canRedo();
    history_.record(documentState(), mergeKey);
    if (couldUndo != history_.canUndo() || couldRedo != history_.canRedo()) {
        emit historyChanged();
    }
}

void ServerModel::undo() {
    if (const auto state = history_.undo()) {
        restoreDocument(*state);
        emit historyChanged();
    }
}

void ServerModel::redo() {
    if (const auto state = history_.redo()) {
        restoreDocument(*state);
        emit historyChanged();
    }
}

void ServerModel::restoreDocument(const DocumentState& state) {
    std::unordered_map<UUID, double> before;
    before.reserve(datapoints_.size());
    for (const Datapoint& datapoint : datapoints_) {
        before.emplace(datapoint.id, datapoint.value);
    }
    units_ = state.units;
    datapoints_ = state.datapoints;
    emit unitsChanged();
    emit datapointsChanged();
    refresh();
    // The registers take back the values that changed and those of datapoints that return, so
    // the master reads what the table shows.
    LiveValues values = liveValues_;
    for (const Datapoint& datapoint : datapoints_) {
        const auto old = before.find(datapoint.id);
        if (old != before.end() && old->second == datapoint.value) {
            continue;
        }
        store_->setValue(datapoint, datapoint.value);
        values[datapoint.id] = store_->value(datapoint).value_or(datapoint.value);
    }
    setLiveValues(std::move(values));
    setSelectedUnitID(state.selectedUnitID);
}

void ServerModel::setProjectFile(const QString& path, const ServerProject& content) {
    projectPath_ = path;
    savedProject_ = content;
    modified_ = false;
    updateModified();
    emit projectFileChanged();
}

void ServerModel::updateModified() {
    const bool modified = !projectPath_.isEmpty() && currentProject() != savedProject_;
    if (modified != modified_) {
        modified_ = modified;
        emit projectFileChanged();
    }
}

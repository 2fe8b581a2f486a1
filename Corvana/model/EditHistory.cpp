#include "Corvana/model/EditHistory.h"

#include <algorithm>
#include <utility>

namespace {

// The unit to show after stepping from one state to another: a unit that comes back (undoing
// its deletion or renumbering), else the unit the change was made in (for undo the one shown
// when it was made, for redo the one it left selected), else the first.
std::optional<std::uint8_t> selectionAfterStep(const DocumentState& from, const DocumentState& to,
                                               std::optional<std::uint8_t> changedUnit) {
    const auto has = [](const DocumentState& state, std::uint8_t unitID) {
        return std::any_of(state.units.begin(), state.units.end(),
                           [&](const ServerUnit& u) { return u.unitID == unitID; });
    };
    for (const ServerUnit& unit : to.units) {
        if (!has(from, unit.unitID)) {
            return unit.unitID;
        }
    }
    if (changedUnit && has(to, *changedUnit)) {
        return changedUnit;
    }
    if (to.selectedUnitID && has(to, *to.selectedUnitID)) {
        return to.selectedUnitID;
    }
    return to.units.empty() ? std::nullopt : std::optional(to.units.front().unitID);
}

} // namespace

void EditHistory::reset(DocumentState state) {
    states_.clear();
    states_.push_back(std::move(state));
    current_ = 0;
    lastMergeKey_.clear();
}

void EditHistory::record(DocumentState state, const std::string& mergeKey) {
    if (state.sameDocument(states_[current_])) {
        states_[current_].selectedUnitID = state.selectedUnitID;
        return;
    }
    states_.erase(states_.begin() + static_cast<std::ptrdiff_t>(current_) + 1, states_.end());
    const bool merge = !mergeKey.empty() && mergeKey == lastMergeKey_ && current_ > 0;
    if (merge) {
        states_[current_] = std::move(state);
        return;
    }
    states_.push_back(std::move(state));
    ++current_;
    lastMergeKey_ = mergeKey;
    if (states_.size() > maxSteps + 1) {
        states_.erase(states_.begin());
        --current_;
    }
}

std::optional<DocumentState> EditHistory::undo() {
    if (!canUndo()) {
        return std::nullopt;
    }
    lastMergeKey_.clear();
    DocumentState state = states_[current_ - 1];
    state.selectedUnitID =
        selectionAfterStep(states_[current_], state, states_[current_].selectedUnitID);
    --current_;
    return state;
}

std::optional<DocumentState> EditHistory::redo() {
    if (!canRedo()) {
        return std::nullopt;
    }
    lastMergeKey_.clear();
    DocumentState state = states_[current_ + 1];
    state.selectedUnitID = selectionAfterStep(states_[current_], state, state.selectedUnitID);
    ++current_;
    return state;
}

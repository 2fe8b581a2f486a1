#include "Corvana/model/EditHistory.h"

#include <algorithm>
#include <utility>

namespace {

// The unit to show after stepping from one state to another: where the change happened, if that
// unit still exists, else wherever the target state was.
std::optional<std::uint8_t> selectionAfterStep(const DocumentState& from, const DocumentState& to) {
    const auto exists = [&](std::optional<std::uint8_t> unitID) {
        return unitID && std::any_of(to.units.begin(), to.units.end(),
                                     [&](const ServerUnit& u) { return u.unitID == *unitID; });
    };
    if (exists(from.selectedUnitID)) {
        return from.selectedUnitID;
    }
    if (exists(to.selectedUnitID)) {
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
    state.selectedUnitID = selectionAfterStep(states_[current_], state);
    --current_;
    return state;
}

std::optional<DocumentState> EditHistory::redo() {
    if (!canRedo()) {
        return std::nullopt;
    }
    lastMergeKey_.clear();
    DocumentState state = states_[current_ + 1];
    state.selectedUnitID = selectionAfterStep(state, state);
    ++current_;
    return state;
}

#pragma once

#include "ModbusCore/Datapoint.h"
#include "ServerCore/ServerUnit.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The units and datapoints as one edit left them, with the unit the user was looking at.
struct DocumentState {
    std::vector<ServerUnit> units;
    std::vector<Datapoint> datapoints;
    std::optional<std::uint8_t> selectedUnitID;

    // Selection is where the user looked, not part of the document.
    bool sameDocument(const DocumentState& other) const {
        return units == other.units && datapoints == other.datapoints;
    }
};

// Undo and redo of the document as a line of states: each edit records the state it left, undo
// steps back to the one before. Whole states rather than per-edit inverse operations, because
// every edit (renumbering a unit with its datapoints, an import that adds units) then undoes
// exactly, ids and values included, with no inverse to get wrong. Plain C++: the model owns it
// and nothing here needs Qt.
class EditHistory {
public:
    // Steps kept; the oldest go first.
    static constexpr std::size_t maxSteps = 100;

    // Forgets every step; `state` is where undo stops (a project opened or created).
    void reset(DocumentState state);
    // Records the state an edit left. An edit with the same non-empty mergeKey as the one just
    // recorded (typing a unit's name) replaces it, so one undo takes back the whole burst.
    // Unchanged documents record nothing.
    void record(DocumentState state, const std::string& mergeKey = {});

    bool canUndo() const { return current_ > 0; }
    bool canRedo() const { return current_ + 1 < states_.size(); }
    // The state to show after undo or redo; nullopt when there is nothing to step to.
    std::optional<DocumentState> undo();
    std::optional<DocumentState> redo();

private:
    std::vector<DocumentState> states_{DocumentState{}};
    std::size_t current_ = 0;
    std::string lastMergeKey_;
};

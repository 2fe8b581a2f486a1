#include "Corvana/model/ServerState.h"

std::optional<ServerState> ServerState::fromRaw(std::string_view raw) {
    for (const ServerState state : allCases()) {
        if (state.rawValue() == raw) {
            return state;
        }
    }
    return std::nullopt;
}

const std::array<ServerState, 3>& ServerState::allCases() {
    static constexpr std::array<ServerState, 3> cases{stopped, running, serialLost};
    return cases;
}

std::string_view ServerState::rawValue() const {
    switch (value) {
    case stopped:
        return "stopped";
    case running:
        return "running";
    case serialLost:
        return "serialLost";
    }
    return "stopped";
}

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// Where the server stands. running: the engine reported that it serves the port; serialLost: the
// port vanished while serving and the model waits for it to come back.
struct ServerState {
    enum Value : std::uint8_t { stopped, running, serialLost };

    constexpr ServerState(Value v)
        : value(v) {}
    constexpr operator Value() const { return value; }

    static std::optional<ServerState> fromRaw(std::string_view raw);
    static const std::array<ServerState, 3>& allCases();
    std::string_view rawValue() const;

    Value value;
};

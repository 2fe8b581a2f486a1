#pragma once

#include <cstdint>

// Where the server stands. running: the engine reported that it serves the port; serialLost: the
// port vanished while serving and the model waits for it to come back.
enum class ServerState : std::uint8_t { stopped, running, serialLost };

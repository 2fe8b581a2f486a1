#pragma once

#include "Corvana/model/NetworkConfiguration.h"

#include "ModbusCore/Datapoint.h"
#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/ServerUnit.h"

#include <cstdint>
#include <optional>
#include <vector>

// Everything the user edits: line and network settings, units and the datapoints of all units.
struct ServerProject {
    int version = 1;
    SerialConfiguration serial;
    std::vector<ServerUnit> units;
    std::vector<Datapoint> datapoints;
    // Seeds the fault rules' generator, so a run can be repeated; none: a new one every run.
    std::optional<std::int64_t> seed = {};
    NetworkConfiguration network = {};

    bool operator==(const ServerProject&) const = default;

    // One unit at address 1 with seven datapoints and no overlaps, named in the current language,
    // each with a fresh id.
    static ServerProject example();
};

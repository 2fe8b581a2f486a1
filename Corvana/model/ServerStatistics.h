#pragma once

#include <cstdint>

struct ServerEvent;

// Traffic counters since the last start or log clear.
struct ServerStatistics {
    std::int64_t requests = 0;
    std::int64_t responses = 0;
    std::int64_t exceptions = 0; // exception answers, also counted in responses
    std::int64_t otherUnits = 0; // requests for addresses that are not simulated
    std::int64_t errors = 0;     // stretches of invalid data
    std::int64_t faults = 0;     // fault rules that fired

    // Counts one engine event; true when a counter changed.
    bool count(const ServerEvent& event);

    bool operator==(const ServerStatistics&) const = default;
};

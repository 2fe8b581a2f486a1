// Persisted records come from files the user may have edited by hand: reading any JSON must
// either fail with DecodingError or give a record that survives writing and reading again.

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/JSONFields.h"
#include "ServerCore/FaultRule.h"
#include "ServerCore/ServerUnit.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace {

// NaN never equals itself; treat two NaNs as the same value so only real changes count.
void alignNaN(double& a, double& b) {
    if (std::isnan(a) && std::isnan(b)) {
        a = b = 0;
    }
}

bool sameRecord(Datapoint a, Datapoint b) {
    alignNaN(a.scale, b.scale);
    alignNaN(a.value, b.value);
    alignNaN(a.simulation.minimum, b.simulation.minimum);
    alignNaN(a.simulation.maximum, b.simulation.maximum);
    alignNaN(a.simulation.period, b.simulation.period);
    return a == b;
}

bool sameRecord(const ServerUnit& a, const ServerUnit& b) {
    return a == b;
}

bool sameRecord(const FaultRule& a, const FaultRule& b) {
    return a == b;
}

template <class Record>
void checkRoundTrip(const nlohmann::json& json, const char* what) {
    Record record;
    try {
        record = Record::fromJSON(json);
    } catch (const DecodingError&) {
        return;
    }
    const auto again = Record::fromJSON(nlohmann::json::parse(record.toJSON().dump()));
    if (!sameRecord(record, again)) {
        std::fprintf(stderr, "%s changed on the way through JSON:\n%s\n%s\n", what,
                     record.toJSON().dump().c_str(), again.toJSON().dump().c_str());
        std::abort();
    }
}

void check(const nlohmann::json& json) {
    checkRoundTrip<Datapoint>(json, "datapoint");
    checkRoundTrip<ServerUnit>(json, "unit");
    checkRoundTrip<FaultRule>(json, "fault rule");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) {
        return 0;
    }
    check(json);
    // Project files hold records in lists and nested objects; try those elements too.
    if (json.is_structured()) {
        for (const auto& element : json) {
            check(element);
        }
    }
    return 0;
}

// Project files as the model reads them: the bounded JSON reader, then the records. Any input
// must be read or refused without a crash, in time and memory in proportion to its size;
// scripts/fuzz runs this target with inputs up to the 64 MiB file limit under a memory and a
// per-input time limit, which a reader slower than linear or a tree without bounds exceeds.

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/JSONFields.h"
#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/ServerUnit.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// The model's limits: a 64 MiB file, four levels of nesting used, 16 bytes of text per value.
constexpr JSONFields::ParseLimits limits{.maxDepth = 16, .maxValues = (64 << 20) / 16};

template <class Record>
void decodeAll(const nlohmann::json& root, const char* key) {
    const auto list = root.find(key);
    if (list == root.end() || !list->is_array() || list->size() > maxDatapoints) {
        return;
    }
    for (const auto& element : *list) {
        try {
            (void)Record::fromJSON(element);
        } catch (const DecodingError&) {
            return; // the whole file is refused
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nlohmann::json root;
    try {
        root = JSONFields::parseBounded(std::string_view(reinterpret_cast<const char*>(data), size),
                                        limits);
    } catch (const DecodingError&) {
        return 0;
    }
    if (!root.is_object()) {
        return 0;
    }
    if (const auto serial = root.find("serial"); serial != root.end()) {
        try {
            (void)SerialConfiguration::fromJSON(*serial);
        } catch (const DecodingError&) {
        }
    }
    decodeAll<ServerUnit>(root, "units");
    decodeAll<Datapoint>(root, "datapoints");
    return 0;
}

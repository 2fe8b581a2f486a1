#pragma once

#include "ModbusCore/Bytes.h"

#include <nlohmann/json_fwd.hpp>

#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The function codes a unit can be told to lack, ascending.
const std::vector<std::uint8_t>& supportedFunctionCodes();
using FunctionSet = std::bitset<256>;
FunctionSet allSupportedFunctions();

// What a unit tells about itself: report server ID (17), read exception status (07) and the
// device identification objects (43 / 14). The server ID and the model name follow the unit's
// address and name unless the user set them.
struct UnitIdentity {
    // The largest text one device identification answer carries (253 − 7 header − 2 per object).
    static constexpr std::size_t maxObjectLength = 244;
    // Report server ID: byte count + server ID + run indicator + additional data within one PDU.
    static constexpr std::size_t maxServerIDData = 251;
    static constexpr int firstPrivateObject = 0x80;

    std::optional<Bytes> serverID; // none: the unit ID as one byte
    bool runIndicator = true;
    std::string additionalData = defaultAdditionalData();
    std::uint8_t exceptionStatus = 0;
    std::string vendorName = "Corvana";
    std::string productCode = "CORVANA-SIM";
    std::string revision = defaultRevision();
    std::string vendorURL;
    std::string productName = "Corvana";
    std::optional<std::string> modelName; // none: the unit's name
    std::string userApplicationName;
    std::map<std::uint8_t, std::string> privateObjects; // 0x80–0xFF

    static std::string defaultAdditionalData();
    static std::string defaultRevision();

    bool operator==(const UnitIdentity&) const = default;

    // Only the keys that differ from the defaults; empty when nothing does.
    nlohmann::json toJSON() const;
    // Throws DecodingError for a wrong type, a bad hex text, a private object outside 128–255 or
    // a text longer than one answer carries.
    static UnitIdentity fromJSON(const nlohmann::json& json);
};

// The identity as a unit serves it: defaults resolved, every object ID 0x00–0xFF with its text
// where the unit has that object.
struct ServedIdentity {
    Bytes serverID;
    bool runIndicator = true;
    std::string additionalData;
    std::uint8_t exceptionStatus = 0;
    std::map<std::uint8_t, std::string> objects;

    bool operator==(const ServedIdentity&) const = default;
};

ServedIdentity serve(const UnitIdentity& identity, std::uint8_t unitID, const std::string& name);

// Parses hex text ("0A1B", "0a 1b"); none for odd digits, other characters or no bytes.
std::optional<Bytes> bytesFromHex(std::string_view text);

#include "ModbusSerial/SerialConfiguration.h"

#include "Localization/EnumCases.h"
#include "ModbusCore/JSONFields.h"
#include "ModbusCore/SerialTiming.h"

#include <nlohmann/json.hpp>

#include <limits>

std::optional<Parity> Parity::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<Parity, 3>& Parity::allCases() {
    static constexpr std::array<Parity, 3> cases = {none, even, odd};
    return cases;
}

std::string_view Parity::rawValue() const {
    static constexpr std::array<std::string_view, 3> names = {"none", "even", "odd"};
    return names[value];
}

char Parity::letter() const {
    static constexpr std::array<char, 3> letters = {'N', 'E', 'O'};
    return letters[value];
}

std::string SerialConfiguration::frameText() const {
    return std::to_string(dataBits) + parity.letter() + std::to_string(stopBits);
}

std::string SerialConfiguration::summary() const {
    return std::to_string(baudRate) + ' ' + frameText();
}

int SerialConfiguration::characterBits() const {
    // Counted as the device is set up: 7 or 8 data bits, one or two stop bits.
    return SerialTiming::characterBits(dataBits == 7 ? 7 : 8, parity != Parity::none,
                                       stopBits == 2 ? 2 : 1);
}

nlohmann::json SerialConfiguration::toJSON() const {
    return {{"baudRate", baudRate},
            {"dataBits", dataBits},
            {"parity", std::string(parity.rawValue())},
            {"stopBits", stopBits}};
}

SerialConfiguration SerialConfiguration::fromJSON(const nlohmann::json& json) {
    constexpr std::int64_t lowest = std::numeric_limits<int>::min();
    constexpr std::int64_t highest = std::numeric_limits<int>::max();
    JSONFields::requireObject(json, "serial");
    std::string parityText = JSONFields::requiredString(json, "parity");
    auto parity = Parity::fromRaw(parityText);
    if (!parity) {
        throw DecodingError("unknown value '" + parityText + "' for \"parity\"");
    }
    return {
        .baudRate =
            static_cast<int>(JSONFields::requiredInteger(json, "baudRate", lowest, highest)),
        .dataBits =
            static_cast<int>(JSONFields::requiredInteger(json, "dataBits", lowest, highest)),
        .parity = *parity,
        .stopBits =
            static_cast<int>(JSONFields::requiredInteger(json, "stopBits", lowest, highest)),
    };
}

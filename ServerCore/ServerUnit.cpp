#include "ServerCore/ServerUnit.h"

#include "Localization/EnumCases.h"
#include "ModbusCore/JSONFields.h"
#include "ServerCore/UnitIdentity.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

constexpr std::array<std::string_view, 4> faultRawValues{"none", "noResponse", "exception",
                                                         "badCRC"};
constexpr std::array<std::string_view, 2> policyRawValues{"exception", "zero"};

FunctionSet functionSet(const std::vector<std::uint8_t>& codes) {
    FunctionSet set;
    for (const auto code : codes) {
        set.set(code);
    }
    return set;
}

std::vector<std::uint8_t> decodeFunctions(const nlohmann::json& list) {
    if (!list.is_array()) {
        throw DecodingError("\"functions\" is not a list");
    }
    const FunctionSet supported = allSupportedFunctions();
    FunctionSet chosen;
    for (const auto& item : list) {
        if (!item.is_number_integer() || item.get<std::int64_t>() < 0 ||
            item.get<std::int64_t>() > 255 || !supported.test(item.get<std::size_t>())) {
            throw DecodingError("\"functions\" holds " + item.dump() +
                                ", which is no function code a unit serves");
        }
        chosen.set(item.get<std::size_t>());
    }
    std::vector<std::uint8_t> codes;
    for (const auto code : supportedFunctionCodes()) {
        if (chosen.test(code)) {
            codes.push_back(code);
        }
    }
    return codes;
}

std::vector<FaultRule> decodeFaultRules(const nlohmann::json& list) {
    if (!list.is_array()) {
        throw DecodingError("\"faultRules\" is not a list");
    }
    std::vector<FaultRule> rules;
    rules.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        try {
            rules.push_back(FaultRule::fromJSON(list[i]));
        } catch (const DecodingError& error) {
            throw DecodingError("fault rule " + std::to_string(i + 1) + ": " + error.what());
        }
    }
    return rules;
}

} // namespace

std::optional<ServerUnit::Fault> ServerUnit::Fault::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<ServerUnit::Fault, 4>& ServerUnit::Fault::allCases() {
    static constexpr std::array<Fault, 4> cases{none, noResponse, exception, badCRC};
    return cases;
}

std::string_view ServerUnit::Fault::rawValue() const {
    return faultRawValues[value];
}

std::optional<ServerUnit::UndefinedAddresses>
ServerUnit::UndefinedAddresses::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<ServerUnit::UndefinedAddresses, 2>& ServerUnit::UndefinedAddresses::allCases() {
    static constexpr std::array<UndefinedAddresses, 2> cases{exception, zero};
    return cases;
}

std::string_view ServerUnit::UndefinedAddresses::rawValue() const {
    return policyRawValues[value];
}

ServerUnit::Behaviour ServerUnit::behaviour() const {
    return Behaviour{
        .enabled = enabled,
        .fault = fault,
        .exceptionCode = exceptionCode,
        // A negative delay, which the record keeps as typed, means no delay.
        .delay = std::max(delayMs, 0) / 1000.0,
        .undefinedAddresses = undefinedAddresses,
        .functions = functionSet(functions),
    };
}

ServedIdentity ServerUnit::servedIdentity() const {
    return serve(identity, unitID, name);
}

nlohmann::json ServerUnit::toJSON() const {
    nlohmann::json json = nlohmann::json::object();
    json["unitID"] = unitID;
    json["name"] = name;
    json["enabled"] = enabled;
    json["fault"] = std::string(fault.rawValue());
    json["exceptionCode"] = exceptionCode.rawValue();
    json["delayMs"] = delayMs;
    json["undefinedAddresses"] = std::string(undefinedAddresses.rawValue());
    if (functions != supportedFunctionCodes()) {
        json["functions"] = functions;
    }
    if (auto identityJSON = identity.toJSON(); !identityJSON.empty()) {
        json["identity"] = std::move(identityJSON);
    }
    if (!faultRules.empty()) {
        nlohmann::json rules = nlohmann::json::array();
        for (const auto& rule : faultRules) {
            rules.push_back(rule.toJSON());
        }
        json["faultRules"] = std::move(rules);
    }
    return json;
}

ServerUnit ServerUnit::fromJSON(const nlohmann::json& json) {
    using namespace JSONFields;
    const auto& object = requireObject(json, "unit");

    ServerUnit unit;
    unit.unitID = static_cast<std::uint8_t>(requiredInteger(object, "unitID", 0, 255));
    unit.name = optionalString(object, "name").value_or(unit.name);
    unit.enabled = optionalBool(object, "enabled").value_or(unit.enabled);
    unit.fault = optionalEnum<Fault>(object, "fault").value_or(unit.fault);
    if (auto code = optionalInteger(object, "exceptionCode", 0, 255)) {
        auto exception = ModbusException::fromRaw(static_cast<std::uint8_t>(*code));
        if (!exception) {
            throw DecodingError("\"exceptionCode\" " + std::to_string(*code) +
                                " is not a Modbus exception code");
        }
        unit.exceptionCode = *exception;
    }
    unit.delayMs =
        static_cast<int>(optionalInteger(object, "delayMs", std::numeric_limits<int>::min(),
                                         std::numeric_limits<int>::max())
                             .value_or(unit.delayMs));
    unit.undefinedAddresses = optionalEnum<UndefinedAddresses>(object, "undefinedAddresses")
                                  .value_or(unit.undefinedAddresses);
    if (const auto list = object.find("functions"); list != object.end() && !list->is_null()) {
        unit.functions = decodeFunctions(*list);
    }
    if (const auto identity = object.find("identity");
        identity != object.end() && !identity->is_null()) {
        unit.identity = UnitIdentity::fromJSON(*identity);
    }
    if (const auto rules = object.find("faultRules"); rules != object.end() && !rules->is_null()) {
        unit.faultRules = decodeFaultRules(*rules);
    }
    return unit;
}

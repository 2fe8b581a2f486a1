#include "ServerCore/FaultRule.h"

#include "Localization/EnumCases.h"
#include "ModbusCore/JSONFields.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;
using Kind = FaultRule::Schedule::Kind;
using EffectKind = FaultRule::Effect::Kind;

constexpr std::array<std::string_view, 7> scheduleRawValues{
    "always", "everyNth", "probability", "firstN", "afterN", "window", "periodic"};
constexpr std::array<std::string_view, 15> effectRawValues{
    "noResponse", "exception",  "badCRC",        "delay",       "byteDelay",
    "truncate",   "wrongUnit",  "wrongFunction", "fewerValues", "extraBytes",
    "duplicate",  "staleReply", "noise",         "early",       "corruptData"};

constexpr int maxAddress = 65535;
constexpr int maxQuantity = 65535;
constexpr int maxByte = FaultRule::maxByte;
constexpr int maxMilliseconds = FaultRule::maxMilliseconds;
constexpr std::int64_t maxCount = FaultRule::maxCount;

DecodingError outOfRange(std::string_view key, const std::string& range) {
    return DecodingError("\"" + std::string(key) + "\" must be " + range);
}

int integerIn(const json& object, std::string_view key, int fallback, std::int64_t minimum,
              std::int64_t maximum) {
    return static_cast<int>(
        JSONFields::optionalInteger(object, key, minimum, maximum).value_or(fallback));
}

// An integer that must be given for the kind (its default would be out of range).
int requiredIn(const json& object, std::string_view key, std::int64_t minimum,
               std::int64_t maximum) {
    return static_cast<int>(JSONFields::requiredInteger(object, key, minimum, maximum));
}

double seconds(const json& object, std::string_view key) {
    const double value = JSONFields::requiredNumber(object, key);
    if (value < 0) {
        throw outOfRange(key, "0 seconds or more");
    }
    return value;
}

void checkBounds(const std::optional<int>& from, const std::optional<int>& to,
                 std::string_view fromKey, std::string_view toKey) {
    if (from && to && *from > *to) {
        throw DecodingError("\"" + std::string(fromKey) + "\" must not be above \"" +
                            std::string(toKey) + "\"");
    }
}

std::optional<int> bound(const json& object, std::string_view key, int maximum) {
    if (auto value = JSONFields::optionalInteger(object, key, 0, maximum)) {
        return static_cast<int>(*value);
    }
    return std::nullopt;
}

FaultRule::Match decodeMatch(const json& json) {
    const auto& object = JSONFields::requireObject(json, "match");
    FaultRule::Match match;
    if (const auto list = object.find("functions"); list != object.end() && !list->is_null()) {
        if (!list->is_array()) {
            throw DecodingError("\"functions\" is not a list");
        }
        for (const auto& item : *list) {
            if (!item.is_number_integer() || item.get<std::int64_t>() < 1 ||
                item.get<std::int64_t>() > maxByte) {
                throw outOfRange("functions", "a list of function codes from 1 to 255");
            }
            match.functions.push_back(item.get<std::uint8_t>());
        }
    }
    match.addressFrom = bound(object, "addressFrom", maxAddress);
    match.addressTo = bound(object, "addressTo", maxAddress);
    match.quantityFrom = bound(object, "quantityFrom", maxQuantity);
    match.quantityTo = bound(object, "quantityTo", maxQuantity);
    checkBounds(match.addressFrom, match.addressTo, "addressFrom", "addressTo");
    checkBounds(match.quantityFrom, match.quantityTo, "quantityFrom", "quantityTo");
    return match;
}

FaultRule::Schedule decodeSchedule(const json& json) {
    const auto& object = JSONFields::requireObject(json, "schedule");
    FaultRule::Schedule schedule;
    const auto kind = JSONFields::optionalEnum<Kind>(object, "kind");
    if (!kind) {
        throw DecodingError("missing \"kind\" of the schedule");
    }
    schedule.kind = *kind;
    switch (schedule.kind) {
    case Kind::always:
        break;
    case Kind::everyNth:
    case Kind::firstN:
    case Kind::afterN:
        schedule.n = requiredIn(object, "n", 1, maxCount);
        break;
    case Kind::probability:
        schedule.probability = JSONFields::requiredNumber(object, "probability");
        if (schedule.probability < 0 || schedule.probability > 1) {
            throw outOfRange("probability", "from 0 to 1");
        }
        break;
    case Kind::window:
        schedule.from = seconds(object, "from");
        schedule.to = seconds(object, "to");
        if (!(schedule.from < schedule.to)) {
            throw outOfRange("from", "below \"to\"");
        }
        break;
    case Kind::periodic:
        schedule.on = seconds(object, "on");
        schedule.period = seconds(object, "period");
        if (!(schedule.on > 0) || schedule.on > schedule.period) {
            throw outOfRange("on", "above 0 and not above \"period\"");
        }
        break;
    }
    return schedule;
}

FaultRule::Effect decodeEffect(const json& json) {
    const auto& object = JSONFields::requireObject(json, "effect");
    FaultRule::Effect effect;
    const auto kind = JSONFields::optionalEnum<EffectKind>(object, "kind");
    if (!kind) {
        throw DecodingError("missing \"kind\" of the effect");
    }
    effect.kind = *kind;
    switch (effect.kind) {
    case EffectKind::noResponse:
        effect.dropRequest = JSONFields::optionalBool(object, "dropRequest").value_or(false);
        break;
    case EffectKind::exception:
    case EffectKind::wrongFunction:
        effect.code = requiredIn(object, "code", 1, maxByte);
        break;
    case EffectKind::delay:
    case EffectKind::byteDelay:
        effect.ms = integerIn(object, "ms", 0, 0, maxMilliseconds);
        break;
    case EffectKind::truncate:
        effect.bytes = requiredIn(object, "bytes", 1, maxCount);
        break;
    case EffectKind::extraBytes:
    case EffectKind::noise:
        effect.bytes = requiredIn(object, "bytes", 1, maxByte);
        break;
    case EffectKind::wrongUnit:
        effect.unitID = requiredIn(object, "unitID", 0, maxByte);
        break;
    case EffectKind::fewerValues:
        effect.count = requiredIn(object, "count", 1, maxCount);
        break;
    case EffectKind::badCRC:
    case EffectKind::duplicate:
    case EffectKind::staleReply:
    case EffectKind::early:
    case EffectKind::corruptData:
        break;
    }
    return effect;
}

json encodeMatch(const FaultRule::Match& match) {
    json object = json::object();
    if (!match.functions.empty()) {
        object["functions"] = match.functions;
    }
    const std::pair<const char*, const std::optional<int>*> bounds[] = {
        {"addressFrom", &match.addressFrom},
        {"addressTo", &match.addressTo},
        {"quantityFrom", &match.quantityFrom},
        {"quantityTo", &match.quantityTo},
    };
    for (const auto& [key, value] : bounds) {
        if (*value) {
            object[key] = **value;
        }
    }
    return object;
}

json encodeSchedule(const FaultRule::Schedule& schedule) {
    json object = json::object();
    object["kind"] = std::string(schedule.kind.rawValue());
    switch (schedule.kind) {
    case Kind::always:
        break;
    case Kind::everyNth:
    case Kind::firstN:
    case Kind::afterN:
        object["n"] = schedule.n;
        break;
    case Kind::probability:
        object["probability"] = schedule.probability;
        break;
    case Kind::window:
        object["from"] = schedule.from;
        object["to"] = schedule.to;
        break;
    case Kind::periodic:
        object["on"] = schedule.on;
        object["period"] = schedule.period;
        break;
    }
    return object;
}

json encodeEffect(const FaultRule::Effect& effect) {
    json object = json::object();
    object["kind"] = std::string(effect.kind.rawValue());
    switch (effect.kind) {
    case EffectKind::noResponse:
        object["dropRequest"] = effect.dropRequest;
        break;
    case EffectKind::exception:
    case EffectKind::wrongFunction:
        object["code"] = effect.code;
        break;
    case EffectKind::delay:
    case EffectKind::byteDelay:
        object["ms"] = effect.ms;
        break;
    case EffectKind::truncate:
    case EffectKind::extraBytes:
    case EffectKind::noise:
        object["bytes"] = effect.bytes;
        break;
    case EffectKind::wrongUnit:
        object["unitID"] = effect.unitID;
        break;
    case EffectKind::fewerValues:
        object["count"] = effect.count;
        break;
    case EffectKind::badCRC:
    case EffectKind::duplicate:
    case EffectKind::staleReply:
    case EffectKind::early:
    case EffectKind::corruptData:
        break;
    }
    return object;
}

} // namespace

std::optional<FaultRule::Schedule::Kind> FaultRule::Schedule::Kind::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<FaultRule::Schedule::Kind, 7>& FaultRule::Schedule::Kind::allCases() {
    static constexpr std::array<Kind, 7> cases{always, everyNth, probability, firstN,
                                               afterN, window,   periodic};
    return cases;
}

std::string_view FaultRule::Schedule::Kind::rawValue() const {
    return scheduleRawValues[value];
}

std::optional<FaultRule::Effect::Kind> FaultRule::Effect::Kind::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<FaultRule::Effect::Kind, 15>& FaultRule::Effect::Kind::allCases() {
    static constexpr std::array<Kind, 15> cases{noResponse,  exception,  badCRC,     delay,
                                                byteDelay,   truncate,   wrongUnit,  wrongFunction,
                                                fewerValues, extraBytes, duplicate,  staleReply,
                                                noise,       early,      corruptData};
    return cases;
}

std::string_view FaultRule::Effect::Kind::rawValue() const {
    return effectRawValues[value];
}

nlohmann::json FaultRule::toJSON() const {
    json object = json::object();
    object["name"] = name;
    object["enabled"] = enabled;
    if (auto encoded = encodeMatch(match); !encoded.empty()) {
        object["match"] = std::move(encoded);
    }
    object["schedule"] = encodeSchedule(schedule);
    object["effect"] = encodeEffect(effect);
    return object;
}

FaultRule FaultRule::fromJSON(const nlohmann::json& json) {
    const auto& object = JSONFields::requireObject(json, "fault rule");
    FaultRule rule;
    rule.name = JSONFields::optionalString(object, "name").value_or(rule.name);
    rule.enabled = JSONFields::optionalBool(object, "enabled").value_or(rule.enabled);
    if (const auto match = object.find("match"); match != object.end() && !match->is_null()) {
        rule.match = decodeMatch(*match);
    }
    if (const auto schedule = object.find("schedule");
        schedule != object.end() && !schedule->is_null()) {
        rule.schedule = decodeSchedule(*schedule);
    }
    const auto effect = object.find("effect");
    if (effect == object.end() || effect->is_null()) {
        throw DecodingError("missing \"effect\"");
    }
    rule.effect = decodeEffect(*effect);
    return rule;
}

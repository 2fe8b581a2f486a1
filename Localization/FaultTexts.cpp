#include "Localization/FaultTexts.h"

#include "Localization/L10n.h"
#include "Localization/TextLookup.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace L10n::Faults {

using Catalogue::countText;
using Catalogue::fill;
using Catalogue::text;

namespace {

constexpr std::array<std::string_view, 8> requestKinds = {"any",
                                                          "readCoils",
                                                          "readDiscreteInputs",
                                                          "readHoldingRegisters",
                                                          "readInputRegisters",
                                                          "writeCoils",
                                                          "writeHoldingRegisters",
                                                          "functions"};
constexpr std::array<std::string_view, 7> scheduleKinds = {
    "always", "everyNth", "probability", "firstN", "afterN", "window", "periodic"};
constexpr std::array<std::string_view, 15> effectKinds = {
    "noResponse", "exception",  "badCRC",        "delay",       "byteDelay",
    "truncate",   "wrongUnit",  "wrongFunction", "fewerValues", "extraBytes",
    "duplicate",  "staleReply", "noise",         "early",       "corruptData"};
constexpr std::array<std::string_view, 6> presetNames = {"dropTenPercent",   "everyFifthBadCRC",
                                                         "busyPeriodically", "lateReply",
                                                         "slowBytes",        "wrongUnit"};

template <std::size_t N>
std::string_view nameAt(const std::array<std::string_view, N>& names, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N
               ? names[static_cast<std::size_t>(index)]
               : std::string_view();
}

template <std::size_t N>
std::string indexed(std::string_view key, const std::array<std::string_view, N>& names, int index) {
    const std::string_view name = nameAt(names, index);
    return name.empty() ? std::string() : text(std::string(key) + "." + std::string(name));
}

std::string twoDigits(int code) {
    std::array<char, 8> digits{};
    std::snprintf(digits.data(), digits.size(), "%02d", code);
    return digits.data();
}

} // namespace

std::string requests(int kind, bool plural, std::string_view codes) {
    const std::string_view name = nameAt(requestKinds, kind);
    if (name.empty()) {
        return {};
    }
    const std::string key = "Faults.requests." + std::string(name) + (plural ? ".other" : ".one");
    return fill(key, {{"codes", codes}});
}

std::string range(std::string_view from, std::string_view to) {
    if (from.empty() && to.empty()) {
        return {};
    }
    if (to.empty()) {
        return fill("Faults.range.from", {{"from", from}});
    }
    if (from.empty()) {
        return fill("Faults.range.upTo", {{"to", to}});
    }
    if (from == to) {
        return std::string(from);
    }
    return fill("Faults.range.between", {{"from", from}, {"to", to}});
}

std::string atAddresses(std::string_view what, std::string_view range, bool namesTable) {
    return fill(namesTable ? "Faults.tableAddresses" : "Faults.atAddresses",
                {{"what", what}, {"range", range}});
}

std::string withQuantity(std::string_view what, std::string_view range) {
    return fill("Faults.quantityRange", {{"what", what}, {"range", range}});
}

// English needs four endings; the other languages give all four the same text.
std::string ordinal(int n) {
    const int lastTwo = n % 100;
    const int last = n % 10;
    std::string_view form = "other";
    if (lastTwo < 11 || lastTwo > 13) {
        form = last == 1 ? "one" : last == 2 ? "two" : last == 3 ? "few" : "other";
    }
    return fill("Faults.ordinal." + std::string(form), {{"n", std::to_string(n)}});
}

std::string seconds(std::string_view value) {
    return fill("Faults.seconds", {{"value", value}});
}

std::string percent(std::string_view value) {
    return fill("Faults.percent", {{"value", value}});
}

std::string always(std::string_view one) {
    return fill("Faults.when.always", {{"what", one}});
}

std::string everyNth(int n, std::string_view one) {
    if (n <= 1) {
        return always(one);
    }
    return fill("Faults.when.everyNth", {{"nth", ordinal(n)}, {"what", one}});
}

std::string probability(std::string_view percent, std::string_view many) {
    return fill("Faults.when.probability", {{"percent", percent}, {"what", many}});
}

std::string firstN(int n, std::string_view one, std::string_view many) {
    return countText("Faults.when.firstN", n, {{"what", n == 1 ? one : many}});
}

std::string afterN(int n, std::string_view one) {
    return countText("Faults.when.afterN", n, {{"what", one}});
}

std::string window(std::string_view from, std::string_view to, std::string_view one) {
    return fill("Faults.when.window", {{"from", from}, {"to", to}, {"what", one}});
}

std::string periodic(std::string_view on, std::string_view period, std::string_view one) {
    return fill("Faults.when.periodic", {{"on", on}, {"period", period}, {"what", one}});
}

std::string effect(int kind, int amount, bool dropRequest) {
    const std::string_view name = nameAt(effectKinds, kind);
    if (name.empty()) {
        return {};
    }
    const std::string key = "Faults.effect." + std::string(name);
    const std::string number = std::to_string(amount);
    switch (kind) {
    case 0:
        return text(dropRequest ? "Faults.effect.noResponseDropped" : key);
    case 1: {
        const auto code = static_cast<std::uint8_t>(amount);
        return fill(key, {{"code", twoDigits(amount)}, {"name", Modbus::exceptionName(code)}});
    }
    case 5:  // truncate
    case 8:  // fewerValues
    case 9:  // extraBytes
    case 12: // noise
        return countText(key, amount);
    case 3: // delay
    case 4: // byteDelay
    case 6: // wrongUnit
    case 7: // wrongFunction
        return fill(key, {{"value", number}});
    default:
        return text(key);
    }
}

std::string summary(std::string_view when, std::string_view effect) {
    return fill("Faults.summary", {{"when", when}, {"effect", effect}});
}

std::string scheduleName(int kind) {
    return indexed("Faults.scheduleName", scheduleKinds, kind);
}

std::string effectName(int kind) {
    return indexed("Faults.effectName", effectKinds, kind);
}

std::string presetName(int index) {
    return indexed("Faults.preset", presetNames, index);
}

std::string presetHint(int index) {
    return indexed("Faults.presetHint", presetNames, index);
}

std::string ruleCount(int count, int on) {
    return countText("Faults.ruleCount", count, {{"on", std::to_string(on)}});
}

std::string invalidFunctionCodes(std::string_view text) {
    return fill("Faults.invalidFunctionCodes", {{"text", text}});
}

std::string invalidBound(std::string_view text) {
    return fill("Faults.invalidBound", {{"text", text}});
}

// Constant keys: name() returns the text of "Faults.name".
#define FAULT_TEXT(name)                                                                           \
    std::string name() {                                                                           \
        return text("Faults." #name);                                                              \
    }

FAULT_TEXT(title)
FAULT_TEXT(noRules)
FAULT_TEXT(add)
FAULT_TEXT(addHint)
FAULT_TEXT(emptyRule)
FAULT_TEXT(presets)
FAULT_TEXT(edit)
FAULT_TEXT(editHint)
FAULT_TEXT(duplicate)
FAULT_TEXT(remove)
FAULT_TEXT(moveUp)
FAULT_TEXT(moveDown)
FAULT_TEXT(columnOn)
FAULT_TEXT(columnName)
FAULT_TEXT(columnRule)
FAULT_TEXT(columnFired)
FAULT_TEXT(firedHint)
FAULT_TEXT(newRuleName)
FAULT_TEXT(editorTitle)
FAULT_TEXT(name)
FAULT_TEXT(enabled)
FAULT_TEXT(match)
FAULT_TEXT(functionCodes)
FAULT_TEXT(functionCodesHint)
FAULT_TEXT(all)
FAULT_TEXT(any)
FAULT_TEXT(addresses)
FAULT_TEXT(quantity)
FAULT_TEXT(from)
FAULT_TEXT(to)
FAULT_TEXT(schedule)
FAULT_TEXT(kind)
FAULT_TEXT(n)
FAULT_TEXT(probabilityField)
FAULT_TEXT(windowFrom)
FAULT_TEXT(windowTo)
FAULT_TEXT(on)
FAULT_TEXT(period)
FAULT_TEXT(effectField)
FAULT_TEXT(exceptionCode)
FAULT_TEXT(functionCode)
FAULT_TEXT(milliseconds)
FAULT_TEXT(byteGap)
FAULT_TEXT(byteCount)
FAULT_TEXT(unitID)
FAULT_TEXT(valueCount)
FAULT_TEXT(dropRequest)
FAULT_TEXT(dropRequestHint)
FAULT_TEXT(summaryLabel)
FAULT_TEXT(secondsSuffix)
FAULT_TEXT(percentSuffix)
FAULT_TEXT(fromAboveTo)
FAULT_TEXT(windowEmpty)
FAULT_TEXT(onLongerThanPeriod)

#undef FAULT_TEXT

} // namespace L10n::Faults

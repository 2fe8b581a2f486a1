#include "Corvana/model/FaultRuleSummary.h"

#include "Corvana/model/FaultRuleEditing.h"

#include "Localization/FaultTexts.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace FaultRuleSummary {
namespace {

namespace Faults = L10n::Faults;

// The request kinds of Faults::requests.
enum RequestKind : int {
    anyRequest = 0,
    readCoils = 1, // 1–4: the read of that table, in function code order
    writeCoils = 5,
    writeHoldingRegisters = 6,
    functionList = 7,
};

constexpr std::uint8_t writeSingleCoil = 5;
constexpr std::uint8_t writeSingleRegister = 6;
constexpr std::uint8_t writeMultipleCoils = 15;
constexpr std::uint8_t writeMultipleRegisters = 16;

// The plainest noun for the function codes a rule matches.
int requestKind(const std::vector<std::uint8_t>& codes) {
    if (codes.empty()) {
        return anyRequest;
    }
    if (codes.size() == 1 && codes.front() >= 1 && codes.front() <= 4) {
        return readCoils + codes.front() - 1;
    }
    const auto onlyOf = [&](std::uint8_t single, std::uint8_t multiple) {
        return std::all_of(codes.begin(), codes.end(),
                           [&](std::uint8_t c) { return c == single || c == multiple; });
    };
    if (onlyOf(writeSingleCoil, writeMultipleCoils)) {
        return writeCoils;
    }
    if (onlyOf(writeSingleRegister, writeMultipleRegisters)) {
        return writeHoldingRegisters;
    }
    return functionList;
}

std::string number(const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string();
}

// Up to `decimals` places, without trailing zeros.
std::string decimal(double value, int decimals, std::string_view separator) {
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, value);
    std::string text = buffer.data();
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    if (const auto point = text.find('.'); point != std::string::npos) {
        text.replace(point, 1, separator);
    }
    return text;
}

// The noun of the match, singular or plural, narrowed to its addresses and quantities.
std::string requests(const FaultRule::Match& match, bool plural) {
    const int kind = requestKind(match.functions);
    std::string what =
        Faults::requests(kind, plural, FaultRuleEditing::functionCodesText(match.functions));
    const std::string addresses = Faults::range(number(match.addressFrom), number(match.addressTo));
    if (!addresses.empty()) {
        const bool namesTable = kind != anyRequest && kind != functionList;
        what = Faults::atAddresses(what, addresses, namesTable);
    }
    const std::string quantity =
        Faults::range(number(match.quantityFrom), number(match.quantityTo));
    if (!quantity.empty()) {
        what = Faults::withQuantity(what, quantity);
    }
    return what;
}

} // namespace

std::string whenText(const FaultRule& rule, std::string_view separator) {
    const std::string one = requests(rule.match, false);
    const FaultRule::Schedule& schedule = rule.schedule;
    const auto seconds = [&](double value) {
        return Faults::seconds(decimal(value, 3, separator));
    };
    using Kind = FaultRule::Schedule::Kind;
    switch (schedule.kind) {
    case Kind::always:
        break;
    case Kind::everyNth:
        return Faults::everyNth(schedule.n, one);
    case Kind::probability:
        return Faults::probability(
            Faults::percent(decimal(schedule.probability * 100, 2, separator)),
            requests(rule.match, true));
    case Kind::firstN:
        return Faults::firstN(schedule.n, one, requests(rule.match, true));
    case Kind::afterN:
        return Faults::afterN(schedule.n, one);
    case Kind::window:
        return Faults::window(seconds(schedule.from), seconds(schedule.to), one);
    case Kind::periodic:
        return Faults::periodic(seconds(schedule.on), seconds(schedule.period), one);
    }
    return Faults::always(one);
}

std::string effectText(const FaultRule::Effect& effect) {
    using Kind = FaultRule::Effect::Kind;
    int amount = 0;
    switch (effect.kind) {
    case Kind::exception:
    case Kind::wrongFunction:
        amount = effect.code;
        break;
    case Kind::delay:
    case Kind::byteDelay:
        amount = effect.ms;
        break;
    case Kind::truncate:
    case Kind::extraBytes:
    case Kind::noise:
        amount = effect.bytes;
        break;
    case Kind::wrongUnit:
        amount = effect.unitID;
        break;
    case Kind::fewerValues:
        amount = effect.count;
        break;
    default:
        break;
    }
    return Faults::effect(effect.kind.value, amount, effect.dropRequest);
}

std::string text(const FaultRule& rule, std::string_view separator) {
    return Faults::summary(whenText(rule, separator), effectText(rule.effect));
}

} // namespace FaultRuleSummary

#include "Corvana/model/FaultRuleEditing.h"

#include "Localization/FaultTexts.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace FaultRuleEditing {

std::size_t insert(std::vector<FaultRule>& rules, FaultRule rule,
                   std::optional<std::size_t> after) {
    const std::size_t index = after && *after < rules.size() ? *after + 1 : rules.size();
    rules.insert(rules.begin() + static_cast<std::ptrdiff_t>(index), std::move(rule));
    return index;
}

std::optional<std::size_t> duplicate(std::vector<FaultRule>& rules, std::size_t index) {
    if (index >= rules.size()) {
        return std::nullopt;
    }
    FaultRule copy = rules[index];
    return insert(rules, std::move(copy), index);
}

bool remove(std::vector<FaultRule>& rules, std::size_t index) {
    if (index >= rules.size()) {
        return false;
    }
    rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

std::optional<std::size_t> move(std::vector<FaultRule>& rules, std::size_t index, int offset) {
    if (index >= rules.size() || offset == 0) {
        return std::nullopt;
    }
    const auto last = static_cast<std::ptrdiff_t>(rules.size()) - 1;
    const auto target =
        std::clamp(static_cast<std::ptrdiff_t>(index) + offset, std::ptrdiff_t{0}, last);
    if (target == static_cast<std::ptrdiff_t>(index)) {
        return std::nullopt;
    }
    const auto from = rules.begin() + static_cast<std::ptrdiff_t>(index);
    const auto to = rules.begin() + target;
    if (target < static_cast<std::ptrdiff_t>(index)) {
        std::rotate(to, from, from + 1);
    } else {
        std::rotate(from, from + 1, to + 1);
    }
    return static_cast<std::size_t>(target);
}

bool replace(std::vector<FaultRule>& rules, std::size_t index, const FaultRule& rule) {
    if (index >= rules.size() || rules[index] == rule) {
        return false;
    }
    rules[index] = rule;
    return true;
}

bool setEnabled(std::vector<FaultRule>& rules, std::size_t index, bool enabled) {
    if (index >= rules.size() || rules[index].enabled == enabled) {
        return false;
    }
    rules[index].enabled = enabled;
    return true;
}

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Digits only, no sign: a whole number up to `maximum`.
std::optional<int> parseNumber(std::string_view text, int maximum) {
    int value = 0;
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > maximum) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::vector<std::uint8_t>> parseFunctionCodes(std::string_view text) {
    std::vector<std::uint8_t> codes;
    std::size_t position = 0;
    while (position <= text.size()) {
        const std::size_t end = text.find_first_of(", ;", position);
        const std::string_view item =
            trimmed(text.substr(position, end == std::string_view::npos ? end : end - position));
        if (!item.empty()) {
            const auto code = parseNumber(item, maxFunctionCode);
            if (!code || *code < 1) {
                return std::nullopt;
            }
            codes.push_back(static_cast<std::uint8_t>(*code));
        }
        if (end == std::string_view::npos) {
            break;
        }
        position = end + 1;
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

std::string functionCodesText(const std::vector<std::uint8_t>& codes) {
    std::string text;
    for (const std::uint8_t code : codes) {
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(code);
    }
    return text;
}

bool parseBound(std::string_view text, std::optional<int>& bound) {
    text = trimmed(text);
    if (text.empty()) {
        bound.reset();
        return true;
    }
    const auto value = parseNumber(text, maxBound);
    if (value) {
        bound = value;
    }
    return value.has_value();
}

std::optional<std::string> problem(const FaultRule& rule) {
    const auto inverted = [](const std::optional<int>& from, const std::optional<int>& to) {
        return from && to && *from > *to;
    };
    if (inverted(rule.match.addressFrom, rule.match.addressTo) ||
        inverted(rule.match.quantityFrom, rule.match.quantityTo)) {
        return L10n::Faults::fromAboveTo();
    }
    using Kind = FaultRule::Schedule::Kind;
    const FaultRule::Schedule& schedule = rule.schedule;
    if (schedule.kind == Kind::window && !(schedule.to > schedule.from)) {
        return L10n::Faults::windowEmpty();
    }
    if (schedule.kind == Kind::periodic && (!(schedule.on > 0) || schedule.on > schedule.period)) {
        return L10n::Faults::onLongerThanPeriod();
    }
    return std::nullopt;
}

} // namespace FaultRuleEditing

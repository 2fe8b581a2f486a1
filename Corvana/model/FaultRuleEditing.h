#pragma once

#include "ServerCore/FaultRule.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A unit's list of fault rules, as pure functions the model applies to one unit, and the checks
// and parsers of the rule editor. Each change answers whether the list changed; the caller then
// refreshes the store and records one step of undo.
namespace FaultRuleEditing {

// Inserts after `after` (at the end without it or when it is past the end); the new index.
std::size_t insert(std::vector<FaultRule>& rules, FaultRule rule,
                   std::optional<std::size_t> after = std::nullopt);
// A copy right after the original; its index, or nullopt for an unknown index.
std::optional<std::size_t> duplicate(std::vector<FaultRule>& rules, std::size_t index);
bool remove(std::vector<FaultRule>& rules, std::size_t index);
// Moves the rule `offset` places (−1 up, +1 down), as far as the list allows; the new index, or
// nullopt when nothing moved.
std::optional<std::size_t> move(std::vector<FaultRule>& rules, std::size_t index, int offset);
bool replace(std::vector<FaultRule>& rules, std::size_t index, const FaultRule& rule);
bool setEnabled(std::vector<FaultRule>& rules, std::size_t index, bool enabled);

// Function codes a rule may name; the file holds any byte above 0.
inline constexpr int maxFunctionCode = FaultRule::maxByte;
inline constexpr int maxBound = 65535;

// "3, 16" or "3 16": the codes in ascending order without repeats; empty text is every code.
// nullopt for anything else, or a code outside 1…255.
std::optional<std::vector<std::uint8_t>> parseFunctionCodes(std::string_view text);
std::string functionCodesText(const std::vector<std::uint8_t>& codes);
// An address or quantity bound into `bound`: empty text leaves it open. False, leaving `bound`
// alone, for anything but a whole number 0…65535.
bool parseBound(std::string_view text, std::optional<int>& bound);

// Why the rule cannot be used, in the user's language; nullopt when it is fine. Covers what the
// editor's fields cannot prevent by themselves: bounds in the wrong order, an empty window, a
// period shorter than its on-time.
std::optional<std::string> problem(const FaultRule& rule);

} // namespace FaultRuleEditing

#include "Corvana/model/ServerModel.h"

#include "Corvana/model/FaultRuleEditing.h"

#include <algorithm>

// The fault rules of the units. Every change goes through refresh, which configures the store:
// a running engine reads the new rules with its next request.

bool ServerModel::editFaultRules(std::uint8_t unit,
                                 const std::function<bool(std::vector<FaultRule>&)>& edit) {
    const auto found = std::find_if(units_.begin(), units_.end(),
                                    [&](const ServerUnit& u) { return u.unitID == unit; });
    if (found == units_.end() || !edit(found->faultRules)) {
        return false;
    }
    emit unitsChanged();
    refresh();
    recordEdit();
    return true;
}

std::optional<std::size_t> ServerModel::insertFaultRule(std::uint8_t unit, FaultRule rule,
                                                        std::optional<std::size_t> after) {
    std::optional<std::size_t> index;
    editFaultRules(unit, [&](std::vector<FaultRule>& rules) {
        index = FaultRuleEditing::insert(rules, std::move(rule), after);
        return true;
    });
    return index;
}

std::optional<std::size_t> ServerModel::duplicateFaultRule(std::uint8_t unit, std::size_t index) {
    std::optional<std::size_t> copy;
    editFaultRules(unit, [&](std::vector<FaultRule>& rules) {
        copy = FaultRuleEditing::duplicate(rules, index);
        return copy.has_value();
    });
    return copy;
}

void ServerModel::removeFaultRule(std::uint8_t unit, std::size_t index) {
    editFaultRules(unit, [&](std::vector<FaultRule>& rules) {
        return FaultRuleEditing::remove(rules, index);
    });
}

std::optional<std::size_t> ServerModel::moveFaultRule(std::uint8_t unit, std::size_t index,
                                                      int offset) {
    std::optional<std::size_t> moved;
    editFaultRules(unit, [&](std::vector<FaultRule>& rules) {
        moved = FaultRuleEditing::move(rules, index, offset);
        return moved.has_value();
    });
    return moved;
}

void ServerModel::replaceFaultRule(std::uint8_t unit, std::size_t index, const FaultRule& rule) {
    editFaultRules(unit, [&](std::vector<FaultRule>& rules) {
        return FaultRuleEditing::replace(rules, index, rule);
    });
}

void ServerModel::setFaultRuleEnabled(std::uint8_t unit, std::size_t index, bool enabled) {
    editFaultRules(unit, [&](std::vector<FaultRule>& rules) {
        return FaultRuleEditing::setEnabled(rules, index, enabled);
    });
}

bool ServerModel::setFaultRules(std::uint8_t unit, std::vector<FaultRule> rules) {
    const bool known = std::any_of(units_.begin(), units_.end(),
                                   [&](const ServerUnit& u) { return u.unitID == unit; });
    editFaultRules(unit, [&](std::vector<FaultRule>& current) {
        if (current == rules) {
            return false;
        }
        current = std::move(rules);
        return true;
    });
    return known;
}

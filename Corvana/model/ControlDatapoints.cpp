#include "Corvana/model/ControlCommands.h"

#include "Corvana/model/ControlRequest.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/model/ValueEntry.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"

#include <algorithm>
#include <cmath>

// get and set of one datapoint's value, as the value cell of the window shows and takes it.

using namespace ControlRequest;

namespace {

bool isBitValue(const Datapoint& datapoint) {
    return datapoint.table.isBit() || datapoint.dataType == DataType::bool_;
}

// The text a JSON value stands for when typed into the value cell: numbers in C notation.
std::string typedText(const nlohmann::json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "true" : "false";
    }
    if (value.is_number()) {
        return value.dump();
    }
    throw RequestError(L10n::Control::invalidKey("value"));
}

} // namespace

const Datapoint& ControlCommands::findDatapoint(const nlohmann::json& request) const {
    const std::uint8_t unit = findUnit(request).unitID;
    const std::string unitText = std::to_string(unit);
    const auto& all = model_.datapoints();
    if (const nlohmann::json* name = find(request, "name")) {
        const std::string wanted = text(*name, "name");
        const auto matches = [&](const Datapoint& point) {
            return point.unitID == unit && point.name == wanted;
        };
        const auto first = std::find_if(all.begin(), all.end(), matches);
        if (first == all.end()) {
            throw RequestError(L10n::Control::unknownName(unitText, wanted));
        }
        if (std::find_if(std::next(first), all.end(), matches) != all.end()) {
            throw RequestError(L10n::Control::ambiguousName(unitText, wanted));
        }
        return *first;
    }
    const nlohmann::json* tableKey = find(request, "table");
    if (tableKey == nullptr) {
        throw RequestError(L10n::Control::missingKey("name"));
    }
    const std::string tableName = text(*tableKey, "table");
    const auto table = RegisterTable::fromRaw(tableName);
    if (!table) {
        throw RequestError(L10n::Control::unknownTable(tableName));
    }
    const auto address = integer(require(request, "address"), "address", 0, 65535);
    // A datapoint starting there, else one whose registers cover the address.
    const Datapoint* covering = nullptr;
    for (const Datapoint& point : all) {
        if (point.unitID != unit || point.table != *table) {
            continue;
        }
        if (point.address == address) {
            return point;
        }
        const auto [first, last] = point.addressRange();
        if (covering == nullptr && first <= address && address <= last) {
            covering = &point;
        }
    }
    if (covering == nullptr) {
        throw RequestError(L10n::Control::noDatapointAt(
            unitText, L10n::Table::tableName(static_cast<int>(table->value)),
            std::to_string(address)));
    }
    return *covering;
}

nlohmann::json ControlCommands::describe(const Datapoint& datapoint) const {
    const double shown = model_.displayValue(datapoint);
    nlohmann::json json = {
        {"unit", datapoint.unitID},
        {"name", datapoint.name},
        {"table", datapoint.table.rawValue()},
        {"address", datapoint.address},
        {"dataType", datapoint.dataType.rawValue()},
        {"value", shown},
        {"text", datapoint.displayText(shown, ServerModel::localeDecimalSeparator())},
        {"engineeringUnit", datapoint.engineeringUnit},
        {"simulated", datapoint.simulation.kind != Simulation::Kind::none},
    };
    if (datapoint.table.isBit()) {
        json["bit"] = shown != 0;
    } else {
        json["registers"] = datapoint.registersFor(shown);
    }
    return json;
}

nlohmann::json ControlCommands::get(const nlohmann::json& request) const {
    allowOnly(request, {"unit", "name", "table", "address"});
    return describe(findDatapoint(request));
}

nlohmann::json ControlCommands::set(const nlohmann::json& request) {
    allowOnly(request, {"unit", "name", "table", "address", "value"});
    const Datapoint datapoint = findDatapoint(request);
    const nlohmann::json& given = require(request, "value");
    const std::string typed = typedText(given);
    const std::string separator = ServerModel::localeDecimalSeparator();
    // Numbers of the request are written with a point; typed text may use the user's separator.
    std::optional<double> value;
    std::string usedSeparator = ".";
    if (given.is_boolean() && isBitValue(datapoint)) {
        value = given.get<bool>() ? 1.0 : 0.0;
    } else if (given.is_number()) {
        const double number = given.get<double>();
        const auto [minimum, maximum] = ValueEntry::valueRange(datapoint);
        const bool fits = isBitValue(datapoint)
                              ? number == 0 || number == 1
                              : std::isfinite(number) && number >= minimum && number <= maximum;
        if (fits) {
            value = number;
        }
    } else {
        value = datapoint.parseInput(typed, separator);
        usedSeparator = separator;
        if (!value && separator != ".") {
            value = datapoint.parseInput(typed, ".");
            usedSeparator = ".";
        }
    }
    if (!value) {
        const auto problem = ValueEntry::problem(datapoint, typed, separator);
        throw RequestError(problem.value_or(L10n::Control::invalidKey("value")));
    }
    const auto rounded = ValueEntry::roundingNote(datapoint, typed, *value, usedSeparator);
    model_.setValue(datapoint.id, *value);
    const auto& all = model_.datapoints();
    const auto updated = std::find_if(
        all.begin(), all.end(), [&](const Datapoint& point) { return point.id == datapoint.id; });
    nlohmann::json reply = describe(updated != all.end() ? *updated : datapoint);
    if (rounded) {
        reply["note"] = *rounded;
    } else if (datapoint.simulation.kind != Simulation::Kind::none) {
        reply["note"] = L10n::Log::simulatedValue();
    }
    return reply;
}

#include "Corvana/model/ControlCommands.h"

#include "Corvana/model/ControlProtocol.h"
#include "Corvana/model/ControlRequest.h"
#include "Corvana/model/FaultRuleEditing.h"
#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"
#include "ModbusCore/JSONFields.h"

#include <QFileInfo>

#include <algorithm>

using namespace ControlRequest;

namespace {

constexpr std::string_view stateNames[] = {"stopped", "running", "serialLost"};

nlohmann::json statisticsJSON(const ServerStatistics& statistics) {
    return {{"requests", statistics.requests},     {"responses", statistics.responses},
            {"exceptions", statistics.exceptions}, {"otherUnits", statistics.otherUnits},
            {"errors", statistics.errors},         {"faults", statistics.faults}};
}

// The unit's settings as the project file holds them; its rules are listed by "rules".
nlohmann::json unitSettings(const ServerUnit& unit) {
    nlohmann::json json = unit.toJSON();
    json.erase("faultRules");
    json["faultRuleCount"] = unit.faultRules.size();
    return json;
}

} // namespace

ControlCommands::ControlCommands(ServerModel& model)
    : model_(model) {}

ControlCommands::Outcome ControlCommands::execute(const nlohmann::json& request) {
    Outcome outcome;
    const std::string command = request.value("command", std::string());
    try {
        if (command == "status") {
            allowOnly(request, {});
            outcome.reply = status();
        } else if (command == "get") {
            outcome.reply = get(request);
        } else if (command == "set") {
            outcome.reply = set(request);
        } else if (command == "unit") {
            outcome.reply = unit(request);
        } else if (command == "rules") {
            outcome.reply = rules(request);
        } else if (command == "project") {
            outcome.reply = project(request);
        } else if (command == "report" || command == "resetReport") {
            allowOnly(request, {});
            outcome.reply = report(command == "resetReport");
        } else if (command == "log") {
            allowOnly(request, {});
            outcome.reply = nlohmann::json::object();
            outcome.subscribe = true;
        } else if (command == "stop") {
            allowOnly(request, {});
            outcome.reply = nlohmann::json::object();
            outcome.stop = true;
        } else {
            throw RequestError(L10n::Control::unknownCommand(command));
        }
        outcome.reply = ControlProtocol::okReply(std::move(outcome.reply));
    } catch (const std::exception& error) {
        // RequestError carries its sentence; anything else is a request of the wrong shape.
        const auto* known = dynamic_cast<const RequestError*>(&error);
        outcome = Outcome{ControlProtocol::errorReply(
            known != nullptr ? std::string(known->what()) : L10n::Control::notAnObject())};
    }
    if (const auto id = request.find("id"); id != request.end()) {
        outcome.reply["id"] = *id;
    }
    return outcome;
}

nlohmann::json ControlCommands::status() const {
    nlohmann::json units = nlohmann::json::array();
    for (const ServerUnit& unit : model_.units()) {
        nlohmann::json settings = unitSettings(unit);
        settings["datapointCount"] =
            std::count_if(model_.datapoints().begin(), model_.datapoints().end(),
                          [&](const Datapoint& point) { return point.unitID == unit.unitID; });
        units.push_back(std::move(settings));
    }
    nlohmann::json listeners = nlohmann::json::array();
    for (const ServerSession::Listener& listener : model_.listeners()) {
        listeners.push_back({{"transport", std::string(rawValue(listener.transport))},
                             {"address", listener.address},
                             {"clients", model_.clientCount(listener.transport)}});
    }
    nlohmann::json transports = nlohmann::json::object();
    for (const Transport transport : {Transport::serial, Transport::tcp, Transport::rtuOverTCP}) {
        transports[std::string(rawValue(transport))] = statisticsJSON(model_.statistics(transport));
    }
    return {
        {"state", stateNames[static_cast<std::size_t>(model_.state())]},
        {"port", model_.selectedPath().toStdString()},
        {"serial", model_.serial().toJSON()},
        {"network", model_.network().toJSON()},
        {"listeners", std::move(listeners)},
        {"projectFile", model_.projectPath().toStdString()},
        {"units", std::move(units)},
        {"statistics", statisticsJSON(model_.statistics())},
        {"transports", std::move(transports)},
    };
}

const ServerUnit& ControlCommands::findUnit(const nlohmann::json& request) const {
    const auto address = integer(require(request, "unit"), "unit", 0, 255);
    const auto& units = model_.units();
    const auto found = std::find_if(units.begin(), units.end(),
                                    [&](const ServerUnit& u) { return u.unitID == address; });
    if (found == units.end()) {
        throw RequestError(L10n::Control::unknownUnit(std::to_string(address)));
    }
    return *found;
}

nlohmann::json ControlCommands::unit(const nlohmann::json& request) {
    allowOnly(request, {"unit", "enabled", "fault", "exceptionCode", "delayMs",
                        "undefinedAddresses", "name", "functions", "identity"});
    nlohmann::json merged = findUnit(request).toJSON();
    for (const auto& [key, value] : request.items()) {
        if (key == "command" || key == "id" || key == "unit") {
            continue;
        }
        // The window offers no negative delay and no way to clear a setting.
        if (value.is_null() || (key == "delayMs" && value.is_number() && value < 0)) {
            throw RequestError(L10n::Control::invalidKey(key));
        }
        merged[key] = value;
    }
    ServerUnit changed;
    try {
        changed = ServerUnit::fromJSON(merged);
    } catch (const DecodingError& error) {
        throw RequestError(L10n::Control::invalidUnitSettings(error.what()));
    }
    model_.updateUnit(changed);
    return {{"unit", unitSettings(changed)}};
}

nlohmann::json ControlCommands::rules(const nlohmann::json& request) {
    allowOnly(request, {"unit", "set"});
    const std::uint8_t unitID = findUnit(request).unitID;
    if (const nlohmann::json* list = find(request, "set")) {
        if (!list->is_array()) {
            throw RequestError(L10n::Control::invalidKey("set"));
        }
        std::vector<FaultRule> rules;
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::string number = std::to_string(i + 1);
            try {
                rules.push_back(FaultRule::fromJSON((*list)[i]));
            } catch (const DecodingError& error) {
                throw RequestError(L10n::Control::invalidRules(number, error.what()));
            }
            if (const auto problem = FaultRuleEditing::problem(rules.back())) {
                throw RequestError(L10n::Control::invalidRules(number, *problem));
            }
        }
        model_.setFaultRules(unitID, std::move(rules));
    }
    const ServerUnit& current = findUnit(request); // the rules just set, if any
    const std::vector<FaultRule::Counts> counts = model_.faultCounts(unitID);
    nlohmann::json list = nlohmann::json::array();
    nlohmann::json countList = nlohmann::json::array();
    for (std::size_t i = 0; i < current.faultRules.size(); ++i) {
        list.push_back(current.faultRules[i].toJSON());
        const FaultRule::Counts count = i < counts.size() ? counts[i] : FaultRule::Counts{};
        countList.push_back({{"matched", count.matched}, {"fired", count.fired}});
    }
    return {{"unit", unitID}, {"rules", std::move(list)}, {"counts", std::move(countList)}};
}

nlohmann::json ControlCommands::project(const nlohmann::json& request) {
    allowOnly(request, {"load", "path"});
    const nlohmann::json* inline_ = find(request, "load");
    const nlohmann::json* path = find(request, "path");
    if (inline_ == nullptr && path == nullptr) {
        const QByteArray file = ProjectFile::encode(model_.currentProject());
        return {{"project", nlohmann::json::parse(file.begin(), file.end())},
                {"projectFile", model_.projectPath().toStdString()}};
    }
    if (inline_ != nullptr && path != nullptr) {
        throw RequestError(L10n::Control::unknownKey("path"));
    }
    std::optional<ServerProject> loaded;
    QString file;
    if (path != nullptr) {
        file = QString::fromStdString(text(*path, "path"));
        loaded = ProjectFile::read(file);
        if (!loaded) {
            throw RequestError(L10n::Errors::cannotRead(QFileInfo(file).fileName().toStdString()));
        }
    } else {
        if (!inline_->is_object()) {
            throw RequestError(L10n::Control::invalidKey("load"));
        }
        QString reason;
        const std::string bytes = inline_->dump();
        loaded = ProjectFile::decode(QByteArray::fromStdString(bytes), &reason);
        if (!loaded) {
            throw RequestError(L10n::Control::invalidProject(reason.toStdString()));
        }
    }
    // As Open: the server stops for the new project; a script's server then serves it again.
    const bool wasServing = model_.state() != ServerState::stopped;
    model_.applyProject(*loaded);
    model_.setProjectFile(file, model_.currentProject());
    if (wasServing) {
        model_.start();
    }
    return {{"restarted", wasServing}};
}

nlohmann::json ControlCommands::report(bool reset) {
    if (reset) {
        model_.resetMasterReport();
        return nlohmann::json::object();
    }
    return {{"report", model_.masterReport()}};
}

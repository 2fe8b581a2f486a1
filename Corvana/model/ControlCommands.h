#pragma once

#include "ModbusCore/Datapoint.h"
#include "ServerCore/ServerUnit.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

class ServerModel;

// The commands of the control socket, run on the main thread against the model through the
// same operations the window uses: every change is one step of undo, a running server sees it
// with its next request, and the engine is never waited for. Replies carry "ok"; failed ones an
// "error" sentence in the user's language, and a failed command changes nothing.
class ControlCommands {
public:
    struct Outcome {
        nlohmann::json reply;
        bool subscribe = false; // from now on the client gets every log line
        bool stop = false;      // the client asked the application to stop, after the reply
    };

    // The model must outlive the commands.
    explicit ControlCommands(ServerModel& model);

    // One decoded request (an object with a text "command"). Never throws.
    Outcome execute(const nlohmann::json& request);

private:
    nlohmann::json status() const;
    nlohmann::json get(const nlohmann::json& request) const;
    nlohmann::json set(const nlohmann::json& request);
    nlohmann::json unit(const nlohmann::json& request);
    nlohmann::json rules(const nlohmann::json& request);
    nlohmann::json project(const nlohmann::json& request);
    nlohmann::json report(bool reset);

    // The unit a request names by "unit"; refused when the project has none of that address.
    const ServerUnit& findUnit(const nlohmann::json& request) const;
    // The datapoint a request names by "name" or by "table" and "address" in its "unit".
    const Datapoint& findDatapoint(const nlohmann::json& request) const;
    // The reply fields of a datapoint: where it is, its value as the window shows it, and its
    // registers or bit.
    nlohmann::json describe(const Datapoint& datapoint) const;

    ServerModel& model_;
};

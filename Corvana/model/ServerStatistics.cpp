#include "Corvana/model/ServerStatistics.h"

#include "Corvana/model/LogLines.h"

#include "ServerCore/ServerEvent.h"

bool ServerStatistics::count(const ServerEvent& event) {
    if (const auto* response = event.as<ServerEvent::Response>()) {
        ++responses;
        if (LogLines::isExceptionPDU(response->pdu)) {
            ++exceptions;
        }
    } else if (event.is<ServerEvent::Request>() || event.is<ServerEvent::Broadcast>()) {
        ++requests;
    } else if (event.is<ServerEvent::OtherUnit>()) {
        ++otherUnits;
    } else if (event.is<ServerEvent::Garbage>()) {
        ++errors;
    } else if (event.is<ServerEvent::FaultFired>()) {
        ++faults;
    } else {
        return false;
    }
    return true;
}

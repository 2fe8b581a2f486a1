#include "ModbusSerial/SerialLinkError.h"

#include "Localization/L10n.h"

#include <cstring>

namespace {

// strerror_r comes in two flavours: GNU returns the text, XSI fills the buffer.
[[maybe_unused]] const char* errorText(const char* text, const char*) {
    return text;
}
[[maybe_unused]] const char* errorText(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}

// Debian gives serial adapters to "dialout"; a port owned by root's group has no group to join.
std::string accessMessage(const std::string& path, const std::string& group) {
    if (group.empty() || group == "root") {
        return L10n::Errors::portAccessDeniedNoGroup(path);
    }
    return L10n::Errors::portAccessDenied(path, group);
}

std::string messageFor(SerialLinkError::Case kind, const std::string& path, int number,
                       const std::string& group) {
    namespace E = L10n::Errors;
    switch (kind) {
    case SerialLinkError::invalidPath:
        return E::invalidPort(path);
    case SerialLinkError::openFailed:
        return E::cannotOpen(path, SerialLinkError::systemText(number));
    case SerialLinkError::busy:
        return E::portBusy(path);
    case SerialLinkError::busyProbing:
        return E::portBusyProbing(path);
    case SerialLinkError::accessDenied:
        return accessMessage(path, group);
    case SerialLinkError::configurationFailed:
        return E::configureFailed(SerialLinkError::systemText(number) + ".");
    case SerialLinkError::unsupportedBaudRate:
        return E::unsupportedBaudRate(number);
    case SerialLinkError::writeFailed:
        return E::sendingFailed(SerialLinkError::systemText(number) + ".");
    case SerialLinkError::notOpen:
        return E::portNotOpen();
    case SerialLinkError::timeout:
        return E::noResponse();
    case SerialLinkError::disconnected:
        // A hang-up has no error number; a failed call keeps the system's words for it.
        return number == 0
                   ? E::adapterDisconnected()
                   : E::adapterDisconnected() + " " + SerialLinkError::systemText(number) + ".";
    }
    return {};
}

bool carriesPath(SerialLinkError::Case kind) {
    return kind == SerialLinkError::invalidPath || kind == SerialLinkError::openFailed ||
           kind == SerialLinkError::busy || kind == SerialLinkError::busyProbing ||
           kind == SerialLinkError::accessDenied;
}

bool carriesNumber(SerialLinkError::Case kind) {
    return kind == SerialLinkError::openFailed || kind == SerialLinkError::configurationFailed ||
           kind == SerialLinkError::unsupportedBaudRate || kind == SerialLinkError::writeFailed ||
           kind == SerialLinkError::disconnected;
}

} // namespace

SerialLinkError::SerialLinkError(Case c)
    : SerialLinkError(c, std::string(), 0) {}

SerialLinkError::SerialLinkError(Case c, std::string path)
    : SerialLinkError(c, std::move(path), 0) {}

SerialLinkError::SerialLinkError(Case c, int codeOrRate)
    : SerialLinkError(c, std::string(), codeOrRate) {}

SerialLinkError::SerialLinkError(Case c, std::string path, int code)
    : kind_(c)
    , path_(carriesPath(c) ? std::move(path) : std::string())
    , number_(carriesNumber(c) ? code : 0)
    , message_(messageFor(kind_, path_, number_, group_)) {}

SerialLinkError::SerialLinkError(Case c, std::string path, std::string group)
    : kind_(c)
    , path_(carriesPath(c) ? std::move(path) : std::string())
    , group_(c == accessDenied ? std::move(group) : std::string())
    , message_(messageFor(kind_, path_, number_, group_)) {}

std::string SerialLinkError::systemText(int code) {
    char buffer[256] = {};
    return errorText(strerror_r(code, buffer, sizeof buffer), buffer);
}

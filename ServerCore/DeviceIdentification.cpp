#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"
#include "ServerCore/SerialLineFunctions.h"

namespace {

// PDU layouts of functions 17 and 43 / 14.
constexpr std::size_t bareRequestLength = 1;           // fc alone
constexpr std::size_t identificationRequestLength = 4; // fc, MEI type, read code, object ID
constexpr std::size_t maxPDULength = Modbus::maxFrameLength - Modbus::frameOverhead;
constexpr std::size_t objectHeaderLength = 2; // object ID, length
constexpr std::uint8_t runOn = 0xFF;
constexpr std::uint8_t runOff = 0x00;
constexpr std::uint8_t moreFollows = 0xFF;

// Read device ID codes and the object ranges of their categories.
enum ReadCode : std::uint8_t { basic = 0x01, regular = 0x02, extended = 0x03, individual = 0x04 };
constexpr std::uint8_t lastBasicObject = 0x02;
constexpr std::uint8_t lastRegularObject = 0x7F;
constexpr std::uint8_t individualAccess = 0x80; // conformity flag: single objects can be read

Bytes fail(std::uint8_t fc, ModbusException code) {
    return ExceptionPDU::make(fc, code);
}

std::uint8_t lastObjectOf(std::uint8_t code) {
    switch (code) {
    case basic:
        return lastBasicObject;
    case regular:
        return lastRegularObject;
    default:
        return 0xFF;
    }
}

// The highest category the unit has an object in, with the individual-access flag.
std::uint8_t conformity(const ServedIdentity& identity) {
    const std::uint8_t last = identity.objects.empty() ? 0 : identity.objects.rbegin()->first;
    const std::uint8_t level = last > lastRegularObject ? extended
                               : last > lastBasicObject ? regular
                                                        : basic;
    return level | individualAccess;
}

void appendObject(Bytes& response, std::uint8_t id, const std::string& text) {
    response.push_back(id);
    response.push_back(static_cast<std::uint8_t>(text.size()));
    response.insert(response.end(), text.begin(), text.end());
}

} // namespace

namespace SerialLineFunctions {

Bytes reportServerID(const RegisterStore& store, ByteView pdu, std::uint8_t unit) {
    if (pdu.size() != bareRequestLength) {
        return fail(pdu[0], ModbusException::illegalDataValue);
    }
    const auto identity = store.identity(unit).value_or(ServedIdentity{});
    Bytes data = identity.serverID.empty() ? Bytes{unit} : identity.serverID;
    data.push_back(identity.runIndicator ? runOn : runOff);
    data.insert(data.end(), identity.additionalData.begin(), identity.additionalData.end());
    data.resize(std::min(data.size(), maxPDULength - 2)); // the file refuses longer ones
    Bytes response{pdu[0], static_cast<std::uint8_t>(data.size())};
    response.insert(response.end(), data.begin(), data.end());
    return response;
}

// Read device identification: a stream of the category's objects from the one asked for, as
// many as fit in one answer, or one object by itself.
Bytes readDeviceIdentification(const RegisterStore& store, ByteView pdu, std::uint8_t unit) {
    const std::uint8_t fc = pdu[0];
    if (pdu.size() < 2 || pdu[1] != readDeviceIdentificationMEI) {
        return fail(fc, ModbusException::illegalFunction);
    }
    if (pdu.size() != identificationRequestLength) {
        return fail(fc, ModbusException::illegalDataValue);
    }
    const std::uint8_t code = pdu[2];
    if (code < basic || code > individual) {
        return fail(fc, ModbusException::illegalDataValue);
    }
    const std::uint8_t objectID = pdu[3];
    const auto identity = store.identity(unit).value_or(ServedIdentity{});
    const auto& objects = identity.objects;

    Bytes response{fc, pdu[1], code, conformity(identity), 0x00, 0x00, 0x00};
    if (code == individual) {
        const auto object = objects.find(objectID);
        if (object == objects.end()) {
            return fail(fc, ModbusException::illegalDataAddress);
        }
        appendObject(response, object->first, object->second);
        response[6] = 1;
        return response;
    }
    // A stream from an object the category lacks starts again at its first object.
    const std::uint8_t last = lastObjectOf(code);
    auto next = objects.find(objectID);
    if (next == objects.end() || objectID > last) {
        next = objects.begin();
    }
    std::uint8_t count = 0;
    for (; next != objects.end() && next->first <= last; ++next) {
        if (response.size() + objectHeaderLength + next->second.size() > maxPDULength) {
            response[4] = moreFollows;
            response[5] = next->first;
            break;
        }
        appendObject(response, next->first, next->second);
        ++count;
    }
    response[6] = count;
    return response;
}

} // namespace SerialLineFunctions

#include "ModbusCore/MBAPFrame.h"

namespace MBAPFrame {

std::optional<MBAPHeader> parseHeader(ByteView bytes) {
    if (bytes.size() < headerSize) {
        return std::nullopt;
    }
    return MBAPHeader{.transactionID = readUInt16(bytes, transactionOffset),
                      .protocolID = readUInt16(bytes, protocolOffset),
                      .length = readUInt16(bytes, lengthOffset),
                      .unit = bytes[unitOffset]};
}

Bytes buildHeader(const MBAPHeader& header) {
    Bytes bytes;
    bytes.reserve(headerSize);
    appendUInt16(bytes, header.transactionID);
    appendUInt16(bytes, header.protocolID);
    appendUInt16(bytes, header.length);
    bytes.push_back(header.unit);
    return bytes;
}

Bytes build(std::uint16_t transactionID, std::uint8_t unit, ByteView pdu) {
    Bytes bytes = buildHeader({.transactionID = transactionID,
                               .protocolID = modbusProtocol,
                               .length = static_cast<std::uint16_t>(pdu.size() + 1),
                               .unit = unit});
    bytes.insert(bytes.end(), pdu.begin(), pdu.end());
    return bytes;
}

Bytes buildReply(const MBAPHeader& request, ByteView pdu) {
    return build(request.transactionID, request.unit, pdu);
}

} // namespace MBAPFrame

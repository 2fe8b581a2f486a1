#pragma once

#include "Corvana/model/PortScanner.h"

#include "ModbusCore/Bytes.h"
#include "ServerCore/ServerEvent.h"

#include <vector>

// A scanner that never reports a port: benchmarks choose their ports themselves.
class NoPorts : public PortScanner {
public:
    void start() override {}
    std::vector<SerialPortInfo> scan() override { return {}; }
};

// The traffic of a busy bus: read requests and answers, a write refused with an exception (its
// CRC damaged), another slave's request and now and then invalid data; about 60 to 110
// characters a log line with the timestamp.
inline std::vector<ServerEvent> busTraffic() {
    Bytes answerPDU{0x03, 0x14};
    answerPDU.resize(22, 0x5A);
    Bytes answerFrame{0x01};
    answerFrame.insert(answerFrame.end(), answerPDU.begin(), answerPDU.end());
    answerFrame.insert(answerFrame.end(), {0x12, 0x34});
    return {
        ServerEvent::request(1, {0x03, 0x00, 0x0A, 0x00, 0x0A},
                             {0x01, 0x03, 0x00, 0x0A, 0x00, 0x0A, 0xE4, 0x0F}),
        ServerEvent::response(1, answerPDU, answerFrame, false),
        ServerEvent::request(2, {0x06, 0x00, 0x01, 0x00, 0x05},
                             {0x02, 0x06, 0x00, 0x01, 0x00, 0x05, 0x48, 0x18}),
        ServerEvent::response(2, {0x86, 0x02}, {0x02, 0x86, 0x02, 0x00, 0x00}, true),
        ServerEvent::otherUnit(9, {0x09, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x82}),
        ServerEvent::garbage(Bytes(40, 0xFF)),
    };
}

// Feeds the request processor arbitrary PDUs for arbitrary units over a configured store and
// checks that every answer fits an RTU frame and that an exception never changes memory.
// Input: a sequence of requests, each a unit byte, a length byte and that many PDU bytes (the
// last may be shorter). The requests run one after another on one store, so that writes of
// earlier requests shape later answers.

#include "ModbusCore/ModbusCodes.h"
#include "ServerCore/RequestProcessor.h"
#include "tests/support/StoreBuilders.h"

#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

// A frame carries the address and CRC around the PDU (Modbus over serial line, 2.5.1).
constexpr std::size_t frameOverhead = 3;
constexpr std::size_t maxRequestPDU = Modbus::maxFrameLength - frameOverhead;

// Broadcast, the configured units (one disabled) and two that are not configured.
constexpr std::array<std::uint8_t, 8> units{0, 1, 2, 3, 4, 5, 6, 247};

// Unit 1 defines a few addresses of each table, unit 2 reads everything as 0, unit 3 has
// datapoints at the end of the address space, unit 4 is disabled, unit 5 has the exception
// fault (which only the engine acts on).
void configure(RegisterStore& store) {
    using Policy = ServerUnit::UndefinedAddresses;
    ServerUnit faulty = unit(5);
    faulty.fault = ServerUnit::Fault::exception;
    std::vector<Datapoint> points;
    for (std::uint16_t a = 0; a < 16; ++a) {
        points.push_back(point(1, RegisterTable::coil, a, a % 2));
        points.push_back(point(1, RegisterTable::discreteInput, a, a % 3 == 0));
    }
    points.push_back(point(1, RegisterTable::holdingRegister, 0, 1.5, DataType::float32));
    points.push_back(point(1, RegisterTable::holdingRegister, 2, -7, DataType::int64));
    points.push_back(point(1, RegisterTable::holdingRegister, 6, 0x1234));
    points.push_back(point(1, RegisterTable::inputRegister, 0, 70000, DataType::uint32));
    points.push_back(point(3, RegisterTable::holdingRegister, 65534, 1.1, DataType::float64));
    points.push_back(point(3, RegisterTable::coil, 65535, 1));
    points.push_back(point(4, RegisterTable::holdingRegister, 0, 9));
    points.push_back(point(5, RegisterTable::holdingRegister, 0, 9));
    store.configure({unit(1), unit(2, Policy::zero), unit(3), unit(4, Policy::zero, false), faulty},
                    points, true);
}

// A unit's memory without its diagnostics, which diagnostic requests change on purpose.
std::optional<RegisterStore::Memory> values(const RegisterStore& store, std::uint8_t unit) {
    auto memory = store.memory(unit);
    if (memory) {
        memory->diagnostics = {};
    }
    return memory;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto store = std::make_shared<RegisterStore>();
    configure(*store);
    const RequestProcessor processor{store};

    while (size >= 2) {
        const std::uint8_t unitID = units[data[0] % units.size()];
        const std::size_t length = std::min({std::size_t{data[1]}, size - 2, maxRequestPDU});
        const ByteView pdu(data + 2, length);
        data += 2 + length;
        size -= 2 + length;

        const auto before = values(*store, unitID);
        const bool listening = store->isListeningOnly(unitID);
        const auto result = processor.process(pdu, unitID);

        if (pdu.empty() || unitID == Modbus::broadcastAddress) {
            FUZZ_CHECK(!result.response);
        } else if (listening || store->isListeningOnly(unitID)) {
            // Listen-only mode, before the request or entered by it: no answer, no write.
            FUZZ_CHECK(!result.response && result.writes.empty());
        } else {
            FUZZ_CHECK(result.response && !result.response->empty());
            const Bytes& response = *result.response;
            FUZZ_CHECK(response.size() + frameOverhead <= Modbus::maxFrameLength);
            FUZZ_CHECK((response[0] & ~Modbus::exceptionFlag) == (pdu[0] & ~Modbus::exceptionFlag));
            if (response[0] & Modbus::exceptionFlag) {
                FUZZ_CHECK(response.size() == 2);
                FUZZ_CHECK(response[1] >= ModbusException::illegalFunction &&
                           response[1] <= ModbusException::illegalDataValue);
                FUZZ_CHECK(result.writes.empty());
                FUZZ_CHECK(values(*store, unitID) == before);
            }
        }
        for (const auto& write : result.writes) {
            FUZZ_CHECK(write.table == RegisterTable::coil ||
                       write.table == RegisterTable::holdingRegister);
            FUZZ_CHECK(write.addresses.start >= 0 && write.addresses.start < write.addresses.end &&
                       write.addresses.end <= 65536);
            FUZZ_CHECK(unitID == Modbus::broadcastAddress || write.unit == unitID);
        }
        if (result.writes.empty() && unitID != Modbus::broadcastAddress) {
            FUZZ_CHECK(values(*store, unitID) == before);
        }
    }
    return 0;
}

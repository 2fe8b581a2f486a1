#include "ServerCore/RequestProcessor.h"

#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"
#include "ServerCore/SerialLineFunctions.h"

#include <variant>

namespace {

using Result = RequestProcessor::Result;

// PDU layouts of the Modbus application protocol (V1.1b3, section 6).
constexpr std::size_t fixedRequestLength = 5;        // fc, address, quantity or value
constexpr std::size_t maskWriteLength = 7;           // fc, address, AND mask, OR mask
constexpr std::size_t fifoRequestLength = 3;         // fc, FIFO pointer address
constexpr std::size_t multipleWriteHeaderLength = 6; // fc, address, quantity, byte count
constexpr std::size_t readWriteHeaderLength = 10;    // fc, read and write address/quantity, count
constexpr std::size_t multipleWriteEchoLength = 5;   // fc, address, quantity

constexpr std::uint16_t coilOn = 0xFF00;
constexpr std::uint16_t coilOff = 0x0000;
constexpr std::uint16_t maxFIFOCount = 31;

// The writing functions and the state-changing diagnostics are what a broadcast executes; the
// standard forbids answers to unit 0.
bool executesAsBroadcast(ByteView pdu) {
    const std::uint8_t fc = pdu[0];
    return fc == FunctionCode::writeSingleCoil || fc == FunctionCode::writeSingleRegister ||
           fc == FunctionCode::writeMultipleCoils || fc == FunctionCode::writeMultipleRegisters ||
           fc == FunctionCode::maskWriteRegister ||
           SerialLineFunctions::changesDiagnosticState(pdu);
}

// The one place that turns a failed check into a response.
Result exceptionResult(std::uint8_t fc, ModbusException code) {
    return {ExceptionPDU::make(fc, code), {}};
}

bool inRange(std::uint16_t quantity, std::uint16_t max) {
    return quantity >= 1 && quantity <= max;
}

AddressRange rangeOf(std::uint16_t start, std::uint16_t quantity) {
    return {start, start + quantity};
}

Bytes echo(ByteView pdu, std::size_t length) {
    return Bytes(pdu.begin(), pdu.begin() + static_cast<std::ptrdiff_t>(length));
}

RegisterTable readTable(FunctionCode fc) {
    switch (fc) {
    case FunctionCode::readCoils:
        return RegisterTable::coil;
    case FunctionCode::readDiscreteInputs:
        return RegisterTable::discreteInput;
    case FunctionCode::readInputRegisters:
        return RegisterTable::inputRegister;
    default:
        return RegisterTable::holdingRegister;
    }
}

Registers registersAt(ByteView pdu, std::size_t offset, std::uint16_t count) {
    Registers values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = readUInt16(pdu, offset + 2 * i);
    }
    return values;
}

// fc, byte count, then the registers high byte first.
Bytes registersResponse(std::uint8_t fc, const Registers& values) {
    Bytes response;
    response.reserve(2 + 2 * values.size());
    response.push_back(fc);
    response.push_back(static_cast<std::uint8_t>(2 * values.size()));
    for (const auto value : values) {
        appendUInt16(response, value);
    }
    return response;
}

class Handler {
public:
    Handler(RegisterStore& store, ByteView pdu, std::uint8_t unit)
        : store_(store)
        , pdu_(pdu)
        , unit_(unit)
        , fc_(pdu[0]) {}

    Result run() const {
        const auto code = FunctionCode::fromRaw(fc_);
        // A code switched off is answered as by a device that lacks it.
        if (!code || !store_.isFunctionEnabled(unit_, fc_)) {
            return exceptionResult(fc_, ModbusException::illegalFunction);
        }
        using namespace SerialLineFunctions;
        switch (*code) {
        case FunctionCode::readCoils:
        case FunctionCode::readDiscreteInputs:
            return readBits(readTable(*code));
        case FunctionCode::readHoldingRegisters:
        case FunctionCode::readInputRegisters:
            return readRegisters(readTable(*code));
        case FunctionCode::writeSingleCoil:
            return writeSingleCoil();
        case FunctionCode::writeSingleRegister:
            return writeSingleRegister();
        case FunctionCode::readExceptionStatus:
            return {readExceptionStatus(store_, pdu_, unit_), {}};
        case FunctionCode::diagnostics:
            return {diagnostics(store_, pdu_, unit_), {}};
        case FunctionCode::getCommEventCounter:
            return {getCommEventCounter(store_, pdu_, unit_), {}};
        case FunctionCode::getCommEventLog:
            return {getCommEventLog(store_, pdu_, unit_), {}};
        case FunctionCode::reportServerID:
            return {reportServerID(store_, pdu_, unit_), {}};
        case FunctionCode::readFIFOQueue:
            return readFIFOQueue();
        case FunctionCode::encapsulatedInterface:
            return {readDeviceIdentification(store_, pdu_, unit_), {}};
        case FunctionCode::writeMultipleCoils:
            return writeMultipleCoils();
        case FunctionCode::writeMultipleRegisters:
            return writeMultipleRegisters();
        case FunctionCode::maskWriteRegister:
            return maskWriteRegister();
        case FunctionCode::readWriteMultipleRegisters:
            return readWriteMultipleRegisters();
        }
        return exceptionResult(fc_, ModbusException::illegalFunction);
    }

private:
    std::size_t length() const { return pdu_.size(); }
    std::uint16_t u16(std::size_t offset) const { return readUInt16(pdu_, offset); }
    Result fail(ModbusException code) const { return exceptionResult(fc_, code); }
    bool accessible(RegisterTable table, AddressRange range) const {
        return store_.isAccessible(unit_, table, range);
    }
    WriteEvent wrote(RegisterTable table, AddressRange range) const {
        return {unit_, table, range};
    }

    // The checks of the four reads, in the standard's order: exact length, quantity within
    // 1…the table's limit, then the address range. Gives the range, or the exception answer.
    std::variant<AddressRange, Result> readRange(RegisterTable table) const {
        if (length() != fixedRequestLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t quantity = u16(3);
        if (!inRange(quantity, static_cast<std::uint16_t>(table.maxReadQuantity()))) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange range = rangeOf(u16(1), quantity);
        if (!accessible(table, range)) {
            return fail(ModbusException::illegalDataAddress);
        }
        return range;
    }

    Result readBits(RegisterTable table) const {
        auto checked = readRange(table);
        if (auto* failure = std::get_if<Result>(&checked)) {
            return std::move(*failure);
        }
        const AddressRange range = std::get<AddressRange>(checked);
        const Bytes packed = packBits(store_.readBits(unit_, table, range));
        Bytes response{fc_, static_cast<std::uint8_t>(packed.size())};
        response.insert(response.end(), packed.begin(), packed.end());
        return {std::move(response), {}};
    }

    Result readRegisters(RegisterTable table) const {
        auto checked = readRange(table);
        if (auto* failure = std::get_if<Result>(&checked)) {
            return std::move(*failure);
        }
        const AddressRange range = std::get<AddressRange>(checked);
        return {registersResponse(fc_, store_.readRegisters(unit_, table, range)), {}};
    }

    Result writeSingleCoil() const {
        if (length() != fixedRequestLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t value = u16(3);
        if (value != coilOn && value != coilOff) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange range = rangeOf(u16(1), 1);
        if (!accessible(RegisterTable::coil, range)) {
            return fail(ModbusException::illegalDataAddress);
        }
        store_.writeBits(unit_, RegisterTable::coil, u16(1), {value == coilOn});
        return {echo(pdu_, length()), {wrote(RegisterTable::coil, range)}};
    }

    Result writeSingleRegister() const {
        if (length() != fixedRequestLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange range = rangeOf(u16(1), 1);
        if (!accessible(RegisterTable::holdingRegister, range)) {
            return fail(ModbusException::illegalDataAddress);
        }
        const std::uint16_t value = u16(3);
        store_.writeRegisters(unit_, RegisterTable::holdingRegister, u16(1), {&value, 1});
        return {echo(pdu_, length()), {wrote(RegisterTable::holdingRegister, range)}};
    }

    // The count at the pointer address, then that many holding registers after it.
    Result readFIFOQueue() const {
        if (length() != fifoRequestLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t pointer = u16(1);
        if (!accessible(RegisterTable::holdingRegister, rangeOf(pointer, 1))) {
            return fail(ModbusException::illegalDataAddress);
        }
        const std::uint16_t count =
            store_.readRegisters(unit_, RegisterTable::holdingRegister, rangeOf(pointer, 1))
                .front();
        if (count > maxFIFOCount) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange queue{pointer + 1, pointer + 1 + count};
        if (count > 0 && !accessible(RegisterTable::holdingRegister, queue)) {
            return fail(ModbusException::illegalDataAddress);
        }
        Bytes response{fc_};
        appendUInt16(response, static_cast<std::uint16_t>(2 + 2 * count)); // byte count
        appendUInt16(response, count);
        if (count > 0) {
            for (const auto value :
                 store_.readRegisters(unit_, RegisterTable::holdingRegister, queue)) {
                appendUInt16(response, value);
            }
        }
        return {std::move(response), {}};
    }

    Result writeMultipleCoils() const {
        if (length() < multipleWriteHeaderLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t quantity = u16(3);
        if (!inRange(quantity, Modbus::maxWriteBits)) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::size_t byteCount = pdu_[5];
        if (byteCount != (quantity + 7u) / 8 || length() != multipleWriteHeaderLength + byteCount) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange range = rangeOf(u16(1), quantity);
        if (!accessible(RegisterTable::coil, range)) {
            return fail(ModbusException::illegalDataAddress);
        }
        store_.writeBits(unit_, RegisterTable::coil, u16(1),
                         unpackBits(pdu_.subspan(multipleWriteHeaderLength), quantity));
        return {echo(pdu_, multipleWriteEchoLength), {wrote(RegisterTable::coil, range)}};
    }

    Result writeMultipleRegisters() const {
        if (length() < multipleWriteHeaderLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t quantity = u16(3);
        if (!inRange(quantity, Modbus::maxWriteRegisters)) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::size_t byteCount = pdu_[5];
        if (byteCount != 2u * quantity || length() != multipleWriteHeaderLength + byteCount) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange range = rangeOf(u16(1), quantity);
        if (!accessible(RegisterTable::holdingRegister, range)) {
            return fail(ModbusException::illegalDataAddress);
        }
        store_.writeRegisters(unit_, RegisterTable::holdingRegister, u16(1),
                              registersAt(pdu_, multipleWriteHeaderLength, quantity));
        return {echo(pdu_, multipleWriteEchoLength),
                {wrote(RegisterTable::holdingRegister, range)}};
    }

    Result maskWriteRegister() const {
        if (length() != maskWriteLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange range = rangeOf(u16(1), 1);
        if (!accessible(RegisterTable::holdingRegister, range)) {
            return fail(ModbusException::illegalDataAddress);
        }
        // 6.16: result = (current AND andMask) OR (orMask AND NOT andMask). Read and write are two
        // store operations; a configuration change may fall between them.
        const std::uint16_t current =
            store_.readRegisters(unit_, RegisterTable::holdingRegister, range).front();
        const std::uint16_t andMask = u16(3);
        const std::uint16_t orMask = u16(5);
        const auto result = static_cast<std::uint16_t>((current & andMask) | (orMask & ~andMask));
        store_.writeRegisters(unit_, RegisterTable::holdingRegister, u16(1), {&result, 1});
        return {echo(pdu_, length()), {wrote(RegisterTable::holdingRegister, range)}};
    }

    Result readWriteMultipleRegisters() const {
        if (length() < readWriteHeaderLength) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t readQuantity = u16(3);
        if (!inRange(readQuantity, Modbus::maxReadRegisters)) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::uint16_t writeQuantity = u16(7);
        if (!inRange(writeQuantity, Modbus::maxReadWriteWriteRegisters)) {
            return fail(ModbusException::illegalDataValue);
        }
        const std::size_t byteCount = pdu_[9];
        if (byteCount != 2u * writeQuantity || length() != readWriteHeaderLength + byteCount) {
            return fail(ModbusException::illegalDataValue);
        }
        const AddressRange readRange = rangeOf(u16(1), readQuantity);
        const AddressRange writeRange = rangeOf(u16(5), writeQuantity);
        // Both ranges are checked before the write, so a refused read never leaves a write behind.
        if (!accessible(RegisterTable::holdingRegister, readRange) ||
            !accessible(RegisterTable::holdingRegister, writeRange)) {
            return fail(ModbusException::illegalDataAddress);
        }
        // 6.17: the write is performed before the read, so overlapping reads see the new values.
        store_.writeRegisters(unit_, RegisterTable::holdingRegister, u16(5),
                              registersAt(pdu_, readWriteHeaderLength, writeQuantity));
        return {registersResponse(
                    fc_, store_.readRegisters(unit_, RegisterTable::holdingRegister, readRange)),
                {wrote(RegisterTable::holdingRegister, writeRange)}};
    }

    RegisterStore& store_;
    ByteView pdu_;
    std::uint8_t unit_;
    std::uint8_t fc_;
};

} // namespace

RequestProcessor::Result RequestProcessor::process(ByteView pdu, std::uint8_t unit) const {
    if (pdu.empty()) {
        return {};
    }
    // A unit in listen-only mode executes nothing but a restart, and answers nothing.
    const bool restart = SerialLineFunctions::isRestart(pdu);
    if (unit != Modbus::broadcastAddress) {
        if (store->isListeningOnly(unit)) {
            return restart ? Result{std::nullopt, handle(pdu, unit).writes} : Result{};
        }
        return handle(pdu, unit);
    }
    Result result;
    if (!executesAsBroadcast(pdu)) {
        return result;
    }
    for (const auto id : store->enabledUnitIDs()) {
        if (!restart && store->isListeningOnly(id)) {
            continue;
        }
        auto unitResult = handle(pdu, id);
        result.writes.insert(result.writes.end(), unitResult.writes.begin(),
                             unitResult.writes.end());
    }
    return result;
}

RequestProcessor::Result RequestProcessor::handle(ByteView pdu, std::uint8_t unit) const {
    if (pdu.empty()) {
        return {};
    }
    return Handler(*store, pdu, unit).run();
}

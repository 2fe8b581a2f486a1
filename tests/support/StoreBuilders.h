#pragma once

#include "ModbusCore/Datapoint.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerUnit.h"

#include <cstdint>

// A unit as the register store sees it: no fault, no delay.
inline ServerUnit
unit(std::uint8_t id,
     ServerUnit::UndefinedAddresses policy = ServerUnit::UndefinedAddresses::exception,
     bool enabled = true) {
    ServerUnit u;
    u.unitID = id;
    u.undefinedAddresses = policy;
    u.enabled = enabled;
    return u;
}

// A datapoint holding `value`; bits are always bool, whatever `type` says.
inline Datapoint point(std::uint8_t unitID, RegisterTable table, std::uint16_t address,
                       double value, DataType type = DataType::uint16, double scale = 1.0) {
    Datapoint p;
    p.unitID = unitID;
    p.table = table;
    p.address = address;
    p.dataType = table.isBit() ? DataType(DataType::bool_) : type;
    p.scale = scale;
    p.value = value;
    return p;
}

// Holding register `address` of `unit`.
inline std::uint16_t holdingAt(const RegisterStore& store, std::uint8_t unit, int address) {
    return store.readRegisters(unit, RegisterTable::holdingRegister, {address, address + 1})[0];
}

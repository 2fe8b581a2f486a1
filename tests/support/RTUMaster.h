#pragma once

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>
#include <string>

using ModbusMaster = std::unique_ptr<modbus_t, void (*)(modbus_t*)>;
using RTUMaster = ModbusMaster;

// Connects the libmodbus context as a master program would, addressing `unit`; the master closes
// and frees it when it goes.
inline ModbusMaster connectMaster(modbus_t* context, int unit, int timeoutSeconds) {
    ModbusMaster master(context, [](modbus_t* m) {
        modbus_close(m);
        modbus_free(m);
    });
    EXPECT_NE(master, nullptr);
    if (master) {
        EXPECT_EQ(modbus_connect(master.get()), 0) << modbus_strerror(errno);
        modbus_set_slave(master.get(), unit);
        modbus_set_response_timeout(master.get(), timeoutSeconds, 0);
    }
    return master;
}

// A libmodbus master at 115200 8N1 on `path`, addressing `unit`.
inline RTUMaster connectRTUMaster(const std::string& path, int unit = 1) {
    return connectMaster(modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1), unit, 2);
}

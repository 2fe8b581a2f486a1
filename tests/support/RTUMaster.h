#pragma once

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>
#include <string>

using RTUMaster = std::unique_ptr<modbus_t, void (*)(modbus_t*)>;

// A libmodbus master at 115200 8N1 on `path`, addressing `unit`, as a master program would open
// the port.
inline RTUMaster connectRTUMaster(const std::string& path, int unit = 1) {
    RTUMaster master(modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1), [](modbus_t* m) {
        modbus_close(m);
        modbus_free(m);
    });
    EXPECT_NE(master, nullptr);
    if (master) {
        EXPECT_EQ(modbus_connect(master.get()), 0) << modbus_strerror(errno);
        modbus_set_slave(master.get(), unit);
        modbus_set_response_timeout(master.get(), 2, 0);
    }
    return master;
}

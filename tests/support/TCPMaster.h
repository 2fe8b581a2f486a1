#pragma once

#include "ModbusSerial/FileDescriptor.h"
#include "tests/support/RTUMaster.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

using TCPMaster = ModbusMaster;

// A libmodbus Modbus TCP master connected to 127.0.0.1:port, addressing `unit`.
inline TCPMaster connectTCPMaster(std::uint16_t port, int unit = 1) {
    return connectMaster(modbus_new_tcp("127.0.0.1", port), unit, 5);
}

// A socket bound to a loopback port the system chose, listening: the port stays taken while it
// lives, for tests of a port in use.
class TakenPort {
public:
    TakenPort()
        : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(::bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(::listen(socket_.get(), 1), 0);
        EXPECT_EQ(::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
        port_ = ntohs(address.sin_port);
    }

    std::uint16_t port() const { return port_; }
    void release() { socket_.reset(); }

private:
    FileDescriptor socket_;
    std::uint16_t port_ = 0;
};

// A loopback port that was free a moment ago, for a server that must be told its port.
inline std::uint16_t freeTCPPort() {
    TakenPort taken;
    return taken.port();
}

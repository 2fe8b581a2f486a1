#pragma once

#include "ModbusCore/Bytes.h"
#include "ModbusCore/MBAPFrame.h"
#include "ModbusSerial/FileDescriptor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

// A guard against hangs on a loaded machine, never a measurement.
inline constexpr std::chrono::seconds clientPatience{5};

// A master's end of one connection, blocking with clientPatience as the limit of every wait.
class TCPClient {
public:
    explicit TCPClient(std::uint16_t port)
        : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        const timeval limit{.tv_sec = clientPatience.count(), .tv_usec = 0};
        setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ =
            ::connect(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    bool connected() const { return connected_; }
    int descriptor() const { return socket_.get(); }

    // False once the listener has closed the connection.
    bool send(const Bytes& bytes) {
        return ::send(socket_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // Exactly `count` bytes, or what came before the connection ended or clientPatience ran out.
    Bytes receive(std::size_t count) {
        Bytes bytes(count);
        std::size_t have = 0;
        while (have < count) {
            const ssize_t n = ::recv(socket_.get(), bytes.data() + have, count - have, 0);
            if (n <= 0) {
                break;
            }
            have += static_cast<std::size_t>(n);
        }
        bytes.resize(have);
        return bytes;
    }

    // Whether the listener ends the connection (an end of stream or a reset) within clientPatience.
    bool closedByListener() {
        std::uint8_t byte = 0;
        for (;;) {
            const ssize_t n = ::recv(socket_.get(), &byte, 1, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) {
                return true;
            }
            if (n < 0) {
                return false; // time-out
            }
        }
    }

    void close() { socket_.reset(); }

private:
    FileDescriptor socket_;
    bool connected_ = false;
};

// The next Modbus TCP frame from client: header and PDU, or what came within patience.
inline Bytes receiveMBAP(TCPClient& client) {
    Bytes frame = client.receive(MBAPFrame::headerSize);
    if (const auto header = MBAPFrame::parseHeader(frame); header && header->length > 1) {
        const Bytes pdu = client.receive(header->length - 1U);
        frame.insert(frame.end(), pdu.begin(), pdu.end());
    }
    return frame;
}

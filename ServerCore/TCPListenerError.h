#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Why a TCP listener could not start; message() is what the user sees. Equality compares the
// case and its payload.
class TCPListenerError : public std::exception {
public:
    enum Case : std::uint8_t {
        invalidAddress,  // host is not an IP address
        addressNotLocal, // host is an address, but not one of this computer's
        privilegedPort,  // a port below 1024 without the right to take it
        addressInUse,    // another program listens on host:port
        failed,          // code: any other refusal of the system
    };

    TCPListenerError(Case c, std::string host, std::uint16_t port, int code = 0);

    // The case a failed socket, bind or listen call means, from its error number. This is the
    // one place where the system's error numbers become a case.
    static TCPListenerError fromSystem(int code, std::string host, std::uint16_t port);

    Case kind() const { return kind_; }
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }
    int code() const { return code_; }

    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool operator==(const TCPListenerError& other) const {
        return kind_ == other.kind_ && host_ == other.host_ && port_ == other.port_ &&
               code_ == other.code_;
    }

private:
    Case kind_;
    std::string host_;
    std::uint16_t port_;
    int code_;
    std::string message_;
};

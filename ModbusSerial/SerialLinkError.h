#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The one error the serial link throws; message() is what the user sees. Equality compares the
// case and its payload.
class SerialLinkError : public std::exception {
public:
    enum Case : std::uint8_t {
        invalidPath,         // path
        openFailed,          // path, code
        busy,                // path
        configurationFailed, // code
        unsupportedBaudRate, // rate
        writeFailed,         // code
        notOpen,
        timeout,
        disconnected, // code, 0 for a hang-up
        accessDenied, // path, the owning group's name (empty when unknown)
        busyProbing,  // path: busy while ModemManager looks at a new adapter
    };

    // A payload a case does not carry is dropped, so equal cases compare equal.
    explicit SerialLinkError(Case c);
    SerialLinkError(Case c, std::string path);                    // invalidPath, busy, busyProbing
    SerialLinkError(Case c, std::string path, std::string group); // accessDenied
    SerialLinkError(Case c, std::string path, int code);          // openFailed
    SerialLinkError(Case c, int codeOrRate); // configurationFailed, writeFailed,
                                             // unsupportedBaudRate, disconnected

    Case kind() const { return kind_; }
    const std::string& path() const { return path_; }
    int code() const { return number_; } // the error number (errno) where the case has one
    int rate() const { return number_; } // unsupportedBaudRate
    const std::string& group() const { return group_; } // accessDenied

    // In the language of the thread that created the error.
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool operator==(const SerialLinkError& other) const {
        return kind_ == other.kind_ && path_ == other.path_ && number_ == other.number_ &&
               group_ == other.group_;
    }

    // The C library's text for an error number (strerror), safe on any thread.
    static std::string systemText(int code);

private:
    Case kind_;
    std::string path_;
    int number_ = 0;
    std::string group_;
    std::string message_;
};

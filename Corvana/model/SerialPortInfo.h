#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// One serial port as the device registry reports it; identified by path.
struct SerialPortInfo {
    // A name from the board, chip and vendor tables; a chip is shown as "USB serial (chip)".
    struct KnownDevice {
        std::string name;
        bool isChip = false;

        bool operator==(const KnownDevice&) const = default;
    };

    std::string path;                       // e.g. /dev/ttyUSB0
    std::optional<std::string> productName; // USB product name, trimmed by the scanner
    std::optional<int> vendorID;            // none for built-in and virtual ports
    std::optional<int> productID;

    bool operator==(const SerialPortInfo&) const = default;

    static std::optional<KnownDevice> knownDeviceName(std::optional<int> vendorID,
                                                      std::optional<int> productID);

    // Without white space and line breaks at both ends; nullopt when nothing remains.
    static std::optional<std::string> cleanedProductName(std::string_view reported);

    // The known name (a chip as "USB serial (…)"), else the product name, else none.
    std::optional<std::string> deviceName() const;
    // For the port picker: "/dev/ttyACM0 — Arduino Uno", or the bare path.
    std::string displayName() const;
    // For the model's own texts: the device name, or the path without "/dev/".
    std::string shortName() const;
};

template <>
struct std::hash<SerialPortInfo> {
    std::size_t operator()(const SerialPortInfo& info) const noexcept;
};

#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// One serial port as the device registry reports it. A USB adapter is known by its stable link,
// which survives replugging into another socket; its node (/dev/ttyUSBn) may not.
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
    std::optional<std::string> stableLink =
        std::nullopt; // /dev/serial/by-id/…, else /dev/serial/by-path/…

    bool operator==(const SerialPortInfo&) const = default;

    // What the picker and the preferences remember: the stable link, else the node.
    std::string identity() const;
    // Whether a remembered name means this port: its identity, or its node (a name remembered
    // before identities, or typed by hand).
    bool isNamedBy(std::string_view name) const;

    // The stable link among a device's links (udev's DEVLINKS, separated by blanks): the first
    // by-id link in name order, else the first by-path link; none for other ports.
    static std::optional<std::string> stableLinkAmong(std::string_view devlinks);

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

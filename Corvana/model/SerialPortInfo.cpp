#include "Corvana/model/SerialPortInfo.h"

#include "Localization/L10n.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

struct DeviceEntry {
    int vendorID;
    int productID;
    std::string_view name;
};

struct VendorEntry {
    int vendorID;
    std::string_view name;
};

constexpr std::array boards = {
    DeviceEntry{0x2341, 0x0001, "Arduino Uno"},
    DeviceEntry{0x2341, 0x0043, "Arduino Uno"},
    DeviceEntry{0x2341, 0x0243, "Arduino Uno"},
    DeviceEntry{0x2341, 0x0010, "Arduino Mega 2560"},
    DeviceEntry{0x2341, 0x0042, "Arduino Mega 2560"},
    DeviceEntry{0x2341, 0x0242, "Arduino Mega 2560"},
    DeviceEntry{0x2341, 0x8036, "Arduino Leonardo"},
    DeviceEntry{0x2341, 0x0036, "Arduino Leonardo"},
    DeviceEntry{0x2341, 0x8037, "Arduino Micro"},
    DeviceEntry{0x2341, 0x0037, "Arduino Micro"},
    DeviceEntry{0x2341, 0x0058, "Arduino Nano Every"},
    DeviceEntry{0x2341, 0x0069, "Arduino UNO R4 Minima"},
    DeviceEntry{0x2341, 0x1002, "Arduino UNO R4 WiFi"},
    DeviceEntry{0x2A03, 0x0043, "Arduino Uno"},
    DeviceEntry{0x2A03, 0x0042, "Arduino Mega 2560"},
    DeviceEntry{0x2A03, 0x8036, "Arduino Leonardo"},
};

constexpr std::array chips = {
    DeviceEntry{0x1A86, 0x7523, "CH340"},       DeviceEntry{0x1A86, 0x5523, "CH341"},
    DeviceEntry{0x1A86, 0x55D4, "CH9102"},      DeviceEntry{0x10C4, 0xEA60, "CP210x"},
    DeviceEntry{0x0403, 0x6001, "FTDI FT232R"}, DeviceEntry{0x0403, 0x6010, "FTDI FT2232"},
    DeviceEntry{0x0403, 0x6014, "FTDI FT232H"}, DeviceEntry{0x0403, 0x6015, "FTDI FT231X"},
    DeviceEntry{0x067B, 0x2303, "PL2303"},
};

constexpr std::array vendors = {
    VendorEntry{0x2341, "Arduino"},         VendorEntry{0x2A03, "Arduino"},
    VendorEntry{0x303A, "Espressif ESP32"}, VendorEntry{0x2E8A, "Raspberry Pi Pico"},
    VendorEntry{0x239A, "Adafruit"},        VendorEntry{0x1B4F, "SparkFun"},
    VendorEntry{0x16C0, "Teensy"},
};

template <typename Table>
std::optional<std::string_view> lookUp(const Table& table, int vendorID, int productID) {
    const auto entry = std::find_if(table.begin(), table.end(), [&](const DeviceEntry& e) {
        return e.vendorID == vendorID && e.productID == productID;
    });
    return entry == table.end() ? std::nullopt : std::optional(entry->name);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Characters a path starts with before the device's own name.
constexpr std::size_t devicePrefixLength = std::string_view("/dev/").size();

// Where udev's rules put the links that name an adapter rather than a socket, and a socket.
constexpr std::string_view byIDFolder = "/dev/serial/by-id/";
constexpr std::string_view byPathFolder = "/dev/serial/by-path/";

} // namespace

std::optional<SerialPortInfo::KnownDevice>
SerialPortInfo::knownDeviceName(std::optional<int> vendorID, std::optional<int> productID) {
    if (!vendorID) {
        return std::nullopt;
    }
    if (productID) {
        if (const auto board = lookUp(boards, *vendorID, *productID)) {
            return KnownDevice{std::string(*board), false};
        }
        if (const auto chip = lookUp(chips, *vendorID, *productID)) {
            return KnownDevice{std::string(*chip), true};
        }
    }
    const auto vendor = std::find_if(vendors.begin(), vendors.end(),
                                     [&](const VendorEntry& e) { return e.vendorID == *vendorID; });
    if (vendor != vendors.end()) {
        return KnownDevice{std::string(vendor->name), false};
    }
    return std::nullopt;
}

std::optional<std::string> SerialPortInfo::cleanedProductName(std::string_view reported) {
    const auto first = std::find_if_not(reported.begin(), reported.end(), isBlank);
    const auto last = std::find_if_not(reported.rbegin(), reported.rend(), isBlank).base();
    if (first >= last) {
        return std::nullopt;
    }
    return std::string(first, last);
}

std::string SerialPortInfo::identity() const {
    return stableLink ? *stableLink : path;
}

bool SerialPortInfo::isNamedBy(std::string_view name) const {
    return name == path || (stableLink && name == *stableLink);
}

std::optional<std::string> SerialPortInfo::stableLinkAmong(std::string_view devlinks) {
    std::optional<std::string_view> byID;
    std::optional<std::string_view> byPath;
    const auto consider = [](std::optional<std::string_view>& best, std::string_view link) {
        if (!best || link < *best) {
            best = link;
        }
    };
    std::size_t start = 0;
    while (start < devlinks.size()) {
        std::size_t end = start;
        while (end < devlinks.size() && !isBlank(devlinks[end])) {
            ++end;
        }
        const std::string_view link = devlinks.substr(start, end - start);
        if (link.starts_with(byIDFolder) && link.size() > byIDFolder.size()) {
            consider(byID, link);
        } else if (link.starts_with(byPathFolder) && link.size() > byPathFolder.size()) {
            consider(byPath, link);
        }
        start = end + 1;
    }
    if (const auto chosen = byID ? byID : byPath) {
        return std::string(*chosen);
    }
    return std::nullopt;
}

std::optional<std::string> SerialPortInfo::deviceName() const {
    if (const auto known = knownDeviceName(vendorID, productID)) {
        return known->isChip ? L10n::Board::usbSerial(known->name) : known->name;
    }
    // Records built by hand may hold an untrimmed name.
    return productName ? cleanedProductName(*productName) : std::nullopt;
}

std::string SerialPortInfo::displayName() const {
    const auto device = deviceName();
    return device ? path + " — " + *device : path;
}

std::string SerialPortInfo::shortName() const {
    if (auto device = deviceName()) {
        return std::move(*device);
    }
    return path.substr(std::min(devicePrefixLength, path.size()));
}

std::size_t std::hash<SerialPortInfo>::operator()(const SerialPortInfo& info) const noexcept {
    std::size_t seed = std::hash<std::string>{}(info.path);
    const auto combine = [&seed](std::size_t value) {
        seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    };
    combine(std::hash<std::optional<std::string>>{}(info.stableLink));
    combine(std::hash<std::optional<std::string>>{}(info.productName));
    combine(std::hash<std::optional<int>>{}(info.vendorID));
    combine(std::hash<std::optional<int>>{}(info.productID));
    return seed;
}

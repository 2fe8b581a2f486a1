#include "Corvana/model/UdevPortScanner.h"

#include "ModbusSerial/SerialLink.h"

#include <QTimer>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <cerrno>

namespace {

struct EnumerateRelease {
    void operator()(udev_enumerate* enumerate) const { udev_enumerate_unref(enumerate); }
};
struct DeviceRelease {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
using EnumerateHandle = std::unique_ptr<udev_enumerate, EnumerateRelease>;
using DeviceHandle = std::unique_ptr<udev_device, DeviceRelease>;

// USB IDs are four hex digits in sysfs; anything else counts as no ID.
std::optional<int> hexID(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view view(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value, 16);
    if (view.empty() || error != std::errc() || end != view.data() + view.size() ||
        value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// The 8250 driver registers a fixed number of legacy ports whether or not a UART is behind
// them, and the serial core reports the missing ones as of unknown type (0) in the tty's "type"
// attribute. Read from sysfs, never by opening the port: an open raises DTR and RTS, which can
// put an RS-485 transceiver into transmit on a live bus. Without the attribute the port stays.
bool isAbsentLegacyPort(udev_device* device) {
    const char* type = udev_device_get_sysattr_value(device, "type");
    return type != nullptr && std::string_view(type) == "0";
}

std::optional<SerialPortInfo> readDevice(udev_device* device) {
    // Virtual consoles and pseudo-terminals have no parent device.
    udev_device* parent = udev_device_get_parent(device);
    const char* node = udev_device_get_devnode(device);
    if (parent == nullptr || node == nullptr || !SerialLink::isValidPath(node)) {
        return std::nullopt;
    }
    SerialPortInfo info;
    info.path = node;
    if (isAbsentLegacyPort(device)) {
        return std::nullopt;
    }
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
        if (const char* product = udev_device_get_sysattr_value(usb, "product")) {
            info.productName = SerialPortInfo::cleanedProductName(product);
        }
        info.vendorID = hexID(udev_device_get_sysattr_value(usb, "idVendor"));
        info.productID = hexID(udev_device_get_sysattr_value(usb, "idProduct"));
    }
    if (const char* links = udev_device_get_property_value(device, "DEVLINKS")) {
        info.stableLink = SerialPortInfo::stableLinkAmong(links);
    }
    return info;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char folded(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Compares two digit runs by value, however long they are: without leading zeros the shorter
// run is the smaller number, and runs of equal length compare digit by digit.
int compareNumbers(std::string_view a, std::string_view b) {
    const auto trimmed = [](std::string_view run) {
        const auto first = run.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : run.substr(first);
    };
    a = trimmed(a);
    b = trimmed(b);
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

std::string_view digitRun(std::string_view text, std::size_t from) {
    std::size_t end = from;
    while (end < text.size() && isDigit(text[end])) {
        ++end;
    }
    return text.substr(from, end - from);
}

} // namespace

UdevPortScanner::UdevPortScanner()
    : UdevPortScanner(udev_new()) {}

UdevPortScanner::UdevPortScanner(udev* handle)
    : udev_(handle) {}

bool UdevPortScanner::naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const auto runA = digitRun(a, i);
            const auto runB = digitRun(b, j);
            if (const int order = compareNumbers(runA, runB); order != 0) {
                return order < 0;
            }
            i += runA.size();
            j += runB.size();
        } else {
            if (folded(a[i]) != folded(b[j])) {
                return folded(a[i]) < folded(b[j]);
            }
            ++i;
            ++j;
        }
    }
    if (i < a.size() || j < b.size()) {
        return j < b.size();
    }
    return a < b;
}

bool UdevPortScanner::listsBefore(const SerialPortInfo& a, const SerialPortInfo& b) {
    if (a.vendorID.has_value() != b.vendorID.has_value()) {
        return a.vendorID.has_value();
    }
    return naturalLess(a.path, b.path);
}

std::vector<SerialPortInfo> UdevPortScanner::scan() {
    std::vector<SerialPortInfo> ports;
    lastScanFailed_ = true;
    if (!udev_) {
        return ports;
    }
    EnumerateHandle enumerate(udev_enumerate_new(udev_.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return ports;
    }
    lastScanFailed_ = false;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const DeviceHandle device(
            udev_device_new_from_syspath(udev_.get(), udev_list_entry_get_name(entry)));
        if (!device) {
            continue; // gone since the enumeration
        }
        if (auto info = readDevice(device.get())) {
            ports.push_back(std::move(*info));
        }
    }
    std::sort(ports.begin(), ports.end(), listsBefore);
    return ports;
}

UdevPortScanner::MonitorHandle UdevPortScanner::makeMonitor() {
    if (!udev_) {
        return {};
    }
    // "udev" rather than "kernel": its events come after udev has made the node and its links.
    MonitorHandle monitor(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        return {};
    }
    return monitor;
}

void UdevPortScanner::start() {
    if (started_) {
        return;
    }
    started_ = true;
    monitor_ = makeMonitor();
    if (monitor_) {
        notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_.get()),
                                                      QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_,
                         [this] { readEvents(); });
    }
    // Without a monitor the list cannot follow the hardware, but the owner still learns the
    // ports there are now rather than none at all.
    deliver();
}

void UdevPortScanner::readEvents() {
    // Drain everything pending: one burst of events is one change of the list.
    bool changed = false;
    for (;;) {
        errno = 0;
        const DeviceHandle device{udev_monitor_receive_device(monitor_.get())};
        if (!device) {
            const int error = errno;
            if (error == 0 || error == EAGAIN || error == EWOULDBLOCK) {
                break; // nothing more waiting
            }
            // Events were lost (the socket's buffer overflowed): only a full scan knows the list.
            // Any other error means the monitor itself is broken and would wake us for ever, so
            // the list stops following the hardware after this last scan.
            changed = true;
            if (error != ENOBUFS) {
                notifier_->setEnabled(false);
            }
            break;
        }
        const char* action = udev_device_get_action(device.get());
        if (action != nullptr &&
            (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) {
            changed = true;
        }
    }
    if (!changed) {
        return;
    }
    deliver();
    QTimer::singleShot(secondPassDelay, &context_, [this] { deliver(); });
}

void UdevPortScanner::deliver() {
    auto ports = scan();
    if (lastScanFailed_ && !failureReported_) {
        failureReported_ = true;
        if (onFailure) {
            onFailure();
        }
    }
    if (onChange) {
        onChange(std::move(ports));
    }
}

#pragma once

#include "Corvana/model/PortScanner.h"

#include <QObject>
#include <QSocketNotifier>

#include <chrono>
#include <memory>
#include <string_view>
#include <vector>

#include <libudev.h>

// The serial ports of Linux's device database (udev): every tty device with a parent device,
// named from the USB device above it. Add and remove events reach the main thread through a
// socket notifier on the udev monitor. Lives on the main thread.
class UdevPortScanner : public PortScanner {
public:
    // A device's node or USB attributes may appear only after its event; a second pass lists it.
    static constexpr std::chrono::milliseconds secondPassDelay{500};

    UdevPortScanner();

    void start() override;
    std::vector<SerialPortInfo> scan() override;

    // Natural order of names as file browsers use it: case-insensitive, digit runs compared as
    // numbers (ttyUSB2 before ttyUSB10). Names equal in that order fall back to plain order.
    static bool naturalLess(std::string_view a, std::string_view b);
    // USB devices (with a vendor ID) first, each group in natural order of paths.
    static bool listsBefore(const SerialPortInfo& a, const SerialPortInfo& b);

protected:
    // Takes over the handle; tests pass null to see a system whose udev fails.
    explicit UdevPortScanner(udev* handle);

    struct MonitorRelease {
        void operator()(udev_monitor* monitor) const { udev_monitor_unref(monitor); }
    };
    using MonitorHandle = std::unique_ptr<udev_monitor, MonitorRelease>;

    // The receiving "udev" monitor of tty devices, or null; tests replace it to see a system
    // without one.
    virtual MonitorHandle makeMonitor();

private:
    struct UdevRelease {
        void operator()(udev* handle) const { udev_unref(handle); }
    };

    void readEvents();
    void deliver();

    std::unique_ptr<udev, UdevRelease> udev_;
    MonitorHandle monitor_;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Receives the notifier's signal and the delayed second passes, which end with it.
    QObject context_;
    bool started_ = false;
    bool lastScanFailed_ = false;
    bool failureReported_ = false;
};

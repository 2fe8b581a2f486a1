#pragma once

#include "Corvana/model/SerialPortInfo.h"

#include <functional>
#include <vector>

// Watches the system for serial ports and hands every new, complete and sorted list to onChange,
// always on the main thread. Consecutive lists may be equal.
class PortScanner {
public:
    PortScanner() = default;
    PortScanner(const PortScanner&) = delete;
    PortScanner& operator=(const PortScanner&) = delete;
    virtual ~PortScanner() = default;

    // Set by the owner before start().
    std::function<void(std::vector<SerialPortInfo>)> onChange;
    // Called once, before the first list it concerns, when the system's device list cannot be
    // read: the empty lists that follow do not mean "no adapters". Optional.
    std::function<void()> onFailure;

    // Starts watching once and delivers the first list; later calls do nothing.
    virtual void start() = 0;
    // The current ports: USB devices first, each group in natural path order.
    virtual std::vector<SerialPortInfo> scan() = 0;
};

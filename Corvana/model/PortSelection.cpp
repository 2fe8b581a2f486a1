#include "Corvana/model/PortSelection.h"

#include <algorithm>

std::optional<std::string>
PortSelection::choose(const std::vector<SerialPortInfo>& list, const std::string& selected,
                      const std::optional<std::set<std::string>>& previous) {
    const auto current = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& info) {
        return info.path == selected;
    });
    const bool missing = current == list.end();
    if (previous) {
        const auto fresh = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& info) {
            return info.vendorID && !previous->contains(info.path);
        });
        if (fresh != list.end()) {
            if (missing || !current->vendorID) {
                return fresh->path;
            }
            return std::nullopt;
        }
    }
    if (missing) {
        const auto usb = std::find_if(list.begin(), list.end(),
                                      [](const SerialPortInfo& info) { return info.vendorID; });
        if (usb != list.end()) {
            return usb->path;
        }
    }
    return std::nullopt;
}

#include "Corvana/model/PortSelection.h"

#include <algorithm>

std::optional<std::string>
PortSelection::choose(const std::vector<SerialPortInfo>& list, const std::string& selected,
                      const std::optional<std::set<std::string>>& previous) {
    const SerialPortInfo* current = find(list, selected);
    if (previous) {
        const auto fresh = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& info) {
            return info.vendorID && !previous->contains(info.identity());
        });
        if (fresh != list.end() && (current == nullptr || !current->vendorID)) {
            return fresh->identity();
        }
    }
    if (current == nullptr) {
        const auto usb = std::find_if(list.begin(), list.end(),
                                      [](const SerialPortInfo& info) { return info.vendorID; });
        if (usb != list.end()) {
            return usb->identity();
        }
        return std::nullopt;
    }
    // A preference from before identities, or a node typed by hand, becomes the identity.
    if (current->identity() != selected) {
        return current->identity();
    }
    return std::nullopt;
}

const SerialPortInfo* PortSelection::find(const std::vector<SerialPortInfo>& list,
                                          const std::string& selected) {
    // The identity first: a stale node name may belong to another adapter by now.
    for (const SerialPortInfo& info : list) {
        if (info.identity() == selected) {
            return &info;
        }
    }
    const auto byNode = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& info) {
        return info.isNamedBy(selected);
    });
    return byNode == list.end() ? nullptr : &*byNode;
}

#include "Corvana/model/PortSelection.h"

#include "Localization/L10n.h"

#include <algorithm>

std::optional<std::string>
PortSelection::choose(const std::vector<SerialPortInfo>& list, const std::string& selected,
                      const std::optional<std::set<std::string>>& previous, bool offerVirtual) {
    const bool virtualChosen = isVirtual(selected);
    const SerialPortInfo* current = virtualChosen ? nullptr : find(list, selected);
    if (previous) {
        const auto fresh = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& info) {
            return info.vendorID && !previous->contains(info.identity());
        });
        if (fresh != list.end() && (current == nullptr || !current->vendorID)) {
            return fresh->identity();
        }
    }
    if (virtualChosen) {
        return std::nullopt;
    }
    if (current == nullptr) {
        const auto usb = std::find_if(list.begin(), list.end(),
                                      [](const SerialPortInfo& info) { return info.vendorID; });
        if (usb != list.end()) {
            return usb->identity();
        }
        // A remembered port that is unplugged stays chosen; only no choice at all falls back.
        if (offerVirtual && selected.empty()) {
            return std::string(virtualPort);
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

std::vector<PortSelection::Entry> PortSelection::entries(const std::vector<SerialPortInfo>& list) {
    std::vector<Entry> result;
    result.reserve(list.size() + 1);
    for (const SerialPortInfo& info : list) {
        result.push_back({info.identity(), info.displayName(), false});
    }
    result.push_back({std::string(virtualPort), L10n::VirtualPort::name(), true});
    return result;
}

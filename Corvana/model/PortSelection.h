#pragma once

#include "Corvana/model/SerialPortInfo.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace PortSelection {

// The choice that serves the units on a pseudo-terminal pair the application makes itself, for a
// master on the same computer; also what the "port" preference stores for it.
inline constexpr std::string_view virtualPort = "virtual";

inline bool isVirtual(std::string_view selected) {
    return selected == virtualPort;
}

// One choice of the port picker.
struct Entry {
    std::string identity;    // what choosing it selects
    std::string displayName; // the picker's text
    bool isVirtual = false;

    bool operator==(const Entry&) const = default;
};

// The picker's choices: the ports in list order, then always the virtual port.
std::vector<Entry> entries(const std::vector<SerialPortInfo>& list);

// The port to select when a new list arrives while the server is stopped, or nullopt to keep the
// selection. Selections and `previous` hold identities (SerialPortInfo::identity), so an adapter
// moved to another socket stays selected. A USB adapter that was not in the previous list
// (`previous`: nullopt for the first list) is almost certainly the one the user means to serve:
// it replaces a missing selection or a built-in port. Otherwise a missing selection falls to the
// first USB adapter, if any, and a port selected by its node is selected by its identity. The
// virtual port counts as a present port without a vendor id, like a built-in one. With
// `offerVirtual`, no selection and no USB adapter select the virtual port, so a first Start works
// without hardware.
std::optional<std::string> choose(const std::vector<SerialPortInfo>& list,
                                  const std::string& selected,
                                  const std::optional<std::set<std::string>>& previous,
                                  bool offerVirtual = false);

// The port of the list a selection names (see SerialPortInfo::isNamedBy), or null.
const SerialPortInfo* find(const std::vector<SerialPortInfo>& list, const std::string& selected);

} // namespace PortSelection

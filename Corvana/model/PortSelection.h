#pragma once

#include "Corvana/model/SerialPortInfo.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace PortSelection {

// The port to select when a new list arrives while the server is stopped, or nullopt to keep the
// selection. Selections and `previous` hold identities (SerialPortInfo::identity), so an adapter
// moved to another socket stays selected. A USB adapter that was not in the previous list
// (`previous`: nullopt for the first list) is almost certainly the one the user means to serve:
// it replaces a missing selection or a built-in port. Otherwise a missing selection falls to the
// first USB adapter, if any, and a port selected by its node is selected by its identity.
std::optional<std::string> choose(const std::vector<SerialPortInfo>& list,
                                  const std::string& selected,
                                  const std::optional<std::set<std::string>>& previous);

// The port of the list a selection names (see SerialPortInfo::isNamedBy), or null.
const SerialPortInfo* find(const std::vector<SerialPortInfo>& list, const std::string& selected);

} // namespace PortSelection

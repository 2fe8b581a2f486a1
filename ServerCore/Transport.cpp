#include "ServerCore/Transport.h"

#include <array>
#include <utility>

namespace {

constexpr std::array names{
    std::pair{Transport::serial, std::string_view("serial")},
    std::pair{Transport::tcp, std::string_view("tcp")},
    std::pair{Transport::rtuOverTCP, std::string_view("rtuOverTCP")},
};

} // namespace

std::string_view rawValue(Transport transport) {
    for (const auto& [value, name] : names) {
        if (value == transport) {
            return name;
        }
    }
    return {};
}

std::optional<Transport> transportFromRaw(std::string_view raw) {
    for (const auto& [value, name] : names) {
        if (name == raw) {
            return value;
        }
    }
    return std::nullopt;
}

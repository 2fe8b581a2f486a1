#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// How requests reach the units: the serial line, a Modbus TCP listener (MBAP) or a listener that
// carries the serial line's frames in a TCP stream.
enum class Transport : std::uint8_t { serial, tcp, rtuOverTCP };

// The names stored in files and shown by the control socket: "serial", "tcp", "rtuOverTCP".
std::string_view rawValue(Transport transport);
std::optional<Transport> transportFromRaw(std::string_view raw);

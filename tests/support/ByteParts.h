#pragma once

#include "ModbusCore/Bytes.h"

#include <cstddef>
#include <initializer_list>
#include <sstream>
#include <string>

// The parts one after the other, as one stream.
inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The first `n` bytes.
inline Bytes head(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// "01 00 0A" → {0x01, 0x00, 0x0A}; "FF*3" stands for three bytes FF.
inline Bytes hex(const std::string& text) {
    Bytes bytes;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const auto star = word.find('*');
        const auto count = star == std::string::npos ? 1 : std::stoul(word.substr(star + 1));
        bytes.insert(bytes.end(), count, std::uint8_t(std::stoul(word.substr(0, 2), nullptr, 16)));
    }
    return bytes;
}

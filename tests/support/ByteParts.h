#pragma once

#include "ModbusCore/Bytes.h"

#include <cstddef>
#include <initializer_list>

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

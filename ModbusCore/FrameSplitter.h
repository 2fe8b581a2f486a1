#pragma once

#include "ModbusCore/Bytes.h"

#include <cstddef>
#include <optional>

// Cuts the byte stream heard on a shared RS-485 line into request, response and garbage frames,
// using only the lengths implied by the function codes, the CRC and two silence signals.
// Never throws, never blocks; the buffer cap bounds the work of every call.
class FrameSplitter {
public:
    static constexpr std::size_t maxBuffered = 1024;
    static constexpr std::size_t keptAfterOverflow = 512;

    struct Frame {
        enum class Kind { request, response, garbage };
        Kind kind;
        Bytes bytes;
        bool operator==(const Frame&) const = default;

        static Frame request(Bytes b) { return {Kind::request, std::move(b)}; }
        static Frame response(Bytes b) { return {Kind::response, std::move(b)}; }
        static Frame garbage(Bytes b) { return {Kind::garbage, std::move(b)}; }
    };

    void append(ByteView bytes);

    // lineIdle: the last read returned nothing; longSilence: at least 0.1 s since the last byte.
    std::optional<Frame> nextFrame(bool lineIdle, bool longSilence);

    static std::optional<std::size_t> expectedRequestLength(ByteView bytes);
    static std::optional<std::size_t> expectedResponseLength(ByteView bytes);

    const Bytes& buffer() const { return buffer_; }

private:
    Bytes buffer_;
};

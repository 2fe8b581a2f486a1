#include "ModbusSerial/EchoFilter.h"

Bytes EchoFilter::expect(ByteView frame, TimePoint deadline) {
    Bytes held = release();
    if (!frame.empty()) {
        frame_.assign(frame.begin(), frame.end());
        matched_ = 0;
        deadline_ = deadline;
        watching_ = true;
    }
    return held;
}

Bytes EchoFilter::feed(ByteView bytes, TimePoint time) {
    if (!watching_) {
        return Bytes(bytes.begin(), bytes.end());
    }
    // An echo arrives within the window; anything later is the master talking.
    if (time > deadline_) {
        return stopWatching(bytes);
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != frame_[matched_]) {
            return stopWatching(bytes.subspan(i));
        }
        if (++matched_ == frame_.size()) {
            matched_ = 0;
            watching_ = false;
            auto rest = bytes.subspan(i + 1);
            return Bytes(rest.begin(), rest.end());
        }
    }
    return {};
}

Bytes EchoFilter::release() {
    return watching_ ? stopWatching({}) : Bytes();
}

Bytes EchoFilter::expire(TimePoint time) {
    if (!watching_ || time <= deadline_) {
        return {};
    }
    return stopWatching({});
}

std::optional<EchoFilter::TimePoint> EchoFilter::deadline() const {
    if (!watching_) {
        return std::nullopt;
    }
    return deadline_;
}

Bytes EchoFilter::stopWatching(ByteView rest) {
    Bytes out(frame_.begin(), frame_.begin() + static_cast<std::ptrdiff_t>(matched_));
    out.insert(out.end(), rest.begin(), rest.end());
    matched_ = 0;
    watching_ = false;
    return out;
}

#pragma once

#include <chrono>
#include <memory>

// The link's view of time. Tests replace it so that write pacing and the echo window are checked
// without sleeping.
class SerialClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~SerialClock() = default;
    virtual TimePoint now() const = 0;
    virtual void sleepUntil(TimePoint time) = 0;

    // The steady clock and a real sleep; shared by every link.
    static std::shared_ptr<SerialClock> system();
};

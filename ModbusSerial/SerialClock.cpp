#include "ModbusSerial/SerialClock.h"

#include <time.h>

#include <cerrno>

namespace {

using namespace std::chrono_literals;

// The kernel wakes a sleeper some tens of microseconds late, more on a busy machine; the last
// stretch before a deadline is spun, so that a reply starts right at t3.5 and never before.
constexpr auto spinTime = 200us;

class SystemClock final : public SerialClock {
public:
    // steady_clock is CLOCK_MONOTONIC on Linux, so its time points are absolute deadlines there.
    TimePoint now() const override { return std::chrono::steady_clock::now(); }

    void sleepUntil(TimePoint time) override {
        const auto wake = time - spinTime;
        if (now() < wake) {
            const auto since = wake.time_since_epoch();
            const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
            const timespec deadline{
                static_cast<time_t>(seconds.count()),
                static_cast<long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
            }
        }
        while (now() < time) {
        }
    }
};

} // namespace

std::shared_ptr<SerialClock> SerialClock::system() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

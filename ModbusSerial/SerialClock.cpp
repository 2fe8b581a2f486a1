#include "ModbusSerial/SerialClock.h"

#include <thread>

namespace {

class SystemClock final : public SerialClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void sleepUntil(TimePoint time) override { std::this_thread::sleep_until(time); }
};

} // namespace

std::shared_ptr<SerialClock> SerialClock::system() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

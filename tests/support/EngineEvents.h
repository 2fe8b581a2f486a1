#pragma once

#include "ServerCore/ServerEngine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

using Events = std::vector<ServerEvent>;

// A guard against hangs on a loaded machine, never a measurement.
inline constexpr auto eventPatience = std::chrono::seconds(5);

// The engine's events, in the order the engine thread emitted them.
class EventLog {
public:
    ServerEngine::EventHandler handler() {
        return [this](ServerEvent event) {
            std::lock_guard guard(mutex_);
            events_.push_back(std::move(event));
            changed_.notify_all();
        };
    }
    // The events once `done` holds for them, or when patience ran out.
    Events waitUntil(const std::function<bool(const Events&)>& done) {
        std::unique_lock guard(mutex_);
        changed_.wait_for(guard, eventPatience, [&] { return done(events_); });
        return events_;
    }
    Events waitFor(std::size_t n) {
        return waitUntil([n](const Events& e) { return e.size() >= n; });
    }
    template <class T>
    Events waitFor(std::size_t n = 1) {
        return waitUntil([n](const Events& e) { return countOf<T>(e) >= n; });
    }
    Events events() { return waitFor(0); }
    template <class T>
    static std::size_t countOf(const Events& events) {
        return std::count_if(events.begin(), events.end(),
                             [](const ServerEvent& e) { return e.is<T>(); });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Events events_;
};

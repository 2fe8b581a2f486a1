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

// A worker thread's events, in the order it emitted them.
template <class Event>
class EventQueue {
public:
    std::function<void(Event)> handler() {
        return [this](Event event) {
            std::lock_guard guard(mutex_);
            events_.push_back(std::move(event));
            changed_.notify_all();
        };
    }
    // The events once `done` holds for them, or when patience ran out.
    std::vector<Event> waitUntil(const std::function<bool(const std::vector<Event>&)>& done) {
        std::unique_lock guard(mutex_);
        changed_.wait_for(guard, eventPatience, [&] { return done(events_); });
        return events_;
    }
    std::vector<Event> events() {
        return waitUntil([](const std::vector<Event>&) { return true; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
};

// The engine's events.
class EventLog : public EventQueue<ServerEvent> {
public:
    Events waitFor(std::size_t n) {
        return waitUntil([n](const Events& e) { return e.size() >= n; });
    }
    template <class T>
    Events waitFor(std::size_t n = 1) {
        return waitUntil([n](const Events& e) { return countOf<T>(e) >= n; });
    }
    template <class T>
    static std::size_t countOf(const Events& events) {
        return std::count_if(events.begin(), events.end(),
                             [](const ServerEvent& e) { return e.is<T>(); });
    }
};

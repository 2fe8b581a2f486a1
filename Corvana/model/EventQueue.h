#pragma once

#include "Corvana/model/ServerStatistics.h"

#include "ServerCore/ServerEvent.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// The events of one engine run on their way to the main thread, bounded: a master flooding the
// line must not grow the queue without end. Beyond the capacity, events that only count and log
// are left out, with their counts kept; a left-out write only flags that the live values must
// be read again. Start and loss of the port and clients connecting and leaving are always kept,
// in order.
class EventQueue {
public:
    struct Dropped {
        ServerStatistics counts;                     // what the left-out events would have counted
        std::array<ServerStatistics, 3> byTransport; // the same by Transport
        std::uint64_t lines = 0;                     // log lines they would have written
        std::uint64_t busTraffic = 0;                // lines only shown with the bus traffic
        std::uint64_t garbage = 0;                   // stretches of invalid data among them
        bool writes = false; // a write was among them: read every live value again

        bool any() const { return lines > 0 || busTraffic > 0 || writes; }
    };

    struct Batch {
        std::vector<ServerEvent> events; // in emission order
        Dropped dropped;                 // since the previous batch
        bool more = false;               // events remain: the next take must be scheduled
    };

    explicit EventQueue(std::size_t capacity);

    // Any thread. Answers true when the queue was idle, so that the caller schedules a take.
    bool push(ServerEvent event);
    // Main thread: up to maxEvents from the front and what was left out meanwhile.
    Batch take(std::size_t maxEvents);

private:
    void countDropped(const ServerEvent& event);

    const std::size_t capacity_;
    std::mutex lock_;
    std::deque<ServerEvent> events_;
    Dropped dropped_;
    bool scheduled_ = false; // a take is on its way
};

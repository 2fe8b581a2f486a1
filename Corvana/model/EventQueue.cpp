#include "Corvana/model/EventQueue.h"

#include "Corvana/model/LogLines.h"

#include <algorithm>
#include <utility>

EventQueue::EventQueue(std::size_t capacity)
    : capacity_(capacity) {}

bool EventQueue::push(ServerEvent event) {
    const std::lock_guard guard(lock_);
    // Client counts come from connect and close, so those are kept like start and loss.
    const bool keep = event.is<ServerEvent::Started>() || event.is<ServerEvent::SerialLost>() ||
                      event.is<ServerEvent::ClientConnected>() ||
                      event.is<ServerEvent::ClientClosed>();
    if (events_.size() >= capacity_ && !keep) {
        countDropped(event);
    } else {
        events_.push_back(std::move(event));
    }
    if (scheduled_) {
        return false;
    }
    scheduled_ = true;
    return true;
}

EventQueue::Batch EventQueue::take(std::size_t maxEvents) {
    Batch batch;
    const std::lock_guard guard(lock_);
    const std::size_t count = std::min(maxEvents, events_.size());
    batch.events.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        batch.events.push_back(std::move(events_.front()));
        events_.pop_front();
    }
    batch.dropped = std::exchange(dropped_, Dropped{});
    batch.more = !events_.empty();
    scheduled_ = batch.more;
    return batch;
}

void EventQueue::countDropped(const ServerEvent& event) {
    const auto transport = static_cast<std::size_t>(event.origin.transport);
    if (transport < dropped_.byTransport.size()) {
        dropped_.byTransport[transport].count(event);
    }
    if (const auto* response = event.as<ServerEvent::Response>()) {
        ++dropped_.counts.responses;
        if (LogLines::isExceptionPDU(response->pdu)) {
            ++dropped_.counts.exceptions;
        }
        ++dropped_.lines;
    } else if (event.is<ServerEvent::Request>() || event.is<ServerEvent::Broadcast>()) {
        ++dropped_.counts.requests;
        ++dropped_.lines;
    } else if (event.is<ServerEvent::OtherUnit>()) {
        ++dropped_.counts.otherUnits;
        ++dropped_.busTraffic;
    } else if (event.is<ServerEvent::BusResponse>()) {
        ++dropped_.busTraffic;
    } else if (event.is<ServerEvent::Garbage>()) {
        ++dropped_.counts.errors;
        ++dropped_.garbage;
        ++dropped_.lines;
    } else if (event.is<ServerEvent::FaultFired>()) {
        ++dropped_.counts.faults;
        ++dropped_.lines;
    } else if (event.is<ServerEvent::Wrote>()) {
        dropped_.writes = true; // its lines are not counted: how many depends on the datapoints
    } else {
        ++dropped_.lines; // silent
    }
}

#include "Corvana/model/EventRelay.h"

#include <QMetaObject>

namespace {

// Enough for bursts at any baud rate; beyond it a flood only counts.
constexpr std::size_t maxQueuedEvents = 10'000;
// Small enough that a signal or a click waits for one batch at most.
constexpr std::size_t eventsPerBatch = 500;

} // namespace

EventRelay::EventRelay(QObject* context, Deliver deliver)
    : context_(context)
    , deliver_(std::move(deliver))
    , queue_(maxQueuedEvents) {}

void EventRelay::post(ServerEvent event) {
    if (queue_.push(std::move(event))) {
        schedule();
    }
}

void EventRelay::detach() {
    const std::lock_guard guard(lock_);
    context_ = nullptr;
}

void EventRelay::schedule() {
    const std::lock_guard guard(lock_);
    if (!context_) {
        return;
    }
    // Queued calls on one receiver run in posting order; they die with the receiver.
    QMetaObject::invokeMethod(
        context_, [relay = shared_from_this()] { relay->drain(); }, Qt::QueuedConnection);
}

void EventRelay::drain() {
    const EventQueue::Batch batch = queue_.take(eventsPerBatch);
    if (batch.more) {
        schedule(); // behind whatever else waits, signals included
    }
    deliver_(batch);
}

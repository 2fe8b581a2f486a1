#pragma once

#include "Corvana/model/EventQueue.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

// Carries one engine's events onto the main thread through a bounded queue, drained by one
// queued call at a time in batches, so the event loop stays free for signals and the user. The
// engine thread calls post; detach (main thread) cuts the way for good, so an engine that
// outlives its run cannot reach the model.
class EventRelay : public std::enable_shared_from_this<EventRelay> {
public:
    using Deliver = std::function<void(const EventQueue::Batch&)>;

    // deliver runs on the context's thread, never after the context is gone.
    EventRelay(QObject* context, Deliver deliver);

    void post(ServerEvent event);
    void detach();

private:
    void schedule();
    void drain();

    std::mutex lock_;
    QObject* context_;
    const Deliver deliver_;
    EventQueue queue_;
};

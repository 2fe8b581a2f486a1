#include "ServerCore/ServerEngine.h"

#include "ModbusCore/FrameSplitter.h"
#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"
#include "ModbusSerial/SerialLink.h"
#include "ServerCore/ArrivalTimes.h"
#include "ServerCore/PendingReplies.h"
#include "ServerCore/ReplyPlan.h"
#include "ServerCore/RequestHandling.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <semaphore>

namespace {

// The read time-out never drops below 20 ms, so that an idle engine does not spin at high rates.
constexpr double minimumReadTimeout = 0.02;
// Silence after which the splitter may give up a frame that never completed.
constexpr auto longSilence = std::chrono::milliseconds(100);
constexpr auto stopWait = std::chrono::seconds(1);

// A reply is due right at t3.5: the timer slack (50 µs by default) drops to the least, and where
// the user may (CAP_SYS_NICE or an rtprio limit) the thread takes the lowest real-time priority
// so that a busy desktop does not delay it. Each that fails leaves the thread as it was.
void makeTimely() {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    sched_param parameters{};
    parameters.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
    ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &parameters);
}

} // namespace

// Everything the reading thread touches. The engine and the thread own it jointly, so a thread
// still held up in a write after stop gave up waiting (and after the engine object is gone)
// finds its link, store and callback alive, closes the port and frees all of it when it ends. A
// join in the destructor could hang the caller for as long as the write stalls, which the
// application's main thread must never do.
struct ServerEngine::Shared {
    Shared(std::string path, SerialConfiguration configuration,
           std::shared_ptr<RegisterStore> store, bool allowsTestDevice, EventHandler onEvent,
           std::shared_ptr<SerialClock> clock)
        : path(std::move(path))
        , configuration(configuration)
        , store(std::move(store))
        , allowsTestDevice(allowsTestDevice)
        , onEvent(std::move(onEvent))
        , clock(clock ? std::move(clock) : SerialClock::system())
        , handling(this->store, {}, this->onEvent, this->clock) {}

    const std::string path;
    const SerialConfiguration configuration;
    const std::shared_ptr<RegisterStore> store;
    const bool allowsTestDevice;
    const EventHandler onEvent;
    const std::shared_ptr<SerialClock> clock;
    RequestHandling handling; // the engine thread's own
    MasterReport& report{handling.report()};

    std::mutex lock; // guards running only; never held while doing anything else
    bool running = false;
    std::binary_semaphore finished{0}; // released once, when the port is closed
    std::atomic<bool> ended{false};
    std::atomic<bool> lost{false};
    bool wasStarted = false; // touched by the starting thread only

    // The engine thread's own.
    PendingReplies pending;

    bool isRunning() {
        std::lock_guard guard(lock);
        return running;
    }

    // Returns whether it was running.
    bool stopRunning() {
        std::lock_guard guard(lock);
        return std::exchange(running, false);
    }

    void emit(ServerEvent event) const {
        if (onEvent) {
            onEvent(std::move(event));
        }
    }

    // A failed read or write ends the run and is reported once, also when a stop is already
    // under way (an answer whose write fails): the port is gone either way.
    void lose() {
        stopRunning();
        if (!lost.exchange(true)) {
            emit(ServerEvent::serialLost(path));
        }
    }

    void run(SerialLink& link) {
        pthread_setname_np(pthread_self(), "Corvana");
        makeTimely();
        handling.start(clock->now());
        emit(ServerEvent::started());

        FrameSplitter splitter;
        auto lastByte = clock->now();
        const double timeout = std::max(link.frameGap(), minimumReadTimeout);
        report.setFrameGap(link.frameGap());
        ArrivalTimes arrivals(std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(link.frameGap() * MasterReport::characterGapShare)));
        while (isRunning() && sendDue(link)) {
            Bytes bytes;
            try {
                bytes = link.read(readTimeout(timeout));
            } catch (const SerialLinkError&) {
                lose();
                break;
            }
            const auto now = clock->now();
            const bool lineIdle = bytes.empty();
            if (!lineIdle) {
                lastByte = now;
            }
            arrivals.arrived(bytes.size(), now);
            splitter.append(bytes);
            arrivals.keepNewest(splitter.buffer().size());
            const bool silent = now - lastByte >= longSilence;
            while (auto frame = splitter.nextFrame(lineIdle, silent)) {
                const auto arrival = arrivals.take(frame->bytes.size(), now);
                handle(std::move(*frame), arrival, link);
            }
            report.expire(now);
        }
        pending.clear(); // a stop drops the replies still waiting
        link.close();
        ended = true;
        finished.release();
    }

    // The read waits no longer than until shortly before the next chunk is due, so that the
    // chunk goes out on time; the last stretch is slept precisely in sendDue.
    double readTimeout(double timeout) const {
        const auto due = pending.nextDue();
        if (!due) {
            return timeout;
        }
        const double left =
            std::chrono::duration<double>(*due - clock->now() - PendingReplies::precision).count();
        return std::clamp(left, 0.0, timeout);
    }

    // Sends every chunk that is due; false when the port was lost.
    bool sendDue(SerialLink& link) {
        while (auto* reply = pending.dueWithin(clock->now())) {
            if (reply->due > clock->now()) {
                clock->sleepUntil(reply->due);
            }
            const ReplyPlan::Chunk& chunk = reply->plan.chunks[reply->next];
            try {
                link.write(chunk.bytes, chunk.afterSilence ? SerialLink::Pacing::afterFrameGap
                                                           : SerialLink::Pacing::immediately);
            } catch (const SerialLinkError&) {
                lose();
                return false;
            }
            if (auto done = pending.sent(*reply, clock->now())) {
                handling.sent({done->unit, done->unit, std::move(done->plan)}, clock->now());
            }
        }
        return true;
    }

    void handle(FrameSplitter::Frame frame, const MasterReport::Arrival& arrival,
                SerialLink& link) {
        switch (frame.kind) {
        case FrameSplitter::Frame::Kind::garbage:
            report.garbage(frame.bytes);
            handling.countOnBus(false);
            emit(ServerEvent::garbage(std::move(frame.bytes)));
            break;
        case FrameSplitter::Frame::Kind::response:
            handling.countOnBus(true);
            emit(ServerEvent::busResponse(std::move(frame.bytes)));
            break;
        case FrameSplitter::Frame::Kind::request:
            if (frame.bytes.size() < Modbus::minFrameLength) {
                report.garbage(frame.bytes);
                handling.countOnBus(false);
                emit(ServerEvent::garbage(std::move(frame.bytes)));
            } else {
                handling.countOnBus(true);
                handleRequest(std::move(frame.bytes), arrival, link);
            }
            break;
        }
    }

    void handleRequest(Bytes frame, const MasterReport::Arrival& arrival, SerialLink& link) {
        const std::uint8_t unit = frame[0];
        Bytes pdu(frame.begin() + 1, frame.end() - Modbus::crcLength);
        // A unit still sending a reply, or waiting to, is busy like a real one: it neither
        // executes nor answers what arrives meanwhile (a master's retry shows in the log).
        const bool busy = pending.isBusy(unit);
        auto answer = handling.handle({.unit = unit,
                                       .pdu = std::move(pdu),
                                       .frame = std::move(frame),
                                       .header = std::nullopt,
                                       .arrival = arrival,
                                       .client = {}},
                                      busy);
        if (answer) {
            pending.add(unit, std::move(answer->plan), clock->now());
            sendDue(link); // an undelayed reply goes out at once, as soon as the frame gap allows
        }
    }
};

ServerEngine::ServerEngine(std::string path, SerialConfiguration configuration,
                           std::shared_ptr<RegisterStore> store, bool allowsTestDevice,
                           EventHandler onEvent, std::shared_ptr<SerialClock> clock)
    : shared_(std::make_shared<Shared>(std::move(path), configuration, std::move(store),
                                       allowsTestDevice, std::move(onEvent), std::move(clock))) {}

ServerEngine::~ServerEngine() {
    stop();
    if (!thread_.joinable()) {
        return;
    }
    // The thread ends within one read time-out of the stop request unless a write is stalled;
    // then it is let go and ends by itself (see Shared). A thread that ended on its own (serial
    // lost) is only closing the port.
    const bool ending =
        shared_->ended || (!stopTimedOut_ && shared_->finished.try_acquire_for(stopWait));
    if (ending && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

const std::string& ServerEngine::path() const {
    return shared_->path;
}

const SerialConfiguration& ServerEngine::configuration() const {
    return shared_->configuration;
}

const std::shared_ptr<RegisterStore>& ServerEngine::store() const {
    return shared_->store;
}

bool ServerEngine::allowsTestDevice() const {
    return shared_->allowsTestDevice;
}

void ServerEngine::start() {
    if (shared_->wasStarted) {
        return;
    }
    auto link = std::make_unique<SerialLink>(shared_->path, shared_->configuration,
                                             shared_->allowsTestDevice, shared_->clock);
    link->open();
    shared_->store->resetDiagnostics(); // counters run from the start of the server
    shared_->wasStarted = true;
    {
        std::lock_guard guard(shared_->lock);
        shared_->running = true;
    }
    try {
        thread_ = std::thread([shared = shared_, link = std::move(link)] { shared->run(*link); });
    } catch (...) {
        shared_->stopRunning(); // the link went with the thread's function object: closed
        throw;
    }
}

void ServerEngine::stop() {
    if (shared_->stopRunning()) {
        // The outcome is not needed; the destructor tells a thread that ended from one that did
        // not.
        stopTimedOut_ = !shared_->finished.try_acquire_for(stopWait);
    }
}

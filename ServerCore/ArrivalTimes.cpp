#include "ServerCore/ArrivalTimes.h"

#include <algorithm>

void ArrivalTimes::arrived(std::size_t count, TimePoint when) {
    if (count > 0) {
        reads_.push_back({count, when});
        total_ += count;
    }
}

void ArrivalTimes::keepNewest(std::size_t buffered) {
    while (total_ > buffered && !reads_.empty()) {
        Read& oldest = reads_.front();
        const std::size_t drop = std::min(oldest.count, total_ - buffered);
        oldest.count -= drop;
        total_ -= drop;
        if (oldest.count == 0) {
            reads_.pop_front();
        }
    }
}

MasterReport::Arrival ArrivalTimes::take(std::size_t count, TimePoint fallback) {
    if (reads_.empty() || count == 0) {
        return {fallback, fallback, 0};
    }
    MasterReport::Arrival arrival{reads_.front().when, reads_.front().when, 0};
    while (count > 0 && !reads_.empty()) {
        Read& oldest = reads_.front();
        if (oldest.when - arrival.last > characterGap_) {
            ++arrival.gaps;
        }
        arrival.last = oldest.when;
        const std::size_t used = std::min(oldest.count, count);
        oldest.count -= used;
        total_ -= used;
        count -= used;
        if (oldest.count == 0) {
            reads_.pop_front();
        }
    }
    return arrival;
}

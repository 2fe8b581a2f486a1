#include "ServerCore/PendingReplies.h"

#include <algorithm>

void PendingReplies::add(std::uint8_t unit, ReplyPlan plan, TimePoint now) {
    if (plan.chunks.empty()) {
        return;
    }
    const auto wait = plan.chunks.front().after;
    replies_.push_back({unit, std::move(plan), 0, now + wait});
}

bool PendingReplies::isBusy(std::uint8_t unit) const {
    return std::any_of(replies_.begin(), replies_.end(),
                       [unit](const Reply& reply) { return reply.unit == unit; });
}

std::optional<PendingReplies::TimePoint> PendingReplies::nextDue() const {
    if (replies_.empty()) {
        return std::nullopt;
    }
    return std::min_element(replies_.begin(), replies_.end(),
                            [](const Reply& a, const Reply& b) { return a.due < b.due; })
        ->due;
}

PendingReplies::Reply* PendingReplies::dueWithin(TimePoint now) {
    // The first of equal due times wins, so replies planned together keep their order.
    Reply* first = nullptr;
    for (Reply& reply : replies_) {
        if (!first || reply.due < first->due) {
            first = &reply;
        }
    }
    return first && first->due <= now + precision ? first : nullptr;
}

std::optional<PendingReplies::Reply> PendingReplies::sent(Reply& reply, TimePoint now) {
    ++reply.next;
    if (reply.next < reply.plan.chunks.size()) {
        reply.due = now + reply.plan.chunks[reply.next].after;
        return std::nullopt;
    }
    const auto position = replies_.begin() + (&reply - replies_.data());
    Reply done = std::move(*position);
    replies_.erase(position);
    return done;
}

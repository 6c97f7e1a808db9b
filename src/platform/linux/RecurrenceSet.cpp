#include "platform/linux/RecurrenceSet.h"

#include <algorithm>

namespace {

constexpr long long kDay = 86400;

} // namespace

std::optional<long long> RecurrenceSet::untilWall(const icalrecurrencetype& rule) {
    if (icaltime_is_null_time(rule.until))
        return std::nullopt;
    icaltimetype until = rule.until;
    until.zone = nullptr;
    return icaltime_as_timet(until) + (until.is_date ? kDay - 1 : 0);
}

RecurrenceSet::RecurrenceSet(const icalrecurrencetype& rule, long long firstWall, bool onlyFirst)
    : firstWall_(firstWall), until_(onlyFirst ? std::optional(firstWall) : untilWall(rule)),
      count_(onlyFirst ? 1 : rule.count), positions_(listOf(rule.by_set_pos)), pending_{firstWall} {}

void RecurrenceSet::restartAt(long long wall) {
    if (wall <= firstWall_)
        return;
    pending_.clear();
    nextPending_ = 0;
    lastEmitted_ = wall - 1;
}

void RecurrenceSet::fill(const std::vector<long long>& candidates) {
    nextPending_ = 0;
    if (positions_.empty()) {
        pending_ = candidates;
        return;
    }
    pending_.clear();
    const int size = int(candidates.size());
    for (int position : positions_) {
        const int index = position > 0 ? position - 1 : size + position;
        if (index >= 0 && index < size)
            pending_.push_back(candidates[size_t(index)]);
    }
    std::sort(pending_.begin(), pending_.end());
    pending_.erase(std::unique(pending_.begin(), pending_.end()), pending_.end());
}

std::optional<long long> RecurrenceSet::next(long long horizon) {
    while (!ended_ && nextPending_ < pending_.size()) {
        const long long at = pending_[nextPending_];
        if ((until_ && at > *until_) || (count_ > 0 && emitted_ >= count_)) {
            ended_ = true;
            break;
        }
        if (at >= horizon)
            return std::nullopt;
        ++nextPending_;
        if (at < firstWall_ || (lastEmitted_ && at <= *lastEmitted_))
            continue;
        lastEmitted_ = at;
        // Said at once: a rule that never matches again would otherwise be walked to the horizon.
        ended_ = count_ > 0 && ++emitted_ >= count_;
        return at;
    }
    return std::nullopt;
}

bool RecurrenceSet::endsBefore(long long wall) {
    ended_ |= until_ && wall > *until_;
    return ended_;
}

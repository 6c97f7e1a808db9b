#pragma once

#include <optional>
#include <vector>

#include <libical/ical.h>

// The instances of a rule walked over wall times (seconds since 1970 at which UTC shows them), handed over
// one interval of the rule at a time: picks what BYSETPOS names from each interval's set, keeps DTSTART the
// first instance whatever the rule says, and ends at UNTIL or after COUNT instances.
class RecurrenceSet {
public:
    // The values of one part of a rule, as listed.
    template <size_t N> static std::vector<int> listOf(const short (&parts)[N]) {
        std::vector<int> list;
        for (size_t i = 0; i < N && parts[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
            list.push_back(parts[i]);
        return list;
    }
    // The last wall time of the rule's UNTIL, read as a wall time; a date lasts all day.
    static std::optional<long long> untilWall(const icalrecurrencetype& rule);

    // Nothing but DTSTART when `onlyFirst`.
    RecurrenceSet(const icalrecurrencetype& rule, long long firstWall, bool onlyFirst = false);

    // Goes on from the first instance at or after `wall`; only for rules without COUNT.
    void restartAt(long long wall);
    // Takes the set of one interval, ascending, in place of what was left of the one before.
    void fill(const std::vector<long long>& candidates);
    // The next instance before `horizon` of what was filled in; nothing when the next lies at or after it,
    // when all was taken (exhausted()), or at the end (ended()).
    std::optional<long long> next(long long horizon);
    bool exhausted() const { return nextPending_ >= pending_.size(); }
    bool ended() const { return ended_; }
    // Whether an interval that begins at `wall` lies beyond UNTIL; ends the set then.
    bool endsBefore(long long wall);
    // Ends the set where the rule has no more intervals.
    void end() { ended_ = true; }

private:
    long long firstWall_;
    std::optional<long long> until_;
    int count_;
    std::vector<int> positions_;
    std::vector<long long> pending_;
    size_t nextPending_ = 0;
    std::optional<long long> lastEmitted_;
    int emitted_ = 0;
    bool ended_ = false;
};

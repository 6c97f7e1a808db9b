#pragma once

#include "platform/EventStore.h"
#include "platform/linux/IcsEventFile.h"

#include <QList>
#include <limits>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

// What a vdir tree held when it was last read, ready for day queries: the calendars, and the occurrences
// of the single events and of the recurring series within the stretches expanded so far, sorted by time.
// Built on a worker and never changed afterwards, so the main thread queries it while the next one is
// built; only the thread that queries it keeps a memo of floating times read in the user's zone.
class VdirSnapshot {
public:
    // One event file, as queries name its events.
    struct File {
        QString itemIdentifier;
        std::shared_ptr<const std::vector<IcsEventRecord>> records;
    };

    const QList<EventCalendar>& calendars() const { return calendars_; }
    QList<StoredEvent> events(Instant start, Instant end,
                              const std::optional<QStringList>& calendarIdentifiers) const;
    // The stretches of time whose recurring events a query of [start, end) needs and that are not expanded
    // here (see IcsEventFile::kStretch).
    std::vector<long long> missingStretches(Instant start, Instant end) const;

private:
    friend class VdirIndex;

    struct Occurrence {
        // The reach of the occurrence (IcsTiming::reach) and its timing.
        long long from;
        long long to;
        IcsTiming timing;
        int file;
        int record;
    };
    // Occurrences sorted by `from`, none reaching further than `widest`. Short and long occurrences are
    // kept apart so that a query looks back only as far as each kind needs: the few that reach further
    // than eight days are all looked at.
    struct Tier {
        long long limit;
        long long widest = 0;
        std::vector<Occurrence> occurrences;
    };
    void add(const Occurrence& occurrence);

    std::pair<Instant, Instant> instants(const Occurrence& occurrence, const Calendar& calendar) const;

    QList<EventCalendar> calendars_;
    std::vector<std::shared_ptr<const File>> files_;
    // Per file: its calendar's place in `calendars_`.
    std::vector<int> fileCalendars_;
    std::vector<Tier> tiers_{
        {12LL * 3600, 0, {}}, {8LL * 86400, 0, {}}, {std::numeric_limits<long long>::max(), 0, {}}};
    std::set<long long> stretches_;
    bool hasSeries_ = false;
    // How far ahead of a range the start of a recurring occurrence that overlaps it may lie.
    long long seriesReach_ = 0;
    // Floating timings read in the zone named, by start, lengths and kind; all-day events by the days they
    // begin and end with, which the events of neighbouring days share.
    struct FloatingTiming {
        long long start;
        long long length;
        long long wallLength;
        bool isAllDay;
        bool operator==(const FloatingTiming&) const = default;
    };
    struct FloatingTimingHash {
        size_t operator()(const FloatingTiming& timing) const;
    };
    mutable QString floatingZone_;
    mutable std::unordered_map<FloatingTiming, std::pair<Instant, Instant>, FloatingTimingHash>
        floatingInstants_;
};

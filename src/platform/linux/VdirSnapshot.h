#pragma once

#include "platform/EventStore.h"
#include "platform/linux/IcsEventFile.h"

#include <QList>
#include <array>
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

    // A query lists at most this many occurrences: the all-day ones first, then the earliest. What one day
    // can hold whatever the files say (hundreds of thousands) would hold the main thread for long, and no
    // one reads a list longer than this.
    static constexpr size_t kMostListed = 500;

    const QList<EventCalendar>& calendars() const { return calendars_; }
    // `leftOut`, when given, receives about how many occurrences the bound above left out: floating times
    // are read in one offset of the user's zone there.
    QList<StoredEvent> events(Instant start, Instant end,
                              const std::optional<QStringList>& calendarIdentifiers,
                              size_t* leftOut = nullptr) const;
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
        // The file's slot, and the event's place in the file.
        int file;
        int record;
    };
    // Occurrences sorted by `from`, none reaching further than `widest`. Short and long occurrences are
    // kept apart so that a query looks back only as far as each kind needs: the few that reach further
    // than eight days are all looked at. All-day occurrences, which come first in a day, are kept apart
    // too, so that a query that lists only the first of a day stops early in every tier.
    struct Tier {
        long long limit;
        bool allDay = false;
        long long widest = 0;
        std::vector<Occurrence> occurrences;
    };
    // The occurrences that one build of the index added. A change of one file adds a layer of that file's
    // occurrences and leaves the others shared with the previous snapshot; what older layers hold of a
    // file changed since is passed over, and dropped when layers are merged.
    struct Layer {
        unsigned generation = 0;
        std::vector<Tier> tiers{{12LL * 3600, false, 0, {}},
                                {8LL * 86400, false, 0, {}},
                                {std::numeric_limits<long long>::max(), false, 0, {}},
                                {8LL * 86400, true, 0, {}},
                                {std::numeric_limits<long long>::max(), true, 0, {}}};
        void add(const Occurrence& occurrence);
        // Sorts each tier by `from`.
        void sort();
        // A layer lives until a later one is merged into it: what the growth of a tier left spare would
        // stay with it.
        void shrink();
        size_t size() const;
    };
    // An event file's place, kept while the file is there, so that the occurrences of the others stay valid
    // when it changes.
    struct Slot {
        static constexpr unsigned kFree = std::numeric_limits<unsigned>::max();
        std::shared_ptr<const File> file;
        // Orders the files as the store lists them: calendars, then files by name.
        unsigned long long rank = 0;
        // The oldest layer that holds the file's present occurrences; kFree when no file is here.
        unsigned since = kFree;
        // The file's calendar, as a place in `calendars_`.
        int calendar = -1;
    };
    // The slots in chunks, which snapshots share: a change copies the chunks of the slots it changes.
    class SlotTable {
    public:
        const Slot& operator[](size_t i) const { return (*chunks_[i / kChunk])[i % kChunk]; }
        // The slot to change; its chunk is copied first when a snapshot may hold it.
        Slot& edit(size_t i);
        // Every chunk may be held by a snapshot from now on.
        void share() { owned_.assign(owned_.size(), 0); }

    private:
        static constexpr size_t kChunk = 256;
        std::vector<std::shared_ptr<std::array<Slot, kChunk>>> chunks_;
        std::vector<char> owned_;
    };

    // An occurrence that a query found, and where its file stands in the store's order.
    struct Candidate {
        unsigned long long rank;
        const Occurrence* occurrence;
        // All-day first, then by start, with floating times read in one offset of the user's zone.
        long long dayOrder;
    };
    // The first kMostListed occurrences of [start, end) in the day order, and how many it left out.
    std::vector<Candidate> firstOfRange(Instant start, Instant end, const std::vector<char>& wantedCalendars,
                                        const Calendar& calendar, size_t& leftOut) const;

    std::pair<Instant, Instant> instants(const Occurrence& occurrence, const Calendar& calendar) const;

    QList<EventCalendar> calendars_;
    SlotTable slots_;
    std::vector<std::shared_ptr<const Layer>> layers_;
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

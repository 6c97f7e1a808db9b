#include "platform/linux/VdirSnapshot.h"

#include <QHashFunctions>
#include <QStringBuilder>
#include <algorithm>
#include <cmath>

namespace {

// A query's range in whole seconds, as the reaches of occurrences are compared with it.
std::pair<long long, long long> secondsOf(Instant start, Instant end) {
    return {(long long)std::floor(start.secondsSince1970()),
            (long long)std::ceil(end.secondsSince1970()) + 1};
}

// Calendar, UID and RECURRENCE-ID; nothing without a UID. Made when asked for: kept for every event, the
// identifiers would take more memory than the events' text.
std::optional<QString> eventIdentifier(const QString& calendar, const IcsEventDetails& details) {
    if (!details.uid)
        return std::nullopt;
    if (details.recurrenceId)
        return calendar % u'/' % *details.uid % u'/' % *details.recurrenceId;
    return calendar % u'/' % *details.uid;
}

constexpr long long kSecondsPerDay = 86400;

// Enough for the floating events of years of days; a bound for a memo that would otherwise only grow.
constexpr size_t kRememberedFloatingTimings = 1 << 16;

} // namespace

std::vector<long long> VdirSnapshot::missingStretches(Instant start, Instant end) const {
    std::vector<long long> missing;
    if (!hasSeries_)
        return missing;
    const auto [from, to] = secondsOf(start, end);
    const auto [first, last] = IcsEventFile::stretchesFor(from, to, seriesReach_);
    for (long long stretch = first; stretch <= last; ++stretch)
        if (!stretches_.count(stretch))
            missing.push_back(stretch);
    return missing;
}

void VdirSnapshot::Layer::add(const Occurrence& occurrence) {
    const long long width = occurrence.to - occurrence.from;
    Tier& tier = *std::find_if(tiers.begin(), tiers.end(), [&](const Tier& t) {
        return t.allDay == occurrence.timing.isAllDay && width <= t.limit;
    });
    tier.occurrences.push_back(occurrence);
    tier.widest = std::max(tier.widest, width);
}

void VdirSnapshot::Layer::sort() {
    for (Tier& tier : tiers)
        std::sort(tier.occurrences.begin(), tier.occurrences.end(),
                  [](const Occurrence& a, const Occurrence& b) { return a.from < b.from; });
}

void VdirSnapshot::Layer::shrink() {
    for (Tier& tier : tiers)
        if (tier.occurrences.capacity() > tier.occurrences.size() + tier.occurrences.size() / 8)
            tier.occurrences.shrink_to_fit();
}

size_t VdirSnapshot::Layer::size() const {
    size_t size = 0;
    for (const Tier& tier : tiers)
        size += tier.occurrences.size();
    return size;
}

VdirSnapshot::Slot& VdirSnapshot::SlotTable::edit(size_t i) {
    const size_t chunk = i / kChunk;
    while (chunks_.size() <= chunk) {
        chunks_.push_back(std::make_shared<std::array<Slot, kChunk>>());
        owned_.push_back(1);
    }
    if (!owned_[chunk]) {
        chunks_[chunk] = std::make_shared<std::array<Slot, kChunk>>(*chunks_[chunk]);
        owned_[chunk] = 1;
    }
    return (*chunks_[chunk])[i % kChunk];
}

std::pair<Instant, Instant> VdirSnapshot::instants(const Occurrence& occurrence,
                                                   const Calendar& calendar) const {
    const IcsTiming& timing = occurrence.timing;
    if (!timing.floating)
        return timing.instants(timing.start, calendar);
    // Reading a wall time in the user's zone costs a calendar computation or two; re-renders of a day ask
    // for the same ones again, and so do the neighbouring days for the events that span them.
    if (calendar.timeZoneId() != floatingZone_ || floatingInstants_.size() >= kRememberedFloatingTimings) {
        floatingInstants_.clear();
        floatingZone_ = calendar.timeZoneId();
    }
    auto read = [&](const FloatingTiming& key) {
        auto [known, added] = floatingInstants_.try_emplace(key);
        if (added) {
            IcsTiming wall = timing;
            wall.start = key.start;
            wall.length = key.length;
            wall.wallLength = key.wallLength;
            wall.isAllDay = key.isAllDay;
            known->second = wall.instants(wall.start, calendar);
        }
        return known->second;
    };
    // An all-day occurrence runs from the start of its first day to the start of the day after its last:
    // each day is read once, for all the events that begin or end with it.
    if (timing.isAllDay) {
        auto dayStart = [&](long long midnight) { return read({midnight, 0, 0, true}).first; };
        return {dayStart(timing.start), dayStart(timing.start + timing.length * kSecondsPerDay)};
    }
    return read({timing.start, timing.length, timing.wallLength, false});
}

size_t VdirSnapshot::FloatingTimingHash::operator()(const FloatingTiming& timing) const {
    return qHashMulti(0, timing.start, timing.length, timing.wallLength, timing.isAllDay);
}

std::vector<VdirSnapshot::Candidate> VdirSnapshot::firstOfRange(Instant start, Instant end,
                                                                const std::vector<char>& wantedCalendars,
                                                                const Calendar& calendar,
                                                                size_t& leftOut) const {
    const auto [from, to] = secondsOf(start, end);
    // The day order, read cheaply: floating times in the zone's offset at the range's start, which a clock
    // change that day may shift by an hour. No occurrence of a tier comes before its `from` there.
    constexpr long long kAllDayFirst = 1LL << 50;
    std::optional<long long> offset;
    auto span = [&](const Occurrence& o) {
        if (!offset)
            offset = std::llround(start.secondsSince1970() - calendar.fromWallTime(start).secondsSince1970());
        const IcsTiming& timing = o.timing;
        const long long begin = timing.floating ? timing.start - *offset : timing.start;
        return std::pair(begin, begin + (timing.isAllDay ? timing.length * kSecondsPerDay
                                                         : timing.length + timing.wallLength));
    };
    auto dayOrder = [&](const Occurrence& o) {
        return span(o).first - (o.timing.isAllDay ? kAllDayFirst : 0);
    };
    auto inRange = [&](const Occurrence& o) {
        const auto [begin, finish] = span(o);
        return occurrenceOverlaps(Instant::fromSecondsSince1970(double(begin)),
                                  Instant::fromSecondsSince1970(double(finish)), start, end);
    };
    // Up to the bound, everything that may overlap, as the exact reading decides. Past it, those that
    // overlap in the reading above are kept in a heap with the latest on top, and the few others that may
    // (at the range's edges) aside.
    std::vector<Candidate> kept;
    std::vector<Candidate> edges;
    bool bounded = false;
    const auto later = [](const Candidate& a, const Candidate& b) { return a.dayOrder < b.dayOrder; };
    auto bound = [&] {
        for (Candidate& candidate : kept)
            candidate.dayOrder = dayOrder(*candidate.occurrence);
        const auto outside = std::partition(kept.begin(), kept.end(),
                                            [&](const Candidate& c) { return inRange(*c.occurrence); });
        edges.assign(outside, kept.end());
        kept.erase(outside, kept.end());
        bounded = true;
    };
    const long long endSecond = (long long)std::ceil(end.secondsSince1970());
    leftOut = 0;
    for (const bool allDay : {true, false})
        for (const std::shared_ptr<const Layer>& layer : layers_)
            for (const Tier& tier : layer->tiers) {
                if (tier.allDay != allDay)
                    continue;
                const auto last = tier.occurrences.end();
                auto o =
                    std::lower_bound(tier.occurrences.begin(), last, from - tier.widest,
                                     [](const Occurrence& o, long long value) { return o.from < value; });
                for (; o != last && o->from < to; ++o) {
                    const bool full = bounded && kept.size() == kMostListed;
                    if (full && o->from - (allDay ? kAllDayFirst : 0) > kept.front().dayOrder) {
                        // Nothing further on comes before the last kept: those that start in the range are
                        // left out.
                        leftOut += size_t(std::lower_bound(o, last, endSecond,
                                                           [](const Occurrence& o, long long value) {
                                                               return o.from < value;
                                                           }) -
                                          o);
                        break;
                    }
                    if (o->to <= from)
                        continue;
                    const Slot& slot = slots_[size_t(o->file)];
                    if (slot.since > layer->generation || !wantedCalendars[size_t(slot.calendar)])
                        continue;
                    if (!bounded) {
                        kept.push_back({slot.rank, &*o, 0});
                        if (kept.size() == kMostListed)
                            bound();
                    } else if (!inRange(*o)) {
                        if (edges.size() < kMostListed)
                            edges.push_back({slot.rank, &*o, 0});
                    } else if (!full) {
                        kept.push_back({slot.rank, &*o, dayOrder(*o)});
                    } else {
                        ++leftOut;
                        const Candidate candidate{slot.rank, &*o, dayOrder(*o)};
                        if (later(candidate, kept.front())) {
                            std::pop_heap(kept.begin(), kept.end(), later);
                            kept.back() = candidate;
                            std::push_heap(kept.begin(), kept.end(), later);
                        }
                    }
                    if (bounded && kept.size() == kMostListed && !full)
                        std::make_heap(kept.begin(), kept.end(), later);
                }
            }
    kept.insert(kept.end(), edges.begin(), edges.end());
    return kept;
}

QList<StoredEvent> VdirSnapshot::events(Instant start, Instant end,
                                        const std::optional<QStringList>& calendarIdentifiers,
                                        size_t* leftOut) const {
    std::vector<char> wanted(size_t(calendars_.size()), 1);
    if (calendarIdentifiers)
        for (qsizetype i = 0; i < calendars_.size(); ++i)
            wanted[size_t(i)] = calendarIdentifiers->contains(calendars_[i].calendarIdentifier);

    const Calendar userCalendar = Calendar::current();
    size_t cut = 0;
    std::vector<Candidate> candidates = firstOfRange(start, end, wanted, userCalendar, cut);
    if (leftOut)
        *leftOut = cut;
    // The store's order: calendars, then files by name, then the events of a file in order.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.rank, a.occurrence->record, a.occurrence->timing.start) <
               std::tie(b.rank, b.occurrence->record, b.occurrence->timing.start);
    });

    // A day's events lie all over the heap: their files, records and texts. Asked for all at once, ahead
    // of their use, they arrive together instead of one after the other.
    for (const auto& [rank, o, dayOrder] : candidates) {
        const File& file = *slots_[size_t(o->file)].file;
        const IcsEventDetails& details = (*file.records)[size_t(o->record)].details;
        for (const std::optional<QString>* text : {&details.title, &details.uid})
            if (*text)
                __builtin_prefetch((*text)->constData());
        __builtin_prefetch(file.itemIdentifier.constData());
    }

    QList<StoredEvent> result;
    result.reserve(qsizetype(candidates.size()));
    for (const auto& [rank, o, dayOrder] : candidates) {
        const Slot& slot = slots_[size_t(o->file)];
        const File& file = *slot.file;
        const IcsEventRecord& record = (*file.records)[size_t(o->record)];
        const auto [eventStart, eventEnd] = instants(*o, userCalendar);
        if (!occurrenceOverlaps(eventStart, eventEnd, start, end))
            continue;
        StoredEvent& event = result.emplaceBack();
        event.startDate = eventStart;
        event.endDate = eventEnd;
        event.title = record.details.title;
        event.isAllDay = record.details.isAllDay;
        event.calendar = calendars_[slot.calendar];
        event.eventIdentifier = eventIdentifier(event.calendar->calendarIdentifier, record.details);
        event.calendarItemIdentifier = file.itemIdentifier;
        event.calendarItemExternalIdentifier = record.details.uid;
    }
    return result;
}

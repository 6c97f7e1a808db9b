#pragma once

#include "utilities/CurrentCalendar.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class RecurringSeries;

// What one VEVENT says about itself, shared by all of its occurrences.
struct IcsEventDetails {
    std::optional<QString> uid;
    // The RECURRENCE-ID of a detached occurrence, as iCalendar text.
    std::optional<QString> recurrenceId;
    std::optional<QString> title;
    bool isAllDay = false;
};

// When an event happens, without the user's calendar: a start in seconds since 1970, either of the UTC
// instant or, when floating, of the wall time read as UTC; and the length.
struct IcsTiming {
    long long start = 0;
    bool floating = false;
    bool isAllDay = false;
    // Seconds for timed events, days for all-day ones; exact seconds that follow `wallLength`.
    long long length = 0;
    // Seconds that the wall clock of a timed event's zone advances before `length`: a floating end, and the
    // days and weeks of a DURATION, whose length depends on the clock changes they span. Resolved into
    // `length` wherever the zone is known, so only floating times keep it.
    long long wallLength = 0;

    // The start times, in the same seconds, between which an occurrence starting at `start` may overlap
    // a range of the user's time: [first, second). Wide enough for any zone the user may be in.
    std::pair<long long, long long> reach(long long occurrenceStart) const;
    // The occurrence that starts at `occurrenceStart`, with floating and all-day times read in `calendar`'s
    // zone.
    std::pair<Instant, Instant> instants(long long occurrenceStart, const Calendar& calendar) const;
};

// One VEVENT as a day query sees it. Plain data: any thread may read it.
struct IcsEventRecord {
    IcsTiming timing;
    IcsEventDetails details;
    // An RDATE period of a series: its start and the length it has of its own, as IcsTiming holds one.
    struct Period {
        long long start;
        long long length;
        long long wallLength;
    };
    // Ascending by start.
    std::vector<Period> periods;
    // The lengths that detached occurrences give to every later one (RANGE=THISANDFUTURE).
    std::vector<IcsTiming> shiftedLengths;

    // The timing of the occurrence that starts at `start`.
    IcsTiming timingAt(long long start) const;
    // How far ahead of its start the longest occurrence reaches (IcsTiming::reach).
    long long reach() const;
};

// The events of one iCalendar file. The records of single events and of recurring series never change
// after parsing and may be shared with other threads; the occurrences of a series are expanded on demand,
// stretch by stretch of about seven weeks, and remembered. Expanding is not thread-safe (libical is not).
class IcsEventFile {
public:
    // Limits that no real calendar reaches and that keep a hostile or broken file from stalling the reading
    // of all the others. libical's parse time grows with the square of a line's length: a logical line of
    // more than 256 KiB (nothing we read comes near it; only inline attachments do) is left out.
    static constexpr qsizetype kLongestLine = qsizetype(256) * 1024;
    // Seconds per stretch, about seven weeks.
    static constexpr long long kStretch = 1LL << 22;
    // A series yields at most this many occurrences in one stretch: a rule of one a minute is never cut...
    static constexpr int kMostOccurrencesPerStretch = int(kStretch / 60) + 1;
    // ...and a counted series is followed for at most this many occurrences (every ten minutes for 19 years).
    static constexpr int kLongestCountedWalk = 1'000'000;

    // Components nest no deeper in real calendars (a calendar, an event, an alarm): a file nested deeper is
    // refused whole.
    static constexpr int kDeepestNesting = 16;

    // Readies libical's process-wide state (its zone table, its error mode) on the calling thread, once:
    // files may then be parsed on several threads side by side. parse() calls it too.
    static void prepareLibical();
    // Reads `content`; whatever cannot be used is left out and described in `problems`.
    static IcsEventFile parse(const QByteArray& content, QStringList& problems);

    IcsEventFile(IcsEventFile&&) noexcept;
    IcsEventFile& operator=(IcsEventFile&&) noexcept;
    ~IcsEventFile();

    // The single events first, then one record per recurring series.
    const std::shared_ptr<const std::vector<IcsEventRecord>>& records() const { return records_; }
    size_t singleCount() const { return records_->size() - series_.size(); }
    size_t seriesCount() const { return series_.size(); }

    // The stretches that the occurrences of a recurring event starting from `from` to `to` (seconds since
    // 1970) may fall into, when they reach `before` seconds ahead of their start (IcsTiming::reach).
    static std::pair<long long, long long> stretchesFor(long long from, long long to, long long before);

    // Seconds since 1970 outside of which none of the single events can fall; nothing without any.
    std::optional<std::pair<long long, long long>> singlesSpan() const;

    // Appends the occurrences of series `series` that start within stretch `stretch` (in
    // [stretch * kStretch, (stretch + 1) * kStretch)), ascending. A series cut off by the limits above
    // notes that in `problems`.
    void appendOccurrences(size_t series, long long stretch, std::vector<IcsTiming>& out,
                           QStringList& problems) const;

private:
    IcsEventFile();

    std::shared_ptr<const std::vector<IcsEventRecord>> records_;
    std::vector<std::unique_ptr<RecurringSeries>> series_;
};

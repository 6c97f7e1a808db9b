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
    // Seconds for timed events, days for all-day ones.
    long long length = 0;
};

struct IcsOccurrence {
    Instant start;
    Instant end;
    const IcsEventDetails* details;
};

// The events of one iCalendar file, reduced to what a day query needs. Recurrences are expanded on demand
// and remembered per stretch of time. Not thread-safe (libical is not).
class IcsEventFile {
public:
    // Reads `content`; whatever cannot be used is left out and described in `problems`.
    static IcsEventFile parse(const QByteArray& content, QStringList& problems);

    IcsEventFile(IcsEventFile&&) noexcept;
    IcsEventFile& operator=(IcsEventFile&&) noexcept;
    ~IcsEventFile();

    bool isEmpty() const { return singles_.empty() && series_.empty(); }
    bool recurs() const { return !series_.empty(); }
    // Seconds since 1970 outside of which none of the non-recurring events can fall; nothing without any.
    std::optional<std::pair<long long, long long>> singlesSpan() const;

    // Appends every occurrence that overlaps [rangeStart, rangeEnd); floating and all-day times are read
    // in `calendar`'s zone.
    void appendOccurrences(Instant rangeStart, Instant rangeEnd, const Calendar& calendar,
                           std::vector<IcsOccurrence>& out) const;

private:
    struct Single {
        IcsTiming timing;
        IcsEventDetails details;
    };

    IcsEventFile();

    std::vector<Single> singles_;
    std::vector<std::unique_ptr<RecurringSeries>> series_;
};

// An iCalendar file of a vdir calendar, read and queried as the vdir store does: its span, then the
// occurrences of a few days, recurrences expanded, in a zone with summer time.
#include "FuzzSupport.h"
#include "platform/linux/IcsEventFile.h"
#include "utilities/CurrentCalendar.h"

#include <algorithm>
#include <cmath>

namespace {

void query(const IcsEventFile& file, const Calendar& calendar, Instant from, Instant to) {
    const std::vector<IcsEventRecord>& records = *file.records();
    long long reach = 0;
    for (size_t i = file.singleCount(); i < records.size(); ++i)
        reach = std::max(reach, records[i].reach());
    std::vector<IcsTiming> occurrences;
    for (size_t i = 0; i < file.singleCount(); ++i)
        occurrences.push_back(records[i].timing);
    QStringList problems;
    const auto [first, last] =
        IcsEventFile::stretchesFor((long long)std::floor(from.secondsSince1970()),
                                   (long long)std::ceil(to.secondsSince1970()) + 1, reach);
    for (size_t series = 0; series < file.seriesCount(); ++series)
        for (long long stretch = first; stretch <= last; ++stretch)
            file.appendOccurrences(series, stretch, occurrences, problems);
    for (const IcsTiming& timing : occurrences)
        timing.instants(timing.start, calendar);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    static const ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("Europe/Berlin"));
    const Calendar calendar = Calendar::current();
    // libical reads up to the first NUL, as it does with a file's contents.
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList problems;
    const IcsEventFile file = IcsEventFile::parse(content, problems);

    constexpr double kDay = 86400;
    // The day of the first single event, when it is one that the month view can show (a year of four
    // digits): libical takes seconds to place a rule in the year five million, where no one looks.
    constexpr long long kYear1 = -62'135'596'800;
    constexpr long long kYear10000 = 253'402'300'800;
    if (const auto span = file.singlesSpan(); span && span->first >= kYear1 && span->first < kYear10000) {
        const Instant first = Instant::fromSecondsSince1970(double(span->first));
        query(file, calendar, first, first.addingSeconds(kDay));
    }
    const Instant march = *calendar.date(2026, 3, 29); // the day summer time begins
    query(file, calendar, march, march.addingSeconds(kDay));
    query(file, calendar, march.addingSeconds(-45 * kDay), march.addingSeconds(45 * kDay));
    const Instant later = *calendar.date(2040, 10, 28);
    query(file, calendar, later, later.addingSeconds(kDay));
    return 0;
}

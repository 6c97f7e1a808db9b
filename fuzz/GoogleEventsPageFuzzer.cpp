// An events page of the Google Calendar API, decoded and turned into day events as a window fetch does.
#include "FuzzSupport.h"
#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleEventConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    static const ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("Europe/Berlin"));
    GEventsPage page;
    try {
        page = decodeJson<GEventsPage>(
            QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const GoogleDecodingError&) {
        return 0;
    }
    GCalendarListEntry calendar;
    calendar.id = QStringLiteral("c");
    calendar.backgroundColor = QStringLiteral("#0B8043");
    const Calendar user = Calendar::current();
    const Instant first = *user.date(2026, 3, 1);
    const DateInterval window{*user.addingDays(-14, first), *user.addingDays(45, first)};
    GoogleEventConverter(user).eventsByDay({{calendar, page.items.value_or(QList<GEvent>{})}}, window);
    return 0;
}

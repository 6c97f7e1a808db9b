// A calendar-list page of the Google Calendar API, decoded, with the calendars' colours read as the day list
// reads them.
#include "FuzzSupport.h"
#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleEventConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    GCalendarListPage page;
    try {
        page = decodeJson<GCalendarListPage>(
            QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const GoogleDecodingError&) {
        return 0;
    }
    for (const GCalendarListEntry& calendar : page.items.value_or(QList<GCalendarListEntry>{}))
        if (calendar.backgroundColor)
            GoogleEventConverter::color(*calendar.backgroundColor);
    return 0;
}

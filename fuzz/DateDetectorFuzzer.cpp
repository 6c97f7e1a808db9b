// The finder of a date written in free text, under the time zone, locale and "today" that the input chooses.
#include "FuzzSupport.h"
#include "models/DateDetector.h"
#include "utilities/CurrentCalendar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    const CalendarSettingsInput input = readCalendarSettings(data, size);
    const ScopedCalendarPin pin(input.localeName, input.timeZoneId);
    DateDetector::firstDate(QString::fromUtf8(input.text), input.reference);
    return 0;
}

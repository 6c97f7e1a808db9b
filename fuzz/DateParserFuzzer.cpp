// The month view's free-form date jump, under the time zone, locale and "today" that the input chooses.
#include "FuzzSupport.h"
#include "models/CalendarModel.h"
#include "utilities/CurrentCalendar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    const CalendarSettingsInput input = readCalendarSettings(data, size);
    const ScopedCalendarPin pin(input.localeName, input.timeZoneId);
    const std::optional<Instant> day = CalendarModel::parse(QString::fromUtf8(input.text), input.reference);
    if (day) // the jump then shows that day's month
        CalendarModel::firstOfMonth(*day, Calendar::current());
    return 0;
}

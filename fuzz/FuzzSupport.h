#pragma once

#include "utilities/Instant.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// The calendar settings that a fuzz input chooses before its text: the user's time zone and locale and the
// reference day ("today").
struct CalendarSettingsInput {
    QString timeZoneId;
    QString localeName;
    Instant reference;
    QByteArray text;
};

// Reads three lines (time zone, locale, reference in seconds since 1970) and takes the rest as the text.
// A zone outside the known list maps onto one of them (a zone id names a file, and the host's is trusted);
// the reference is kept between 1900 and 2200.
CalendarSettingsInput readCalendarSettings(const uint8_t* data, size_t size);

// Keeps the log quiet: the targets log every bad input.
void silenceLog();

#pragma once

#include "utilities/Instant.h"

#include <QString>
#include <QStringView>
#include <optional>

// RFC 3339 internet date-times as the Google APIs write them: "2026-03-18T09:15:00Z",
// "2026-03-18T10:15:00.250+01:00".
namespace InternetDateTime {
// Full date, "T", full time with colons, optional fraction, then "Z" or an offset with a colon.
std::optional<Instant> parse(QStringView text);
// UTC with whole seconds (the fraction dropped) and "Z".
QString format(Instant instant);
} // namespace InternetDateTime

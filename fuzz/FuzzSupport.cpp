#include "FuzzSupport.h"

#include "platform/LogSink.h"

#include <QHash>
#include <QList>
#include <algorithm>
#include <array>

namespace {

// Zones with the odd corners: half-hour and 45-minute offsets, a skipped day, DST at midnight or negative,
// a date-line crossing.
const std::array<const char*, 16> kTimeZones{"UTC",
                                             "Europe/Berlin",
                                             "America/New_York",
                                             "America/St_Johns",
                                             "Asia/Kathmandu",
                                             "Australia/Lord_Howe",
                                             "Pacific/Kiritimati",
                                             "Pacific/Apia",
                                             "America/Santiago",
                                             "America/Sao_Paulo",
                                             "Asia/Tehran",
                                             "Africa/Casablanca",
                                             "Europe/Dublin",
                                             "Antarctica/Troll",
                                             "Asia/Gaza",
                                             "America/Havana"};

constexpr qint64 kYear1900 = -2'208'988'800;
constexpr qint64 kYear2200 = 7'258'118'400;

class SilentLogSink final : public LogSink {
public:
    bool isEnabled(LogType) const override { return false; }
    void write(const QString&, const QString&, LogType, const QString&) override {}
};

QByteArray takeLine(QByteArray& rest) {
    const qsizetype end = rest.indexOf('\n');
    const QByteArray line = end < 0 ? rest : rest.left(end);
    rest = end < 0 ? QByteArray() : rest.mid(end + 1);
    return line.trimmed();
}

} // namespace

CalendarSettingsInput readCalendarSettings(const uint8_t* data, size_t size) {
    QByteArray rest(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray zone = takeLine(rest);
    const QByteArray locale = takeLine(rest);
    const QByteArray reference = takeLine(rest);

    CalendarSettingsInput input;
    input.timeZoneId = QString::fromLatin1(kTimeZones[qHash(zone) % kTimeZones.size()]);
    for (const char* known : kTimeZones)
        if (zone == known)
            input.timeZoneId = QString::fromLatin1(known);
    input.localeName = QString::fromUtf8(locale.left(40));
    bool ok = false;
    const qint64 seconds = reference.toLongLong(&ok);
    input.reference =
        Instant::fromSecondsSince1970(double(std::clamp(ok ? seconds : 0, kYear1900, kYear2200)));
    input.text = rest;
    return input;
}

void silenceLog() {
    static SilentLogSink sink;
    LogSink::install(&sink);
}

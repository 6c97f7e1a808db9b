// The program's first reading of its local calendars, alone in a fresh process, for the tests that start
// it many times or on one CPU:
//   cold_start_helper write <root>   writes a tree of many small files, each in another zone
//   cold_start_helper <root>         reads it as the program does at launch, with Qt's own pool
// The reading exits 0 when it found every event of the tree.
#include "platform/linux/QtMainQueue.h"
#include "platform/linux/VdirEventStore.h"
#include "utilities/CurrentCalendar.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <cstdio>

namespace {

constexpr int kFiles = 400;

// Zones that libical finds in its table, and old names that it adds to the table when first asked.
const char* const kZones[] = {
    "Europe/Berlin", "Europe/London",    "America/New_York", "America/Los_Angeles", "Asia/Tokyo",
    "Asia/Kolkata",  "Australia/Sydney", "Africa/Cairo",     "America/Sao_Paulo",   "Pacific/Auckland",
    "Europe/Moscow", "Asia/Shanghai",    "America/Chicago",  "Europe/Paris",        "Asia/Dubai",
    "US/Eastern",    "US/Pacific",       "Asia/Calcutta",    "Europe/Kiev",         "America/Buenos_Aires",
    "Asia/Saigon",   "Asia/Katmandu",    "Pacific/Chatham",  "America/St_Johns",    "Atlantic/Azores"};

int write(const QString& root) {
    const QString calendar = root + QStringLiteral("/cold");
    if (!QDir().mkpath(calendar))
        return 2;
    for (int i = 0; i < kFiles; ++i) {
        const char* zone = kZones[i % std::size(kZones)];
        QFile file(calendar + QStringLiteral("/%1.ics").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        file.write(
            QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:%1\r\nSUMMARY:Cold %1\r\n"
                           "DTSTART;TZID=%2:20270310T120000\r\nDTEND;TZID=%2:20270310T130000\r\n"
                           "END:VEVENT\r\nEND:VCALENDAR\r\n")
                .arg(i)
                .arg(QString::fromLatin1(zone))
                .toUtf8());
    }
    return 0;
}

int read(QCoreApplication& app, const QString& root) {
    const ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("UTC"));
    QtMainQueue queue;
    VdirEventStore store(root, queue);
    QObject::connect(&store, &EventStore::changed, &app, &QCoreApplication::quit);
    store.eventCalendars();
    app.exec();
    const Calendar calendar = Calendar::current();
    const Instant from = *calendar.date(2027, 3, 9);
    const qsizetype found = store.events(from, from.addingSeconds(3 * 86400.0), std::nullopt).size();
    std::printf("%lld of %d events\n", (long long)found, kFiles);
    return found == kFiles ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("write"))
        return write(arguments[2]);
    if (arguments.size() == 2)
        return read(app, arguments[1]);
    return 2;
}

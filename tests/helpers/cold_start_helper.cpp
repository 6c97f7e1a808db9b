// The program's first reading of its local calendars, alone in a fresh process, for the tests that start
// it many times or on one CPU:
//   cold_start_helper write <root> [files]   writes a tree of many small files, each in another zone
//   cold_start_helper <root>                 reads it as the program does at launch, with Qt's own pool
//   cold_start_helper quit <root>            starts reading it and quits 0.1 s later
// The reading exits 0 when it found every event of the tree. Quitting prints the wall clock in
// milliseconds since 1970 at the moment it quits, for the caller to see how long the process took to end.
#include "platform/linux/QtMainQueue.h"
#include "platform/linux/VdirEventStore.h"
#include "utilities/CurrentCalendar.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <QTimer>

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

// Ten calendars of one source past a few hundred files, as a large tree is laid out.
int write(const QString& root, int files) {
    const int calendars = files > kFiles ? 10 : 1;
    for (int c = 0; c < calendars; ++c)
        if (!QDir().mkpath(calendars == 1 ? root + QStringLiteral("/cold")
                                          : root + QStringLiteral("/many/cal%1").arg(c)))
            return 2;
    for (int i = 0; i < files; ++i) {
        const char* zone = kZones[i % std::size(kZones)];
        const QString calendar = calendars == 1 ? root + QStringLiteral("/cold")
                                                : root + QStringLiteral("/many/cal%1").arg(i % 10);
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

// Qt waits for its pool when the program ends: the reading in flight must stop soon after the store goes.
int quitWhileReading(QCoreApplication& app, const QString& root) {
    QtMainQueue queue;
    VdirEventStore store(root, queue);
    store.eventCalendars();
    QTimer::singleShot(100, &app, [&app] {
        std::printf("%lld\n", QDateTime::currentMSecsSinceEpoch());
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() >= 3 && arguments.size() <= 4 && arguments[1] == QStringLiteral("write"))
        return write(arguments[2], arguments.size() == 4 ? arguments[3].toInt() : kFiles);
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("quit"))
        return quitWhileReading(app, arguments[2]);
    if (arguments.size() == 2)
        return read(app, arguments[1]);
    return 2;
}

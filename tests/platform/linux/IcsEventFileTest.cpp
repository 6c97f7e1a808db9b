#include "platform/linux/VdirEventStore.h"
#include "utilities/DateFormats.h"

#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"
#include "support/VdirTree.h"
#include "support/VirtualMainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cctype>
#include <set>

// Each ics-samples/NAME.ics is read as one file of a calendar of the local store, and what the store's day
// queries find is compared with
// ics-samples/NAME.expected. That file's first line names the user's zone and the window asked for, as
// local dates or date-times, and optionally the problems the reader must report:
//   # zone=Europe/Berlin from=2026-03-27 to=2026-04-01 problems=invalid_date_time
// Every further line is one occurrence, in start order (then in text order): local start and end with their
// offsets, "all-day" or "timed", and the title:
//   2026-03-29T03:30+02:00|2026-03-29T04:30+02:00|timed|Floating in the gap
// Adding a case is adding those two files.

namespace {

QString samplesDirectory() {
    return QStringLiteral(MONDREL_ICS_SAMPLES);
}

std::vector<std::string> sampleNames() {
    std::vector<std::string> names;
    for (const QString& file : QDir(samplesDirectory()).entryList({QStringLiteral("*.ics")}, QDir::Files))
        names.push_back(QFileInfo(file).completeBaseName().toStdString());
    return names;
}

QByteArray readSample(const QString& name) {
    QFile file(QDir(samplesDirectory()).filePath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

struct Expectation {
    QString zone;
    QString from;
    QString to;
    QStringList problems;
    QStringList occurrences;
};

Expectation readExpectation(const QString& name) {
    QStringList lines = QString::fromUtf8(readSample(name + QStringLiteral(".expected"))).split(u'\n');
    Expectation expected;
    const QString header = lines.isEmpty() ? QString() : lines.takeFirst();
    static const QRegularExpression setting(QStringLiteral("(\\w+)=(\\S+)"));
    for (auto it = setting.globalMatch(header); it.hasNext();) {
        const auto match = it.next();
        const QString value = match.captured(2);
        if (match.captured(1) == u"zone")
            expected.zone = value;
        else if (match.captured(1) == u"from")
            expected.from = value;
        else if (match.captured(1) == u"to")
            expected.to = value;
        else if (match.captured(1) == u"problems")
            expected.problems = value.split(u',');
    }
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty())
            expected.occurrences << line.trimmed();
    return expected;
}

// "2026-03-27" or "2026-03-27T06:00" in the pinned zone.
Instant localTime(const QString& text) {
    QDate date = QDate::fromString(text, Qt::ISODate);
    QTime time(0, 0);
    if (text.contains(u'T')) {
        const QDateTime parsed = QDateTime::fromString(text, Qt::ISODate);
        date = parsed.date();
        time = parsed.time();
    }
    const auto at =
        Calendar::gregorian().date(date.year(), date.month(), date.day(), time.hour(), time.minute());
    EXPECT_TRUE(at) << text.toStdString();
    return at.value_or(Instant());
}

// What the store finds in one range, as expected lines.
std::set<std::pair<Instant, QString>> occurrences(const VdirEventStore& store, Instant from, Instant to) {
    const DateFormatter format =
        DateFormatter::fixedPattern(Calendar::gregorian(), QStringLiteral("yyyy-MM-dd'T'HH:mmxxx"));
    std::set<std::pair<Instant, QString>> lines;
    for (const StoredEvent& e : VdirTree::settledEvents(store, from, to))
        lines.emplace(*e.startDate,
                      QStringList{format.format(*e.startDate), format.format(*e.endDate),
                                  e.isAllDay ? QStringLiteral("all-day") : QStringLiteral("timed"),
                                  e.title.value_or(QString())}
                          .join(u'|'));
    return lines;
}

QString joined(const std::set<std::pair<Instant, QString>>& lines) {
    QStringList list;
    for (const auto& [start, line] : lines)
        list << line;
    return list.join(u'\n');
}

class IcsEventFileSamples : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(IcsEventFileSamples, OccurrencesAreTheExpectedOnes) {
    const QString name = QString::fromStdString(GetParam());
    const Expectation expected = readExpectation(name);
    ASSERT_FALSE(expected.zone.isEmpty()) << "no zone in the header of " << GetParam() << ".expected";
    ScopedCalendarPin pin(QStringLiteral("en_US"), expected.zone);
    const Instant from = localTime(expected.from);
    const Instant to = localTime(expected.to);
    CapturingLogSink log;
    VdirTree tree;
    tree.write(QStringLiteral("cal/") + name + QStringLiteral(".ics"),
               readSample(name + QStringLiteral(".ics")));
    VirtualMainQueue queue;

    VdirEventStore whole(tree.root(), queue);
    VdirTree::load(whole);
    const QString lines = joined(occurrences(whole, from, to));
    EXPECT_EQ(lines.toStdString(), expected.occurrences.join(u'\n').toStdString());
    QStringList problems;
    static const QRegularExpression reported(
        QStringLiteral("^calendar_file_problem file=\\S+ problems=(\\S+)$"));
    for (const QString& message : log.messages(QStringLiteral("events")))
        if (const auto match = reported.match(message); match.hasMatch())
            problems += match.captured(1).split(u',');
    EXPECT_EQ(problems.join(u',').toStdString(), expected.problems.join(u',').toStdString());

    // Day by day, from a store that reads the file afresh, finds the same.
    VdirEventStore daily(tree.root(), queue);
    VdirTree::load(daily);
    const Calendar calendar = Calendar::current();
    std::set<std::pair<Instant, QString>> byDay;
    for (Instant day = calendar.startOfDay(from); day < to;) {
        const Instant next = calendar.startOfDayAfter(1, day).value_or(to);
        byDay.merge(occurrences(daily, std::max(day, from), std::min(next, to)));
        day = next;
    }
    EXPECT_EQ(joined(byDay).toStdString(), lines.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Samples, IcsEventFileSamples, ::testing::ValuesIn(sampleNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

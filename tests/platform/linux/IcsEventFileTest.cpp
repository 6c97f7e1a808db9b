#include "platform/linux/IcsEventFile.h"
#include "utilities/DateFormats.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cctype>
#include <set>

// Each ics-samples/NAME.ics is read as one calendar file and its occurrences are compared with
// ics-samples/NAME.expected. That file's first line names the user's zone and the window asked for, as
// local dates or date-times, and optionally the problems the reader must report:
//   # zone=Europe/Berlin from=2026-03-27 to=2026-04-01 problems=invalid_date_time
// Every further line is one occurrence, in start order (then in text order): local start and end with their
// offsets, "all-day" or "timed", and the title:
//   2026-03-29T03:30+02:00|2026-03-29T04:30+02:00|timed|Floating in the gap
// Adding a case is adding those two files.

namespace {

QString samplesDirectory() {
    // Not __FILE__: the shared compiler cache makes it relative to the build, and CTest runs elsewhere.
    return QStringLiteral(QT_TESTCASE_SOURCEDIR "/platform/linux/ics-samples");
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

// The occurrences of the sample in one range, as expected lines.
std::set<std::pair<Instant, QString>> occurrences(const IcsEventFile& file, Instant from, Instant to) {
    const DateFormatter format =
        DateFormatter::fixedPattern(Calendar::gregorian(), QStringLiteral("yyyy-MM-dd'T'HH:mmxxx"));
    std::vector<IcsOccurrence> found;
    file.appendOccurrences(from, to, Calendar::current(), found);
    std::set<std::pair<Instant, QString>> lines;
    for (const IcsOccurrence& o : found)
        lines.emplace(o.start,
                      QStringList{format.format(o.start), format.format(o.end),
                                  o.details->isAllDay ? QStringLiteral("all-day") : QStringLiteral("timed"),
                                  o.details->title.value_or(QString())}
                          .join(u'|'));
    return lines;
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
    const QByteArray content = readSample(name + QStringLiteral(".ics"));

    QStringList problems;
    const IcsEventFile whole = IcsEventFile::parse(content, problems);
    QStringList lines;
    for (const auto& [start, line] : occurrences(whole, from, to))
        lines << line;
    EXPECT_EQ(lines.join(u'\n').toStdString(), expected.occurrences.join(u'\n').toStdString());
    EXPECT_EQ(problems.join(u',').toStdString(), expected.problems.join(u',').toStdString());

    // Day by day, each day read afresh from a new reading of the file, finds the same.
    QStringList ignored;
    const IcsEventFile daily = IcsEventFile::parse(content, ignored);
    const Calendar calendar = Calendar::current();
    std::set<std::pair<Instant, QString>> byDay;
    for (Instant day = calendar.startOfDay(from); day < to;) {
        const Instant next = calendar.startOfDayAfter(1, day).value_or(to);
        byDay.merge(occurrences(daily, std::max(day, from), std::min(next, to)));
        day = next;
    }
    QStringList dayLines;
    for (const auto& [start, line] : byDay)
        dayLines << line;
    EXPECT_EQ(dayLines.join(u'\n').toStdString(), lines.join(u'\n').toStdString());
}

INSTANTIATE_TEST_SUITE_P(Samples, IcsEventFileSamples, ::testing::ValuesIn(sampleNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

#include "platform/linux/VdirIndex.h"

#include "support/QtPrinters.h"
#include "support/VdirTree.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

// Whole 2027, where the events below lie: its recurring events are expanded in two halves.
constexpr std::pair<long long, long long> kFirstHalf{1798761600, 1814400000};
constexpr std::pair<long long, long long> kSecondHalf{1814400000, 1830297600};

QByteArray single(const QString& uid, const QString& start) {
    return VdirTree::event(uid, uid, {"DTSTART:" + start, "DURATION:PT1H"});
}
QByteArray weekly(const QString& uid, const QString& start, const QString& extra = {}) {
    QStringList times{"DTSTART;TZID=Europe/Berlin:" + start, "DURATION:PT30M", "RRULE:FREQ=WEEKLY"};
    if (!extra.isEmpty())
        times << extra;
    return VdirTree::event(uid, uid, times);
}

// The index reads the tree's changes one request at a time, as the store's worker does; after each, its
// snapshot must answer as one built from a fresh reading of the whole tree.
class VdirIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        write("work/b.ics", single("b", "20270310T090000Z"));
        write("work/d.ics", weekly("d", "20270104T100000"));
        write("work/f.ics", single("f", "20270920T140000"));
        write("home/m.ics", weekly("m", "20270105T180000", "EXDATE;TZID=Europe/Berlin:20270112T180000"));
        VdirIndex::Request first;
        first.layout = VdirLayout::read(tree_.root());
        first.ranges = {kFirstHalf};
        index_.update(first);
        index_.snapshot();
    }

    void write(const QString& path, const QByteArray& content) { tree_.write(path, content); }
    void remove(const QString& path) { QFile::remove(tree_.root() + u'/' + path); }

    // Tells the index that these files (as "calendar/name") changed, and compares what it then answers.
    void changed(const QStringList& paths, bool expandSecondHalf = false) {
        VdirIndex::Request request;
        for (const QString& path : paths)
            request.entries.insert({tree_.root() + u'/' + path.section(u'/', 0, 0), path.section(u'/', 1)});
        if (expandSecondHalf)
            request.ranges = {kSecondHalf};
        index_.update(request);
        ranges_.insert(ranges_.end(), request.ranges.begin(), request.ranges.end());
        compare();
    }

    void compare() {
        VdirIndex fresh(tree_.root());
        VdirIndex::Request request;
        request.layout = VdirLayout::read(tree_.root());
        request.ranges = ranges_;
        fresh.update(request);
        const auto expected = fresh.snapshot();
        const auto laid = index_.snapshot();
        const std::optional<QStringList> home = QStringList{QStringLiteral("home")};
        for (const std::optional<QStringList>& calendars : {std::optional<QStringList>(), home})
            for (const auto& [from, to] : window_ ? std::vector{*window_} : ranges_)
                ASSERT_EQ(describe(*laid, from, to, calendars), describe(*expected, from, to, calendars));
    }

    static QStringList describe(const VdirSnapshot& snapshot, long long from, long long to,
                                const std::optional<QStringList>& calendars) {
        QStringList lines;
        for (const StoredEvent& e : snapshot.events(Instant::fromSecondsSince1970(double(from)),
                                                    Instant::fromSecondsSince1970(double(to)), calendars))
            lines << QStringLiteral("%1 %2 %3-%4")
                         .arg(e.calendarItemIdentifier, e.title.value_or("?"))
                         .arg(e.startDate->secondsSince1970())
                         .arg(e.endDate->secondsSince1970());
        return lines;
    }

    ScopedCalendarPin pin_{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    VdirTree tree_;
    VdirIndex index_{tree_.root()};
    std::vector<std::pair<long long, long long>> ranges_{kFirstHalf};
    // What is compared, when not all of `ranges_`.
    std::optional<std::pair<long long, long long>> window_;
};

} // namespace

TEST_F(VdirIndexTest, ChangedFilesAnswerAsAFreshReading) {
    // Edited in place, a single becoming a series and back.
    write("work/b.ics", weekly("b", "20270301T070000"));
    changed({"work/b.ics"});
    write("work/b.ics", single("b", "20270311T090000Z"));
    changed({"work/b.ics"});
    // New files before, between and after the others, in both calendars, and a stretch expanded between.
    write("work/a.ics", single("a", "20270310T090000Z"));
    write("work/c.ics", weekly("c", "20270106T100000"));
    changed({"work/a.ics", "work/c.ics"});
    write("home/z.ics", weekly("z", "20270107T100000"));
    changed({"home/z.ics"});
    changed({}, true);
    write("work/e.ics", weekly("e", "20270108T100000"));
    changed({"work/e.ics"});
    // Gone, gone and back under the same name, a file that no longer parses, and one that never existed.
    remove("work/d.ics");
    changed({"work/d.ics"});
    remove("home/m.ics");
    changed({"home/m.ics"});
    write("home/m.ics", single("m", "20270105T180000Z"));
    changed({"home/m.ics", "work/none.ics"});
    write("work/c.ics", "BEGIN:VCALENDAR\nthis is not a calendar");
    changed({"work/c.ics"});
    // Many changes, one at a time, so that their layers are merged into the ones below again and again.
    for (int i = 0; i < 24; ++i) {
        const QString path = QStringLiteral("work/f.ics");
        write(path, i % 2 ? single("f", "20270920T140000") : weekly("f", "20270102T080000"));
        changed({path});
    }
}

TEST_F(VdirIndexTest, FilesAddedBetweenTheSameTwoUntilNoRankIsLeftKeepTheirOrder) {
    // Each name sorts right after the last: the room between it and "b" halves every time.
    QString name = QStringLiteral("a");
    for (int i = 0; i < 40; ++i) {
        name += u'1';
        // Earlier each time: their order is the files', not the times'.
        const QDateTime start = QDateTime(QDate(2027, 3, 10), QTime(20, 0), Qt::UTC).addSecs(-60LL * i);
        write("work/" + name + ".ics", single(name, start.toString("yyyyMMdd'T'HHmmss'Z'")));
        changed({"work/" + name + ".ics"});
    }
}

TEST_F(VdirIndexTest, TheBoundAcrossSeriesCountsAsAFreshReadingAfterChanges) {
    // What each series puts into the stretch: far below its own bound.
    const int perSeries = 5000;
    const int full = int(VdirIndex::kMostOccurrencesPerStretch / perSeries);
    // Every ten minutes from 1 March 2027, all in the same stretch of seven weeks.
    const QStringList lines{
        "BEGIN:VEVENT",  "UID:many",
        "SUMMARY:Many",  "DTSTART:20270301T000000Z",
        "DURATION:PT5M", QStringLiteral("RRULE:FREQ=MINUTELY;INTERVAL=10;COUNT=%1").arg(perSeries),
        "END:VEVENT"};
    const QByteArray content = VdirTree::calendar(lines);
    // 8 March 2027 in Berlin, a day of the weekly "d" that comes after these in the store's order.
    window_ = {1804460400, 1804546800};
    QStringList paths;
    for (int i = 0; i < full - 1; ++i)
        paths << QStringLiteral("many/%1.ics").arg(i, 3, 10, QChar(u'0'));
    for (const QString& path : paths)
        write(path, content);
    VdirIndex::Request request;
    request.layout = VdirLayout::read(tree_.root());
    index_.update(request);
    index_.snapshot();
    // One more fills the stretch, and the later series are cut there, until one of the others is gone.
    write("many/999.ics", content);
    changed({"many/999.ics"});
    remove(paths.first());
    changed({paths.first()});
}

// Snapshots share the table of file slots with the index; a change copies the part it changes first, so a
// snapshot that the main thread holds answers as it did, whatever the index does later.
TEST_F(VdirIndexTest, ASnapshotHandedOverStaysAsItWasAfterLaterChanges) {
    const std::shared_ptr<const VdirSnapshot> held = index_.snapshot();
    const auto [from, to] = kFirstHalf;
    const QStringList before = describe(*held, from, to, std::nullopt);
    ASSERT_EQ(before.size(), 52);

    write("work/b.ics", single("b", "20270311T090000Z"));
    remove("home/m.ics");
    write("work/a.ics", single("a", "20270310T090000Z"));
    changed({"work/b.ics", "home/m.ics", "work/a.ics"});
    changed({}, true);
    for (int i = 0; i < 40; ++i) {
        write("work/d.ics",
              weekly("d", QStringLiteral("202701%1T100000").arg(4 + i % 20, 2, 10, QChar(u'0'))));
        changed({"work/d.ics"});
    }
    // The whole tree read afresh too: every slot laid anew.
    VdirIndex::Request reread;
    reread.layout = VdirLayout::read(tree_.root());
    index_.update(reread);
    index_.snapshot();

    EXPECT_EQ(describe(*held, from, to, std::nullopt), before);
}

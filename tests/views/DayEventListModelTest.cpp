#include "views/DayEventListModel.h"

#include "support/QtPrinters.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

DayEvent event(const QString& id, const QString& title = {}) {
    return DayEvent(id, title.isEmpty() ? id : title, QStringLiteral("9:00 AM"), false, Qt::blue,
                    Instant::fromSecondsSince1970(1'800'000'000), std::nullopt);
}

QList<DayEvent> events(const QStringList& ids) {
    QList<DayEvent> list;
    for (const QString& id : ids)
        list.append(event(id));
    return list;
}

QStringList rows(const DayEventListModel& model) {
    QStringList ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids << model.index(row).data(DayEventListModel::idRole).toString();
    return ids;
}

TEST(DayEventListModelTest, RowsThatStayKeepTheirIndexesThroughAnyChangeOfTheList) {
    DayEventListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QRandomGenerator random(20261207);
    QStringList pool;
    for (int i = 0; i < 80; ++i)
        pool << QStringLiteral("e%1").arg(i);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    for (int round = 0; round < 300; ++round) {
        // Persistent indexes stand for what a view holds on to: the row under the mouse, the top row.
        QList<QPersistentModelIndex> held;
        for (int row = 0; row < model.rowCount(); ++row)
            held.append(model.index(row));
        const QStringList before = rows(model);

        // Every other round a few rows come, go or move; in between, any list at all.
        QStringList next = before;
        if (round % 2 == 0) {
            for (int change = random.bounded(4); change >= 0; --change) {
                const QString id = pool[random.bounded(pool.size())];
                if (next.removeOne(id) && random.bounded(2) == 0)
                    continue;
                next.insert(random.bounded(next.size() + 1), id);
            }
        } else {
            next = pool;
            std::shuffle(next.begin(), next.end(), random);
            next.resize(random.bounded(pool.size() + 1));
        }
        model.setEvents(events(next));

        ASSERT_EQ(rows(model), next) << "round " << round;
        for (int i = 0; i < held.size(); ++i) {
            const QString& id = before[i];
            if (next.contains(id)) {
                ASSERT_TRUE(held[i].isValid()) << id.toStdString() << " in round " << round;
                EXPECT_EQ(held[i].data(DayEventListModel::idRole).toString(), id);
            } else {
                EXPECT_FALSE(held[i].isValid()) << id.toStdString();
            }
        }
    }
    EXPECT_EQ(resets.size(), 0) << "a reset would throw away the view's scroll position";
}

TEST(DayEventListModelTest, AListThatRepeatsAnIdIsShownAsItIs) {
    DayEventListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setEvents(events({"a", "b"}));
    // Two files that claim the same event.
    model.setEvents({event("a"), event("b", "first"), event("b", "second"), event("c")});
    EXPECT_EQ(rows(model), QStringList({"a", "b", "b", "c"}));
    EXPECT_EQ(model.index(2).data().toString(), "second");
    model.setEvents(events({"c", "a"}));
    EXPECT_EQ(rows(model), QStringList({"c", "a"}));
    model.setEvents(events({"a", "d", "c"}));
    EXPECT_EQ(rows(model), QStringList({"a", "d", "c"}));
}

} // namespace

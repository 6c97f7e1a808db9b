#pragma once

#include "platform/linux/VdirEventStore.h"
#include "support/RunEvents.h"
#include "support/VirtualMainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A vdir tree in a temporary directory that tests write into.
class VdirTree {
public:
    QString root() const { return dir_.filePath(QStringLiteral("calendars")); }
    QString scratchPath(const QString& name) const { return dir_.filePath(name); }

    void write(const QString& relativePath, const QByteArray& content) const {
        const QString path = root() + u'/' + relativePath;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    void mkdir(const QString& relativePath) const { QDir().mkpath(root() + u'/' + relativePath); }

    static QByteArray calendar(const QStringList& lines) {
        return ("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//test//EN\n" + lines.join(u'\n') +
                "\nEND:VCALENDAR\n")
            .toUtf8();
    }
    static QByteArray event(const QString& uid, const QString& summary, const QStringList& times) {
        return calendar(QStringList{"BEGIN:VEVENT", "UID:" + uid, "SUMMARY:" + summary} + times +
                        QStringList{"END:VEVENT"});
    }

    // Waits, running the event loop, for the store's next change notice.
    static bool awaitNotice(const EventStore& store) {
        QSignalSpy notices(&store, &EventStore::changed);
        return notices.wait(5000);
    }

    // Asks a store that has not read its tree yet, and waits until the reading is handed over.
    static void load(VdirEventStore& store) {
        store.eventCalendars();
        ASSERT_TRUE(store.isLoading());
        ASSERT_TRUE(awaitNotice(store));
    }

    // Lets the store read what inotify reported, then lets `delay` (its coalescing delay) pass on `queue`.
    static void noteChanges(const VdirEventStore& store, VirtualMainQueue& queue,
                            double delay = VdirEventStore::kCoalescingDelay) {
        const QDeadlineTimer deadline = testDeadline(5000);
        // inotify queues an event before the write that causes it returns: one turn of the loop reads it.
        QCoreApplication::processEvents();
        while (!store.hasPendingChanges() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        queue.advance(delay);
        QCoreApplication::processEvents();
    }

    // Waits, running the event loop, until the store's worker has nothing of it in hand.
    static bool awaitIdle(const VdirEventStore& store) {
        const QDeadlineTimer deadline = testDeadline(5000);
        while (store.isLoading() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        return !store.isLoading();
    }

    // The events of a range once the recurring events there have been expanded.
    static QList<StoredEvent> settledEvents(const VdirEventStore& store, Instant start, Instant end,
                                            const std::optional<QStringList>& calendars = std::nullopt) {
        store.events(start, end, calendars);
        EXPECT_TRUE(awaitIdle(store));
        return store.events(start, end, calendars);
    }

    // Notes the changes and waits until the worker has read them.
    static void settle(const VdirEventStore& store, VirtualMainQueue& queue) {
        noteChanges(store, queue);
        EXPECT_TRUE(awaitIdle(store));
    }

private:
    QTemporaryDir dir_;
};

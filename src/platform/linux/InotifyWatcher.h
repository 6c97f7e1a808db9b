#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

// Reports changes inside a set of directories through inotify, entry by entry: unlike a plain directory
// watch it also sees files rewritten in place.
class InotifyWatcher : public QObject {
    Q_OBJECT
public:
    explicit InotifyWatcher(QObject* parent = nullptr);
    ~InotifyWatcher() override;

    // Watches exactly these directories from now on.
    void setDirectories(const QStringList& paths);

signals:
    // `name` is the entry of `directory` that changed; empty when the directory itself went or moved.
    void changed(const QString& directory, const QString& name, bool isDirectory);
    // The kernel dropped events: anything may have changed.
    void overflowed();

private:
    void readEvents();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QHash<int, QString> paths_;
};

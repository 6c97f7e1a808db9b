#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// The log lines about the entries of one reading that something is wrong with. While few entries share a
// problem each gets its own line; a problem that many share (a folder of a million empty files) becomes
// one line with their number and the first few names.
class ProblemTally {
public:
    // A group with more entries than this is summed up.
    static constexpr int kNamedEntries = 3;

    // `line` is the entry's own line; `event` and `group` (the folder or calendar and the problem, as
    // key=value pairs) begin the summary of its group.
    void add(const QString& event, const QString& group, const QString& name, const QString& line);
    // The lines in the order their groups first came, and forgets them.
    QStringList take();
    bool isEmpty() const { return groups_.empty(); }

private:
    struct Group {
        QString event;
        QString group;
        long long count = 0;
        QStringList names;
        QStringList lines;
    };
    std::vector<Group> groups_;
    QHash<QString, size_t> indices_;
};

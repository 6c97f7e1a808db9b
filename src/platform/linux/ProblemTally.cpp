#include "platform/linux/ProblemTally.h"

#include <utility>

void ProblemTally::add(const QString& event, const QString& group, const QString& name, const QString& line) {
    const QString key = event + u' ' + group;
    auto found = indices_.constFind(key);
    if (found == indices_.cend()) {
        found = indices_.insert(key, groups_.size());
        groups_.push_back(Group{event, group, 0, {}, {}});
    }
    Group& entry = groups_[*found];
    if (++entry.count <= kNamedEntries) {
        entry.names.append(name);
        entry.lines.append(line);
    }
}

QStringList ProblemTally::take() {
    QStringList lines;
    indices_.clear();
    for (const Group& group : std::exchange(groups_, {})) {
        if (group.count <= kNamedEntries)
            lines += group.lines;
        else
            lines.append(
                QStringLiteral("%1 %2 count=%3 first=%4")
                    .arg(group.event, group.group, QString::number(group.count), group.names.join(u',')));
    }
    return lines;
}

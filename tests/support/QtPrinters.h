#pragma once

#include "utilities/Instant.h"

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt and project types.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}
inline void PrintTo(const Instant& t, std::ostream* os) {
    *os << t.toDateTime().toString(Qt::ISODateWithMs).toStdString() << " (" << t.secondsSince1970() << ")";
}

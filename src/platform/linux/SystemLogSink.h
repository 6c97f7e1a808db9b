#pragma once

#include "platform/LogSink.h"

#include <QByteArray>
#include <QString>

// Whether a datagram can reach the journal's socket at `path`: a socket file left behind by a journal that
// is gone, or one we may not write to, does not count.
bool journalSocketReachable(const QString& path);

// One entry as standard error shows it: "category type: message" and a newline.
QByteArray standardErrorLine(const QString& category, LogType type, const QString& message);

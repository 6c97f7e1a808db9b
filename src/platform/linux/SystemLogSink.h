#pragma once

#include "platform/LogSink.h"

#include <QString>

// Whether a datagram can reach the journal's socket at `path`: a socket file left behind by a journal that
// is gone, or one we may not write to, does not count.
bool journalSocketReachable(const QString& path);

// The system's sink: journald when its socket is reachable, else standard error. The program installs it at
// start; until then, and in tests, entries go to standard error.
LogSink& systemLogSink();

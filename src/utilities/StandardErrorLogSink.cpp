#include "utilities/StandardErrorLogSink.h"

#include <cstdio>

QByteArray standardErrorLine(const QString& category, LogType type, const QString& message) {
    return QStringLiteral("%1 %2: %3\n")
        .arg(category, type == LogType::error ? u"error" : u"info", message)
        .toUtf8();
}

void StandardErrorLogSink::write(const QString&, const QString& category, LogType type,
                                 const QString& message) {
    const QByteArray line = standardErrorLine(category, type, message);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

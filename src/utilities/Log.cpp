#include "utilities/Log.h"

#include "platform/LogSink.h"
#include "utilities/Constants.h"
#include "utilities/StandardErrorLogSink.h"

#include <atomic>

namespace {
std::atomic<LogSink*> installedSink{nullptr};

void write(const QString& category, LogType type, const QString& message) {
    LogSink& sink = LogSink::current();
    if (!sink.isEnabled(type))
        return;
    sink.write(Constants::kBundleIdentifier, category, type, Log::escaped(message));
}
} // namespace

QString Log::escaped(QStringView text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\')
            line += QLatin1String("\\\\");
        else if (code == u'\n')
            line += QLatin1String("\\n");
        else if (code == u'\r')
            line += QLatin1String("\\r");
        else if (code == u'\t')
            line += QLatin1String("\\t");
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            line += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        // Line separators, and the bidirectional controls that make a line read other than it is written.
        else if (code == 0x2028 || code == 0x2029 || (code >= 0x202a && code <= 0x202e) ||
                 (code >= 0x2066 && code <= 0x2069))
            line += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

void Log::info(const QString& message) const {
    write(category_, LogType::info, message);
}
void Log::warning(const QString& message) const {
    write(category_, LogType::error, message);
}
void Log::error(const QString& message) const {
    write(category_, LogType::error, message);
}

LogSink& LogSink::current() {
    static StandardErrorLogSink standardError;
    LogSink* sink = installedSink.load();
    return sink ? *sink : standardError;
}

LogSink* LogSink::install(LogSink* sink) {
    return installedSink.exchange(sink);
}

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
    sink.write(Constants::kBundleIdentifier, category, type, message);
}
} // namespace

QString Log::escaped(QStringView value) {
    QString text;
    text.reserve(value.size());
    for (const QChar c : value) {
        const char16_t code = c.unicode();
        if (code == u'\\')
            text += QLatin1String("\\\\");
        else if (code == u'\n')
            text += QLatin1String("\\n");
        else if (code == u'\r')
            text += QLatin1String("\\r");
        else if (code == u'\t')
            text += QLatin1String("\\t");
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            text += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        else if (code == 0x2028 || code == 0x2029)
            text += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
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

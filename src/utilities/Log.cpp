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

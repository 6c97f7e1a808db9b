#include "utilities/Log.h"

#include "platform/LogSink.h"
#include "utilities/Constants.h"

namespace {
void write(const QString& category, LogType type, const QString& message) {
    LogSink& sink = LogSink::current();
    if (!sink.isEnabled(type))
        return;
    sink.write(Constants::kBundleIdentifier, category, type, message);
}
} // namespace

void Log::info(const QString& message) const {
    write(category_, LogType::Info, message);
}
void Log::warning(const QString& message) const {
    write(category_, LogType::Error, message);
}
void Log::error(const QString& message) const {
    write(category_, LogType::Error, message);
}

#include "platform/LogSink.h"

#include <QFileInfo>
#include <atomic>
#include <cstdio>
#include <systemd/sd-journal.h>

namespace {

class JournalLogSink final : public LogSink {
public:
    bool isEnabled(LogType) const override { return true; }
    void write(const QString& subsystem, const QString& category, LogType type,
               const QString& message) override {
        const QByteArray text = message.toUtf8();
        const QByteArray identifier = subsystem.toUtf8();
        const QByteArray cat = category.toUtf8();
        // The message goes in as an argument of "%s": percent signs in it stay literal.
        sd_journal_send("MESSAGE=%s", text.constData(), "SYSLOG_IDENTIFIER=%s", identifier.constData(),
                        "MONDREL_CATEGORY=%s", cat.constData(), "PRIORITY=%d", type == LogType::Error ? 3 : 6,
                        nullptr);
    }
};

class StandardErrorLogSink final : public LogSink {
public:
    bool isEnabled(LogType) const override { return true; }
    void write(const QString&, const QString& category, LogType type, const QString& message) override {
        const QByteArray line = QStringLiteral("%1 %2: %3\n")
                                    .arg(category, type == LogType::Error ? u"error" : u"info", message)
                                    .toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
};

std::atomic<LogSink*> installedSink{nullptr};

} // namespace

LogSink& systemLogSink() {
    static JournalLogSink journal;
    static StandardErrorLogSink standardError;
    static const bool journalReachable = QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
    if (journalReachable)
        return journal;
    return standardError;
}

LogSink& LogSink::current() {
    LogSink* sink = installedSink.load();
    return sink ? *sink : systemLogSink();
}

LogSink* LogSink::install(LogSink* sink) {
    return installedSink.exchange(sink);
}

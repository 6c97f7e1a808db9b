#pragma once

#include "platform/LogSink.h"

#include <QStringList>
#include <vector>

// Collects log entries while it lives and restores the previous sink afterwards.
class CapturingLogSink final : public LogSink {
public:
    struct Entry {
        QString subsystem;
        QString category;
        LogType type;
        QString message;
    };

    CapturingLogSink() : previous_(LogSink::install(this)) {}
    ~CapturingLogSink() override { LogSink::install(previous_); }
    CapturingLogSink(const CapturingLogSink&) = delete;
    CapturingLogSink& operator=(const CapturingLogSink&) = delete;

    bool isEnabled(LogType) const override { return enabled; }
    void write(const QString& subsystem, const QString& category, LogType type,
               const QString& message) override {
        entries.push_back({subsystem, category, type, message});
    }

    QStringList messages(const QString& category = {}) const {
        QStringList result;
        for (const Entry& e : entries)
            if (category.isEmpty() || e.category == category)
                result << e.message;
        return result;
    }
    void clear() { entries.clear(); }

    bool enabled = true;
    std::vector<Entry> entries;

private:
    LogSink* previous_;
};

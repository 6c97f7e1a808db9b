#pragma once

#include <QString>

enum class LogType { info, error };

// Where log entries go: the system journal, standard error or, in tests, a list.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual bool isEnabled(LogType type) const = 0;
    virtual void write(const QString& subsystem, const QString& category, LogType type,
                       const QString& message) = 0;

    // The sink in use: the one installed last, else standard error.
    static LogSink& current();
    // Installs `sink` (not owned) until the returned previous one is installed again; nullptr restores
    // standard error.
    static LogSink* install(LogSink* sink);
};

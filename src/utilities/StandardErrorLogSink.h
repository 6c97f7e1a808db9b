#pragma once

#include "platform/LogSink.h"

#include <QByteArray>
#include <QString>

// One entry as standard error shows it: "category type: message" and a newline.
QByteArray standardErrorLine(const QString& category, LogType type, const QString& message);

// Writes every entry to standard error; the sink in use until the program installs the system's.
class StandardErrorLogSink final : public LogSink {
public:
    bool isEnabled(LogType) const override { return true; }
    void write(const QString& subsystem, const QString& category, LogType type,
               const QString& message) override;
};

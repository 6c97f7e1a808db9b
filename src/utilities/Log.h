#pragma once

#include <QString>

// One component's handle on the system log, under the bundle identifier. Messages are written literally,
// one public string each: an event name followed by key=value pairs.
class Log {
public:
    explicit Log(QString category) : category_(std::move(category)) {}

    const QString& category() const { return category_; }

    void info(const QString& message) const;
    // The system log has no warning type: warnings are errors there.
    void warning(const QString& message) const;
    void error(const QString& message) const;

private:
    QString category_;
};

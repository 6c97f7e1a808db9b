#pragma once

#include <QString>
#include <QStringView>

// One component's handle on the system log, under the bundle identifier. Messages are written literally,
// one public string each: an event name followed by key=value pairs.
class Log {
public:
    explicit Log(QString category) : category_(std::move(category)) {}

    const QString& category() const { return category_; }

    // A value from outside the program (a URL, a host, another program's message) made safe for one log
    // line: control characters, line and paragraph separators and the backslash become escapes ("\n",
    // "\x1b", "\u2028", "\\"), so no value can end the line or fake another.
    static QString escaped(QStringView value);

    void info(const QString& message) const;
    // The system log has no warning type: warnings are errors there.
    void warning(const QString& message) const;
    void error(const QString& message) const;

private:
    QString category_;
};

#pragma once

#include <QString>
#include <QStringView>

// One component's handle on the system log, under the bundle identifier. Messages are written literally,
// one public string each: an event name followed by key=value pairs. Many carry values from outside (a URL's
// host, a path, a server's or a keyring's words), so every message is written `escaped`: none can end its
// line early or fake another.
class Log {
public:
    explicit Log(QString category) : category_(std::move(category)) {}

    const QString& category() const { return category_; }

    // `text` as one log line: control characters, line and paragraph separators and the backslash become
    // escapes ("\n", "\x1b", "\u2028", "\\").
    static QString escaped(QStringView text);

    void info(const QString& message) const;
    // The system log has no warning type: warnings are errors there.
    void warning(const QString& message) const;
    void error(const QString& message) const;

private:
    QString category_;
};

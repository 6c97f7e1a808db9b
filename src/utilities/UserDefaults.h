#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

// The program's preferences: typed values in a JSON file, written atomically on every change. A file that
// cannot be read is set aside, never deleted, and the program starts from the defaults; one that cannot be
// set aside is left alone and changes stay in memory.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    // `$XDG_CONFIG_HOME/mondrel/defaults.json`.
    static QString standardPath();
    // A larger file holds no preferences of ours and is set aside.
    static constexpr qint64 kLargestFile = qint64(1024) * 1024;
    explicit UserDefaults(QString path = standardPath(), QObject* parent = nullptr);

    const QString& path() const { return path_; }

    bool contains(const QString& key) const { return values_.contains(key); }
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QStringList> stringArray(const QString& key) const;
    bool boolValue(const QString& key, bool fallback) const { return boolValue(key).value_or(fallback); }

    void setBool(const QString& key, bool value);
    void setString(const QString& key, const QString& value);
    void setStringArray(const QString& key, const QStringList& value);
    void remove(const QString& key);

signals:
    // Emitted after a write that changed the key's stored value.
    void changed(const QString& key);

private:
    void load();
    void store(const QString& key, const QJsonValue& value);
    void save() const;

    QString path_;
    QJsonObject values_;
    bool keepOnDisk_ = false;
};

#include "utilities/UserDefaults.h"

#include "utilities/BoundedFile.h"
#include "utilities/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

QString UserDefaults::standardPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/mondrel/defaults.json");
}

UserDefaults::UserDefaults(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    load();
}

void UserDefaults::load() {
    const BoundedFile::Contents contents = BoundedFile::read(path_, kLargestFile);
    if (contents.status == BoundedFile::Status::missing)
        return;
    // A directory in its place can be neither read nor set aside as a file.
    if (contents.status == BoundedFile::Status::unreadable ||
        contents.status == BoundedFile::Status::directory) {
        Log(QStringLiteral("defaults")).warning(QStringLiteral("defaults_unreadable path=") + path_);
        keepOnDisk_ = true;
        return;
    }
    // A FIFO or a device in its place, or a file no preferences fill, is set aside like a corrupt one.
    if (contents.status == BoundedFile::Status::read) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(contents.bytes, &error);
        if (error.error == QJsonParseError::NoError && document.isObject()) {
            values_ = document.object();
            return;
        }
    }
    const QString aside = path_ + QStringLiteral(".corrupt-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const bool moved = QFile::rename(path_, aside);
    keepOnDisk_ = !moved;
    Log(QStringLiteral("defaults"))
        .warning(QStringLiteral("defaults_corrupt path=") + path_ + QStringLiteral(" movedTo=") +
                 (moved ? aside : QStringLiteral("none")));
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const {
    const QJsonValue value = values_.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const {
    const QJsonValue value = values_.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QStringList> UserDefaults::stringArray(const QString& key) const {
    const QJsonValue value = values_.value(key);
    if (!value.isArray())
        return std::nullopt;
    QStringList result;
    for (const auto& item : value.toArray()) {
        if (!item.isString())
            return std::nullopt;
        result << item.toString();
    }
    return result;
}

void UserDefaults::setBool(const QString& key, bool value) {
    store(key, value);
}
void UserDefaults::setString(const QString& key, const QString& value) {
    store(key, value);
}
void UserDefaults::setStringArray(const QString& key, const QStringList& value) {
    store(key, QJsonArray::fromStringList(value));
}

void UserDefaults::remove(const QString& key) {
    if (!values_.contains(key))
        return;
    values_.remove(key);
    save();
    emit changed(key);
}

void UserDefaults::store(const QString& key, const QJsonValue& value) {
    if (values_.value(key) == value && values_.contains(key))
        return;
    values_.insert(key, value);
    save();
    emit changed(key);
}

void UserDefaults::save() const {
    // A file we could neither read nor set aside still holds what the user had: never write over it.
    if (keepOnDisk_)
        return;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(values_).toJson(QJsonDocument::Indented));
        if (file.commit())
            return;
    }
    Log(QStringLiteral("defaults")).error(QStringLiteral("defaults_write_failed path=") + path_);
}

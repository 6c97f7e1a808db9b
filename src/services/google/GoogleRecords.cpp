#include "services/google/GoogleRecords.h"

#include "services/google/GoogleCalendarError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>

namespace {

// Reads the optional fields of one JSON object; `path` names the object in error messages.
class FieldReader {
public:
    FieldReader(const QJsonObject& object, QString path) : object_(object), path_(std::move(path)) {}

    std::optional<QString> text(const QString& key) const {
        const QJsonValue v = object_.value(key);
        if (isAbsent(v))
            return std::nullopt;
        if (!v.isString())
            fail(key, QStringLiteral("a string"));
        return v.toString();
    }

    std::optional<bool> boolean(const QString& key) const {
        const QJsonValue v = object_.value(key);
        if (isAbsent(v))
            return std::nullopt;
        if (!v.isBool())
            fail(key, QStringLiteral("a boolean"));
        return v.toBool();
    }

    std::optional<qint64> integer(const QString& key) const {
        const QJsonValue v = object_.value(key);
        if (isAbsent(v))
            return std::nullopt;
        const double d = v.toDouble();
        if (!v.isDouble() || d != std::trunc(d) || std::abs(d) > 9.007199254740992e15)
            fail(key, QStringLiteral("an integer"));
        return v.toInteger();
    }

    template <typename Record, typename Decode>
    std::optional<Record> object(const QString& key, Decode decode) const {
        const QJsonValue v = object_.value(key);
        if (isAbsent(v))
            return std::nullopt;
        if (!v.isObject())
            fail(key, QStringLiteral("an object"));
        return decode(FieldReader(v.toObject(), subpath(key)));
    }

    template <typename Record, typename Decode>
    std::optional<QList<Record>> array(const QString& key, Decode decode) const {
        const QJsonValue v = object_.value(key);
        if (isAbsent(v))
            return std::nullopt;
        if (!v.isArray())
            fail(key, QStringLiteral("an array"));
        const QJsonArray elements = v.toArray();
        QList<Record> records;
        records.reserve(elements.size());
        for (qsizetype i = 0; i < elements.size(); ++i) {
            const QString elementPath = subpath(key) + '[' + QString::number(i) + ']';
            if (!elements.at(i).isObject())
                throw GoogleDecodingError(elementPath + QStringLiteral(" is not an object"));
            records.append(decode(FieldReader(elements.at(i).toObject(), elementPath)));
        }
        return records;
    }

private:
    static bool isAbsent(const QJsonValue& v) { return v.isUndefined() || v.isNull(); }
    QString subpath(const QString& key) const { return path_.isEmpty() ? key : path_ + '.' + key; }
    [[noreturn]] void fail(const QString& key, const QString& expected) const {
        throw GoogleDecodingError(subpath(key) + QStringLiteral(" is not ") + expected);
    }

    QJsonObject object_;
    QString path_;
};

// Qt's JSON document costs some hundred bytes per object or array beyond the text: a body of tiny objects
// takes over ten times its size. No page of ours comes near this many (a brace inside a string counts too).
constexpr qsizetype kMaxContainers = qsizetype(1) << 16;

FieldReader topLevel(const QByteArray& body) {
    if (std::count_if(body.begin(), body.end(), [](char c) { return c == '{' || c == '['; }) > kMaxContainers)
        throw GoogleDecodingError(QStringLiteral("more than %1 objects and arrays").arg(kMaxContainers));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw GoogleDecodingError(QStringLiteral("not JSON: ") + error.errorString());
    if (!document.isObject())
        throw GoogleDecodingError(QStringLiteral("the body is not an object"));
    return FieldReader(document.object(), {});
}

GCalendarListEntry calendarListEntry(const FieldReader& r) {
    return {r.text(QStringLiteral("id")), r.text(QStringLiteral("summary")),
            r.text(QStringLiteral("backgroundColor")), r.boolean(QStringLiteral("selected")),
            r.boolean(QStringLiteral("primary"))};
}

GEventTime eventTime(const FieldReader& r) {
    return {r.text(QStringLiteral("date")), r.text(QStringLiteral("dateTime"))};
}

GEvent event(const FieldReader& r) {
    return {r.text(QStringLiteral("id")),
            r.text(QStringLiteral("iCalUID")),
            r.text(QStringLiteral("status")),
            r.text(QStringLiteral("summary")),
            r.object<GEventTime>(QStringLiteral("start"), eventTime),
            r.object<GEventTime>(QStringLiteral("end"), eventTime)};
}

} // namespace

template <> GCalendarListPage decodeJson<GCalendarListPage>(const QByteArray& body) {
    const FieldReader r = topLevel(body);
    return {r.array<GCalendarListEntry>(QStringLiteral("items"), calendarListEntry),
            r.text(QStringLiteral("nextPageToken"))};
}

template <> GEventsPage decodeJson<GEventsPage>(const QByteArray& body) {
    const FieldReader r = topLevel(body);
    return {r.array<GEvent>(QStringLiteral("items"), event), r.text(QStringLiteral("nextPageToken"))};
}

template <> GTokenResponse decodeJson<GTokenResponse>(const QByteArray& body) {
    const FieldReader r = topLevel(body);
    std::optional<qint64> lifetime = r.integer(QStringLiteral("expires_in"));
    if (lifetime)
        lifetime = std::clamp<qint64>(*lifetime, 0, GTokenResponse::kMaxLifetimeSeconds);
    return {r.text(QStringLiteral("access_token")),
            r.text(QStringLiteral("refresh_token")),
            lifetime,
            r.text(QStringLiteral("id_token")),
            r.text(QStringLiteral("error")),
            r.text(QStringLiteral("error_description"))};
}

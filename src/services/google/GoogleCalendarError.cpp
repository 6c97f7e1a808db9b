#include "services/google/GoogleCalendarError.h"

#include <QStringList>

GoogleCalendarError::GoogleCalendarError(Kind kind, QString oauthCode, int httpStatus)
    : kind_(kind), oauthCode_(std::move(oauthCode)), httpStatus_(httpStatus) {
    description_ = QStringLiteral("The operation couldn’t be completed. (GoogleCalendarError error %1.)")
                       .arg(int(kind))
                       .toUtf8();
}

QString GoogleCalendarError::logDetails() const {
    QStringList details;
    if (kind_ == Kind::http)
        details << QStringLiteral("status=%1").arg(httpStatus_);
    if (retryAfterSeconds_)
        details << QStringLiteral("retry_after=%1").arg(*retryAfterSeconds_);
    if (!cause_.isEmpty())
        details << QStringLiteral("cause=") + cause_;
    return details.join(' ');
}

GoogleDecodingError::GoogleDecodingError(const QString& problem)
    : description_((QStringLiteral("The data couldn’t be read because it isn’t in the correct format. (") +
                    problem + ')')
                       .toUtf8()) {}

#include "services/google/GoogleCalendarError.h"

GoogleCalendarError::GoogleCalendarError(Kind kind, QString oauthCode, int httpStatus)
    : kind_(kind), oauthCode_(std::move(oauthCode)), httpStatus_(httpStatus) {
    description_ = QStringLiteral("The operation couldn’t be completed. (GoogleCalendarError error %1.)")
                       .arg(int(kind))
                       .toUtf8();
}

GoogleDecodingError::GoogleDecodingError(const QString& problem)
    : description_((QStringLiteral("The data couldn’t be read because it isn’t in the correct format. (") +
                    problem + ')')
                       .toUtf8()) {}

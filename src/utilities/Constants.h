#pragma once

#include "platform/BundleInfo.h"

#include <QString>
#include <QUrl>

namespace Constants {

inline const QString kBundleIdentifier = QStringLiteral("app.mondrel.Mondrel");

// The short version string of the bundle, "0.1.0" when it is absent or not a string.
QString version(const BundleInfo& bundle = BundleInfo::main());

namespace Auth {
const QUrl& authorityURL();
const QUrl& identityURL();
const QUrl& redirectURI();
const QUrl& privacyURL();
const QUrl& termsURL();
} // namespace Auth

namespace Google {
// Empty in shipped builds, which keeps the Google source not configured; a build may set it.
QString clientID();
QString redirectURI(const QString& clientID = Google::clientID());
} // namespace Google

} // namespace Constants

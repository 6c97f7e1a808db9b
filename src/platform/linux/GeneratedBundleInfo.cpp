#include "platform/BundleInfo.h"

#include "BuildInfo.h"

const BundleInfo& BundleInfo::main() {
    static const BundleInfo info(QVariantMap{
        {QStringLiteral("CFBundleIdentifier"), QStringLiteral("app.mondrel.Mondrel")},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral(MONDREL_VERSION)},
    });
    return info;
}

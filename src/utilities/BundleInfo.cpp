#include "platform/BundleInfo.h"

#include "BuildInfo.h"
#include "utilities/Constants.h"

const BundleInfo& BundleInfo::main() {
    static const BundleInfo info(QVariantMap{
        {QStringLiteral("CFBundleIdentifier"), Constants::kBundleIdentifier},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral(MONDREL_VERSION)},
    });
    return info;
}

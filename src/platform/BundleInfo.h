#pragma once

#include <QVariant>
#include <QVariantMap>

// The program's information dictionary (key -> value).
class BundleInfo {
public:
    BundleInfo() = default;
    explicit BundleInfo(QVariantMap values) : values_(std::move(values)) {}

    // The dictionary generated at build time.
    static const BundleInfo& main();

    QVariant value(const QString& key) const { return values_.value(key); }
    bool contains(const QString& key) const { return values_.contains(key); }

private:
    QVariantMap values_;
};

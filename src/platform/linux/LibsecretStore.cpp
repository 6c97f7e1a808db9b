#include "platform/linux/LibsecretStore.h"

#include <QFileInfo>

// GLib names a struct field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <memory>

namespace {

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct SecretValueDeleter {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueDeleter>;

const SecretSchema* schema() {
    static const SecretSchema s = {"app.mondrel.Mondrel.Secret",
                                   SECRET_SCHEMA_NONE,
                                   {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

// Looks the item up; `failure` also covers an unreachable or locked service.
SecretStore::ReadResult lookup(const SecretStore::ItemKey& key) {
    const QByteArray service = key.service.toUtf8();
    const QByteArray account = key.account.toUtf8();
    GError* reported = nullptr;
    const SecretValuePtr value(secret_password_lookup_binary_sync(schema(), nullptr, &reported, "service",
                                                                  service.constData(), "account",
                                                                  account.constData(), nullptr));
    const ErrorPtr error(reported);
    if (error)
        return {SecretStore::Status::failure, {}};
    if (!value)
        return {SecretStore::Status::notFound, {}};
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return {SecretStore::Status::success, QByteArray(bytes, qsizetype(length))};
}

SecretStore::Status store(const SecretStore::ItemKey& key, const QByteArray& data) {
    const QByteArray service = key.service.toUtf8();
    const QByteArray account = key.account.toUtf8();
    const QByteArray label = (QStringLiteral("Mondrel: ") + key.service).toUtf8();
    const SecretValuePtr value(secret_value_new(data.constData(), data.size(), "application/octet-stream"));
    GError* reported = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), value.get(), nullptr, &reported, "service",
        service.constData(), "account", account.constData(), nullptr);
    const ErrorPtr error(reported);
    return stored && !error ? SecretStore::Status::success : SecretStore::Status::failure;
}

} // namespace

bool LibsecretStore::hasSessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    // systemd user sessions may leave the variable unset: GLib then finds the bus at its standard socket.
    const QString runtimeDirectory = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtimeDirectory.isEmpty() && QFileInfo(runtimeDirectory + QStringLiteral("/bus")).exists();
}

// libsecret stores by replacing whatever item carries the same attributes, so update and add look first.
SecretStore::Status LibsecretStore::update(const ItemKey& key, const QByteArray& data) {
    if (!hasSessionBus())
        return Status::failure;
    const Status found = lookup(key).status;
    if (found != Status::success)
        return found;
    return store(key, data);
}

SecretStore::Status LibsecretStore::add(const ItemKey& key, const QByteArray& data) {
    if (!hasSessionBus())
        return Status::failure;
    const Status found = lookup(key).status;
    if (found == Status::success)
        return Status::alreadyExists;
    if (found == Status::failure)
        return found;
    return store(key, data);
}

SecretStore::ReadResult LibsecretStore::read(const ItemKey& key) {
    if (!hasSessionBus())
        return {Status::failure, {}};
    return lookup(key);
}

SecretStore::Status LibsecretStore::remove(const ItemKey& key) {
    if (!hasSessionBus())
        return Status::failure;
    const QByteArray service = key.service.toUtf8();
    const QByteArray account = key.account.toUtf8();
    GError* reported = nullptr;
    const gboolean removed =
        secret_password_clear_sync(schema(), nullptr, &reported, "service", service.constData(), "account",
                                   account.constData(), nullptr);
    const ErrorPtr error(reported);
    if (error)
        return Status::failure;
    return removed ? Status::success : Status::notFound;
}

#include "platform/linux/LibsecretStore.h"

#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

// GLib names a struct field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <atomic>
#include <memory>
#include <variant>

namespace {

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct SecretValueDeleter {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ObjectListDeleter {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueDeleter>;
using CancellablePtr = std::unique_ptr<GCancellable, GObjectDeleter>;
using ServicePtr = std::unique_ptr<SecretService, GObjectDeleter>;
using AttributesPtr = std::unique_ptr<GHashTable, HashTableDeleter>;
using ItemListPtr = std::unique_ptr<GList, ObjectListDeleter>;

using Reply = SecretStore::Reply;
using Status = SecretStore::Status;
using ItemKey = SecretStore::ItemKey;

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

Reply failed(const QString& reason) {
    return {Status::failure, {}, reason};
}

// Our only cancellations are the connection deadline and the store's end: the service did not answer.
Reply failed(const GError& error) {
    if (g_error_matches(&error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        return failed(SecretStore::kUnreachable);
    return failed(QString::fromUtf8(error.message));
}

AttributesPtr attributesOf(const ItemKey& key) {
    const QByteArray service = key.service.toUtf8();
    const QByteArray account = key.account.toUtf8();
    return AttributesPtr(secret_attributes_build(schema(), "service", service.constData(), "account",
                                                 account.constData(), nullptr));
}

} // namespace

struct LibsecretStore::Connection {
    SecretService* service;
    GCancellable* cancellable;
};

struct LibsecretStore::Shutdown {
    CancellablePtr cancellable{g_cancellable_new()};
};

namespace {

// Items carrying the key's attributes, unlocked on the way where the store asks the person; with `all`
// every one of them, else the first.
std::variant<ItemListPtr, Reply> search(LibsecretStore::Connection& connection, const ItemKey& key,
                                        SecretSearchFlags flags) {
    const AttributesPtr attributes = attributesOf(key);
    GError* reported = nullptr;
    ItemListPtr items(secret_service_search_sync(connection.service, schema(), attributes.get(),
                                                 SecretSearchFlags(flags | SECRET_SEARCH_UNLOCK),
                                                 connection.cancellable, &reported));
    const ErrorPtr error(reported);
    if (error)
        return failed(*error);
    for (const GList* entry = items.get(); entry; entry = entry->next)
        if (secret_item_get_locked(SECRET_ITEM(entry->data)))
            return failed(SecretStore::kLocked);
    return items;
}

// A locked item is never read as a missing one: that would let a dismissed prompt pass for "signed out".
Reply lookup(LibsecretStore::Connection& connection, const ItemKey& key) {
    auto found = search(connection, key, SECRET_SEARCH_LOAD_SECRETS);
    if (Reply* failure = std::get_if<Reply>(&found))
        return *failure;
    const ItemListPtr& items = std::get<ItemListPtr>(found);
    if (!items)
        return {Status::notFound, {}, {}};
    const SecretValuePtr value(secret_item_get_secret(SECRET_ITEM(items->data)));
    if (!value)
        return failed(SecretStore::kLocked);
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return {Status::success, QByteArray(bytes, qsizetype(length)), {}};
}

Reply store(LibsecretStore::Connection& connection, const ItemKey& key, const QByteArray& data) {
    const AttributesPtr attributes = attributesOf(key);
    const QByteArray label = (QStringLiteral("Mondrel: ") + key.service).toUtf8();
    const SecretValuePtr value(secret_value_new(data.constData(), data.size(), "application/octet-stream"));
    GError* reported = nullptr;
    const gboolean stored =
        secret_service_store_sync(connection.service, schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                  label.constData(), value.get(), connection.cancellable, &reported);
    const ErrorPtr error(reported);
    if (error)
        return failed(*error);
    return stored ? Reply{Status::success, {}, {}} : failed(SecretStore::kLocked);
}

Reply erase(LibsecretStore::Connection& connection, const ItemKey& key) {
    auto found = search(connection, key, SECRET_SEARCH_ALL);
    if (Reply* failure = std::get_if<Reply>(&found))
        return *failure;
    const ItemListPtr& items = std::get<ItemListPtr>(found);
    if (!items)
        return {Status::notFound, {}, {}};
    for (const GList* entry = items.get(); entry; entry = entry->next) {
        GError* reported = nullptr;
        secret_item_delete_sync(SECRET_ITEM(entry->data), connection.cancellable, &reported);
        const ErrorPtr error(reported);
        if (error)
            return failed(*error);
    }
    return {Status::success, {}, {}};
}

// One call's link between the main thread, which enforces the connection deadline, and the worker.
struct Attempt {
    CancellablePtr cancellable{g_cancellable_new()};
    std::atomic<bool> connected = false;
    QTimer* deadline = nullptr;
};

void cancelOther(GCancellable* /*source*/, gpointer other) {
    g_cancellable_cancel(G_CANCELLABLE(other));
}

Reply perform(const std::shared_ptr<Attempt>& attempt,
              const std::shared_ptr<LibsecretStore::Shutdown>& shutdown,
              const LibsecretStore::Operation& operation) {
    // The deadline runs from here, not from the call: a call that waits behind another one's prompt is not
    // unreachable.
    QMetaObject::invokeMethod(attempt->deadline, qOverload<>(&QTimer::start), Qt::QueuedConnection);
    const gulong link = g_cancellable_connect(shutdown->cancellable.get(), G_CALLBACK(cancelOther),
                                              attempt->cancellable.get(), nullptr);
    GError* reported = nullptr;
    const ServicePtr service(
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, attempt->cancellable.get(), &reported));
    const ErrorPtr error(reported);
    attempt->connected = true;
    Reply reply = failed(SecretStore::kUnreachable);
    if (error) {
        reply = failed(*error);
    } else if (service) {
        LibsecretStore::Connection connection{service.get(), attempt->cancellable.get()};
        reply = operation(connection);
    }
    g_cancellable_disconnect(shutdown->cancellable.get(), link);
    return reply;
}

} // namespace

LibsecretStore::LibsecretStore() : shutdown_(std::make_shared<Shutdown>()) {
    worker_.setMaxThreadCount(1);
    worker_.setExpiryTimeout(-1);
}

LibsecretStore::~LibsecretStore() {
    g_cancellable_cancel(shutdown_->cancellable.get());
    worker_.waitForDone();
}

bool LibsecretStore::hasSessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    // systemd user sessions may leave the variable unset: GLib then finds the bus at its standard socket.
    const QString runtimeDirectory = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtimeDirectory.isEmpty() && QFileInfo(runtimeDirectory + QStringLiteral("/bus")).exists();
}

QCoro::Task<Reply> LibsecretStore::call(Operation operation) {
    if (!hasSessionBus())
        co_return failed(kUnreachable);
    const auto attempt = std::make_shared<Attempt>();
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setInterval(kConnectTimeoutMilliseconds);
    attempt->deadline = &deadline;
    const auto cancelUnlessConnected = [attempt] {
        if (!attempt->connected)
            g_cancellable_cancel(attempt->cancellable.get());
    };
    QObject::connect(&deadline, &QTimer::timeout, cancelUnlessConnected);
    QFuture<Reply> answer = QtConcurrent::run(&worker_, &perform, attempt, shutdown_, std::move(operation));
    const Reply reply = co_await answer;
    co_return reply;
}

// libsecret stores by replacing whatever item carries the same attributes, so update and add look first.
QCoro::Task<Reply> LibsecretStore::update(ItemKey key, QByteArray data) {
    Operation operation = [key, data](Connection& connection) {
        const Reply found = lookup(connection, key);
        return found.status == Status::success ? store(connection, key, data) : found;
    };
    QCoro::Task<Reply> calling = call(std::move(operation));
    Reply reply = co_await calling;
    co_return reply;
}

QCoro::Task<Reply> LibsecretStore::add(ItemKey key, QByteArray data) {
    Operation operation = [key, data](Connection& connection) {
        const Reply found = lookup(connection, key);
        if (found.status == Status::success)
            return Reply{Status::alreadyExists, {}, {}};
        return found.status == Status::notFound ? store(connection, key, data) : found;
    };
    QCoro::Task<Reply> calling = call(std::move(operation));
    Reply reply = co_await calling;
    co_return reply;
}

QCoro::Task<Reply> LibsecretStore::read(ItemKey key) {
    Operation operation = [key](Connection& connection) { return lookup(connection, key); };
    QCoro::Task<Reply> calling = call(std::move(operation));
    Reply reply = co_await calling;
    co_return reply;
}

QCoro::Task<Reply> LibsecretStore::remove(ItemKey key) {
    Operation operation = [key](Connection& connection) { return erase(connection, key); };
    QCoro::Task<Reply> calling = call(std::move(operation));
    Reply reply = co_await calling;
    co_return reply;
}

#include "support/InMemorySecretStore.h"

SecretStore::Status InMemorySecretStore::update(const ItemKey& key, const QByteArray& data) {
    ++updateCount;
    if (!available)
        return Status::failure;
    auto it = items_.find(index(key));
    if (it == items_.end())
        return Status::notFound;
    *it = data;
    return Status::success;
}

SecretStore::Status InMemorySecretStore::add(const ItemKey& key, const QByteArray& data) {
    ++addCount;
    if (!available)
        return Status::failure;
    if (items_.contains(index(key)))
        return Status::alreadyExists;
    items_.insert(index(key), data);
    return Status::success;
}

SecretStore::ReadResult InMemorySecretStore::read(const ItemKey& key) {
    ++readCount;
    if (!available)
        return {Status::failure, {}};
    auto it = items_.constFind(index(key));
    if (it == items_.constEnd())
        return {Status::notFound, {}};
    return {Status::success, *it};
}

SecretStore::Status InMemorySecretStore::remove(const ItemKey& key) {
    ++removeCount;
    if (!available)
        return Status::failure;
    return items_.remove(index(key)) ? Status::success : Status::notFound;
}

#include "support/InMemorySecretStore.h"

QCoro::Task<SecretStore::Reply> InMemorySecretStore::update(ItemKey key, QByteArray data) {
    ++updateCount;
    co_await Hold{*this};
    if (!available)
        co_return failed();
    auto it = items_.find(index(key));
    if (it == items_.end())
        co_return Reply{Status::notFound, {}, {}};
    *it = data;
    co_return Reply{Status::success, {}, {}};
}

QCoro::Task<SecretStore::Reply> InMemorySecretStore::add(ItemKey key, QByteArray data) {
    ++addCount;
    co_await Hold{*this};
    if (!available)
        co_return failed();
    if (items_.contains(index(key)))
        co_return Reply{Status::alreadyExists, {}, {}};
    items_.insert(index(key), data);
    co_return Reply{Status::success, {}, {}};
}

QCoro::Task<SecretStore::Reply> InMemorySecretStore::read(ItemKey key) {
    ++readCount;
    co_await Hold{*this};
    if (!available)
        co_return failed();
    auto it = items_.constFind(index(key));
    if (it == items_.constEnd())
        co_return Reply{Status::notFound, {}, {}};
    co_return Reply{Status::success, *it, {}};
}

QCoro::Task<SecretStore::Reply> InMemorySecretStore::remove(ItemKey key) {
    ++removeCount;
    co_await Hold{*this};
    if (!available)
        co_return failed();
    co_return Reply{items_.remove(index(key)) ? Status::success : Status::notFound, {}, {}};
}

void InMemorySecretStore::answerHeldCalls() {
    std::vector<std::coroutine_handle<>> calls;
    calls.swap(held_);
    for (const std::coroutine_handle<> call : calls)
        call.resume();
}

#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QPair>

#include <coroutine>
#include <vector>

// A secret store in memory. `available = false` makes every call fail with `failureReason`, like a Secret
// Service that does not answer (or stays locked). With `holdCalls` set, calls wait until
// `answerHeldCalls()`, like a store whose unlock prompt is open; otherwise they answer at once.
class InMemorySecretStore final : public SecretStore {
public:
    InMemorySecretStore() = default;
    InMemorySecretStore(const InMemorySecretStore&) = delete;
    InMemorySecretStore& operator=(const InMemorySecretStore&) = delete;

    QCoro::Task<Reply> update(ItemKey key, QByteArray data) override;
    QCoro::Task<Reply> add(ItemKey key, QByteArray data) override;
    QCoro::Task<Reply> read(ItemKey key) override;
    QCoro::Task<Reply> remove(ItemKey key) override;

    // Direct access that arranges or checks a test: no call is counted, held or refused.
    void put(const ItemKey& key, const QByteArray& data) { items_.insert(index(key), data); }
    void erase(const ItemKey& key) { items_.remove(index(key)); }
    bool contains(const ItemKey& key) const { return items_.contains(index(key)); }
    QByteArray data(const ItemKey& key) const { return items_.value(index(key)); }
    qsizetype itemCount() const { return items_.size(); }

    // Resumes every held call, in the order they were made.
    void answerHeldCalls();
    qsizetype heldCallCount() const { return qsizetype(held_.size()); }

    bool available = true;
    QString failureReason = kUnreachable;
    bool holdCalls = false;
    int addCount = 0;
    int updateCount = 0;
    int removeCount = 0;
    int readCount = 0;

private:
    struct Hold {
        InMemorySecretStore& store;
        bool await_ready() const noexcept { return !store.holdCalls; }
        void await_suspend(std::coroutine_handle<> call) { store.held_.push_back(call); }
        void await_resume() const noexcept {}
    };

    Reply failed() const { return {Status::failure, {}, failureReason}; }
    static QPair<QString, QString> index(const ItemKey& key) { return {key.service, key.account}; }
    QHash<QPair<QString, QString>, QByteArray> items_;
    std::vector<std::coroutine_handle<>> held_;
};

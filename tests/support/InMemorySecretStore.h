#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QPair>

// A secret store in memory. `available = false` makes every call fail, like a Secret Service that does not
// answer.
class InMemorySecretStore final : public SecretStore {
public:
    Status update(const ItemKey& key, const QByteArray& data) override;
    Status add(const ItemKey& key, const QByteArray& data) override;
    ReadResult read(const ItemKey& key) override;
    Status remove(const ItemKey& key) override;

    bool contains(const ItemKey& key) const { return items_.contains(index(key)); }
    QByteArray data(const ItemKey& key) const { return items_.value(index(key)); }
    qsizetype itemCount() const { return items_.size(); }

    bool available = true;
    int addCount = 0;
    int updateCount = 0;
    int removeCount = 0;
    int readCount = 0;

private:
    static QPair<QString, QString> index(const ItemKey& key) { return {key.service, key.account}; }
    QHash<QPair<QString, QString>, QByteArray> items_;
};

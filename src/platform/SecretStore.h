#pragma once

#include <QByteArray>
#include <QString>

// The user's store of small secrets: one item of bytes per (service, account) pair, like a generic password.
// Every call answers synchronously; a store that cannot be reached answers `failure` at once.
class SecretStore {
public:
    enum class Status { success, notFound, alreadyExists, failure };

    struct ItemKey {
        QString service;
        QString account;
        bool operator==(const ItemKey&) const = default;
    };

    struct ReadResult {
        Status status = Status::failure;
        QByteArray data; // set only with `success`
    };

    virtual ~SecretStore() = default;

    // Replaces the data of an existing item; `notFound` when there is none.
    virtual Status update(const ItemKey& key, const QByteArray& data) = 0;
    // Creates the item; `alreadyExists` when there is one.
    virtual Status add(const ItemKey& key, const QByteArray& data) = 0;
    virtual ReadResult read(const ItemKey& key) = 0;
    // Deletes the item; `notFound` when there is none.
    virtual Status remove(const ItemKey& key) = 0;
};

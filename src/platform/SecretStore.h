#pragma once

#include <QByteArray>
#include <QString>
#include <qcoro/qcorotask.h>

// The user's store of small secrets: one item of bytes per (service, account) pair, like a generic password.
// Every call is awaited and never holds up the caller's thread: a store that asks the person to unlock it
// answers when they have.
class SecretStore {
public:
    enum class Status { success, notFound, alreadyExists, failure };

    struct ItemKey {
        QString service;
        QString account;
        bool operator==(const ItemKey&) const = default;
    };

    struct Reply {
        Status status = Status::failure;
        QByteArray data; // set only by a successful read
        // Why a call failed, for the log: `kLocked` when the store stayed locked (its unlock prompt refused
        // or dismissed), `kUnreachable` when no store answered in time, else the store's own words. A
        // failure never means that the item is absent.
        QString failureReason;
    };
    static inline const QString kLocked = QStringLiteral("locked");
    static inline const QString kUnreachable = QStringLiteral("unreachable");

    virtual ~SecretStore() = default;

    // Replaces the data of an existing item; `notFound` when there is none.
    virtual QCoro::Task<Reply> update(ItemKey key, QByteArray data) = 0;
    // Creates the item; `alreadyExists` when there is one.
    virtual QCoro::Task<Reply> add(ItemKey key, QByteArray data) = 0;
    virtual QCoro::Task<Reply> read(ItemKey key) = 0;
    // Deletes the item; `notFound` when there is none.
    virtual QCoro::Task<Reply> remove(ItemKey key) = 0;
};

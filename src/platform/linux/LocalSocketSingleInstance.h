#pragma once

#include "platform/SingleInstance.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

// One instance per user through a local socket named after the bundle identifier and the user id, in
// the user's runtime directory. A lock file next to it makes claiming one step for concurrent launches;
// a socket left by a killed instance answers no connection and is taken over.
//
// A request is one message per connection: a 4-byte big-endian length, then UTF-8 text, "reopen" or
// "open" followed by one URL per line. Anything else, anything longer than `kMaxMessageBytes`, and any
// connection from another user is dropped.
class LocalSocketSingleInstance final : public QObject, public SingleInstance {
    Q_OBJECT
public:
    static constexpr qint64 kMaxMessageBytes = qint64(64) * 1024;
    static constexpr int kConnectTimeoutMilliseconds = 1000;
    static constexpr int kLockTimeoutMilliseconds = 5000;
    static constexpr int kReadTimeoutMilliseconds = 5000;

    // `directory` is where the socket and its lock live; the user's runtime directory by default.
    explicit LocalSocketSingleInstance(const QString& bundleIdentifier,
                                       const QString& directory = runtimeDirectory(),
                                       QObject* parent = nullptr);
    ~LocalSocketSingleInstance() override;

    // $XDG_RUNTIME_DIR, or a private directory of the user's when it is unset.
    static QString runtimeDirectory();
    const QString& socketPath() const { return socketPath_; }

    Role claim(const QStringList& urls) override;
    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }

    // The whole message, length first.
    static QByteArray encode(const QStringList& urls);
    // The URLs of a message body (empty: reopen); nothing when it is malformed.
    static std::optional<QStringList> decode(const QByteArray& body);

private:
    bool forward(const QStringList& urls) const;
    void acceptConnections();
    void read(QLocalSocket* socket);
    void deliver(const QStringList& urls) const;

    QString socketPath_;
    QLocalServer* server_ = nullptr;
    Handlers handlers_;
};

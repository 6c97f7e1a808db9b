#pragma once

#include "platform/SingleInstance.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

// One instance per user through a local socket named after the bundle identifier and the user id, in a
// directory of the user's that nobody else may enter. A lock file next to it makes claiming one step for
// concurrent launches; a socket left by a killed instance answers no connection and is taken over, and so
// is one whose listener belongs to another user, who is told nothing.
//
// A request is one message per connection: a 4-byte big-endian length, then UTF-8 text, "reopen" or
// "open" followed by one URL per line. The running instance answers a message it takes with "ok"; anything
// else, anything longer than `kMaxMessageBytes`, and any connection from another user is dropped unanswered.
class LocalSocketSingleInstance final : public QObject, public SingleInstance {
    Q_OBJECT
public:
    static constexpr qint64 kMaxMessageBytes = qint64(64) * 1024;
    static constexpr int kConnectTimeoutMilliseconds = 1000;
    static constexpr int kLockTimeoutMilliseconds = 5000;
    static constexpr int kReadTimeoutMilliseconds = 5000;

    // `directory` is where the socket and its lock live; without one, no instance is ever claimed.
    explicit LocalSocketSingleInstance(const QString& bundleIdentifier,
                                       const std::optional<QString>& directory = runtimeDirectory(),
                                       QObject* parent = nullptr);
    ~LocalSocketSingleInstance() override;

    // $XDG_RUNTIME_DIR when it is private to this user, else "mondrel-<uid>" in the temporary folder, made
    // private; nothing when neither can be had.
    static std::optional<QString> runtimeDirectory();
    // `path` when it is an absolute directory, not a link, owned by this user and closed to everyone else,
    // made so (mode 0700) when it does not exist yet; nothing otherwise.
    static std::optional<QString> privateDirectory(const QString& path);
    const QString& socketPath() const { return socketPath_; }

    Role claim(const QStringList& urls) override;
    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }

    // The whole message, length first; nothing when a URL could not be read back as sent (empty, with a
    // space or control character) or the message would be too long.
    static std::optional<QByteArray> encode(const QStringList& urls);
    // The URLs of a message body (empty: reopen); nothing when it is malformed.
    static std::optional<QStringList> decode(const QByteArray& body);

private:
    enum class Handover { taken, refused, nobody, foreign };
    Handover forward(const QStringList& urls) const;
    Role listen();
    void acceptConnections();
    void read(QLocalSocket* socket);
    void deliver(const QStringList& urls) const;

    QString socketPath_;
    QLocalServer* server_ = nullptr;
    Handlers handlers_;
};

#include "platform/linux/LocalSocketSingleInstance.h"

#include "utilities/Log.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qsizetype kLengthBytes = 4;
const QByteArray kOpen = QByteArrayLiteral("open");
const QByteArray kReopen = QByteArrayLiteral("reopen");
constexpr const char* kBufferProperty = "mondrelPendingBytes";

const Log& instanceLog() {
    static const Log log(QStringLiteral("singleInstance"));
    return log;
}

// The user id of the process at the other end; nothing when the system does not say.
std::optional<uid_t> peerUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

} // namespace

LocalSocketSingleInstance::LocalSocketSingleInstance(const QString& bundleIdentifier,
                                                     const QString& directory, QObject* parent)
    : QObject(parent),
      socketPath_(QDir(directory).filePath(bundleIdentifier + QLatin1Char('.') + QString::number(getuid()))) {
}

LocalSocketSingleInstance::~LocalSocketSingleInstance() = default;

QString LocalSocketSingleInstance::runtimeDirectory() {
    // Qt answers $XDG_RUNTIME_DIR, or makes /tmp/runtime-<user> with user-only access.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::Role LocalSocketSingleInstance::claim(const QStringList& urls) {
    if (server_)
        return Role::primary;
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMilliseconds)) {
        instanceLog().error(QStringLiteral("single_instance_lock_failed"));
        return Role::unavailable;
    }
    if (forward(urls))
        return Role::secondary;
    // Nobody answers: whatever is at the path was left by an instance that is gone.
    QLocalServer::removeServer(socketPath_);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath_)) {
        instanceLog().error(QStringLiteral("single_instance_listen_failed error=") + server->errorString());
        delete server;
        return Role::unavailable;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &LocalSocketSingleInstance::acceptConnections);
    return Role::primary;
}

bool LocalSocketSingleInstance::forward(const QStringList& urls) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectTimeoutMilliseconds))
        return false;
    socket.write(encode(urls));
    const bool written =
        socket.waitForBytesWritten(kConnectTimeoutMilliseconds) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMilliseconds);
    // An instance answered: even if the hand-over broke off, a second one must not start.
    if (!written)
        instanceLog().error(QStringLiteral("single_instance_forward_incomplete"));
    return true;
}

void LocalSocketSingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (peerUser(*socket) != getuid()) {
            instanceLog().error(QStringLiteral("single_instance_refused_peer"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A client that stalls is cut off rather than held forever.
        QTimer::singleShot(kReadTimeoutMilliseconds, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        read(socket);
    }
}

void LocalSocketSingleInstance::read(QLocalSocket* socket) {
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    if (buffer.size() < kLengthBytes) {
        socket->setProperty(kBufferProperty, buffer);
        return;
    }
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > kMaxMessageBytes || buffer.size() > kLengthBytes + qsizetype(length)) {
        instanceLog().error(QStringLiteral("single_instance_message_dropped reason=size"));
        socket->setProperty(kBufferProperty, {});
        socket->abort();
        return;
    }
    if (buffer.size() < kLengthBytes + qsizetype(length)) {
        socket->setProperty(kBufferProperty, buffer);
        return;
    }
    socket->setProperty(kBufferProperty, {});
    socket->disconnectFromServer();
    const std::optional<QStringList> urls = decode(buffer.mid(kLengthBytes));
    if (!urls) {
        instanceLog().error(QStringLiteral("single_instance_message_dropped reason=malformed"));
        return;
    }
    deliver(*urls);
}

void LocalSocketSingleInstance::deliver(const QStringList& urls) const {
    if (urls.isEmpty()) {
        if (handlers_.reopen)
            handlers_.reopen();
    } else if (handlers_.openURLs) {
        handlers_.openURLs(urls);
    }
}

QByteArray LocalSocketSingleInstance::encode(const QStringList& urls) {
    QByteArray body = urls.isEmpty() ? kReopen : kOpen;
    for (const QString& url : urls)
        body += '\n' + url.toUtf8();
    QByteArray message(kLengthBytes, '\0');
    qToBigEndian<quint32>(quint32(body.size()), message.data());
    return message + body;
}

std::optional<QStringList> LocalSocketSingleInstance::decode(const QByteArray& body) {
    if (body == kReopen)
        return QStringList();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(body);
    if (utf8.hasError())
        return std::nullopt;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() < 2 || lines.takeFirst() != QString::fromLatin1(kOpen))
        return std::nullopt;
    for (const QString& line : lines) {
        // One URL a line: no blank line, no space or control character.
        if (line.isEmpty() || std::any_of(line.begin(), line.end(), [](QChar c) {
                return c.isSpace() || c.category() == QChar::Other_Control;
            }))
            return std::nullopt;
    }
    return lines;
}

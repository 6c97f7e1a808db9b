#include "platform/linux/LocalSocketSingleInstance.h"

#include "utilities/Log.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kLengthBytes = 4;
const QByteArray kOpen = QByteArrayLiteral("open");
const QByteArray kReopen = QByteArrayLiteral("reopen");
const QByteArray kAcknowledgement = QByteArrayLiteral("ok");
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

// One URL a line: not blank, no space or control character.
bool isOneURLLine(const QString& line) {
    return !line.isEmpty() && std::none_of(line.begin(), line.end(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control;
    });
}

} // namespace

LocalSocketSingleInstance::LocalSocketSingleInstance(const QString& bundleIdentifier,
                                                     const std::optional<QString>& directory, QObject* parent)
    : QObject(parent) {
    if (directory)
        socketPath_ =
            QDir(*directory).filePath(bundleIdentifier + QLatin1Char('.') + QString::number(getuid()));
}

LocalSocketSingleInstance::~LocalSocketSingleInstance() = default;

std::optional<QString> LocalSocketSingleInstance::runtimeDirectory() {
    // Qt's own answer would be an empty, relative path when /tmp/runtime-<user> belongs to someone else.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        if (std::optional<QString> directory = privateDirectory(runtime))
            return directory;
        instanceLog().error(QStringLiteral("single_instance_runtime_dir_refused path=") + runtime);
    }
    const QString fallback =
        QDir(QDir::tempPath()).filePath(QStringLiteral("mondrel-") + QString::number(getuid()));
    if (std::optional<QString> directory = privateDirectory(fallback))
        return directory;
    instanceLog().error(QStringLiteral("single_instance_runtime_dir_refused path=") + fallback);
    return std::nullopt;
}

std::optional<QString> LocalSocketSingleInstance::privateDirectory(const QString& path) {
    if (path.isEmpty() || QDir::isRelativePath(path))
        return std::nullopt;
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    // lstat: a link is refused, whatever it points to.
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return std::nullopt;
    return path;
}

SingleInstance::Role LocalSocketSingleInstance::claim(const QStringList& urls) {
    if (server_)
        return Role::primary;
    if (socketPath_.isEmpty()) {
        instanceLog().error(QStringLiteral("single_instance_unavailable reason=no_private_directory"));
        return Role::unavailable;
    }
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMilliseconds)) {
        instanceLog().error(QStringLiteral("single_instance_lock_failed"));
        return Role::unavailable;
    }
    switch (forward(urls)) {
    case Handover::taken:
        return Role::secondary;
    case Handover::refused:
        return Role::undelivered;
    case Handover::nobody:
    case Handover::foreign:
        // Whatever is at the path was left by an instance that is gone, or is not ours to talk to.
        return listen();
    }
    return Role::unavailable;
}

SingleInstance::Role LocalSocketSingleInstance::listen() {
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

LocalSocketSingleInstance::Handover LocalSocketSingleInstance::forward(const QStringList& urls) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectTimeoutMilliseconds))
        return Handover::nobody;
    // The listener's user, checked before a byte is written: a link may carry a sign-in code.
    if (const std::optional<uid_t> listener = peerUser(socket); listener != getuid()) {
        instanceLog().error(QStringLiteral("single_instance_foreign_listener uid=") +
                            (listener ? QString::number(*listener) : QStringLiteral("unknown")));
        socket.abort();
        return Handover::foreign;
    }
    const std::optional<QByteArray> message = encode(urls);
    if (!message) {
        instanceLog().error(QStringLiteral("single_instance_forward_failed reason=unsendable"));
        socket.abort();
        return Handover::refused;
    }
    socket.write(*message);
    socket.flush();
    QByteArray answer;
    while (answer.size() < kAcknowledgement.size() && socket.waitForReadyRead(kReadTimeoutMilliseconds))
        answer += socket.readAll();
    answer += socket.readAll();
    socket.abort();
    if (answer != kAcknowledgement) {
        instanceLog().error(QStringLiteral("single_instance_forward_failed reason=not_acknowledged"));
        return Handover::refused;
    }
    return Handover::taken;
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
    const std::optional<QStringList> urls = decode(buffer.mid(kLengthBytes));
    if (!urls) {
        instanceLog().error(QStringLiteral("single_instance_message_dropped reason=malformed"));
        socket->abort();
        return;
    }
    socket->write(kAcknowledgement);
    socket->disconnectFromServer();
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

std::optional<QByteArray> LocalSocketSingleInstance::encode(const QStringList& urls) {
    QByteArray body = urls.isEmpty() ? kReopen : kOpen;
    for (const QString& url : urls) {
        if (!isOneURLLine(url))
            return std::nullopt;
        body += '\n' + url.toUtf8();
    }
    if (body.size() > kMaxMessageBytes)
        return std::nullopt;
    QByteArray message(kLengthBytes, '\0');
    qToBigEndian<quint32>(quint32(body.size()), message.data());
    return message + body;
}

std::optional<QStringList> LocalSocketSingleInstance::decode(const QByteArray& body) {
    if (body == kReopen)
        return QStringList();
    const QString text = QString::fromUtf8(body);
    // Read back unchanged only when every byte was valid UTF-8, a last sequence cut short included.
    if (text.toUtf8() != body)
        return std::nullopt;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() < 2 || lines.takeFirst() != QString::fromLatin1(kOpen))
        return std::nullopt;
    if (!std::all_of(lines.cbegin(), lines.cend(), isOneURLLine))
        return std::nullopt;
    return lines;
}

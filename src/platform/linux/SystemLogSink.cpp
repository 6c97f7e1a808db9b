#include "platform/linux/SystemLogSink.h"

#include "utilities/StandardErrorLogSink.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace {

class JournalLogSink final : public LogSink {
public:
    bool isEnabled(LogType) const override { return true; }
    void write(const QString& subsystem, const QString& category, LogType type,
               const QString& message) override {
        const QByteArray text = message.toUtf8();
        const QByteArray identifier = subsystem.toUtf8();
        const QByteArray cat = category.toUtf8();
        // The message goes in as an argument of "%s": percent signs in it stay literal.
        const int result = sd_journal_send("MESSAGE=%s", text.constData(), "SYSLOG_IDENTIFIER=%s",
                                           identifier.constData(), "MONDREL_CATEGORY=%s", cat.constData(),
                                           "PRIORITY=%d", type == LogType::error ? 3 : 6, nullptr);
        // A journal that went away after start-up must not swallow the entry.
        if (result < 0)
            fallback_.write(subsystem, category, type, message);
    }

private:
    StandardErrorLogSink fallback_;
};

} // namespace

bool journalSocketReachable(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

LogSink& systemLogSink() {
    static JournalLogSink journal;
    static StandardErrorLogSink standardError;
    static const bool journalReachable =
        journalSocketReachable(QStringLiteral("/run/systemd/journal/socket"));
    if (journalReachable)
        return journal;
    return standardError;
}

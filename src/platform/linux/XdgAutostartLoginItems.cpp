#include "platform/linux/XdgAutostartLoginItems.h"

#include "platform/Workspace.h"
#include "utilities/BoundedFile.h"
#include "utilities/Constants.h"
#include "utilities/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <filesystem>

namespace {

// Characters that make an Exec argument need quotes.
const QString kReservedInArgument = QStringLiteral(" \t\n\"'\\><~|&;$*?#`=()");

// The key-value pairs of the "Desktop Entry" group; later duplicates win, as in the desktops' readers.
QHash<QString, QString> desktopEntryKeys(const QByteArray& contents) {
    QHash<QString, QString> keys;
    bool inDesktopEntry = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inDesktopEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inDesktopEntry && equals > 0)
            keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return keys;
}

bool isTrue(const QString& value) {
    return value.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || value == QStringLiteral("1");
}

bool isFalse(const QString& value) {
    return value.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0 || value == QStringLiteral("0");
}

QString fileName() {
    return Constants::kBundleIdentifier + QStringLiteral(".desktop");
}

// `text` as a desktop entry's string value.
QString stringValue(const QString& text) {
    QString value;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

// What a string value stands for: its escapes undone.
QString unescapedStringValue(const QString& value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            text += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            text += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            text += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            text += QLatin1Char('\r');
        else
            text += next;
    }
    return text;
}

// The program of an Exec value, as the desktop would start it: the first argument, unquoted.
std::optional<QString> programOfExec(const QString& value) {
    const QString exec = unescapedStringValue(value).trimmed();
    QString program;
    if (exec.startsWith(QLatin1Char('"'))) {
        qsizetype i = 1;
        for (; i < exec.size() && exec[i] != QLatin1Char('"'); ++i) {
            if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size())
                ++i;
            program += exec[i];
        }
        if (i == exec.size())
            return std::nullopt; // no closing quote
    } else {
        program = exec.section(QLatin1Char(' '), 0, 0);
    }
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (program.isEmpty())
        return std::nullopt;
    return program;
}

// An absolute path as it is; a bare name looked up on PATH, as the desktop does.
QString resolvedProgram(const QString& program) {
    if (QDir::isAbsolutePath(program))
        return program;
    return program.contains(QLatin1Char('/')) ? QString() : QStandardPaths::findExecutable(program);
}

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

bool isSameFile(const QString& one, const QString& other) {
    const QString canonical = QFileInfo(one).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(other).canonicalFilePath();
}

} // namespace

XdgAutostartLoginItems::XdgAutostartLoginItems(Workspace& workspace, QString autostartDirectory,
                                               QString executable)
    : workspace_(workspace), directory_(std::move(autostartDirectory)), executable_(std::move(executable)) {}

QString XdgAutostartLoginItems::standardDirectory() {
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.isEmpty() && QDir::isAbsolutePath(config))
        return QDir(config).filePath(QStringLiteral("autostart"));
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir(home).filePath(QStringLiteral(".config/autostart"));
    return {};
}

QString XdgAutostartLoginItems::runningExecutable() {
    return QCoreApplication::applicationFilePath();
}

QString XdgAutostartLoginItems::execValue(const QString& executable) {
    QString argument = executable;
    if (std::any_of(argument.begin(), argument.end(),
                    [](QChar c) { return kReservedInArgument.contains(c); })) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = quoted + QLatin1Char('"');
    }
    // "%" starts a field code, quoted or not.
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // The string value's own escapes are undone before the Exec rules apply.
    return stringValue(argument);
}

QByteArray XdgAutostartLoginItems::entryFor(const QString& executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Mondrel\n"
                          "Exec=%1\n"
                          "TryExec=%2\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execValue(executable), stringValue(executable))
        .toUtf8();
}

QString XdgAutostartLoginItems::entryPath() const {
    return directory_.isEmpty() ? QString() : QDir(directory_).filePath(fileName());
}

std::optional<QHash<QString, QString>> XdgAutostartLoginItems::enabledEntry() const {
    if (directory_.isEmpty())
        return std::nullopt;
    // A FIFO or a device in its place must not hang or exhaust the program; an entry is a few lines.
    const BoundedFile::Contents entry = BoundedFile::read(entryPath(), qint64(64) * 1024);
    if (entry.status != BoundedFile::Status::read) {
        if (entry.status != BoundedFile::Status::missing)
            Log(QStringLiteral("loginItems"))
                .warning(QStringLiteral("autostart_entry_unusable path=%1 reason=%2")
                             .arg(entryPath(), BoundedFile::describe(entry.status)));
        return std::nullopt;
    }
    const QHash<QString, QString> keys = desktopEntryKeys(entry.bytes);
    if (isTrue(keys.value(QStringLiteral("Hidden"))) ||
        isFalse(keys.value(QStringLiteral("X-GNOME-Autostart-enabled"))))
        return std::nullopt;
    return keys;
}

std::optional<QString> XdgAutostartLoginItems::programOf(const QHash<QString, QString>& keys) {
    const std::optional<QString> program = programOfExec(keys.value(QStringLiteral("Exec")));
    if (!program)
        return std::nullopt;
    // The desktop skips the entry when its TryExec names no program.
    const QString tryExec = unescapedStringValue(keys.value(QStringLiteral("TryExec")));
    if (!tryExec.isEmpty() && !isExecutableFile(resolvedProgram(tryExec)))
        return std::nullopt;
    const QString resolved = resolvedProgram(*program);
    if (!isExecutableFile(resolved))
        return std::nullopt;
    return resolved;
}

// On only when logging in would start this very program, not a copy elsewhere or one that is gone.
LoginItemStatus XdgAutostartLoginItems::status() const {
    const std::optional<QHash<QString, QString>> keys = enabledEntry();
    if (!keys)
        return LoginItemStatus::notRegistered;
    const std::optional<QString> program = programOf(*keys);
    return program && isSameFile(*program, executable_) ? LoginItemStatus::enabled
                                                        : LoginItemStatus::notRegistered;
}

bool XdgAutostartLoginItems::followMovedProgram() {
    const std::optional<QHash<QString, QString>> keys = enabledEntry();
    // Switched off, or starting a program that is still there (this one, or another copy the user chose).
    if (!keys || programOf(*keys))
        return false;
    const Log log(QStringLiteral("launchAtLogin"));
    try {
        registerItem();
    } catch (const LoginItemsError& error) {
        log.error(QStringLiteral("launch_at_login_follow_failed error=") + error.description());
        return false;
    }
    log.info(QStringLiteral("launch_at_login_followed program=") + executable_);
    return true;
}

void XdgAutostartLoginItems::registerItem() {
    if (directory_.isEmpty())
        throw LoginItemsError(
            QStringLiteral("No configuration folder: neither XDG_CONFIG_HOME nor HOME is set"));
    if (executable_.isEmpty() || !QDir::isAbsolutePath(executable_))
        throw LoginItemsError(QStringLiteral("The program's own path is unknown"));
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(directory_).toStdString(), error);
    if (error)
        throw LoginItemsError(QStringLiteral("Could not create the folder %1: %2")
                                  .arg(directory_, QString::fromStdString(error.message())));
    QSaveFile file(entryPath());
    const QByteArray entry = entryFor(executable_);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        throw LoginItemsError(QStringLiteral("Could not write %1: %2").arg(entryPath(), file.errorString()));
}

void XdgAutostartLoginItems::unregisterItem() {
    const QString path = entryPath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.remove())
        throw LoginItemsError(QStringLiteral("Could not remove %1: %2").arg(path, file.errorString()));
}

void XdgAutostartLoginItems::openSettings() {
    if (directory_.isEmpty())
        return;
    // The folder may not exist before the first registration; an empty one is still the place to look.
    QDir().mkpath(directory_);
    workspace_.open(QUrl::fromLocalFile(directory_));
}

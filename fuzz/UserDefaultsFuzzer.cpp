// The preferences file as the program reads it at start: loaded, set aside when unusable, and each of the
// program's keys read with the type it expects.
#include "FuzzSupport.h"
#include "utilities/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    // In memory where there is such a folder: every change is synced to disk.
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/mondrel-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/mondrel-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    {
        UserDefaults defaults(path);
        for (const char* key :
             {"mondrel.showWeekNumbers", "mondrel.startOnMonday", "mondrel.showSystemCalendars",
              "mondrel.updates.betaEnabled", "mondrel.appTranslocationWarningShown"})
            defaults.boolValue(QString::fromLatin1(key));
        defaults.stringArray(QStringLiteral("mondrel.excludedCalendarIDs"));
        defaults.stringValue(QStringLiteral("mondrel.excludedCalendarIDs"));
        // A change is written back over what was read.
        defaults.setBool(QStringLiteral("mondrel.showWeekNumbers"), true);
    }
    // Unusable files are set aside beside it; each run starts from an empty folder.
    QDir folder(dir.path());
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(name);
    return 0;
}

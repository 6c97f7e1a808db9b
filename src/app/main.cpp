#include "app/MondrelApp.h"
#include "platform/linux/SystemLogSink.h"
#include "utilities/Constants.h"

#include <QApplication>

#include <algorithm>

int main(int argc, char* argv[]) {
    // Entries go to the journal where there is one, from the first line on (the self-test's too).
    LogSink::install(&systemLogSink());
    // The self-test shows nothing, so it must also run where there is no display (a build machine, ssh),
    // whatever platform the environment names: Qt aborts when the named one cannot connect.
    const bool selfTest =
        std::any_of(argv + 1, argv + argc, [](const char* a) { return qstrcmp(a, "--selftest") == 0; });
    if (selfTest)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mondrel"));
    QApplication::setApplicationVersion(Constants::version());
    QApplication::setDesktopFileName(Constants::kBundleIdentifier);
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    MondrelApp app(QCoreApplication::arguments());
    return app.exec();
}

#include "app/MondrelApp.h"
#include "utilities/Constants.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mondrel"));
    QApplication::setApplicationVersion(Constants::version());
    QApplication::setDesktopFileName(Constants::kBundleIdentifier);
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    MondrelApp app(QCoreApplication::arguments());
    return app.exec();
}

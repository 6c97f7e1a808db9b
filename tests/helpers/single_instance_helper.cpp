// A launch of the program reduced to its single-instance check, for tests that need a second process:
//   single_instance_helper <socket directory> [url...]
// Prints "primary", "secondary", "unavailable" or "undelivered"; a primary then prints "open <url>" or
// "reopen" for every request it receives, until it is killed.
#include "platform/linux/LocalSocketSingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    if (arguments.size() < 2)
        return 2;
    LocalSocketSingleInstance instance(QStringLiteral("app.mondrel.Mondrel.test"), arguments[1]);
    switch (instance.claim(arguments.mid(2))) {
    case SingleInstance::Role::secondary:
        say(QStringLiteral("secondary"));
        return 0;
    case SingleInstance::Role::unavailable:
        say(QStringLiteral("unavailable"));
        return 1;
    case SingleInstance::Role::undelivered:
        say(QStringLiteral("undelivered"));
        return 3;
    case SingleInstance::Role::primary:
        break;
    }
    instance.setHandlers({[](const QStringList& urls) {
                              for (const QString& url : urls)
                                  say(QStringLiteral("open ") + url);
                          },
                          [] { say(QStringLiteral("reopen")); }});
    say(QStringLiteral("primary"));
    return app.exec();
}

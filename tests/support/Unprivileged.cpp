#include "support/Unprivileged.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <unistd.h>

bool rerunAsUnprivilegedUser() {
    if (::geteuid() != 0)
        return false;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) {
        ADD_FAILURE() << "setpriv (util-linux) is needed to run this test without root's privileges";
        return true;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter = QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name());

    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The child cannot read root's home; temporary files go where every user may write.
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(environment);
    child.start(setpriv, {QStringLiteral("--reuid=%1").arg(kUnprivilegedUserId),
                          QStringLiteral("--regid=%1").arg(kUnprivilegedUserId),
                          QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(), filter});
    if (!child.waitForStarted() || !child.waitForFinished(120'000)) {
        ADD_FAILURE() << "the unprivileged run did not complete: " << child.errorString().toStdString();
        return true;
    }
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << "unprivileged run:\n" << output.toStdString();
    if (!output.contains("[  PASSED  ] 1 test"))
        ADD_FAILURE() << "the unprivileged run did not pass its test:\n" << output.toStdString();
    return true;
}

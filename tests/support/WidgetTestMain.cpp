#include <QApplication>
#include <gtest/gtest.h>

// Tests of widgets and of the window-system adapter run with a QApplication, on the offscreen platform
// unless another one is asked for.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

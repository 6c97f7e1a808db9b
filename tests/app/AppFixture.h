#pragma once

#include "app/AppDelegate.h"
#include "support/CapturingLogSink.h"
#include "support/FakeWindowSystem.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// An application delegate on virtual time, a scripted desktop and defaults in a temporary file.
class AppFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    VirtualMainQueue queue;
    FakeWindowSystem windows;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CapturingLogSink log;
    AppDelegate delegate{queue, windows, defaults};
};

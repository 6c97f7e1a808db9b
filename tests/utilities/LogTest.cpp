#include "utilities/Log.h"
#include "utilities/StandardErrorLogSink.h"

#include "support/CapturingLogSink.h"

#include <gtest/gtest.h>

TEST(Log, WritesMessagesLiterallyAndWarningsAsErrors) {
    CapturingLogSink sink;
    Log log("events");
    log.info("calendar_sources_refreshed 100% %s %@ {public}");
    log.warning("w");
    log.error("e");
    ASSERT_EQ(sink.entries.size(), 3u);
    EXPECT_EQ(sink.entries[0].message, "calendar_sources_refreshed 100% %s %@ {public}");
    EXPECT_EQ(sink.entries[0].subsystem, "app.mondrel.Mondrel");
    EXPECT_EQ(sink.entries[0].category, "events");
    EXPECT_EQ(sink.entries[0].type, LogType::info);
    EXPECT_EQ(sink.entries[1].type, LogType::error);
    EXPECT_EQ(sink.entries[2].type, LogType::error);

    sink.enabled = false;
    log.info("dropped");
    EXPECT_EQ(sink.entries.size(), 3u);
}

TEST(Log, StandardErrorShowsCategoryAndTypeBeforeTheLiteralMessage) {
    EXPECT_EQ(standardErrorLine("events", LogType::info, "refreshed 100% %1 %s"),
              "events info: refreshed 100% %1 %s\n");
    EXPECT_EQ(standardErrorLine("google-calendar", LogType::error, "fetch_failed"),
              "google-calendar error: fetch_failed\n");
}

TEST(Log, EveryMessageIsWrittenAsOneLineWhateverItsValuesHold) {
    CapturingLogSink sink;
    const Log log("auth");
    log.error(QStringLiteral("auth_callback_unmatched host=evil\nauth info: signed_in\r\t\x1b[2J\u0085"
                             "\u2028\u2029 C:\\n caf\u00e9 \u2014 \U0001F600"));
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].message,
              QStringLiteral("auth_callback_unmatched host=evil\\nauth info: signed_in\\r\\t\\x1b[2J\\x85"
                             "\\u2028\\u2029 C:\\\\n caf\u00e9 \u2014 \U0001F600"))
        << "a backslash of the value's own stays apart from the escapes";
    EXPECT_EQ(Log::escaped(QString(QChar(0))), "\\x00");
    EXPECT_EQ(Log::escaped(QStringLiteral("\x7f")), "\\x7f");
    // Unescaped, an override turns the rest of the line around: this name would read as a program.
    EXPECT_EQ(Log::escaped(QStringLiteral("rtl\u202Ecsi.exe.ics \u202A\u202D \u2066\u2069 \u2065\u206A")),
              QStringLiteral("rtl\\u202ecsi.exe.ics \\u202a\\u202d \\u2066\\u2069 \u2065\u206A"));
}

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

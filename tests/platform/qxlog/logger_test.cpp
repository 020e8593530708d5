// qxlog: loggers per name, the threshold, the line format, the capture hook
// and the file sink.
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "qxbcpp.h"
#include "qxlog.h"
#include "temp_home.h"

namespace {

// Writes a text as the whole line, the way failure texts are logged.
void logText(QxLogger* logger, int level, const char* text) { logger->log(level, "a.cpp", 1, "%s", text); }

// Every case writes into a log file of its own temporary home folder, never
// into the user's.
class QxLoggerTest : public ::testing::Test {
protected:
    void SetUp() override { qxlogConfigure(QXLOG_INFO, home.file("logs/test.log").c_str()); }
    void TearDown() override { qxlogConfigure(QXLOG_INFO, "stderr"); }
    TempHome home;
};

}  // namespace

TEST_F(QxLoggerTest, OneLoggerPerName) {
    QxLogger* first = qxlogGetLogger("QX.RefData");
    EXPECT_EQ(first, qxlogGetLogger("QX.RefData"));
    EXPECT_NE(first, qxlogGetLogger("QX.Other"));
    EXPECT_STREQ("QX.RefData", first->name());
    EXPECT_STREQ("", qxlogGetLogger(nullptr)->name());
}

TEST_F(QxLoggerTest, CaptureReceivesFormattedTextAndSource) {
    LogCapture capture;
    QxLogger* logger = qxlogGetLogger("QX.RefData");
    logger->log(QXLOG_INFO, "src/rdcoreimpl.cpp", 123, "getDomain(id=%d,name='%s')", 7, "SALES");
    ASSERT_EQ(1u, capture.size()) << capture.dump();
    const LogLine line = capture.lines()[0];
    EXPECT_EQ("QX.RefData", line.logger);
    EXPECT_EQ(QXLOG_INFO, line.level);
    EXPECT_EQ("src/rdcoreimpl.cpp", line.file);
    EXPECT_EQ(123, line.line);
    EXPECT_EQ("getDomain(id=7,name='SALES')", line.text);
    EXPECT_TRUE(capture.hasLine(QXLOG_INFO, "getDomain(id=7,name='SALES')"));
    EXPECT_FALSE(capture.hasLine(QXLOG_ERROR, "getDomain(id=7,name='SALES')"));
}

TEST_F(QxLoggerTest, TextPassedAsArgumentIsNotAFormat) {
    LogCapture capture;
    logText(qxlogGetLogger("QX.RefData"), QXLOG_ERROR, "disk 100%s full %d %n");
    EXPECT_TRUE(capture.hasLine(QXLOG_ERROR, "disk 100%s full %d %n")) << capture.dump();
}

TEST_F(QxLoggerTest, LinesBelowTheThresholdAreDropped) {
    LogCapture capture(QXLOG_WARNING);
    QxLogger* logger = qxlogGetLogger("QX.RefData");
    logText(logger, QXLOG_TRACE, "trace");
    logText(logger, QXLOG_INFO, "info");
    logText(logger, QXLOG_NOTICE, "notice");
    logText(logger, QXLOG_WARNING, "warning");
    logText(logger, QXLOG_ERROR, "error");
    EXPECT_EQ((std::vector<std::string>{"warning"}), capture.textsAt(QXLOG_WARNING));
    EXPECT_EQ(2u, capture.size()) << capture.dump();
    EXPECT_EQ(0u, capture.count(QXLOG_INFO));

    qxlogConfigure(QXLOG_TRACE, nullptr);
    logText(logger, QXLOG_TRACE, "now kept");
    EXPECT_TRUE(capture.hasLine(QXLOG_TRACE, "now kept"));
}

TEST_F(QxLoggerTest, LongTextsAreComplete) {
    LogCapture capture;
    const std::string big(20000, 'z');
    qxlogGetLogger("QX.RefData")->log(QXLOG_INFO, "a.cpp", 1, "<%s>", big.c_str());
    EXPECT_TRUE(capture.hasLine(QXLOG_INFO, "<" + big + ">"));
}

TEST_F(QxLoggerTest, CaptureRemovedStopsRecording) {
    LogCapture capture;
    qxlogSetCapture(nullptr, nullptr);
    logText(qxlogGetLogger("QX.RefData"), QXLOG_ERROR, "not seen");
    EXPECT_EQ(0u, capture.size());
}

TEST_F(QxLoggerTest, FileSinkWritesTheFullLine) {
    qxlogConfigure(QXLOG_INFO, "logs/relative.log");
    qxlogGetLogger("QX.RefData")->log(QXLOG_ERROR, "src/rdcoreimpl.cpp", 123, "%s", "it failed");
    qxlogGetLogger("QX.RefData")->log(QXLOG_TRACE, "src/rdcoreimpl.cpp", 124, "%s", "dropped");
    const std::string written = home.readFile("logs/relative.log");
    // "YYYY-MM-DD HH:MM:SS.mmm " then the line.
    ASSERT_GE(written.size(), 24u) << written;
    EXPECT_EQ('-', written[4]);
    EXPECT_EQ('.', written[19]);
    EXPECT_EQ("[error] QX.RefData src/rdcoreimpl.cpp:123: it failed\n", written.substr(24));
}

TEST_F(QxLoggerTest, UnopenableFileFallsBackToStandardError) {
    home.writeFile("blocker", "a file where a folder is needed");
    LogCapture capture;
    qxlogConfigure(QXLOG_INFO, "blocker/sub/x.log");
    EXPECT_TRUE(capture.hasLineContaining(QXLOG_WARNING, "Cannot open log file")) << capture.dump();
    logText(qxlogGetLogger("QX.RefData"), QXLOG_ERROR, "still logged");
    EXPECT_TRUE(capture.hasLine(QXLOG_ERROR, "still logged"));
}

// qxlog reads the [logging] table once, at the first line of the process.
// This must be the first line written in the test program, so these cases
// are the only ones that run in a child process of their own.
#include <gtest/gtest.h>

#include <string>

#include "qxbcpp.h"
#include "qxlog.h"
#include "temp_home.h"

namespace {

// Runs body in a fresh process (via a death test) so the logger starts
// unconfigured; the child exits 0 when its checks pass.
template <typename Body>
void inFreshProcess(Body body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            body();
            std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace

TEST(QxLoggerConfigTest, DefaultFileInTheHomeFolder) {
    inFreshProcess([] {
        TempHome home;
        qxlogGetLogger("QX.RefData")->log(QXLOG_INFO, "x.cpp", 5, "%s", "hello");
        qxlogGetLogger("QX.RefData")->log(QXLOG_TRACE, "x.cpp", 6, "%s", "below the default");
        const std::string written = home.readFile("logs/rdm.log");
        EXPECT_NE(std::string::npos, written.find("[info] QX.RefData x.cpp:5: hello\n")) << written;
        EXPECT_EQ(std::string::npos, written.find("below the default")) << written;
        EXPECT_TRUE(home.exists("repositories"));
    });
}

TEST(QxLoggerConfigTest, LevelAndFileFromTheConfiguration) {
    inFreshProcess([] {
        TempHome home;
        home.writeConfig("[logging]\nlevel = 'warning'\nfile = 'other/app.log'\n");
        QxLogger* logger = qxlogGetLogger("QX.RefData");
        logger->log(QXLOG_NOTICE, "x.cpp", 1, "%s", "notice line");
        logger->log(QXLOG_WARNING, "x.cpp", 2, "%s", "warning line");
        const std::string written = home.readFile("other/app.log");
        EXPECT_EQ(std::string::npos, written.find("notice line")) << written;
        EXPECT_NE(std::string::npos, written.find("[warning] QX.RefData x.cpp:2: warning line"))
            << written;
        EXPECT_FALSE(home.exists("logs/rdm.log"));
    });
}

TEST(QxLoggerConfigTest, NumericLevel) {
    inFreshProcess([] {
        TempHome home;
        home.writeConfig("[logging]\nlevel = 1\n");
        qxlogGetLogger("QX.RefData")->log(QXLOG_TRACE, "x.cpp", 1, "%s", "trace line");
        EXPECT_NE(std::string::npos, home.readFile("logs/rdm.log").find("[trace]"));
    });
}

TEST(QxLoggerConfigTest, BadSettingsAreReportedInTheLog) {
    inFreshProcess([] {
        TempHome home;
        home.writeConfig("[logging]\nlevel = 'loud'\n");
        qxlogGetLogger("QX.RefData")->log(QXLOG_INFO, "x.cpp", 1, "%s", "kept at info");
        const std::string written = home.readFile("logs/rdm.log");
        EXPECT_NE(std::string::npos, written.find("[warning]")) << written;
        EXPECT_NE(std::string::npos, written.find("'loud'")) << written;
        EXPECT_NE(std::string::npos, written.find("kept at info")) << written;
    });
    inFreshProcess([] {
        TempHome home;
        home.writeConfig("[logging\n");
        qxlogGetLogger("QX.RefData")->log(QXLOG_INFO, "x.cpp", 1, "%s", "still written");
        const std::string written = home.readFile("logs/rdm.log");
        EXPECT_NE(std::string::npos, written.find("config.toml', line 1")) << written;
        EXPECT_NE(std::string::npos, written.find("still written")) << written;
    });
}

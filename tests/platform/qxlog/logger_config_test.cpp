// qxlog reads the [logging] table once, at the first line of the process.
// This must be the first line written in the test program, so these cases
// are the only ones that run in a child process of their own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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
    inFreshProcess([] {
        TempHome home;
        home.writeConfig("[logging]\nmax_size = 'big'\nfiles = -1\n");
        qxlogGetLogger("QX.RefData")->log(QXLOG_INFO, "x.cpp", 1, "%s", "rotated at the defaults");
        const std::string written = home.readFile("logs/rdm.log");
        EXPECT_NE(std::string::npos, written.find("max_size 'big'")) << written;
        EXPECT_NE(std::string::npos, written.find("files '-1'")) << written;
    });
}

// Two processes write one log while it rotates: the one that did not rotate
// follows the new file instead of writing on into a renamed (in the end
// deleted) one, and no file grows past the limit.
TEST(QxLoggerConfigTest, ProcessesSharingTheLogRotateItWithoutLosingLines) {
    inFreshProcess([] {
        TempHome home;
        home.writeConfig("[logging]\nmax_size = 2000\nfiles = 3\n");
        int go[2];
        ASSERT_EQ(0, pipe(go));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        QxLogger* logger = qxlogGetLogger("QX.RefData");
        if (child == 0) {
            char byte = 0;
            if (read(go[0], &byte, 1) != 1) _exit(2);
            for (int n = 0; n < 60; ++n) logger->log(QXLOG_INFO, "x.cpp", 1, "child line %02d", n);
            _exit(0);
        }
        logger->log(QXLOG_INFO, "x.cpp", 1, "%s", "parent line 0");  // opens the file first
        ASSERT_EQ(1, write(go[1], "g", 1));
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        usleep(150 * 1000);  // a writer looks at the path at least every 100 ms
        logger->log(QXLOG_INFO, "x.cpp", 1, "%s", "parent line 1");

        EXPECT_NE(std::string::npos, home.readFile("logs/rdm.log").find("parent line 1"));
        std::string all;  // oldest file first
        for (const char* name : {"logs/rdm.3.log", "logs/rdm.2.log", "logs/rdm.1.log", "logs/rdm.log"}) {
            if (!home.exists(name)) continue;
            const std::string written = home.readFile(name);
            EXPECT_LE(written.size(), 2000u) << name;
            all += written;
        }
        std::size_t at = all.find("parent line 0");
        for (int n = 0; n < 60 && at != std::string::npos; ++n) {
            char line[32];
            std::snprintf(line, sizeof line, "child line %02d\n", n);
            at = all.find(line, at);
            EXPECT_NE(std::string::npos, at) << line << all;
        }
        EXPECT_NE(std::string::npos, all.find("parent line 1", at)) << all;
    });
}

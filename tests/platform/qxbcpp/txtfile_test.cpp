// QxbTxtFile: line ends, byte-order marks, empty and long lines, open errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "qxbcpp.h"
#include "temp_home.h"

namespace {

// Reads every line of a file; the answers of readLine are checked on the way.
std::vector<std::string> readAll(const std::string& path) {
    QxbString error;
    QxbTxtFile* file = qxbTxtFileOpen(path.c_str(), QXB_TXT_READ, 0, 0, &error);
    std::vector<std::string> lines;
    if (!file) {
        ADD_FAILURE() << error.asCstr();
        return lines;
    }
    char* line = nullptr;
    int answer;
    while ((answer = file->readLine(0, &line, 0)) > 0) {
        EXPECT_EQ(std::strlen(line) + 1, static_cast<std::size_t>(answer));
        lines.emplace_back(line, static_cast<std::size_t>(answer - 1));
    }
    EXPECT_EQ(0, answer);
    EXPECT_EQ(0, file->readLine(0, &line, 0)) << "end of file stays the end";
    file->close();
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(TxtFileTest, LineEndsAreRemoved) {
    TempHome home;
    home.writeFile("lf.txt", "a;b\nc;d\n");
    home.writeFile("crlf.txt", "a;b\r\nc;d\r\n");
    home.writeFile("mixed.txt", "a;b\r\n\nc;d");
    EXPECT_EQ((Lines{"a;b", "c;d"}), readAll(home.file("lf.txt")));
    EXPECT_EQ((Lines{"a;b", "c;d"}), readAll(home.file("crlf.txt")));
    EXPECT_EQ((Lines{"a;b", "", "c;d"}), readAll(home.file("mixed.txt")));
}

TEST(TxtFileTest, ByteOrderMarkIsSkippedOnlyAtTheStart) {
    TempHome home;
    const std::string bom = "\xEF\xBB\xBF";
    home.writeFile("bom.txt", bom + "name;code\r\n" + bom + "x\n");
    EXPECT_EQ((Lines{"name;code", bom + "x"}), readAll(home.file("bom.txt")));
    home.writeFile("bomonly.txt", bom);
    EXPECT_EQ((Lines{""}), readAll(home.file("bomonly.txt")));
}

TEST(TxtFileTest, EmptyFileAndEmptyLines) {
    TempHome home;
    home.writeFile("empty.txt", "");
    EXPECT_EQ(Lines{}, readAll(home.file("empty.txt")));
    home.writeFile("blank.txt", "\n");
    QxbTxtFile* file = qxbTxtFileOpen(home.file("blank.txt").c_str(), QXB_TXT_READ, 0, 0, nullptr);
    ASSERT_NE(nullptr, file);
    char* line = nullptr;
    EXPECT_EQ(1, file->readLine(0, &line, 0)) << "an empty line answers 1";
    EXPECT_STREQ("", line);
    EXPECT_EQ(0, file->readLine(0, &line, 0));
    file->close();
}

TEST(TxtFileTest, LinesUpToOneMebibyteAreWholeLongerOnesAreRefused) {
    TempHome home;
    const std::string longLine(1 << 20, 'x');
    home.writeFile("long.txt", "short\n" + longLine + "\r\nend");
    EXPECT_EQ((Lines{"short", longLine, "end"}), readAll(home.file("long.txt")));

    for (const std::string& end : {std::string(), std::string("\n"), std::string("\r\nnext\n")}) {
        home.writeFile("toolong.txt", "short\n" + longLine + "x" + end);
        QxbTxtFile* file = qxbTxtFileOpen(home.file("toolong.txt").c_str(), QXB_TXT_READ, 0, 0, nullptr);
        ASSERT_NE(nullptr, file);
        char* line = nullptr;
        EXPECT_EQ(6, file->readLine(0, &line, 0));
        for (int call = 0; call < 2; ++call) {
            errno = 0;
            EXPECT_EQ(-1, file->readLine(0, &line, 0)) << "the long line and every later call";
            EXPECT_EQ(EOVERFLOW, errno);
            EXPECT_EQ(nullptr, line);
        }
        file->close();
    }
}

TEST(TxtFileTest, OpenFailuresNameThePathAndReason) {
    TempHome home;
    QxbString error;
    const std::string missing = home.file("missing.txt");
    EXPECT_EQ(nullptr, qxbTxtFileOpen(missing.c_str(), QXB_TXT_READ, 0, 0, &error));
    EXPECT_NE(std::string::npos, error.str().find(missing)) << error.asCstr();
    EXPECT_NE(std::string::npos, error.str().find(std::strerror(ENOENT))) << error.asCstr();

    error.setNull();
    EXPECT_EQ(nullptr, qxbTxtFileOpen(home.path().c_str(), QXB_TXT_READ, 0, 0, &error));
    EXPECT_NE(std::string::npos, error.str().find(home.path())) << error.asCstr();
}

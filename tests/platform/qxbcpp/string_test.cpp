// QxbString: null versus empty, comparison, clipping and integer parsing.
#include <gtest/gtest.h>

#include "qxbcpp.h"

TEST(QxbStringTest, NullAndEmptyAreDistinctButBothReadAsEmpty) {
    const QxbString null;
    const QxbString empty("");
    EXPECT_TRUE(null.isNull());
    EXPECT_FALSE(empty.isNull());
    EXPECT_EQ(0u, null.length());
    EXPECT_STREQ("", null.asCstr());
    EXPECT_NE(null, empty);
    EXPECT_EQ(0, null.compare(empty, true));

    EXPECT_TRUE(QxbString(static_cast<const char*>(nullptr)).isNull());
    EXPECT_FALSE(QxbString(nullptr, false).isNull());
    EXPECT_TRUE(QxbString(nullptr, std::size_t(3)).isNull());
}

TEST(QxbStringTest, AssignAndSetNullChangeTheState) {
    QxbString s;
    s.assign("abc");
    EXPECT_EQ("abc", s.str());
    s.assign(static_cast<const char*>(nullptr));
    EXPECT_TRUE(s.isNull());
    s.assign(-42);
    EXPECT_STREQ("-42", s.asCstr());
    s.assign("abcdef", 3);
    EXPECT_EQ(QxbString("abc"), s);
    s.setNull();
    EXPECT_TRUE(s.isNull());
    EXPECT_EQ(0u, s.length());
}

TEST(QxbStringTest, CopyAndMoveKeepTheNullState) {
    QxbString source;
    QxbString copy(source);
    EXPECT_TRUE(copy.isNull());
    QxbString text("value");
    QxbString moved(std::move(text));
    EXPECT_EQ("value", moved.str());
    QxbString target("x");
    target = QxbString();
    EXPECT_TRUE(target.isNull());
}

TEST(QxbStringTest, CompareHonoursTheCaseFlag) {
    const QxbString upper("ABC");
    EXPECT_NE(0, upper.compare("abc", true));
    EXPECT_EQ(0, upper.compare("abc", false));
    EXPECT_LT(upper.compare("ABD", true), 0);
    EXPECT_GT(upper.compare("AB", true), 0);
    EXPECT_LT(QxbString("ab").compare(QxbString("abc"), false), 0);
    EXPECT_EQ(0, QxbString().compare(static_cast<const char*>(nullptr), true));
    EXPECT_GT(upper.compare(QxbString(), true), 0);
    // Only ASCII letters fold; bytes above 127 compare as unsigned.
    EXPECT_NE(0, QxbString("\xC3\x84").compare("\xC3\xA4", false));
    EXPECT_GT(QxbString("\xC3").compare("a", true), 0);
}

TEST(QxbStringTest, AppendMakesANullStringNonNull) {
    QxbString s;
    bool ok = false;
    s.append(QxbString(), &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(s.isNull());
    EXPECT_EQ("", s.str());
    s.append(QxbString("ab")).append(QxbString("cd"));
    EXPECT_EQ("abcd", s.str());
}

TEST(QxbStringTest, MidClipsToTheText) {
    const QxbString s("abcdef");
    EXPECT_EQ("cde", s.mid(2, 3).str());
    EXPECT_EQ("ef", s.mid(4, 100).str());
    EXPECT_EQ("", s.mid(6, 1).str());
    EXPECT_FALSE(s.mid(6, 1).isNull());
    EXPECT_FALSE(s.mid(99, 1).isNull());
    EXPECT_EQ("", s.mid(99, 1).str());
    EXPECT_EQ("abcdef", s.mid(0, 0xFFFFFFFFu).str());
    EXPECT_TRUE(QxbString().mid(0, 3).isNull());
}

TEST(QxbStringTest, AsIntAcceptsBlanksAndRejectsEverythingElse) {
    bool ok = false;
    EXPECT_EQ(42, QxbString(" 42 ").asInt(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(-7, QxbString("-7").asInt(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(2147483647, QxbString("2147483647").asInt(&ok));
    EXPECT_TRUE(ok);

    for (const char* bad : {"", "  ", "12x", "x12", "1 2", "2147483648", "-2147483649", "1.5", "0x10"}) {
        ok = true;
        EXPECT_EQ(0, QxbString(bad).asInt(&ok)) << bad;
        EXPECT_FALSE(ok) << bad;
    }
    ok = true;
    EXPECT_EQ(0, QxbString().asInt(&ok));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(0, QxbString("12\0" "3", std::size_t(4)).asInt(&ok));  // an embedded NUL
    EXPECT_FALSE(ok);
    EXPECT_EQ(5, QxbString("5").asInt());  // no flag given
}

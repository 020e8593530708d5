// qxbStringFormat: printf formatting, the "I64" modifier and long results.
#include <gtest/gtest.h>

#include <string>

#include "qxbcpp.h"

TEST(QxbStringFormatTest, FormatsAsPrintf) {
    EXPECT_EQ("a=1 b=x c=2.50", qxbStringFormat("a=%d b=%s c=%.2f", 1, "x", 2.5).str());
    EXPECT_EQ("   7|", qxbStringFormat("%4d|", 7).str());
    EXPECT_FALSE(qxbStringFormat("").isNull());
    EXPECT_TRUE(qxbStringFormat(nullptr).isNull());
}

TEST(QxbStringFormatTest, AcceptsTheI64Modifier) {
    EXPECT_EQ("15 row(s) processed",
              qxbStringFormat("%I64u row(s) processed", static_cast<unsigned long long>(15)).str());
    EXPECT_EQ("-9000000000 ff 18446744073709551615",
              qxbStringFormat("%I64d %I64x %I64u", -9000000000LL, 255ULL, ~0ULL).str());
    EXPECT_EQ("[        42]", qxbStringFormat("[%10I64d]", 42LL).str());
}

TEST(QxbStringFormatTest, PercentSignsStayLiteral) {
    EXPECT_EQ("100% done", qxbStringFormat("%d%% done", 100).str());
    // "%%I64u" is a percent sign followed by the text "I64u".
    EXPECT_EQ("%I64u 5", qxbStringFormat("%%I64u %I64u", 5ULL).str());
    EXPECT_EQ("%5", qxbStringFormat("%%%I64d", 5LL).str());
}

TEST(QxbStringFormatTest, LongResultsAreComplete) {
    const std::string big(5000, 'q');
    const QxbString result = qxbStringFormat("<%s>%I64u", big.c_str(), 1ULL);
    EXPECT_EQ("<" + big + ">1", result.str());
    EXPECT_EQ(5003u, result.length());
}

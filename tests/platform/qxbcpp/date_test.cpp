// QxbDate: Julian day numbers, text round trips and rejected texts.
#include <gtest/gtest.h>

#include <cmath>

#include "qxbcpp.h"

namespace {

QxbDate parse(const char* text) {
    QxbDate date;
    EXPECT_TRUE(QxbDate::fromString(text, &date)) << text;
    return date;
}

}  // namespace

TEST(QxbDateTest, DefaultIsNullAndPrintsNull) {
    QxbDate date;
    EXPECT_TRUE(date.isNull());
    EXPECT_TRUE(date.toString().isNull());
    date.assign(2460000.5);
    EXPECT_FALSE(date.isNull());
    QxbDate copy(date);
    EXPECT_EQ(2460000.5, copy.value());
}

TEST(QxbDateTest, KnownJulianDays) {
    // The same values SQLite's julianday() answers.
    EXPECT_DOUBLE_EQ(2440587.5, parse("1970-01-01").value());
    EXPECT_DOUBLE_EQ(2451545.0, parse("2000-01-01 12:00:00").value());
    EXPECT_DOUBLE_EQ(2451545.0, parse("2000-01-01T12:00Z").value());
    EXPECT_EQ("2000-01-01 12:00:00", std::string(QxbDate(2451545.0).toString().asCstr()));
    EXPECT_EQ(0.0, QxbDate::fromUnixSeconds(0).toUnixSeconds());
    EXPECT_DOUBLE_EQ(86400.0, parse("1970-01-02").toUnixSeconds());
}

TEST(QxbDateTest, TextRoundTripsToTheSecond) {
    for (const char* text : {"1999-12-31 23:59:59", "2024-02-29 00:00:00", "2026-12-08 10:11:12",
                             "1900-03-01 06:07:08", "0001-01-01 00:00:01", "9999-12-31 23:59:59"}) {
        EXPECT_EQ(text, parse(text).toString().str());
    }
    // Every second of a day survives double arithmetic.
    const double base = parse("2031-07-15").value();
    for (int second = 0; second < 86400; second += 7) {
        const QxbDate date = QxbDate::fromUnixSeconds(QxbDate(base).toUnixSeconds() + second);
        QxbDate back;
        ASSERT_TRUE(QxbDate::fromString(date.toString().asCstr(), &back));
        ASSERT_NEAR(date.toUnixSeconds(), back.toUnixSeconds(), 1e-3) << second;
    }
}

TEST(QxbDateTest, AcceptedForms) {
    EXPECT_EQ("2024-01-02 00:00:00", parse("2024-01-02").toString().str());
    EXPECT_EQ("2024-01-02 03:04:00", parse("2024-01-02 03:04").toString().str());
    EXPECT_EQ("2024-01-02 03:04:05", parse("2024-01-02T03:04:05Z").toString().str());
    EXPECT_EQ("2024-01-02 03:04:05", parse("2024-01-02T03:04:05").toString().str());
    EXPECT_EQ("2024-01-02 03:04:06", parse("2024-01-02 03:04:05.750").toString().str());
}

TEST(QxbDateTest, BadTextsAreRejectedAndLeaveTheDateAlone) {
    for (const char* bad : {"", "2024", "2024-1-2", "2024-13-01", "2024-00-10", "2023-02-29",
                            "2024-04-31", "2024-01-00", "2024-01-02 24:00", "2024-01-02 10:60",
                            "2024-01-02 10:00:60", "2024-01-02x", "2024-01-02 10", "2024-01-02Z",
                            "2024-01-02 10:00Z", "abcd-ef-gh", " 2024-01-02", "2024-01-02 10:00:00.",
                            "1900-02-29"}) {
        QxbDate date(1.0);
        EXPECT_FALSE(QxbDate::fromString(bad, &date)) << bad;
        EXPECT_EQ(1.0, date.value()) << bad;
    }
    EXPECT_FALSE(QxbDate::fromString(nullptr, nullptr));
    EXPECT_TRUE(QxbDate::fromString("2000-02-29", nullptr));
}

TEST(QxbDateTest, CurrentDateIsNow) {
    const QxbDate now = QxbDate::currentDate(false);
    const double unixNow = static_cast<double>(std::time(nullptr));
    EXPECT_NEAR(unixNow, now.toUnixSeconds(), 2.0);
    EXPECT_FALSE(now.isNull());
}

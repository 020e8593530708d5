// QxbDatavar: assignment, conversions and type changes.
#include <gtest/gtest.h>

#include <cstdint>

#include "qxbcpp.h"

namespace {

QxbDatavar text(const char* value) {
    QxbDatavar v;
    v.assign(value);
    return v;
}

template <typename T>
QxbDatavar of(T value) {
    QxbDatavar v;
    v.assign(value);
    return v;
}

}  // namespace

TEST(QxbDatavarTest, AssignSetsTheType) {
    QxbDatavar v;
    EXPECT_TRUE(v.isNull());
    EXPECT_EQ(QXB_TYPE_BOOL, of(true).type());
    EXPECT_EQ(QXB_TYPE_INT, of(3).type());
    EXPECT_EQ(QXB_TYPE_INT64, of(std::int64_t(3)).type());
    EXPECT_EQ(QXB_TYPE_DOUBLE, of(1.5).type());
    EXPECT_EQ(QXB_TYPE_STRING, text("").type());
    EXPECT_EQ(QXB_TYPE_DATE, of(QxbDate(2451545.0)).type());
    // Null inputs give null values.
    EXPECT_TRUE(text(nullptr).isNull());
    EXPECT_TRUE(of(QxbString()).isNull());
    EXPECT_TRUE(of(QxbDate()).isNull());
}

TEST(QxbDatavarTest, BooleanConversions) {
    bool ok = false;
    for (const char* yes : {"true", "YES", "y", "1", "On", " true "}) {
        EXPECT_TRUE(text(yes).asBool(&ok)) << yes;
        EXPECT_TRUE(ok) << yes;
    }
    for (const char* no : {"false", "No", "N", "0", "off"}) {
        EXPECT_FALSE(text(no).asBool(&ok)) << no;
        EXPECT_TRUE(ok) << no;
    }
    EXPECT_TRUE(text("2").asBool(&ok));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(text("maybe").asBool(&ok));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(of(-1).asBool());
    EXPECT_TRUE(of(0.25).asBool());
    EXPECT_FALSE(of(0).asBool());
    ok = true;
    EXPECT_FALSE(QxbDatavar().asBool(&ok));
    EXPECT_FALSE(ok);
}

TEST(QxbDatavarTest, NumericConversions) {
    bool ok = false;
    EXPECT_EQ(12, text(" 12 ").asInt(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(3, text("3.9").asInt(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(1, of(true).asInt());
    EXPECT_EQ(-2, of(-2.7).asInt());
    EXPECT_DOUBLE_EQ(0.5, text("5e-1").asDouble(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(INT64_C(9000000000), text("9000000000").asInt64(&ok));
    EXPECT_TRUE(ok);

    // Values that do not fit or do not read as numbers.
    for (const QxbDatavar& bad : {text("9000000000"), text("abc"), text(""), of(1e300),
                                  of(std::int64_t(1) << 40), QxbDatavar()}) {
        ok = true;
        EXPECT_EQ(0, bad.asInt(&ok));
        EXPECT_FALSE(ok);
    }
    ok = true;
    EXPECT_EQ(0.0, text("1.5x").asDouble(&ok));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(0, text("99999999999999999999").asInt64(&ok));
    EXPECT_FALSE(ok);
}

TEST(QxbDatavarTest, StringConversions) {
    EXPECT_TRUE(QxbDatavar().asString().isNull());
    EXPECT_EQ("true", of(true).asString().str());
    EXPECT_EQ("-5", of(-5).asString().str());
    EXPECT_EQ("0.1", of(0.1).asString().str());
    EXPECT_EQ("1e+20", of(1e20).asString().str());
    EXPECT_EQ("2000-01-01 12:00:00", of(QxbDate(2451545.0)).asString().str());
    EXPECT_EQ("", text("").asString().str());
    EXPECT_FALSE(text("").asString().isNull());
    // Doubles print precisely enough to read back.
    const double third = 1.0 / 3.0;
    EXPECT_EQ(third, text(of(third).asString().asCstr()).asDouble());
}

TEST(QxbDatavarTest, DateConversions) {
    bool ok = false;
    EXPECT_EQ(2451545.0, text("2000-01-01 12:00:00").asDate(&ok).value());
    EXPECT_TRUE(ok);
    // A number is read as a Julian day number.
    EXPECT_EQ(2451545.0, of(2451545.0).asDate(&ok).value());
    EXPECT_TRUE(ok);
    EXPECT_EQ(2451545.0, of(2451545).asDate(&ok).value());
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(2451545.0, of(QxbDate(2451545.0)).asDouble());
    for (const QxbDatavar& bad : {text("2000-02-30"), text("soon"), of(0), of(true), QxbDatavar()}) {
        ok = true;
        EXPECT_TRUE(bad.asDate(&ok).isNull());
        EXPECT_FALSE(ok);
    }
}

TEST(QxbDatavarTest, SetTypeConvertsOrBecomesNull) {
    QxbDatavar v = text("2024-01-02");
    v.setType(QXB_TYPE_DATE);
    EXPECT_EQ(QXB_TYPE_DATE, v.type());
    EXPECT_EQ("2024-01-02 00:00:00", v.asString().str());
    v.setType(QXB_TYPE_STRING);
    EXPECT_EQ(QXB_TYPE_STRING, v.type());
    EXPECT_EQ("2024-01-02 00:00:00", v.asString().str());

    v = text("yes");
    v.setType(QXB_TYPE_BOOL);
    EXPECT_EQ(QXB_TYPE_BOOL, v.type());
    EXPECT_TRUE(v.asBool());

    v = text("41");
    v.setType(QXB_TYPE_INT);
    EXPECT_EQ(QXB_TYPE_INT, v.type());
    EXPECT_EQ(41, v.asInt());
    v.setType(QXB_TYPE_DOUBLE);
    EXPECT_EQ(QXB_TYPE_DOUBLE, v.type());
    EXPECT_EQ(41.0, v.asDouble());
    v.setType(QXB_TYPE_INT64);
    EXPECT_EQ(QXB_TYPE_INT64, v.type());

    v = text("not a number");
    v.setType(QXB_TYPE_INT);
    EXPECT_TRUE(v.isNull());
    v = of(true);
    v.setType(QXB_TYPE_DATE);
    EXPECT_TRUE(v.isNull());
    v = of(5);
    v.setType(QXB_TYPE_NULL);
    EXPECT_TRUE(v.isNull());
    v.setType(QXB_TYPE_STRING);  // null stays null
    EXPECT_TRUE(v.isNull());
}

TEST(QxbDatavarTest, EqualityAndCopies) {
    EXPECT_EQ(QxbDatavar(), QxbDatavar());
    EXPECT_EQ(text("a"), text("a"));
    EXPECT_FALSE(text("a") == text("A"));
    EXPECT_EQ(of(3), of(std::int64_t(3)));
    EXPECT_EQ(of(3), of(3.0));
    EXPECT_FALSE(of(3) == text("3"));
    EXPECT_FALSE(of(3) == QxbDatavar());

    QxbDatavar original = text("kept");
    QxbDatavar copy(original);
    original.assign(7);
    EXPECT_EQ("kept", copy.asString().str());
    QxbDatavar moved(std::move(copy));
    EXPECT_EQ("kept", moved.asString().str());
    copy = moved;
    EXPECT_EQ(moved, copy);
    // Assigning a number after a text leaves no trace of the text.
    copy.assign(1.5);
    EXPECT_EQ("1.5", copy.asString().str());
}

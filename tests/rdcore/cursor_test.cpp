// The result-set cursor and the cache cursor: answers of next, reads before,
// between and after rows, out-of-range columns, and values of every type.
#include <string>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "qxbcpp.h"
#include "rdcore_test_support.h"
#include "rdcorecursorimpl.h"
#include "recording_store.h"

namespace rdtest {
namespace {

class ResultSetCursorTest : public ::testing::Test {
protected:
    void SetUp() override { fakes::reset(); }
    void TearDown() override {
        EXPECT_TRUE(fakes::platform().live.empty());
        fakes::reset();
    }
};

TEST_F(ResultSetCursorTest, MapsTheResultSetAnswers) {
    fakes::FakeRows rows({"ID", "NAME"}, {{1, "one"}, {2, nullptr}, {3, "three"}});
    rows.errorAtRow = 2;
    auto* cursor = new RefDataCursorImpl();
    ASSERT_TRUE(cursor->attach(new fakes::FakeResultSet("rs", rows), nullptr));
    EXPECT_TRUE(cursor->isReady());
    EXPECT_EQ(cursor->getColumnCount(), 2);
    EXPECT_EQ(cursor->getColumnName(1), QxbString("NAME"));
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getInt(0), 1);
    EXPECT_EQ(cursor->getString(1), QxbString("one"));
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_TRUE(cursor->isNull(1));
    EXPECT_TRUE(cursor->getString(1).isNull());
    EXPECT_EQ(cursor->getDouble(0), 2.0);
    EXPECT_EQ(cursor->getValue(0).asInt(), 2);
    EXPECT_EQ(cursor->next(), 2);  // the result set answered an error
    cursor->release();
    EXPECT_EQ(fakes::callLog().lines(), (std::vector<std::string>{"rs.release()"}));
}

TEST_F(ResultSetCursorTest, EndOfRowsIsOne) {
    auto* cursor = new RefDataCursorImpl();
    ASSERT_TRUE(cursor->attach(new fakes::FakeResultSet("rs", fakes::FakeRows({"A"}, {{5}})),
                               nullptr));
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->next(), 1);
    cursor->release();
}

TEST_F(ResultSetCursorTest, WithoutResultSetAnswersDefaults) {
    auto* cursor = new RefDataCursorImpl();
    QxbString error("untouched");
    EXPECT_FALSE(cursor->attach(nullptr, &error));
    EXPECT_EQ(error.str(), referenceDataMessage(249));
    EXPECT_FALSE(cursor->attach(nullptr, nullptr));
    EXPECT_EQ(cursor->next(), 2);
    EXPECT_EQ(cursor->getColumnCount(), 0);
    EXPECT_TRUE(cursor->getColumnName(0).isNull());
    EXPECT_TRUE(cursor->getString(0).isNull());
    EXPECT_EQ(cursor->getInt(0), -1);
    EXPECT_EQ(cursor->getDouble(0), -1.0);
    EXPECT_TRUE(cursor->isNull(0));
    EXPECT_TRUE(cursor->getValue(0).isNull());
    EXPECT_FALSE(cursor->isReady());
    cursor->release();
}

// A cache cursor built the way the query layer builds one.
class CacheCursorTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (cursor != nullptr) cursor->release();
    }
    void columns(std::initializer_list<const char*> names) {
        ASSERT_TRUE(cursor->setColumns(static_cast<int>(names.size())));
        int column = 0;
        for (const char* name : names) cursor->setColumnName(column++, QxbString(name));
    }
    void row(std::initializer_list<fakes::Cell> cells) {
        ASSERT_GT(cursor->addRow(), 0);
        int column = 0;
        for (const fakes::Cell& cell : cells) EXPECT_TRUE(cursor->setValue(column++, cell.value_));
    }
    void expectNoCurrentRow() {
        for (int column : {0, 1, -1, 99}) {
            EXPECT_TRUE(cursor->getString(column).isNull()) << column;
            EXPECT_EQ(cursor->getInt(column), 0) << column;
            EXPECT_EQ(cursor->getDouble(column), 0.0) << column;
            EXPECT_TRUE(cursor->isNull(column)) << column;
            EXPECT_TRUE(cursor->getValue(column).isNull()) << column;
        }
    }

    RefDataCacheCursorImpl* cursor = new RefDataCacheCursorImpl();
};

TEST_F(CacheCursorTest, WithoutColumnsAnswersTwo) {
    EXPECT_EQ(cursor->next(), 2);
    EXPECT_FALSE(cursor->setColumns(0));
    EXPECT_EQ(cursor->next(), 2);
    EXPECT_TRUE(cursor->getColumnName(0).isNull());
    EXPECT_TRUE(cursor->isReady());
}

// A refused negative count is kept as given; only a count of zero makes
// next answer 2, otherwise it reports the end of the (absent) rows.
TEST_F(CacheCursorTest, ANegativeColumnCountIsNotZeroColumns) {
    EXPECT_FALSE(cursor->setColumns(-3));
    EXPECT_EQ(cursor->getColumnCount(), -3);
    EXPECT_EQ(cursor->next(), 1);
    EXPECT_TRUE(cursor->getColumnName(0).isNull());
    EXPECT_TRUE(cursor->isNull(0));
}

TEST_F(CacheCursorTest, ColumnsWithoutRowsAnswerOneEveryTime) {
    columns({"A", "B"});
    cursor->rewind();
    EXPECT_EQ(cursor->next(), 1);
    EXPECT_EQ(cursor->next(), 1);
    expectNoCurrentRow();
}

TEST_F(CacheCursorTest, ReadsNothingBeforeTheFirstNextAndWrapsAfterTheEnd) {
    columns({"ID", "NAME"});
    row({1, "one"});
    row({2, "two"});
    cursor->rewind();
    expectNoCurrentRow();
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getString(1), QxbString("one"));
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getInt(0), 2);
    EXPECT_EQ(cursor->next(), 1);
    expectNoCurrentRow();
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getString(1), QxbString("one"));
}

TEST_F(CacheCursorTest, OutOfRangeColumnsAreSafe) {
    columns({"A"});
    row({"x"});
    cursor->setColumnName(1, QxbString("ignored"));
    cursor->setColumnName(-1, QxbString("ignored"));
    EXPECT_FALSE(cursor->setValue(1, fakes::Cell("ignored").value_));
    EXPECT_FALSE(cursor->setValue(-1, fakes::Cell("ignored").value_));
    cursor->rewind();
    ASSERT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getColumnName(0), QxbString("A"));
    EXPECT_TRUE(cursor->getColumnName(1).isNull());
    for (int column : {1, -1, 1 << 30}) {
        EXPECT_TRUE(cursor->getString(column).isNull());
        EXPECT_EQ(cursor->getInt(column), 0);
        EXPECT_TRUE(cursor->isNull(column));
    }
    EXPECT_EQ(cursor->getString(0), QxbString("x"));
}

TEST_F(CacheCursorTest, EveryValueTypeRoundTrips) {
    columns({"V"});
    QxbDatavar value;
    std::vector<QxbDatavar> values;
    value.assign(true);
    values.push_back(value);
    value.assign(-42);
    values.push_back(value);
    value.assign(static_cast<std::int64_t>(1) << 40);
    values.push_back(value);
    value.assign(2.5);
    values.push_back(value);
    value.assign("text");
    values.push_back(value);
    value.assign("");
    values.push_back(value);
    value.assign(QxbDate(2460000.25));
    values.push_back(value);
    values.push_back(QxbDatavar());
    // Each value twice: a value equal to the one above it is stored as a
    // reference to it and must read back the same.
    for (const QxbDatavar& each : values) {
        for (int twice = 0; twice < 2; ++twice) {
            ASSERT_GT(cursor->addRow(), 0);
            ASSERT_TRUE(cursor->setValue(0, each));
        }
    }
    EXPECT_EQ(cursor->getRowCount(), static_cast<int>(2 * values.size()));
    cursor->rewind();
    for (std::size_t row = 0; row < 2 * values.size(); ++row) {
        const QxbDatavar& each = values[row / 2];
        ASSERT_EQ(cursor->next(), 0);
        const QxbDatavar read = cursor->getValue(0);
        EXPECT_EQ(read.type(), each.type()) << each.asString().str();
        EXPECT_TRUE(read == each) << each.asString().str();
        EXPECT_EQ(cursor->getString(0), each.asString());
        EXPECT_EQ(cursor->isNull(0), each.isNull());
    }
    EXPECT_EQ(cursor->next(), 1);
}

TEST_F(CacheCursorTest, ConvertsOnRead) {
    columns({"N", "T"});
    row({7, "12"});
    cursor->rewind();
    ASSERT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getString(0), QxbString("7"));
    EXPECT_EQ(cursor->getInt(1), 12);
    EXPECT_EQ(cursor->getDouble(1), 12.0);
}

TEST_F(CacheCursorTest, ClearKeepsTheColumnCountOnly) {
    columns({"A", "B"});
    row({1, 2});
    cursor->clear();
    EXPECT_EQ(cursor->getColumnCount(), 2);
    EXPECT_EQ(cursor->getRowCount(), 0);
    EXPECT_TRUE(cursor->getColumnName(0).isNull());
    EXPECT_EQ(cursor->next(), 1);
    EXPECT_FALSE(cursor->setValue(0, fakes::Cell(3).value_));
}

TEST_F(CacheCursorTest, ValueWithoutCurrentRowIsIgnored) {
    columns({"A"});
    EXPECT_FALSE(cursor->setValue(0, fakes::Cell(1).value_));
    EXPECT_EQ(cursor->addRow(), 1);
    EXPECT_EQ(cursor->addRow(), 2);
    cursor->rewind();
    EXPECT_FALSE(cursor->setValue(0, fakes::Cell(1).value_));
    ASSERT_EQ(cursor->next(), 0);
    // Rows already read are read-only: only the row being added takes values.
    EXPECT_FALSE(cursor->setValue(0, fakes::Cell(1).value_));
    EXPECT_TRUE(cursor->isNull(0));
}

// Many rows cross the storage's chunk boundaries; repeated, changing, empty
// and long texts must all read back as written.
TEST_F(CacheCursorTest, ManyRowsAndTextsReadBackExactly) {
    columns({"ID", "GROUP", "NAME"});
    const std::string longText(300000, 'L');
    const int rows = 20000;
    for (int i = 0; i < rows; ++i) {
        ASSERT_EQ(cursor->addRow(), i + 1);
        QxbDatavar value;
        value.assign(i);
        cursor->setValue(0, value);
        value.assign(("group" + std::to_string(i / 100)).c_str());
        cursor->setValue(1, value);
        const std::string name = i % 1000 == 0 ? longText : i % 7 == 0 ? "" : std::to_string(i);
        value.assign(name.c_str());
        cursor->setValue(2, value);
    }
    cursor->rewind();
    for (int i = 0; i < rows; ++i) {
        ASSERT_EQ(cursor->next(), 0);
        ASSERT_EQ(cursor->getInt(0), i);
        ASSERT_EQ(cursor->getString(1).str(), "group" + std::to_string(i / 100));
        const std::string expected =
            i % 1000 == 0 ? longText : i % 7 == 0 ? "" : std::to_string(i);
        ASSERT_EQ(cursor->getString(2).str(), expected) << i;
        ASSERT_FALSE(cursor->getString(2).isNull());
    }
    EXPECT_EQ(cursor->next(), 1);
}

}  // namespace
}  // namespace rdtest

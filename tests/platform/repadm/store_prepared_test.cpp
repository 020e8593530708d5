// The data-server prepared queries, kinds 1 to 4, with their parameters.
#include "store_fixture.h"

namespace storetest {
namespace {

class PreparedTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        alpha_ = domain("alpha");
        version(alpha_, 1, "one");
        versionItem(version(alpha_, 2, "two"), item("K2"));
        beta_ = domain("beta");
        versionItem(version(beta_, 1), item("B1"));
    }
    bool bind(int index, int number) {
        QxbDatavar value;
        value.assign(number);
        return store_->bindParameter(index, value);
    }
    unsigned alpha_ = 0, beta_ = 0;
};

TEST_F(PreparedTest, KindOneIsDomainDetails) {
    ASSERT_TRUE(store_->prepareQuery(1));
    QxbDatavar value;
    value.assign("alpha");
    ASSERT_TRUE(store_->bindParameter(3, value));
    value.assign(true);  // the caller reuses its value: the store must have copied "alpha"
    ASSERT_TRUE(store_->bindParameter(1, value));
    auto rows = rowsOf(store_->executeQuery());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "alpha");
    EXPECT_EQ(rows[0][4], "2");
    // Without the current flag: every version.
    ASSERT_TRUE(store_->prepareQuery(1));
    ASSERT_TRUE(bind(2, static_cast<int>(alpha_)));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 2u);
}

TEST_F(PreparedTest, KindTwoIsDomainsAndPrepareResetsBindings) {
    ASSERT_TRUE(store_->prepareQuery(2));
    ASSERT_TRUE(bind(2, static_cast<int>(beta_)));
    auto rows = rowsOf(store_->executeQuery());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "beta");
    ASSERT_TRUE(store_->prepareQuery(2));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 2u);
    QxbDatavar none;  // a null name is no filter
    ASSERT_TRUE(store_->bindParameter(3, none));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 2u);
}

TEST_F(PreparedTest, KindThreeIsVersionsByIdOrName) {
    ASSERT_TRUE(store_->prepareQuery(3));
    ASSERT_TRUE(bind(2, static_cast<int>(alpha_)));
    auto rows = rowsOf(store_->executeQuery());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][2], "2");
    ASSERT_TRUE(bind(4, 1));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 1u);
    ASSERT_TRUE(store_->prepareQuery(3));
    QxbDatavar name;
    name.assign("beta");
    ASSERT_TRUE(store_->bindParameter(3, name));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 1u);
}

TEST_F(PreparedTest, KindFourIsItemsWithAttributes) {
    ASSERT_TRUE(store_->prepareQuery(4));
    ASSERT_TRUE(bind(2, static_cast<int>(alpha_)));
    auto newest = rowsOf(store_->executeQuery());
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(newest[0][1], "K2");
    ASSERT_TRUE(bind(4, 1));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 0u);
    ASSERT_TRUE(store_->prepareQuery(4));
    EXPECT_EQ(rowsOf(store_->executeQuery()).size(), 2u);  // newest of every domain
}

TEST_F(PreparedTest, MisuseIsReportedClearly) {
    EXPECT_FALSE(store_->prepareQuery(6));
    EXPECT_NE(store_->getLastError().str().find("5"), std::string::npos);
    ASSERT_TRUE(store_->prepareQuery(2));
    EXPECT_FALSE(bind(0, 1));
    EXPECT_FALSE(bind(5, 1));
    ASSERT_TRUE(bind(1, 1));
    EXPECT_EQ(store_->executeQuery(), nullptr);  // the current flag belongs to kind 1
    EXPECT_FALSE(store_->getLastError().isNull());
}

}  // namespace
}  // namespace storetest

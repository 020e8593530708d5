// Listings: filters at each position (alone, combined, "no filter"), the
// column order the callers read, seeds, and deterministic order.
#include "store_fixture.h"

namespace storetest {
namespace {

class ListingTest : public StoreTest {};

TEST_F(ListingTest, SeedsMakeARepositoryUsable) {
    auto languages = rowsOf(store_->listLanguages(kAny, empty_, empty_));
    ASSERT_GE(languages.size(), 1u);
    EXPECT_EQ(languages[0], (Row{"1", "en", "English"}));
    auto types = rowsOf(store_->listAttributeTypes(kAny, "SINGLELINETEXT", empty_));
    ASSERT_EQ(types.size(), 1u);
    EXPECT_EQ(rowsOf(store_->listAttributeContexts(kAny, "DEFAULT", empty_)).size(), 1u);
    auto roles = rowsOf(store_->listRoles(1, empty_, empty_, empty_));
    ASSERT_EQ(roles.size(), 1u);
    auto accounts = rowsOf(store_->listAccounts(1, empty_, empty_, empty_, empty_, empty_, empty_));
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0][1], "admin");
    for (const char* name : {"READ", "WRITE", "PUBLISH"}) {
        EXPECT_EQ(rowsOf(store_->listPermissions(kAny, name, empty_, kAny)).size(), 1u) << name;
    }
}

TEST_F(ListingTest, DomainFiltersEachPositionAloneAndCombined) {
    const unsigned a = domain("alpha", "C");
    const unsigned b = domain("beta", "L");
    ASSERT_TRUE(store_->insertDomain("gamma", "other", QxbString(), "N", "N", "s2", 3, QxbString(),
                                     kAny, 4, noDate_, "C", nullptr));
    auto all = [&](unsigned id, const QxbString& name, const QxbString& kind) {
        return rowsOf(store_->listDomains(id, name, empty_, empty_, empty_, empty_, empty_, kAny,
                                          empty_, kAny, kAny, noDate_, kind, noDate_));
    };
    EXPECT_EQ(all(kAny, empty_, empty_).size(), 3u);
    EXPECT_EQ(all(a, empty_, empty_).size(), 1u);
    EXPECT_EQ(all(kAny, "beta", empty_)[0][0], std::to_string(b));
    EXPECT_EQ(all(kAny, empty_, "C").size(), 2u);
    EXPECT_EQ(all(a, empty_, "L").size(), 0u);
    EXPECT_EQ(all(b, "beta", "L").size(), 1u);
    // Number, account and date filters.
    EXPECT_EQ(rowsOf(store_->listDomains(kAny, empty_, empty_, empty_, empty_, empty_, empty_, 3,
                                         empty_, kAny, kAny, noDate_, empty_, noDate_))
                  .size(),
              1u);
    EXPECT_EQ(rowsOf(store_->listDomains(kAny, empty_, empty_, empty_, empty_, empty_, empty_, kAny,
                                         empty_, 1, kAny, noDate_, empty_, noDate_))
                  .size(),
              2u);
    EXPECT_EQ(rowsOf(store_->listDomains(kAny, empty_, empty_, empty_, empty_, empty_, empty_, kAny,
                                         empty_, kAny, kAny, QxbDate(2460000.5), empty_, noDate_))
                  .size(),
              2u);
}

TEST_F(ListingTest, EmptyTextFiltersForTheEmptyValueNullTextIsNoFilter) {
    ASSERT_TRUE(store_->insertItem("k1", "", "Y", "Y", "P", 1, nullptr));
    ASSERT_TRUE(store_->insertItem("k2", QxbString(), "Y", "Y", "P", 1, nullptr));
    ASSERT_TRUE(store_->insertItem("k3", "x", "Y", "Y", "P", 1, nullptr));
    auto byText = [&](const QxbString& text) {
        return rowsOf(store_->listItems(kAny, empty_, text, empty_, empty_, empty_, kAny));
    };
    EXPECT_EQ(byText(QxbString()).size(), 3u);
    auto emptyOnes = byText(QxbString(""));
    ASSERT_EQ(emptyOnes.size(), 1u);
    EXPECT_EQ(emptyOnes[0][1], "k1");
    EXPECT_EQ(byText(QxbString()).at(1)[2], "<null>");
}

TEST_F(ListingTest, DomainColumnsAreInTheAgreedOrder) {
    const unsigned id = domain("alpha", "C");
    StoreResultSet* rs = store_->listDomains(id, empty_, empty_, empty_, empty_, empty_, empty_,
                                             kAny, empty_, kAny, kAny, noDate_, empty_, noDate_);
    ASSERT_NE(rs, nullptr);
    ASSERT_EQ(rs->next(), 1);
    EXPECT_EQ(rs->getColumnCount(), 14);
    EXPECT_EQ(rs->getInt(0), static_cast<int>(id));
    EXPECT_EQ(rs->getString(1).str(), "alpha");
    EXPECT_EQ(rs->getString(2).str(), "description");
    EXPECT_EQ(rs->getString(3).str(), "text1");
    EXPECT_EQ(rs->getString(4).str(), "Y");
    EXPECT_EQ(rs->getString(5).str(), "N");
    EXPECT_EQ(rs->getString(6).str(), "scope");
    EXPECT_EQ(rs->getInt(7), 7);
    EXPECT_EQ(rs->getString(8).str(), "text8");
    EXPECT_EQ(rs->getInt(9), 1);
    EXPECT_EQ(rs->getInt(10), 10);
    EXPECT_DOUBLE_EQ(rs->getDouble(11), 2460000.5);
    EXPECT_EQ(rs->getValue(11).type(), QXB_TYPE_DATE);
    EXPECT_EQ(rs->getString(12).str(), "C");
    EXPECT_GT(rs->getDouble(13), 2400000.0);  // stamped now
    EXPECT_EQ(rs->getValue(13).type(), QXB_TYPE_DATE);
    EXPECT_EQ(rs->getValue(0).type(), QXB_TYPE_INT);
    EXPECT_EQ(rs->getValue(1).type(), QXB_TYPE_STRING);
    // Outside the row: the documented neutral answers.
    EXPECT_TRUE(rs->getString(14).isNull());
    EXPECT_EQ(rs->getInt(-1), 0);
    EXPECT_TRUE(rs->isNull(99));
    EXPECT_TRUE(rs->getValue(99).isNull());
    EXPECT_EQ(rs->next(), 0);
    rs->release();
}

TEST_F(ListingTest, VersionsAreListedInAscendingNumber) {
    const unsigned d = domain("alpha");
    version(d, 3, "three");
    version(d, 1, "one");
    version(d, 2, "two");
    auto rows = rowsOf(store_->listDomainVersions(kAny, d, kAny, empty_, empty_, empty_, empty_,
                                                  kAny, empty_, kAny, noDate_, noDate_));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][2], "1");
    EXPECT_EQ(rows[1][2], "2");
    EXPECT_EQ(rows[2][2], "3");
    EXPECT_EQ(rows[0][1], std::to_string(d));
    EXPECT_EQ(rows[0][3], "one");
    EXPECT_EQ(rows[0][7], "1");  // account
    EXPECT_EQ(rows[0][9], "9");
    auto byNumber = rowsOf(store_->listDomainVersions(kAny, d, 2, empty_, empty_, empty_, empty_,
                                                      kAny, empty_, kAny, noDate_, noDate_));
    ASSERT_EQ(byNumber.size(), 1u);
    EXPECT_EQ(byNumber[0][3], "two");
}

TEST_F(ListingTest, DomainDetailsCurrentAnswersTheNewestVersionOnly) {
    const unsigned d = domain("alpha");
    version(d, 1, "one");
    version(d, 2, "two");
    const unsigned lonely = domain("lonely");
    auto current = rowsOf(store_->listDomainDetails(kAny, empty_, true));
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(current[0][0], std::to_string(d));
    EXPECT_EQ(current[0][4], "2");
    EXPECT_EQ(current[0][5], "two");
    EXPECT_EQ(current[0][6], "admin");
    EXPECT_EQ(current[0][7], "USER");
    EXPECT_EQ(current[0][8], "scope");
    EXPECT_EQ(current[1][0], std::to_string(lonely));
    EXPECT_EQ(current[1][4], "<null>");
    EXPECT_EQ(rowsOf(store_->listDomainDetails(kAny, "alpha", false)).size(), 2u);
    EXPECT_EQ(rowsOf(store_->listDomainDetails(d, empty_, true)).size(), 1u);
    StoreResultSet* rs = store_->listDomainDetails(d, empty_, true);
    ASSERT_EQ(rs->next(), 1);
    EXPECT_EQ(rs->getValue(9).type(), QXB_TYPE_DATE);
    EXPECT_EQ(rs->getColumnName(9).str(), "CREATE_DATE");
    rs->release();
}

TEST_F(ListingTest, AccountRoleMinusOneReadsBackAsMinusOne) {
    unsigned id = 0;
    ASSERT_TRUE(
        store_->insertAccount("bob", "USER", "bob-key", "Bob", empty_, empty_, empty_, kAny, &id));
    StoreResultSet* rs =
        store_->listAccounts(kAny, empty_, empty_, "bob-key", empty_, empty_, empty_);
    ASSERT_EQ(rs->next(), 1);
    EXPECT_EQ(rs->getInt(0), static_cast<int>(id));
    EXPECT_EQ(rs->getString(1).str(), "bob");
    EXPECT_EQ(rs->getString(2).str(), "USER");
    EXPECT_EQ(rs->getString(3).str(), "bob-key");
    EXPECT_EQ(rs->getString(4).str(), "Bob");
    EXPECT_EQ(rs->getInt(8), -1);
    EXPECT_TRUE(rs->getValue(8).isNull());
    EXPECT_EQ(rs->getValue(9).type(), QXB_TYPE_DATE);
    EXPECT_EQ(rs->next(), 0);
    rs->release();
}

TEST_F(ListingTest, AttributeColumnsAndNameLabelFilters) {
    const unsigned id = attribute("colour", "Colour");
    attribute("colour", "Other");
    auto rows = rowsOf(store_->listAttributes(kAny, "colour", "Colour"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], std::to_string(id));
    EXPECT_EQ(rows[0][1], "1");  // type
    EXPECT_EQ(rows[0][2], "1");  // context
    EXPECT_EQ(rows[0][3], "colour");
    EXPECT_EQ(rows[0][4], "Colour");
    EXPECT_EQ(rows[0][5], "SINGLELINETEXT");
    EXPECT_EQ(rows[0][6], "1");  // language
    EXPECT_EQ(rows[0][7], "N");  // flag
    EXPECT_EQ(rowsOf(store_->listAttributes(kAny, "colour", empty_)).size(), 2u);
}

TEST_F(ListingTest, LinkListingsAnswerTheirKeysFirst) {
    const unsigned d = domain("alpha");
    const unsigned v = version(d, 1);
    unsigned domainLanguage = 0, textId = 0;
    ASSERT_TRUE(store_->insertDomainLanguage(d, 2, &domainLanguage));
    ASSERT_TRUE(store_->insertVersionLanguage(v, domainLanguage));
    ASSERT_TRUE(store_->insertLocalizedText("hello", 1, &textId));
    ASSERT_TRUE(store_->insertVersionItemValueLink(v, textId, 77));
    EXPECT_EQ(rowsOf(store_->listDomainLanguages(kAny, d, kAny)).at(0),
              (Row{std::to_string(domainLanguage), std::to_string(d), "2"}));
    EXPECT_EQ(rowsOf(store_->listVersionLanguages(v, kAny)).at(0).at(1),
              std::to_string(domainLanguage));
    auto links = rowsOf(store_->listVersionItemValueLinks(v, kAny, kAny));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0][0], std::to_string(v));
    EXPECT_EQ(links[0][1], std::to_string(textId));
    EXPECT_EQ(links[0][2], "77");
    EXPECT_EQ(rowsOf(store_->listVersionItemValueLinks(kAny, textId, 78)).size(), 0u);
    EXPECT_EQ(rowsOf(store_->listLocalizedTexts(textId, empty_, 1)).at(0),
              (Row{std::to_string(textId), "hello", "1"}));
}

TEST_F(ListingTest, DomainAttributePermissionsReadBackAsInserted) {
    const unsigned d = domain("alpha");
    unsigned first = 0, second = 0;
    ASSERT_TRUE(store_->insertDomainAttributePermission(d, 1, 2, &first));
    ASSERT_TRUE(store_->insertDomainAttributePermission(d, kAny, 3, &second));
    ASSERT_TRUE(store_->insertDomainAttributePermission(d + 1, 1, 2, nullptr));
    EXPECT_EQ(rowsOf(store_->listDomainAttributePermissions(d, kAny, kAny)),
              (std::vector<Row>{{std::to_string(d), "1", "2", std::to_string(first)},
                                {std::to_string(d), "<null>", "3", std::to_string(second)}}));
    EXPECT_EQ(rowsOf(store_->listDomainAttributePermissions(kAny, 1, 2)).size(), 2u);
}

TEST_F(ListingTest, ChangeRecordsAndExtrasColumns) {
    const unsigned d = domain("alpha");
    const QxbDate when(2460100.25);
    ASSERT_TRUE(store_->writeChangeRecord(d, "A", 5, "RDDOMS", "Created", 1, 1, &when));
    ASSERT_TRUE(store_->writeChangeRecord(kAny, "A", kAny, "RDACTS", "Account", 1, 1, nullptr));
    auto records = rowsOf(
        store_->listChangeRecords(kAny, d, empty_, kAny, empty_, empty_, kAny, kAny, noDate_));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][2], "A");
    EXPECT_EQ(records[0][3], "5");
    EXPECT_EQ(records[0][4], "RDDOMS");
    EXPECT_EQ(records[0][5], "Created");
    StoreResultSet* rs =
        store_->listChangeRecords(kAny, kAny, empty_, kAny, "RDACTS", empty_, kAny, kAny, noDate_);
    ASSERT_EQ(rs->next(), 1);
    EXPECT_EQ(rs->getInt(1), -1);  // no domain
    EXPECT_EQ(rs->getInt(3), -1);  // no object
    EXPECT_GT(rs->getDouble(8), 2400000.0);
    rs->release();
    ASSERT_TRUE(store_->insertDomainExtra(d, "t1", "t2", 4, "t3", "t4", nullptr));
    EXPECT_EQ(rowsOf(store_->listDomainExtras(kAny, empty_, empty_, d, kAny, empty_, empty_)).at(0),
              (Row{"1", "t1", "t2", std::to_string(d), "4", "t3", "t4"}));
}

TEST_F(ListingTest, LetteredListingsAnswerRows) {
    const unsigned d = domain("alpha");
    const unsigned v = version(d, 1);
    ASSERT_TRUE(store_->insertDomainLanguage(d, 1, nullptr));
    ASSERT_TRUE(store_->insertDomainAttribute(d, attribute("colour"), nullptr));
    versionItem(v, item("k1"));
    EXPECT_GE(rowsOf(store_->listA(kAny, empty_, empty_)).size(), 6u);
    EXPECT_EQ(rowsOf(store_->listA(kAny, "RDDOMS", empty_)).size(), 1u);
    EXPECT_EQ(rowsOf(store_->listB(d)).at(0).at(3), "en");
    EXPECT_EQ(rowsOf(store_->listC(d)).at(0).at(3), "colour");
    EXPECT_EQ(rowsOf(store_->listG(v, kAny)).at(0).at(3), "k1");
    EXPECT_EQ(rowsOf(store_->listK(v, kAny)).size(), 1u);
    EXPECT_EQ(rowsOf(store_->listS(d)).at(0).at(4), "1");
    EXPECT_EQ(rowsOf(store_->listForDomainKind(d, true)).at(0).at(1), "k1");
    EXPECT_EQ(rowsOf(store_->listForDomainKind(d, false)).size(), 1u);
    for (StoreResultSet* rs :
         {store_->listD(kAny, kAny), store_->listE(kAny, kAny), store_->listF(kAny, kAny),
          store_->listH(kAny, kAny), store_->listI(kAny, kAny, kAny), store_->listJ(kAny, kAny)}) {
        ASSERT_NE(rs, nullptr);
        EXPECT_GE(rs->getColumnCount(), 2);
        rs->release();
    }
}

TEST_F(ListingTest, TwoResultSetsOfTheSameListingWalkIndependently) {
    item("a");
    item("b");
    StoreResultSet* first = store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny);
    StoreResultSet* second = store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny);
    ASSERT_EQ(first->next(), 1);
    ASSERT_EQ(second->next(), 1);
    ASSERT_EQ(second->next(), 1);
    EXPECT_EQ(first->getString(1).str(), "a");
    EXPECT_EQ(second->getString(1).str(), "b");
    first->release();
    EXPECT_EQ(second->next(), 0);
    second->release();
    // The statement went back to the cache and serves the next call.
    EXPECT_EQ(rowsOf(store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny)).size(),
              2u);
}

}  // namespace
}  // namespace storetest

namespace storetest {
namespace {

// Every subset of the seven filter positions of listVersionItems, probed with
// the values of every stored row, against a count over the same rows in memory.
TEST_F(ListingTest, VersionItemFiltersMatchAModelForEverySubsetOfPositions) {
    struct ModelRow {
        unsigned id, version, itemId;
        double date;
        unsigned position;
        QxbString label;
        unsigned parent;
    };
    std::vector<ModelRow> model;
    const QxbString labels[] = {QxbString("a"), QxbString(""), QxbString()};
    for (unsigned n = 0; n < 24; ++n) {
        ModelRow row{0,
                     1 + n % 2,
                     10 + n % 3,
                     2460000.0 + n % 2,
                     n % 2,
                     labels[n % 3],
                     n % 4 == 0 ? kAny : 7u};
        const QxbDate date(row.date);
        ASSERT_TRUE(store_->insertVersionItem(row.version, row.itemId,
                                              static_cast<int>(row.position), row.label, row.parent,
                                              &date, &row.id));
        model.push_back(row);
    }
    for (unsigned mask = 0; mask < 128; ++mask) {
        for (const ModelRow& probe : model) {
            const bool on[7] = {(mask & 1) != 0, (mask & 2) != 0,  (mask & 4) != 0,
                                (mask & 8) != 0, (mask & 16) != 0, (mask & 32) != 0,
                                (mask & 64) != 0};
            // A null label cannot be asked for: null is "no filter".
            const bool labelFilter = on[5] && !probe.label.isNull();
            const bool parentFilter = on[6] && probe.parent != kAny;
            std::size_t expected = 0;
            for (const ModelRow& row : model) {
                expected +=
                    (!on[0] || row.id == probe.id) && (!on[1] || row.version == probe.version) &&
                    (!on[2] || row.itemId == probe.itemId) && (!on[3] || row.date == probe.date) &&
                    (!on[4] || row.position == probe.position) &&
                    (!labelFilter ||
                     (!row.label.isNull() && row.label.str() == probe.label.str())) &&
                    (!parentFilter || row.parent == probe.parent);
            }
            StoreResultSet* rs = store_->listVersionItems(
                on[0] ? probe.id : kAny, on[1] ? probe.version : kAny, on[2] ? probe.itemId : kAny,
                on[3] ? QxbDate(probe.date) : noDate_, on[4] ? probe.position : kAny,
                labelFilter ? probe.label : empty_, parentFilter ? probe.parent : kAny);
            ASSERT_EQ(rowsOf(rs).size(), expected) << "mask " << mask << " probe " << probe.id;
        }
    }
}

}  // namespace
}  // namespace storetest

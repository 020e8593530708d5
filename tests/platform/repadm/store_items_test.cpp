// Items with attributes, copies of versions, and walks over tables that the
// same store writes during the walk.
#include "store_fixture.h"

namespace storetest {
namespace {

class ItemsTest : public StoreTest {
protected:
    // Domain "colours", version 1 with two items: red (two texts) and blue
    // (no value), blue a child of red.
    void buildColours() {
        domainId_ = domain("colours");
        versionId_ = version(domainId_, 1);
        red_ = item("RED", "red item");
        blue_ = item("BLUE", "blue item");
        redVi_ = versionItem(versionId_, red_, "Red");
        blueVi_ = versionItem(versionId_, blue_, nullptr, red_);
        attr_ = attribute("name", "Name of the colour");
        value(versionId_, redVi_, attr_, {{"Rot", 2}, {"Red", 1}});
    }
    unsigned domainId_ = 0, versionId_ = 0, red_ = 0, blue_ = 0, redVi_ = 0, blueVi_ = 0, attr_ = 0;
};

TEST_F(ItemsTest, TenColumnsOneRowPerTextItemWithoutValuesOnce) {
    buildColours();
    StoreResultSet* rs = store_->listItemsWithAttributesOfVersion(domainId_, 1);
    ASSERT_NE(rs, nullptr) << store_->getLastError().asCstr();
    ASSERT_EQ(rs->getColumnCount(), 10);
    const char* names[] = {"ID",
                           "ITEM_KEY",
                           "ITEM_LABEL",
                           "PARENT_ID",
                           "ATTRIBUTE_VALUE",
                           "ATTRIBUTE_NAME",
                           "ATTRIBUTE_DESCRIPTION",
                           "LANGUAGE",
                           "DOMAIN",
                           "DOMAIN_VERSION"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rs->getColumnName(i).str(), names[i]);
    ASSERT_EQ(rs->next(), 1);
    EXPECT_EQ(rs->getValue(0).type(), QXB_TYPE_INT);
    EXPECT_EQ(rs->getValue(9).type(), QXB_TYPE_INT);
    EXPECT_EQ(rs->getValue(1).type(), QXB_TYPE_STRING);
    rs->release();
    auto rows = rowsOf(store_->listItemsWithAttributesOfVersion(domainId_, 1));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (Row{std::to_string(red_), "RED", "Red", "<null>", "Rot", "name",
                            "Name of the colour", "de", "colours", "1"}));
    EXPECT_EQ(rows[1][4], "Red");
    EXPECT_EQ(rows[1][7], "en");
    // The item's own text labels it when the version gives none; no values: nulls.
    EXPECT_EQ(rows[2], (Row{std::to_string(blue_), "BLUE", "blue item", std::to_string(red_),
                            "<null>", "<null>", "<null>", "<null>", "colours", "1"}));
}

TEST_F(ItemsTest, VersionFilterMinusOneMeansTheNewestVersion) {
    buildColours();
    const unsigned v2 = version(domainId_, 2);
    versionItem(v2, item("GREEN"));
    auto newest = rowsOf(store_->listItemsWithAttributes(domainId_, kAny));
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(newest[0][1], "GREEN");
    EXPECT_EQ(newest[0][9], "2");
    EXPECT_EQ(rowsOf(store_->listItemsWithAttributes(domainId_, 1)).size(), 3u);
    EXPECT_EQ(rowsOf(store_->listItemsWithAttributesOfVersion(domainId_, 5)).size(), 0u);
    // Every domain: the newest version of each.
    const unsigned other = domain("other");
    versionItem(version(other, 4), item("X"));
    EXPECT_EQ(rowsOf(store_->listItemsWithAttributes(kAny, kAny)).size(), 2u);
}

// A copy made as the administration layer copies a domain: new version-item
// rows, links and value rows pointing at the source's values.
TEST_F(ItemsTest, CopiedVersionAnswersTheSourceValues) {
    buildColours();
    const unsigned copyDomain = domain("copy");
    const unsigned copyVersion = version(copyDomain, 1);
    StoreResultSet* items =
        store_->listVersionItems(kAny, versionId_, kAny, noDate_, kAny, empty_, kAny);
    while (items->next() == 1) {
        ASSERT_TRUE(store_->insertVersionItem(copyVersion, items->getInt(2), items->getInt(4),
                                              items->getString(5), items->getInt(6), nullptr));
    }
    items->release();
    for (const Row& link : rowsOf(store_->listVersionItemValueLinks(versionId_, kAny, kAny))) {
        ASSERT_TRUE(store_->insertVersionItemValueLink(copyVersion, std::stoul(link[1]),
                                                       std::stoul(link[2])));
    }
    for (const Row& row : rowsOf(store_->listVersionItemValues(versionId_, kAny))) {
        ASSERT_TRUE(store_->insertVersionItemValue(copyVersion, std::stoul(row[1])));
    }
    auto source = rowsOf(store_->listItemsWithAttributes(domainId_, 1));
    auto copy = rowsOf(store_->listItemsWithAttributes(copyDomain, 1));
    ASSERT_EQ(copy.size(), source.size());
    for (std::size_t i = 0; i < copy.size(); ++i) {
        for (int c = 0; c < 8; ++c)
            EXPECT_EQ(copy[i][c], source[i][c]) << "row " << i << " col " << c;
        EXPECT_EQ(copy[i][8], "copy");
    }
    // Removing the source version keeps the values the copy still uses.
    ASSERT_TRUE(store_->deleteVersionItemValueLinks(versionId_, kAny, kAny));
    ASSERT_TRUE(store_->deleteVersionItems(kAny, versionId_, kAny, noDate_, kAny, empty_, kAny));
    ASSERT_TRUE(store_->deleteVersionRowsF(kAny, kAny, kAny, versionId_));
    ASSERT_TRUE(store_->deleteVersionRowsG(kAny, versionId_));
    ASSERT_TRUE(store_->deleteDomainVersions(versionId_, kAny, kAny, empty_, empty_, empty_, empty_,
                                             kAny, empty_, kAny, noDate_, noDate_));
    auto after = rowsOf(store_->listItemsWithAttributes(copyDomain, 1));
    ASSERT_EQ(after.size(), copy.size());
    EXPECT_EQ(after[0][4], "Rot");
}

TEST_F(ItemsTest, CopyingAVersionsItemsWhileWalkingThemEndsAndCopiesEachRowOnce) {
    buildColours();
    // Copy into the same version: the walk must not see the rows it adds.
    StoreResultSet* walk =
        store_->listVersionItems(kAny, versionId_, kAny, noDate_, kAny, empty_, kAny);
    int copied = 0;
    while (walk->next() == 1 && copied < 100) {
        ASSERT_TRUE(store_->insertVersionItem(versionId_, walk->getInt(2), 1, walk->getString(5),
                                              walk->getInt(6), nullptr));
        ++copied;
    }
    walk->release();
    EXPECT_EQ(copied, 2);
    EXPECT_EQ(rowsOf(store_->listVersionItems(kAny, versionId_, kAny, noDate_, kAny, empty_, kAny))
                  .size(),
              4u);
}

TEST_F(ItemsTest, DeletingTheRowsBeingWalkedLetsTheWalkFinish) {
    buildColours();
    StoreResultSet* links = store_->listVersionItemValueLinks(versionId_, kAny, kAny);
    int seen = 0;
    while (links->next() == 1) {
        EXPECT_GT(links->getInt(1), 0);
        ASSERT_TRUE(store_->deleteVersionItemValueLinks(versionId_, links->getInt(1), kAny));
        ++seen;
    }
    links->release();
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(rowsOf(store_->listVersionItemValueLinks(versionId_, kAny, kAny)).size(), 0u);
}

// Each deletion runs in a transaction that is rolled back, so every case
// starts from the same links: A linked three times (twice by v1), B once by
// v1, C once by v2, D never.
TEST_F(ItemsTest, DeletingLinksRemovesTheTextsWhoseLastLinkWent) {
    const unsigned v1 = 1, v2 = 2;
    std::map<std::string, unsigned> texts;
    for (const char* name : {"A", "B", "C", "D"}) {
        ASSERT_TRUE(store_->insertLocalizedText(name, 1, &texts[name]));
    }
    const unsigned links[][3] = {{v1, texts["A"], 1}, {v1, texts["A"], 2}, {v2, texts["A"], 1},
                                 {v1, texts["B"], 1}, {v2, texts["C"], 3}};
    for (const auto& link : links) {
        ASSERT_TRUE(store_->insertVersionItemValueLink(link[0], link[1], link[2]));
    }
    const struct {
        unsigned version, text, value;
        std::vector<std::string> remaining;
    } cases[] = {
        {v1, kAny, kAny, {"A", "C", "D"}},          // A is still linked by v2
        {v2, kAny, kAny, {"A", "B", "D"}},
        {kAny, kAny, 1, {"A", "C", "D"}},           // A is still linked to value 2
        {kAny, texts["A"], kAny, {"B", "C", "D"}},
        {v1, texts["A"], 1, {"A", "B", "C", "D"}},  // one of A's three links
        {99, kAny, kAny, {"A", "B", "C", "D"}},     // no link matches
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(store_->beginTransaction(0, 0));
        ASSERT_TRUE(store_->deleteVersionItemValueLinks(c.version, c.text, c.value))
            << store_->getLastError().asCstr();
        std::vector<std::string> remaining;
        for (const Row& row : rowsOf(store_->listLocalizedTexts(kAny, empty_, kAny))) {
            remaining.push_back(row[1]);
        }
        EXPECT_EQ(remaining, c.remaining) << c.version << "," << c.text << "," << c.value;
        ASSERT_TRUE(store_->endTransaction(false));
    }
    EXPECT_EQ(rowsOf(store_->listLocalizedTexts(kAny, empty_, kAny)).size(), 4u);
}

// Only the values a version owns, in id order; a copy that links them owns none.
TEST_F(ItemsTest, VersionItemAttributeValuesAreTheOnesTheVersionOwns) {
    buildColours();
    const unsigned v2 = version(domainId_, 2);
    const unsigned other = value(v2, versionItem(v2, red_), attr_, {});
    const unsigned blueValue = value(versionId_, blueVi_, attr_, {});
    const unsigned copy = version(domainId_, 3);
    ASSERT_TRUE(store_->insertVersionItemValueLink(copy, 1, blueValue));
    auto owned = rowsOf(store_->listVersionItemAttributeValues(versionId_));
    ASSERT_EQ(owned.size(), 2u);
    EXPECT_EQ(owned[0][1], std::to_string(redVi_));
    EXPECT_EQ(owned[1], (Row{std::to_string(blueValue), std::to_string(blueVi_),
                             std::to_string(attr_), std::to_string(blue_),
                             std::to_string(versionId_)}));
    EXPECT_EQ(rowsOf(store_->listVersionItemAttributeValues(copy)).size(), 0u);
    std::vector<std::string> all;
    for (const Row& row : rowsOf(store_->listVersionItemAttributeValues(kAny))) {
        all.push_back(row[0]);
    }
    EXPECT_EQ(all, (std::vector<std::string>{owned[0][0], std::to_string(other),
                                             std::to_string(blueValue)}));
}

TEST_F(ItemsTest, InsertItemAttributeValueNeedsAnExistingVersionItem) {
    EXPECT_FALSE(store_->insertItemAttributeValue(4242, 1, nullptr));
    EXPECT_NE(store_->getLastError().str().find("4242"), std::string::npos);
}

TEST_F(ItemsTest, WriteRowStoresTheTextAndItsLink) {
    buildColours();
    const QxbString text("Rouge");
    unsigned textId = 0;
    ASSERT_TRUE(store_->writeRow(&text, &textId, 3, 1, &versionId_, nullptr, nullptr));
    EXPECT_EQ(rowsOf(store_->listLocalizedTexts(textId, empty_, kAny)).at(0).at(1), "Rouge");
    EXPECT_EQ(rowsOf(store_->listVersionItemValueLinks(versionId_, textId, kAny)).size(), 1u);
    // Without a version only the text is stored.
    ASSERT_TRUE(store_->writeRow(&text, &textId, 3, 1, nullptr, nullptr, nullptr));
    EXPECT_EQ(rowsOf(store_->listVersionItemValueLinks(kAny, textId, kAny)).size(), 0u);
    EXPECT_FALSE(store_->writeRow(nullptr, &textId, 3, 1, nullptr, nullptr, nullptr));
    int reserved = 0;
    EXPECT_FALSE(store_->writeRow(&text, &textId, 3, 1, nullptr, &reserved, nullptr));
}

TEST_F(ItemsTest, ResultSetOutlivesItsStore) {
    buildColours();
    Owned<RefDataStore> other = otherStore();
    StoreResultSet* rs = other->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny);
    ASSERT_NE(rs, nullptr);
    ASSERT_EQ(rs->next(), 1);
    other.reset();  // release the store first
    EXPECT_EQ(rs->getString(1).str(), "RED");
    EXPECT_EQ(rs->next(), 1);
    EXPECT_EQ(rs->getString(1).str(), "BLUE");
    EXPECT_EQ(rs->next(), 0);
    rs->release();
}

}  // namespace
}  // namespace storetest

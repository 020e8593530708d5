// The two removal cascades of the administration layer, run call by call as
// it runs them: both must leave no row of the removed domain or version (its
// texts included), and touch nothing else. Also the transaction rules around
// them.
#include <chrono>
#include <set>
#include <thread>

#include "store_fixture.h"

namespace storetest {
namespace {

class CascadeTest : public StoreTest {
protected:
    // A domain with a row in every table that hangs off a domain or version.
    unsigned fullDomain(const char* name, unsigned* firstVersion) {
        const unsigned d = domain(name);
        unsigned dl = 0, da = 0, dav = 0;
        EXPECT_TRUE(store_->insertDomainLanguage(d, 1, &dl));
        EXPECT_TRUE(store_->insertDomainAttribute(d, attribute(name), &da));
        EXPECT_TRUE(store_->insertDomainAttributeValue(da, "v", "Y", 1, &dav));
        EXPECT_TRUE(store_->insertDomainPermission(d, "USER", 1, "USER_PUBS", 1, kAny, nullptr));
        EXPECT_TRUE(store_->insertDomainPermission(d, "USER", 1, "OTHER", 2, kAny, nullptr));
        EXPECT_TRUE(store_->insertDomainRolePermission(d, 1, 1, nullptr));
        EXPECT_TRUE(store_->insertDomainAssociation(d, "assoc", nullptr));
        EXPECT_TRUE(store_->insertDomainExtra(d, "a", "b", 1, "c", "d", nullptr));
        for (int number = 1; number <= 2; ++number) {
            const unsigned v = version(d, number);
            if (number == 1) *firstVersion = v;
            EXPECT_TRUE(store_->insertVersionLanguage(v, dl));
            EXPECT_TRUE(store_->insertVersionAttribute(d, da, v, "Y"));
            EXPECT_TRUE(store_->insertVersionValue(v, dav));
            EXPECT_TRUE(store_->insertVersionPermission(v, 1, 1, nullptr));
            const unsigned vi =
                versionItem(v, item((std::string(name) + std::to_string(number)).c_str()));
            value(v, vi, attribute("a"), {{"text", 1}});
        }
        return d;
    }

    // removeDomain's store calls, in its order, inside one transaction.
    bool removeDomain(unsigned d) {
        if (!store_->beginTransaction(0, 0)) return false;
        bool ok =
            store_->deleteDomainRowsA(kAny, d, kAny) &&
            store_->deleteDomainAccessRows(kAny, d, empty_, kAny, empty_, empty_, kAny, kAny) &&
            store_->deleteDomainRowsB(kAny, d, kAny) &&
            store_->deleteDomainExtras(kAny, empty_, empty_, d, kAny, empty_, empty_);
        StoreResultSet* versions = store_->listDomainVersions(
            kAny, d, kAny, empty_, empty_, empty_, empty_, kAny, empty_, kAny, noDate_, noDate_);
        ok = ok && versions;
        while (ok && versions->next() == 1) ok = removeVersionRows(versions->getInt(0));
        if (versions) versions->release();
        ok = ok &&
             store_->deleteDomains(d, empty_, empty_, empty_, empty_, empty_, empty_, kAny, empty_,
                                   kAny, kAny, noDate_, empty_, noDate_) &&
             store_->writeChangeRecord(d, "A", d, "RDDOMS", "Removed Domain", 1, 1, nullptr);
        if (!ok) {
            store_->endTransaction(false);
            return false;
        }
        return store_->endTransaction(true);
    }
    bool removeVersionRows(unsigned v) {
        return store_->deleteVersionAttributes(kAny, kAny, v, empty_) &&
               store_->deleteVersionItemContent(v) && store_->deleteVersionLinksA(v, kAny) &&
               store_->deleteVersionLinksB(v, kAny) &&
               store_->deleteVersionItems(kAny, v, kAny, noDate_, kAny, empty_, kAny) &&
               store_->deleteVersionRowsE(v, kAny, noDate_, kAny, empty_, kAny, kAny) &&
               store_->deleteDomainVersions(v, kAny, kAny, empty_, empty_, empty_, empty_, kAny,
                                            empty_, kAny, noDate_, noDate_);
    }
    // removeDomainVersion's store calls, in its order.
    bool removeVersion(unsigned v) {
        if (!store_->beginTransaction(0, 0)) return false;
        const bool ok = store_->deleteVersionItemContent(v) &&
                        store_->deleteVersionAttributes(kAny, kAny, v, empty_) &&
                        store_->deleteVersionLinksA(v, kAny) &&
                        store_->deleteVersionLinksB(v, kAny) &&
                        store_->deleteVersionItems(kAny, v, kAny, noDate_, kAny, empty_, kAny) &&
                        store_->deleteVersionRowsE(v, kAny, noDate_, kAny, empty_, kAny, kAny) &&
                        store_->deleteDomainVersions(v, kAny, kAny, empty_, empty_, empty_, empty_,
                                                     kAny, empty_, kAny, noDate_, noDate_) &&
                        store_->writeChangeRecord(kAny, "A", v, empty_, "Removed Domain Version", 1,
                                                  1, nullptr);
        if (!ok) store_->endTransaction(false);
        return ok && store_->endTransaction(true);
    }
    // Counts of the tables that belong to domains and versions (texts live
    // as long as a version links them).
    std::map<std::string, int> domainCounts() {
        std::map<std::string, int> counts = tableCounts(store_.get());
        for (const char* shared :
             {"table_codes", "attribute_contexts", "attribute_types", "languages", "permissions",
              "roles", "accounts", "attributes", "items", "item_permissions", "change_records"}) {
            counts.erase(shared);
        }
        return counts;
    }
};

TEST_F(CascadeTest, RemovingADomainLeavesNoRowOfIt) {
    unsigned keptVersion = 0, goneVersion = 0;
    fullDomain("kept", &keptVersion);
    const auto before = domainCounts();
    const unsigned gone = fullDomain("gone", &goneVersion);
    ASSERT_NE(domainCounts(), before);
    ASSERT_TRUE(removeDomain(gone)) << store_->getLastError().asCstr();
    EXPECT_EQ(domainCounts(), before);
}

TEST_F(CascadeTest, RemovingAVersionLeavesNoRowOfIt) {
    unsigned first = 0;
    const unsigned d = fullDomain("d", &first);
    auto before = domainCounts();
    ASSERT_TRUE(removeVersion(first)) << store_->getLastError().asCstr();
    auto after = domainCounts();
    // One version's rows of each kind are gone; domain rows stay.
    for (const char* table :
         {"domain_versions", "version_languages", "version_attributes", "version_values",
          "version_permissions", "version_items", "item_attribute_values", "version_item_values",
          "version_item_value_links", "localized_texts"}) {
        EXPECT_EQ(after[table], before[table] - 1) << table;
    }
    EXPECT_EQ(after["domains"], before["domains"]);
    EXPECT_EQ(after["domain_languages"], before["domain_languages"]);
    EXPECT_EQ(rowsOf(store_->listItemsWithAttributes(d, 2)).size(), 1u);
}

TEST_F(CascadeTest, SharedValuesAndTextsGoWithTheirLastUser) {
    // A text stored alone (no value) is no version's: no cascade removes it.
    const QxbString alone("stored alone");
    ASSERT_TRUE(store_->writeRow(&alone, nullptr, 1, kAny, nullptr, nullptr, nullptr));
    const int textsBefore = tableCounts(store_.get())["localized_texts"];
    unsigned sourceVersion = 0;
    const unsigned source = fullDomain("source", &sourceVersion);
    const auto empty = tableCounts(store_.get())["item_attribute_values"];
    // A second version sharing the first version's values, as a copy does.
    const unsigned d2 = domain("copy");
    const unsigned copyVersion = version(d2, 1);
    for (const Row& link : rowsOf(store_->listVersionItemValueLinks(sourceVersion, kAny, kAny))) {
        ASSERT_TRUE(store_->insertVersionItemValueLink(copyVersion, std::stoul(link[1]),
                                                       std::stoul(link[2])));
    }
    ASSERT_TRUE(removeDomain(source)) << store_->getLastError().asCstr();
    auto counts = tableCounts(store_.get());
    EXPECT_EQ(counts["item_attribute_values"], 1) << "the shared value stays";
    EXPECT_EQ(counts["localized_texts"], textsBefore + 1) << "the shared text stays";
    EXPECT_EQ(rowsOf(store_->listF(kAny, kAny)).at(0).at(4), "text");
    ASSERT_TRUE(removeDomain(d2)) << store_->getLastError().asCstr();
    counts = tableCounts(store_.get());
    EXPECT_EQ(counts["item_attribute_values"], 0);
    EXPECT_EQ(counts["localized_texts"], textsBefore);
    EXPECT_EQ(rowsOf(store_->listLocalizedTexts(kAny, alone, kAny)).size(), 1u);
    EXPECT_GT(empty, 0);
}

// Versions that keep a value's texts share its link rows; each keeps its
// own content as the others let texts go. Version 2 takes version 1's rows,
// then lets "two" go; version 3 takes "one" and then loses its content
// while it lives on.
TEST_F(CascadeTest, VersionsSharingLinkRowsKeepTheirOwnTexts) {
    const unsigned d = domain("shared");
    const unsigned it = item("k");
    const unsigned v[4] = {0, version(d, 1), version(d, 2), version(d, 3)};
    unsigned held[4] = {};
    for (int n = 1; n <= 3; ++n) held[n] = versionItem(v[n], it);
    value(v[1], versionItem(v[1], item("other")), attribute("b"), {{"other", 1}});
    const std::vector<Row> made = rowsOf(store_->listVersionItemValueLinks(v[1], kAny, kAny));
    const unsigned linked = value(v[1], held[1], attribute("a"), {{"one", 1}, {"two", 2}});
    auto texts = [&](int n) {
        std::multiset<std::string> found;
        for (const Row& row : rowsOf(store_->listItemsWithAttributes(d, n)))
            if (row.at(1) == "k") found.insert(row.at(4));
        return found;
    };
    const std::vector<Row> own = rowsOf(store_->listVersionItemValueLinks(v[1], kAny, kAny));
    ASSERT_EQ(own.size(), made.size() + 2);
    const int rows = tableCounts(store_.get())["version_item_value_links"];
    for (const Row& link : own) {
        if (std::stoul(link[2]) != linked) continue;
        ASSERT_TRUE(store_->insertVersionItemValueLink(v[2], std::stoul(link[1]), linked));
    }
    EXPECT_EQ(tableCounts(store_.get())["version_item_value_links"], rows) << "version 2 shares the rows";
    std::vector<std::string> ids1, ids2;
    for (const Row& row : own) {
        if (std::stoul(row[2]) == linked) ids1.push_back(row[3]);
    }
    for (const Row& row : rowsOf(store_->listVersionItemValueLinks(v[2], kAny, kAny))) ids2.push_back(row[3]);
    EXPECT_EQ(ids2, ids1);

    const unsigned two = std::stoul(rowsOf(store_->listLocalizedTexts(kAny, "two", kAny)).at(0).at(0));
    const unsigned one = std::stoul(rowsOf(store_->listLocalizedTexts(kAny, "one", kAny)).at(0).at(0));
    ASSERT_TRUE(store_->deleteVersionItemValueLinks(v[2], two, kAny)) << store_->getLastError().asCstr();
    EXPECT_EQ(texts(1), (std::multiset<std::string>{"one", "two"}));
    EXPECT_EQ(texts(2), (std::multiset<std::string>{"one"}));

    ASSERT_TRUE(store_->insertVersionItemValueLink(v[3], one, linked));
    EXPECT_EQ(texts(3), (std::multiset<std::string>{"one"}));
    ASSERT_TRUE(store_->deleteVersionItemContent(v[3])) << store_->getLastError().asCstr();
    EXPECT_EQ(texts(3), (std::multiset<std::string>{"<null>"})) << "the item without texts";
    EXPECT_EQ(texts(2), (std::multiset<std::string>{"one"}));

    ASSERT_TRUE(store_->deleteVersionItemContent(v[1])) << store_->getLastError().asCstr();
    EXPECT_EQ(texts(2), (std::multiset<std::string>{"one"}));
    EXPECT_TRUE(rowsOf(store_->listLocalizedTexts(kAny, "two", kAny)).empty()) << "no version holds it";
    EXPECT_EQ(rowsOf(store_->listVersionItemValueLinks(kAny, one, kAny)).size(), 1u);
}

TEST_F(CascadeTest, DeletionsOfNothingSucceed) {
    EXPECT_TRUE(store_->deleteDomainRowsA(kAny, 999, kAny));
    EXPECT_TRUE(store_->deleteVersionLinksA(999, kAny));
    EXPECT_TRUE(store_->deleteVersionItems(kAny, 999, kAny, noDate_, kAny, empty_, kAny));
    EXPECT_TRUE(removeVersion(999));
}

TEST_F(CascadeTest, AValueAtAPositionWithoutAColumnIsRefused) {
    EXPECT_FALSE(store_->deleteVersionRowsE(1, kAny, noDate_, kAny, empty_, kAny, 5));
    EXPECT_NE(store_->getLastError().str().find("position 7"), std::string::npos);
    EXPECT_FALSE(store_->deleteVersionRowsC(kAny, 3, empty_, empty_, empty_, kAny, 1, kAny, empty_,
                                            empty_, empty_, empty_, kAny, kAny, noDate_));
    EXPECT_FALSE(store_->deleteVersionRowsD(kAny, kAny, kAny, kAny, kAny, "x", kAny, empty_, empty_,
                                            empty_, empty_, kAny, kAny, kAny, 1, kAny, noDate_));
}

TEST_F(CascadeTest, PublisherEntriesAreRemovedByName) {
    unsigned v = 0;
    const unsigned d = fullDomain("d", &v);
    ASSERT_TRUE(
        store_->deleteDomainAccessRows(kAny, d, empty_, kAny, "USER_PUBS", empty_, kAny, kAny));
    auto rows = rowsOf(store_->listDomainPermissions(d, kAny, kAny));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2], "2");
}

// --- transactions -----------------------------------------------------------------------

TEST_F(CascadeTest, FailureMidTransactionRollsBackEverything) {
    unsigned v = 0;
    const unsigned d = fullDomain("d", &v);
    const auto before = tableCounts(store_.get());
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    ASSERT_TRUE(store_->deleteDomainRowsA(kAny, d, kAny));
    ASSERT_TRUE(store_->deleteVersionItems(kAny, v, kAny, noDate_, kAny, empty_, kAny));
    ASSERT_TRUE(store_->insertItem("new", "x", "Y", "Y", "P", 1, nullptr));
    EXPECT_FALSE(store_->deleteVersionRowsE(v, kAny, noDate_, kAny, empty_, kAny, 3));
    EXPECT_FALSE(store_->insertLanguage("en", "duplicate code", nullptr));  // constraint inside
    ASSERT_TRUE(store_->endTransaction(false));
    EXPECT_EQ(tableCounts(store_.get()), before);
}

// A bulk insert that fails inside a transaction is reported by itself or,
// when the driver sent it on without waiting (PostgreSQL), by a later call,
// the commit at the latest: the transaction never lands without it, and
// the store takes the next transaction as usual.
TEST_F(CascadeTest, AFailedInsertIsReportedBeforeItsTransactionCanCommit) {
    const auto before = tableCounts(store_.get());
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    ASSERT_TRUE(store_->insertItem("first", "x", "Y", "Y", "P", 1, nullptr));
    std::string reported;
    auto call = [&](bool ok) {
        if (!ok && reported.empty()) reported = store_->getLastError().str();
        return ok;
    };
    const bool all = call(store_->insertItemAttributeValue(4242, 1, nullptr)) &&
                     call(store_->insertItem("second", "x", "Y", "Y", "P", 1, nullptr)) &&
                     call(store_->endTransaction(true));
    EXPECT_FALSE(all);
    EXPECT_NE(reported.find("no version item has id 4242"), std::string::npos) << reported;
    // SQLite leaves the transaction open for the caller's roll-back; a
    // failed commit has rolled back already.
    if (store_->endTransaction(false)) {
        EXPECT_FALSE(onPostgresql()) << "the failed commit was not rolled back";
    }
    EXPECT_EQ(tableCounts(store_.get()), before);
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    ASSERT_TRUE(store_->insertItem("third", "x", "Y", "Y", "P", 1, nullptr));
    ASSERT_TRUE(store_->endTransaction(true)) << store_->getLastError().asCstr();
}

TEST_F(CascadeTest, CommitKeepsAndNestedBeginFails) {
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    EXPECT_FALSE(store_->beginTransaction(0, 0));
    EXPECT_NE(store_->getLastError().str().find("beginTransaction"), std::string::npos);
    item("kept");
    ASSERT_TRUE(store_->endTransaction(true));
    EXPECT_FALSE(store_->endTransaction(true));
    EXPECT_EQ(rowsOf(store_->listItems(kAny, "kept", empty_, empty_, empty_, empty_, kAny)).size(),
              1u);
}

TEST_F(CascadeTest, UncommittedWorkIsInvisibleToTheOtherStore) {
    Owned<RefDataStore> reader = otherStore();
    item("committed");
    StoreResultSet* open = reader->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny);
    ASSERT_EQ(open->next(), 1);  // a cursor open on the reader does not block the writer
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    item("pending");
    EXPECT_EQ(
        rowsOf(reader->listItems(kAny, "pending", empty_, empty_, empty_, empty_, kAny)).size(),
        0u);
    ASSERT_TRUE(store_->endTransaction(true));
    open->release();
    EXPECT_EQ(
        rowsOf(reader->listItems(kAny, "pending", empty_, empty_, empty_, empty_, kAny)).size(),
        1u);
}

TEST_F(CascadeTest, ABeginWaitsForTheOtherStoresTransaction) {
    Owned<RefDataStore> other = otherStore();
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    item("first");
    // The first writer commits a moment later, on another thread; the second
    // begin waits for it instead of failing at once.
    std::thread committer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        store_->endTransaction(true);
    });
    const bool begun = other->beginTransaction(0, 0);
    committer.join();
    ASSERT_TRUE(begun) << other->getLastError().asCstr();
    EXPECT_TRUE(other->insertItem("second", "y", "Y", "Y", "P", 1, nullptr));
    EXPECT_TRUE(other->endTransaction(true));
    EXPECT_EQ(rowsOf(store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny)).size(),
              2u);
}

}  // namespace
}  // namespace storetest

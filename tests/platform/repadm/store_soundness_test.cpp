// Wrong answers the store must not give: a deletion with no filter, a text
// pointing at nothing, an id written for a failed insert, a lost parameter
// error, values of another occurrence of an item, children before their
// parents, a reserved or differently cased prefix, a savepoint left open by
// a failed release, a dropped filter, a text cut at a NUL byte.
#include <functional>

#include "repadm/fault_driver.h"
#include "repadm/store_support.h"
#include "store_fixture.h"

namespace storetest {
namespace {

class SoundnessTest : public StoreTest {
protected:
    // Domain "d", version 1 with items A (position 3, top), B (1, under A),
    // C (2, under B); A holds one value with an English text.
    void build() {
        domain_ = domain("d");
        version_ = version(domain_, 1);
        a_ = item("A");
        b_ = item("B");
        c_ = item("C");
        ASSERT_TRUE(store_->insertVersionItem(version_, a_, 3, "A", kAny, nullptr, &aVi_));
        unsigned id = 0;
        ASSERT_TRUE(store_->insertVersionItem(version_, b_, 1, "B", a_, nullptr, &id));
        ASSERT_TRUE(store_->insertVersionItem(version_, c_, 2, "C", b_, nullptr, &id));
        value_ = value(version_, aVi_, attribute("name"), {{"alpha", 1}});
    }
    unsigned domain_ = 0, version_ = 0, a_ = 0, b_ = 0, c_ = 0, aVi_ = 0, value_ = 0;
};

TEST_F(SoundnessTest, ADeletionWithEveryFilterAnyIsRefusedAndDeletesNothing) {
    build();
    RefDataStore* s = store_.get();
    const QxbString none;
    const QxbDate no;
    const std::vector<std::pair<const char*, std::function<bool()>>> deletions = {
        {"deleteAttributeRow", [&] { return s->deleteAttributeRow(kAny, none); }},
        {"deleteDomains",
         [&] {
             return s->deleteDomains(kAny, none, none, none, none, none, none, kAny, none, kAny, kAny, no,
                                     none, no);
         }},
        {"deleteDomainVersions",
         [&] {
             return s->deleteDomainVersions(kAny, kAny, kAny, none, none, none, none, kAny, none, kAny, no,
                                            no);
         }},
        {"deleteDomainAccessRows",
         [&] { return s->deleteDomainAccessRows(kAny, kAny, none, kAny, none, none, kAny, kAny); }},
        {"deleteDomainRowsA", [&] { return s->deleteDomainRowsA(kAny, kAny, kAny); }},
        {"deleteDomainRowsB", [&] { return s->deleteDomainRowsB(kAny, kAny, kAny); }},
        {"deleteVersionLinksA", [&] { return s->deleteVersionLinksA(kAny, kAny); }},
        {"deleteVersionLinksB", [&] { return s->deleteVersionLinksB(kAny, kAny); }},
        {"deleteVersionAttributes", [&] { return s->deleteVersionAttributes(kAny, kAny, kAny, none); }},
        {"deleteVersionItems", [&] { return s->deleteVersionItems(kAny, kAny, kAny, no, kAny, none, kAny); }},
        {"deleteItemAttributeValues", [&] { return s->deleteItemAttributeValues(kAny, kAny, kAny); }},
        {"deleteVersionItemValueLinks", [&] { return s->deleteVersionItemValueLinks(kAny, kAny, kAny); }},
        {"deleteDomainExtras",
         [&] { return s->deleteDomainExtras(kAny, none, none, kAny, kAny, none, none); }},
        {"deleteVersionRowsC",
         [&] {
             return s->deleteVersionRowsC(kAny, kAny, none, none, none, kAny, kAny, kAny, none, none, none,
                                          none, kAny, kAny, no);
         }},
        {"deleteVersionRowsD",
         [&] {
             return s->deleteVersionRowsD(kAny, kAny, kAny, kAny, kAny, none, kAny, none, none, none, none,
                                          kAny, kAny, kAny, kAny, kAny, no);
         }},
        {"deleteVersionRowsE", [&] { return s->deleteVersionRowsE(kAny, kAny, no, kAny, none, kAny, kAny); }},
        {"deleteVersionRowsF", [&] { return s->deleteVersionRowsF(kAny, kAny, kAny, kAny); }},
        {"deleteVersionRowsG", [&] { return s->deleteVersionRowsG(kAny, kAny); }},
        {"deleteVersionItemContent", [&] { return s->deleteVersionItemContent(kAny); }},
    };
    const auto before = tableCounts(s);
    for (const auto& deletion : deletions) {
        EXPECT_FALSE(deletion.second()) << deletion.first;
        EXPECT_EQ(s->getLastError().str().find(deletion.first), 0u) << s->getLastError().asCstr();
    }
    EXPECT_EQ(tableCounts(s), before);
}

TEST_F(SoundnessTest, WriteRowRefusesWhatNamesNothingAndWritesNothing) {
    build();
    const unsigned none = kAny, missing = 4242;
    struct Case {
        std::string text;
        unsigned language, value;
        const unsigned* version;
        const char* reason;
    } cases[] = {
        {"x", missing, kAny, nullptr, "language"},
        {"x", kAny, kAny, nullptr, "language"},
        {"x", 1, missing, &version_, "item attribute value"},
        {"x", 1, missing, nullptr, "item attribute value"},
        {"x", 1, value_, &missing, "version"},
        {"x", 1, value_, &none, "-1"},
        {std::string("a\0b", 3), 1, kAny, nullptr, "NUL"},
    };
    const auto before = tableCounts(store_.get());
    for (const Case& c : cases) {
        const QxbString text(c.text.data(), c.text.size());
        unsigned textId = 77;
        EXPECT_FALSE(store_->writeRow(&text, &textId, c.language, c.value, c.version, nullptr, nullptr))
            << c.reason;
        EXPECT_NE(store_->getLastError().str().find(c.reason), std::string::npos)
            << store_->getLastError().asCstr();
        EXPECT_EQ(textId, 77u);
    }
    EXPECT_EQ(tableCounts(store_.get()), before);
}

TEST_F(SoundnessTest, AFailedInsertLeavesTheNewIdAlone) {
    unsigned id = 77;
    EXPECT_FALSE(store_->insertItemAttributeValue(4242, 1, &id));
    EXPECT_EQ(id, 77u);
}

TEST_F(SoundnessTest, APreparedQueryKeepsTheErrorOfItsFirstParameter) {
    QxbDatavar text, number;
    text.assign("not a number");
    number.assign(1);
    ASSERT_TRUE(store_->prepareQuery(3));
    ASSERT_TRUE(store_->bindParameter(2, text));
    ASSERT_TRUE(store_->bindParameter(4, number));
    EXPECT_EQ(store_->executeQuery(), nullptr);
    EXPECT_NE(store_->getLastError().str().find("parameter 2"), std::string::npos);
}

TEST_F(SoundnessTest, AnItemHeldTwiceListsEachOccurrencesOwnValues) {
    build();
    unsigned again = 0;
    ASSERT_TRUE(store_->insertVersionItem(version_, a_, 9, "A again", kAny, nullptr, &again));
    value(version_, again, attribute("other"), {{"beta", 1}});
    std::vector<std::pair<std::string, std::string>> labelAndValue;
    for (const Row& row : rowsOf(store_->listItemsWithAttributes(domain_, 1)))
        if (row[1] == "A") labelAndValue.emplace_back(row[2], row[4]);
    EXPECT_EQ(labelAndValue,
              (std::vector<std::pair<std::string, std::string>>{{"A", "alpha"}, {"A again", "beta"}}));
}

TEST_F(SoundnessTest, AHierarchyIsListedParentsFirstChildrenByPosition) {
    build();
    unsigned id = 0;
    const unsigned d = item("D");
    ASSERT_TRUE(store_->insertVersionItem(version_, d, 1, "D", a_, nullptr, &id));  // B's sibling, first
    std::vector<std::string> keys;
    for (const Row& row : rowsOf(store_->listForDomainKind(domain_, false))) keys.push_back(row[1]);
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "B", "C", "D"}));
    keys.clear();
    for (const Row& row : rowsOf(store_->listForDomainKind(domain_, true))) keys.push_back(row[1]);
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "B", "C", "D"}));
}

TEST_F(SoundnessTest, PrefixesAreComparedAsTheDatabaseComparesNames) {
    for (const char* reserved : {"sqlite_", "SQLite_x"}) {
        EXPECT_FALSE(Owned<Repository>(admin_->openRepositoryByDsn(dsn_.c_str(), reserved, 0, 0)))
            << reserved;
        EXPECT_NE(admin_->getLastError().str().find("reserved"), std::string::npos);
    }
    domain("kept");
    Owned<Repository> upper(admin_->openRepositoryByDsn(dsn_.c_str(), "T_", 0, 0));
    ASSERT_TRUE(upper) << admin_->getLastError().asCstr();
    Owned<RefDataStore> store(upper->createStore());
    EXPECT_EQ(tableCounts(store.get())["domains"], 1) << "T_ names the tables of t_";
}

TEST_F(SoundnessTest, ADatabaseThatCannotUseWalIsRefused) {
    EXPECT_FALSE(Owned<Repository>(admin_->openRepositoryByDsn("sqlite:file::memory:", "t_", 0, 0)));
    EXPECT_NE(admin_->getLastError().str().find("WAL"), std::string::npos) << admin_->getLastError().asCstr();
}

TEST_F(SoundnessTest, MoreFiltersThanTheClauseHoldsFailInsteadOfWidening) {
    repadm::FilterClause filters;
    for (unsigned i = 0; i < 30; ++i) filters.id("ID", i);
    EXPECT_FALSE(filters.error().empty());
}

TEST_F(SoundnessTest, ATextWithANulIsAnsweredWholeByEveryReader) {
    const std::string key("a\0b", 3);
    unsigned id = 0;
    if (onPostgresql()) {  // its texts cannot hold a NUL: refused, not cut short
        EXPECT_FALSE(store_->insertItem(QxbString(key.data(), key.size()), "t", "Y", "Y", "P", 1, &id));
        EXPECT_NE(store_->getLastError().str().find("NUL"), std::string::npos) << store_->getLastError().asCstr();
        return;
    }
    ASSERT_TRUE(store_->insertItem(QxbString(key.data(), key.size()), "t", "Y", "Y", "P", 1, &id));
    StoreResultSet* rows = store_->listItems(id, empty_, empty_, empty_, empty_, empty_, kAny);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->next(), 1);
    EXPECT_EQ(rows->getString(1).str(), key);
    EXPECT_EQ(rows->getValue(1).asString().str(), key);
    rows->release();
}

// Every call of a write made of several statements fails in turn: the write
// fails, writes nothing, and leaves no transaction open.
TEST_F(SoundnessTest, AFaultAtAnyCallOfAnAtomicWriteLeavesNothingOpen) {
    build();
    const QxbString text("gamma");
    store_.reset();
    repadm::fault::enable();
    store_.reset(repository_->createStore());
    const auto before = tableCounts(store_.get());
    long n = 1;
    for (;; ++n) {
        repadm::fault::arm(n);
        const bool ok = store_->writeRow(&text, nullptr, 1, value_, &version_, nullptr, nullptr);
        repadm::fault::disarm();
        if (!repadm::fault::fired()) {
            EXPECT_TRUE(ok);
            break;
        }
        EXPECT_FALSE(ok) << "call " << n;
        EXPECT_EQ(tableCounts(store_.get()), before) << "call " << n;
        ASSERT_TRUE(store_->beginTransaction(0, 0))
            << "call " << n << ": " << store_->getLastError().asCstr();
        ASSERT_TRUE(store_->endTransaction(false));
    }
    EXPECT_GT(n, 5);
}

}  // namespace
}  // namespace storetest

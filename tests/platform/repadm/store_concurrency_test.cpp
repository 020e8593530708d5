// Two stores on one database: a store with an open walk still waits for the
// other's write lock instead of failing at once, and the rows a walk keeps
// before a write come back whole, also past the part kept in memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "repadm/sql_driver.h"
#include "store_fixture.h"

namespace storetest {
namespace {

class ConcurrencyTest : public StoreTest {};

std::atomic<int> notices{0};
void countNotice() {
    ++notices;
}

// The current row as rowsOf shows it.
Row current(StoreResultSet* rows) {
    Row row;
    for (int i = 0; i < rows->getColumnCount(); ++i)
        row.push_back(rows->isNull(i) ? "<null>" : rows->getString(i).str());
    return row;
}

// The rows after the current one.
std::vector<Row> rest(StoreResultSet* rows) {
    std::vector<Row> out;
    int rc;
    while ((rc = rows->next()) == 1) out.push_back(current(rows));
    EXPECT_EQ(rc, 0);
    return out;
}

// The walk reads another table than the writes.
TEST_F(ConcurrencyTest, AWriteWithAnOpenWalkWaitsForTheOtherWriter) {
    const QxbString text("t");
    struct Case {
        const char* name;
        std::function<bool(RefDataStore*)> write;
    };
    const Case cases[] = {
        {"insertLocalizedText (one statement)",
         [](RefDataStore* s) { return s->insertLocalizedText("t", 1, nullptr); }},
        {"beginTransaction",
         [](RefDataStore* s) { return s->beginTransaction(0, 0) && s->endTransaction(true); }},
        {"writeRow (several statements)",
         [&](RefDataStore* s) {
             unsigned id = 0;
             return s->writeRow(&text, &id, 1, kAny, nullptr, nullptr, nullptr);
         }},
    };
    for (int i = 0; i < 3; ++i) item(("walked" + std::to_string(i)).c_str());
    Owned<RefDataStore> other = otherStore();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before =
            rowsOf(store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny)).size();
        Owned<StoreResultSet> walk(store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny));
        ASSERT_EQ(walk->next(), 1);
        // The other store commits (the walk's snapshot is now old), then holds
        // the write lock for a moment.
        ASSERT_TRUE(other->insertDomain("d", empty_, empty_, "Y", "Y", empty_, 0, empty_, 1, 0, noDate_, "L",
                                        nullptr));
        ASSERT_TRUE(other->beginTransaction(0, 0));
        std::thread committer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            other->endTransaction(true);
        });
        const bool written = c.write(store_.get());
        committer.join();
        EXPECT_TRUE(written) << store_->getLastError().asCstr();
        EXPECT_EQ(walk->getString(1).str().substr(0, 1), "w");  // the current row stays
        EXPECT_EQ(rest(walk.get()).size(), before - 1);
    }
}

TEST_F(ConcurrencyTest, KeptRowsComeBackWholeFromMemoryAndFromTheFile) {
    // 600 texts of 10,000 bytes: more than the rows kept in memory.
    const std::string big(10000, 'x');
    struct Case {
        int items;
        int readBefore;
    };
    const Case cases[] = {{3, 0}, {3, 2}, {600, 0}, {600, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.items) + " items, " + std::to_string(c.readBefore) + " read");
        Owned<RefDataStore> store = otherStore();
        const QxbString prefix(std::to_string(c.items) + "/" + std::to_string(c.readBefore) + "-");
        for (int i = 0; i < c.items; ++i) {
            const std::string key = prefix.str() + std::to_string(i);
            ASSERT_TRUE(
                store->insertItem(key.c_str(), (big + key).c_str(), "Y", "Y", QxbString(), 1, nullptr));
        }
        const std::vector<Row> expected =
            rowsOf(store->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny));
        Owned<StoreResultSet> walk(store->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny));
        std::vector<Row> seen;
        for (int i = 0; i < c.readBefore; ++i) {
            ASSERT_EQ(walk->next(), 1);
            seen.push_back(current(walk.get()));
        }
        ASSERT_TRUE(store->insertItem("late", "t", "Y", "Y", "", 1, nullptr));
        for (const Row& row : rest(walk.get())) seen.push_back(row);
        EXPECT_TRUE(seen == expected);
        EXPECT_EQ(walk->next(), 0);
    }
}

TEST_F(ConcurrencyTest, AWriterGivesUpAfterTheConfiguredWaitAndSaysItWaited) {
    ::setenv("RDM_WRITE_WAIT", "2", 1);
    Owned<RefDataStore> waiting = otherStore();
    ::unsetenv("RDM_WRITE_WAIT");
    repadm::setWriterWaitNotice(&countNotice);
    notices = 0;
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    EXPECT_FALSE(waiting->beginTransaction(0, 0));
    EXPECT_NE(waiting->getLastError().str().find("locked"), std::string::npos);
    EXPECT_EQ(notices.load(), 1);
    repadm::setWriterWaitNotice(nullptr);
    EXPECT_TRUE(store_->endTransaction(true));
    EXPECT_TRUE(waiting->beginTransaction(0, 0));
    EXPECT_TRUE(waiting->endTransaction(true));
}

// On a server, writers wait only for writers of their own repository: a
// second prefix beside it begins at once. (SQLite locks the whole file.)
TEST_F(ConcurrencyTest, WritersOfAnotherRepositoryOnTheServerDoNotWait) {
    if (!onPostgresql()) GTEST_SKIP() << "SQLite has one write lock per database file";
    ASSERT_TRUE(admin_->createRepositoryByDsn(dsn_.c_str(), "other_")) << admin_->getLastError().asCstr();
    ::setenv("RDM_WRITE_WAIT", "0", 1);
    Owned<Repository> other(admin_->openRepositoryByDsn(dsn_.c_str(), "other_", 0, 0));
    Owned<RefDataStore> sameRepository = otherStore();
    ::unsetenv("RDM_WRITE_WAIT");
    ASSERT_TRUE(other);
    Owned<RefDataStore> elsewhere(other->createStore());
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    EXPECT_TRUE(elsewhere->beginTransaction(0, 0)) << elsewhere->getLastError().asCstr();
    EXPECT_FALSE(sameRepository->beginTransaction(0, 0));
    EXPECT_TRUE(elsewhere->endTransaction(true));
    EXPECT_TRUE(store_->endTransaction(true));
}

}  // namespace
}  // namespace storetest

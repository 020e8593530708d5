// Hostile texts round trip unchanged and never change the SQL; broken or
// read-only databases give clear texts.
#include <cstring>
#include <fstream>

#include "store_fixture.h"

namespace storetest {
namespace {

class HostileTest : public StoreTest {};

const char* const kHostile[] = {
    "O'Brien",
    "\"quoted\"",
    "a; DROP TABLE t_items; --",
    "%s%s%s%n",
    "line\nbreak\r\n",
    "Grüße, 日本語",
    "\xff\xfe invalid \xc3",
    "' OR '1'='1",
    "{P}items",
    "?",
    "",
};

TEST_F(HostileTest, TextsRoundTripUnchangedAndFilterExactly) {
    std::size_t stored = 0;
    for (const char* text : kHostile) {
        unsigned id = 0;
        // PostgreSQL holds UTF-8 only: other bytes are refused, never altered.
        if (onPostgresql() && std::strstr(text, "invalid") != nullptr) {
            EXPECT_FALSE(store_->insertItem(text, text, "Y", "Y", "P", 1, &id));
            EXPECT_NE(store_->getLastError().str().find("UTF-8"), std::string::npos) << store_->getLastError().asCstr();
            continue;
        }
        ++stored;
        ASSERT_TRUE(store_->insertItem(text, text, "Y", "Y", "P", 1, &id))
            << store_->getLastError().asCstr();
        auto rows = rowsOf(store_->listItems(kAny, text, empty_, empty_, empty_, empty_, kAny));
        ASSERT_EQ(rows.size(), 1u) << text;
        EXPECT_EQ(rows[0][0], std::to_string(id));
        EXPECT_EQ(rows[0][1], text);
        EXPECT_EQ(rows[0][2], text);
        const QxbString content(text);
        unsigned textId = 0;
        ASSERT_TRUE(store_->writeRow(&content, &textId, 1, kAny, nullptr, nullptr, nullptr));
        EXPECT_EQ(rowsOf(store_->listLocalizedTexts(textId, empty_, kAny)).at(0).at(1), text);
    }
    EXPECT_EQ(rowsOf(store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny)).size(), stored);
}

// The edges of UTF-8, inside a transaction (where PostgreSQL's inserts are
// sent on without waiting): what PostgreSQL takes is stored, what it would
// refuse is refused by the insert itself, and the transaction still
// commits the rest. SQLite stores every byte string as given.
TEST_F(HostileTest, TheEdgesOfUtf8AreStoredOrRefusedByTheInsertItself) {
    const struct {
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"\x7f", true},           {"\xc2\x80", true},         {"\xdf\xbf", true},
        {"\xe0\xa0\x80", true},   {"\xed\x9f\xbf", true},     {"\xee\x80\x80", true},
        {"\xf0\x90\x80\x80", true}, {"\xf4\x8f\xbf\xbf", true}, {"\xc0\x80", false},
        {"\xc1\xbf", false},       {"\xe0\x9f\xbf", false},     {"\xed\xa0\x80", false},
        {"\xf0\x8f\xbf\xbf", false}, {"\xf4\x90\x80\x80", false}, {"\xf5\x80\x80\x80", false},
        {"\x80", false},            {"a\xc3", false},           {"\xe2\x82", false},
        {"\xe2\x28\xa1", false},
    };
    ASSERT_TRUE(store_->beginTransaction(0, 0));
    std::size_t stored = 0;
    for (const auto& c : cases) {
        const QxbString text(c.bytes.data(), c.bytes.size());
        const bool expected = c.utf8 || !onPostgresql();
        EXPECT_EQ(store_->insertItem(text, text, "Y", "Y", "P", 1, nullptr), expected)
            << "byte string " << ::testing::PrintToString(c.bytes) << ": " << store_->getLastError().asCstr();
        if (expected) ++stored;
    }
    ASSERT_TRUE(store_->endTransaction(true)) << store_->getLastError().asCstr();
    EXPECT_EQ(rowsOf(store_->listItems(kAny, empty_, empty_, empty_, empty_, empty_, kAny)).size(), stored);
}

TEST_F(HostileTest, HostileDomainNameInDeletionsAndRename) {
    const unsigned d = domain("keep");
    ASSERT_TRUE(store_->renameDomain(d, "x' OR 1=1; --"));
    ASSERT_TRUE(store_->deleteDomains(kAny, "' OR 1=1 --", empty_, empty_, empty_, empty_, empty_,
                                      kAny, empty_, kAny, kAny, noDate_, empty_, noDate_));
    auto rows = rowsOf(store_->listDomains(d, empty_, empty_, empty_, empty_, empty_, empty_, kAny,
                                           empty_, kAny, kAny, noDate_, empty_, noDate_));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "x' OR 1=1; --");
    EXPECT_FALSE(store_->renameDomain(12345, "none"));
}

class FaultTest : public ::testing::Test {
protected:
    TempHome home_;
};

TEST_F(FaultTest, AFileThatIsNotADatabaseGivesAClearText) {
    home_.writeFile("junk.db", std::string(4096, 'x'));
    Owned<RepositoryAdmin> admin(createRepositoryAdmin(1, 0));
    ASSERT_TRUE(admin);
    Owned<Repository> repository(admin->openRepositoryByDsn("sqlite:junk.db", "t_", 0, 0));
    EXPECT_FALSE(repository);
    const std::string error = admin->getLastError().str();
    EXPECT_NE(error.find("junk.db"), std::string::npos) << error;
    EXPECT_NE(error.find("not a database"), std::string::npos) << error;
}

TEST_F(FaultTest, AReadOnlyDatabaseGivesAClearTextOnWrites) {
    Owned<RepositoryAdmin> admin(createRepositoryAdmin(1, 0));
    ASSERT_TRUE(admin->createRepositoryByDsn("sqlite:ro.db", "t_")) << admin->getLastError().asCstr();
    const std::string uri = "sqlite:file:" + home_.file("ro.db") + "?mode=ro";
    Owned<Repository> repository(admin->openRepositoryByDsn(uri.c_str(), "t_", 0, 0));
    ASSERT_TRUE(repository) << admin->getLastError().asCstr();
    Owned<RefDataStore> store(repository->createStore());
    EXPECT_EQ(rowsOf(store->listLanguages(1, QxbString(), QxbString())).size(), 1u);
    EXPECT_FALSE(store->insertItem("k", "t", "Y", "Y", "P", 1, nullptr));
    const std::string error = store->getLastError().str();
    EXPECT_NE(error.find("insertItem"), std::string::npos) << error;
    EXPECT_NE(error.find("readonly"), std::string::npos) << error;
}

TEST_F(FaultTest, AStoreThatCouldNotConnectFailsEveryCallWithTheReason) {
    Owned<RepositoryAdmin> admin(createRepositoryAdmin(1, 0));
    ASSERT_TRUE(admin->createRepository("nodata", "", "t_"));
    Owned<Repository> repository(admin->openRepository("nodata", 0, 0));
    ASSERT_TRUE(repository);
    Owned<RefDataStore> store(repository->createStore());
    ASSERT_TRUE(store);
    EXPECT_EQ(store->listLanguages(kAny, QxbString(), QxbString()), nullptr);
    EXPECT_NE(store->getLastError().str().find("nodata"), std::string::npos);
    EXPECT_FALSE(store->beginTransaction(0, 0));
}

}  // namespace
}  // namespace storetest

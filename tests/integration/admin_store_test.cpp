// The administration operations on a real store: a copy holds every kind of
// version row, the removals leave no row of what they removed, and a write
// that fails anywhere inside one of them leaves every table as it was.
// Failures are injected with SQLite triggers written by the sqlite3 shell.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "repadm.h"
#include "rdm_runner.h"
#include "temp_home.h"

namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);
using Counts = std::map<std::string, int>;

int runShell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// rdm's output (standard output, then standard error) and its exit status.
std::string runRdm(const std::string& home, const std::string& arguments, int* status) {
    const CommandResult result = ::runRdm(home, arguments);
    *status = result.status;
    return result.output;
}

int rowCount(StoreResultSet* rows) {
    if (rows == nullptr) return -1;
    int count = 0;
    while (rows->next() == 1) ++count;
    rows->release();
    return count;
}

// The six kinds of version content, counted for one version.
std::vector<int> versionContent(RefDataStore* s, unsigned domainId, unsigned versionId) {
    const QxbString none;
    return {rowCount(s->listVersionAttributes(domainId, kAny, versionId, none)),
            rowCount(s->listVersionItems(kAny, versionId, kAny, QxbDate(), kAny, none, kAny)),
            rowCount(s->listVersionItemValueLinks(versionId, kAny, kAny)),
            rowCount(s->listVersionItemValues(versionId, kAny)),
            rowCount(s->listVersionValues(versionId, kAny)),
            rowCount(s->listVersionLanguages(versionId, kAny))};
}

class AdminStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        int status = -1;
        const std::string created = runRdm(home.path(), "repo create demo", &status);
        ASSERT_EQ(status, 0) << created;
        database = home.path() + "/data/demo.db";
        openSession();
        populate();
    }
    void TearDown() override { closeSession(); }

    void openSession() {
        QxbString error;
        session = createReferenceDataSession(0, &error);
        ASSERT_NE(session, nullptr);
        ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
        admin = session->getAdmin(handle);
        store = handle->adminStore;
        ASSERT_NE(store, nullptr);
    }
    void closeSession() {
        if (session != nullptr) session->release(&handle);
        session = nullptr;
    }

    // Domain "colours" with versions 1 and 2; version 1 holds every kind of
    // version row, two items with a valued, texted attribute each.
    void populate() {
        const QxbString none;
        const QxbDate noDate;
        ASSERT_TRUE(store->insertDomain("colours", "d", "t1", "Y", "Y", "scope", 7, "t8", 1, -1, noDate, "K", &domain));
        ASSERT_TRUE(store->insertDomainVersion(domain, 1, "First", "Y", "Y", "x", 1, "N", -1, noDate, &first));
        ASSERT_TRUE(store->insertDomainVersion(domain, 2, "Second", "Y", "Y", "x", 1, "N", -1, noDate, &second));
        unsigned attribute = 0, domainAttribute = 0, value = 0, language = 0;
        ASSERT_TRUE(store->insertAttribute("shade", "Shade", 1, "SINGLELINETEXT", 1, 1, 1, none, &attribute));
        ASSERT_TRUE(store->insertDomainAttribute(domain, attribute, &domainAttribute));
        ASSERT_TRUE(store->insertVersionAttribute(domain, domainAttribute, first, "Y"));
        ASSERT_TRUE(store->insertDomainAttributeValue(domainAttribute, "bright", "Y", 1, &value));
        ASSERT_TRUE(store->insertVersionValue(first, value));
        ASSERT_TRUE(store->insertDomainLanguage(domain, 2, &language));
        ASSERT_TRUE(store->insertVersionLanguage(first, language));
        const char* keys[] = {"red", "blue"};
        for (const char* key : keys) {
            unsigned item = 0, versionItem = 0, itemValue = 0;
            ASSERT_TRUE(store->insertItem(key, key, "Y", "N", none, 1, &item));
            ASSERT_TRUE(store->insertVersionItem(first, item, 1, key, kAny, nullptr, &versionItem));
            ASSERT_TRUE(store->insertItemAttributeValue(versionItem, attribute, &itemValue));
            ASSERT_TRUE(store->insertVersionItemValue(first, itemValue));
            const QxbString text(std::string("dark ") + key);
            ASSERT_TRUE(store->writeRow(&text, nullptr, 2, itemValue, &first, nullptr, nullptr))
                << store->getLastError().asCstr();
        }
    }

    Counts counts() { return tableCounts(store); }
    // A trigger that makes every write of one kind to one table fail.
    void injectFailure(const std::string& event, const std::string& table) {
        const std::string sql = "CREATE TRIGGER injected BEFORE " + event + " ON kiv_rdm_" + table +
                                " BEGIN SELECT RAISE(ABORT, 'injected failure'); END;";
        ASSERT_EQ(runShell("sqlite3 '" + database + "' \"" + sql + "\""), 0);
    }
    void removeFailure() { ASSERT_EQ(runShell("sqlite3 '" + database + "' 'DROP TRIGGER injected;'"), 0); }
    static bool haveShell() { return runShell("command -v sqlite3 >/dev/null") == 0; }

    // Runs operation with each table's writes failing in turn: each run
    // fails and leaves every table's row count as it was.
    template <typename Operation>
    void failEachTable(const std::string& event, const std::vector<std::string>& tables, Operation operation) {
        if (!haveShell()) GTEST_SKIP() << "the sqlite3 shell is not installed";
        for (const std::string& table : tables) {
            closeSession();
            injectFailure(event, table);
            openSession();
            const Counts before = counts();
            EXPECT_FALSE(operation()) << event << " on " << table << " did not fail";
            EXPECT_NE(handle->errorText.str().find("injected failure"), std::string::npos) << handle->errorText.asCstr();
            EXPECT_EQ(counts(), before) << event << " on " << table;
            closeSession();
            removeFailure();
            openSession();
        }
    }

    TempHome home;
    std::string database;
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    RefDataAdmin* admin = nullptr;
    RefDataStore* store = nullptr;
    unsigned domain = 0, first = 0, second = 0;
};

TEST_F(AdminStoreTest, ACopyHoldsEveryKindOfRowOfTheFirstVersion) {
    unsigned copy = 0;
    ASSERT_TRUE(admin->copyDomain(handle, domain, 1, &copy)) << handle->errorText.asCstr();
    StoreResultSet* versions = store->listDomainVersions(kAny, copy, kAny, QxbString(), QxbString(), QxbString(),
                                                         QxbString(), kAny, QxbString(), kAny, QxbDate(), QxbDate());
    ASSERT_NE(versions, nullptr);
    ASSERT_EQ(versions->next(), 1);
    const unsigned copied = static_cast<unsigned>(versions->getInt(0));
    EXPECT_EQ(versions->getString(3).str(), "Initial Version");
    EXPECT_EQ(versions->next(), 0) << "one version";
    versions->release();
    const std::vector<int> source = versionContent(store, domain, first);
    EXPECT_EQ(source, (std::vector<int>{1, 2, 2, 2, 1, 1}));
    EXPECT_EQ(versionContent(store, copy, copied), source);
}

TEST_F(AdminStoreTest, TheCopysItemsReadAsTheSourcesFirstVersion) {
    closeSession();
    int status = -1;
    const std::string copied = runRdm(home.path(), "copy demo colours --name tints", &status);
    ASSERT_EQ(status, 0) << copied;
    EXPECT_NE(copied.find("'tints'"), std::string::npos) << copied;
    const std::string source = runRdm(home.path(), "items demo colours --version 1 --format csv", &status);
    ASSERT_EQ(status, 0) << source;
    const std::string copy = runRdm(home.path(), "items demo tints --format csv", &status);
    ASSERT_EQ(status, 0) << copy;
    std::string expected = source;
    for (std::size_t at = expected.find(",colours,"); at != std::string::npos; at = expected.find(",colours,", at))
        expected.replace(at, 9, ",tints,");
    EXPECT_NE(source.find("dark red"), std::string::npos) << source;
    EXPECT_EQ(copy, expected);
    openSession();
}

TEST_F(AdminStoreTest, AFailedWriteInsideACopyLeavesEveryTableAsItWas) {
    failEachTable("INSERT",
                  {"domains", "change_records", "domain_versions", "version_attributes", "version_items",
                   "version_link_sets", "version_item_values", "version_values", "version_languages"},
                  [this] { return admin->copyDomain(handle, domain, 1, nullptr); });
}

TEST_F(AdminStoreTest, AFailedDeletionInsideADomainRemovalLeavesEveryTableAsItWas) {
    failEachTable("DELETE",
                  {"domains", "domain_versions", "domain_attributes", "domain_attribute_values", "domain_languages",
                   "version_attributes", "version_items", "item_attribute_values", "version_item_values",
                   "version_item_value_links", "version_link_sets", "version_values", "version_languages"},
                  [this] { return admin->removeDomain(handle, domain, 1); });
    failEachTable("INSERT", {"change_records"}, [this] { return admin->removeDomain(handle, domain, 1); });
}

TEST_F(AdminStoreTest, AFailedDeletionInsideAVersionRemovalLeavesEveryTableAsItWas) {
    failEachTable("DELETE",
                  {"domain_versions", "version_attributes", "version_items", "item_attribute_values",
                   "version_item_values", "version_item_value_links", "version_link_sets", "version_values",
                   "version_languages"},
                  [this] { return admin->removeDomainVersion(handle, first, 1); });
    failEachTable("INSERT", {"change_records"}, [this] { return admin->removeDomainVersion(handle, first, 1); });
}

TEST_F(AdminStoreTest, RemovalsLeaveNoRowOfWhatTheyRemoved) {
    const Counts populated = counts();
    ASSERT_TRUE(admin->removeDomainVersion(handle, first, 1)) << handle->errorText.asCstr();
    Counts after = counts();
    EXPECT_EQ(after["item_attribute_values"], populated.at("item_attribute_values") - 2)
        << "the values of the version's items go with it";
    EXPECT_EQ(after["version_items"], populated.at("version_items") - 2);
    EXPECT_EQ(after["domain_versions"], populated.at("domain_versions") - 1);
    EXPECT_EQ(after["change_records"], populated.at("change_records") + 1);

    ASSERT_TRUE(admin->removeDomain(handle, domain, 1)) << handle->errorText.asCstr();
    after = counts();
    for (const char* table : {"domains", "domain_versions", "domain_attributes", "domain_attribute_values",
                              "domain_languages", "version_attributes", "version_items", "item_attribute_values",
                              "version_item_values", "version_item_value_links", "version_link_sets",
                              "version_values", "version_languages"})
        EXPECT_EQ(after[table], 0) << table;
    EXPECT_FALSE(admin->removeDomain(handle, domain, 1)) << "it is gone";
}

TEST_F(AdminStoreTest, ACreatedAccountHasNoRoleAndIsFoundByItsKey) {
    unsigned id = 0, again = 0;
    ASSERT_TRUE(admin->createAccount(handle, QxbString("Ann"), QxbString("ann"), QxbString(), QxbString("USER"), -1, &id));
    ASSERT_TRUE(admin->createAccount(handle, QxbString("Other"), QxbString("ann"), QxbString(), QxbString(), -1, &again));
    EXPECT_EQ(again, id);
    StoreResultSet* rows = store->listAccounts(id, QxbString(), QxbString(), QxbString(), QxbString(), QxbString(), QxbString());
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->next(), 1);
    EXPECT_EQ(rows->getInt(8), -1) << "the catalogue refresh reads -1 as no role";
    rows->release();
}

TEST_F(AdminStoreTest, SetConnectionWithAnEmptyDsnDropsTheStores) {
    ASSERT_TRUE(admin->setConnection(handle, QxbString(""), QxbString("")));
    EXPECT_EQ(handle->adminStore, nullptr);
    EXPECT_FALSE(admin->checkConnection(handle));
    ASSERT_TRUE(admin->setConnection(handle, QxbString("sqlite:data/demo.db"), QxbString("kiv_rdm_")));
    store = handle->adminStore;
    EXPECT_EQ(counts().at("domains"), 1) << "back on the same data";
}

// --- the rdm commands -------------------------------------------------------------------------

class AdminCommandTest : public AdminStoreTest {
protected:
    void SetUp() override {
        AdminStoreTest::SetUp();
        closeSession();  // rdm works on the file alone
    }
    std::string rdm(const std::string& arguments, int expectedStatus = 0) {
        int status = -1;
        const std::string output = runRdm(home.path(), arguments, &status);
        EXPECT_EQ(status, expectedStatus) << arguments << ": " << output;
        return output;
    }
};

TEST_F(AdminCommandTest, CopyNamesTheCopyAndRefusesATakenName) {
    EXPECT_NE(rdm("copy demo colours").find("#2 'colours copy 1' from version 1 of 'colours' (#1)"), std::string::npos);
    EXPECT_NE(rdm("copy demo '#1'").find("'colours copy 2'"), std::string::npos);
    EXPECT_NE(rdm("copy demo colours --name 'colours copy 1'", 1).find("exists already"), std::string::npos);
    EXPECT_NE(rdm("copy demo nothing", 1).find("[nothing]"), std::string::npos);
    EXPECT_NE(rdm("copy demo colours --account 99", 1).find("no account has the id 99"), std::string::npos);
    const std::string domains = rdm("domains demo --format csv");
    EXPECT_EQ(domains.find("colours copy 3"), std::string::npos) << domains;
    EXPECT_NE(rdm("history demo '#2' --format csv").find("Created Domain: ID = 2, NAME = colours copy 1"),
              std::string::npos)
        << "the copy is made under its name";
}

// Copies at once each take a name of their own: the name is chosen inside
// the copy's transaction.
TEST_F(AdminCommandTest, ConcurrentCopiesNeverShareAName) {
    const std::string copy = "'" RDM_BINARY_DIR "/rdm' --home '" + home.path() + "' copy demo colours >/dev/null";
    const CommandResult copies = runCommand("for i in 1 2 3 4; do " + copy + " & done; wait");
    ASSERT_EQ(copies.status, 0) << copies.output;
    const std::string domains = rdm("domains demo --format csv");
    for (const char* name : {"colours copy 1,", "colours copy 2,", "colours copy 3,", "colours copy 4,"}) {
        const std::size_t first = domains.find(name);
        EXPECT_NE(first, std::string::npos) << name << domains;
        EXPECT_EQ(domains.find(name, first + 1), std::string::npos) << name << domains;
    }
}

TEST_F(AdminCommandTest, RemovalsNameWhatTheyRemoved) {
    EXPECT_EQ(rdm("remove-version demo 2"), "Removed version 2 (#2) of domain 'colours' (#1)\n");
    EXPECT_NE(rdm("remove-version demo 2", 1).find("no version has the id 2"), std::string::npos);
    EXPECT_EQ(rdm("remove demo colours"), "Removed domain 'colours' (#1) with 1 version\n");
    EXPECT_NE(rdm("remove demo '#1'", 1).find("no domain has the id 1"), std::string::npos);
    const std::string history = rdm("history demo '#1' --format csv");
    EXPECT_NE(history.find("Removed Domain colours"), std::string::npos) << history;
    EXPECT_NE(rdm("history demo --format csv").find("Removed Domain Version 2"), std::string::npos);
}

TEST_F(AdminCommandTest, AccountsAreCreatedOncePerKey) {
    EXPECT_EQ(rdm("account add demo Ann --key ann --text 'Ann A'"), "Created account #2 'Ann' (key 'ann', type USER)\n");
    EXPECT_EQ(rdm("account add demo Other --key ann"), "Account #2 'Ann' has the key 'ann' already\n");
    const std::string accounts = rdm("accounts demo --format csv");
    EXPECT_NE(accounts.find("2,Ann,USER,ann,Ann A"), std::string::npos) << accounts;
    EXPECT_NE(rdm("history demo --format csv").find("Created Account: ID = 2, NAME = Ann, TYPE = USER"),
              std::string::npos);
    rdm("account add demo Bob", 2);
}

TEST_F(AdminCommandTest, ConnectionShowsAndChangesTheDataSource) {
    EXPECT_NE(rdm("connection demo").find("sqlite:data/demo.db"), std::string::npos);
    const std::string refused = rdm("connection demo --set sqlite:data/demo.db --prefix 'no;way'", 1);
    EXPECT_NE(refused.find("the connection stays 'sqlite:data/demo.db'"), std::string::npos) << refused;
    EXPECT_NE(rdm("connection demo").find("kiv_rdm_"), std::string::npos);
    EXPECT_NE(rdm("connection demo --set sqlite:data/other.db --prefix o_").find("attached"), std::string::npos);
    EXPECT_EQ(rdm("domains demo --format csv").find("colours"), std::string::npos) << "a new, empty data repository";
    rdm("connection demo --set sqlite:data/demo.db --prefix kiv_rdm_");
    EXPECT_NE(rdm("domains demo --format csv").find("colours"), std::string::npos);
    rdm("connection demo --prefix x", 2);
}

}  // namespace

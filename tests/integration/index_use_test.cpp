// The removals and the key lookup read only what they need. On a repository
// holding another domain's rows, every statement the store runs for
// removeDomainVersion and removeDomain reaches its rows through an index
// (SQLite's statement counters see no full-scan step and no automatic
// index), and once the shared rows' last users are gone the value, link and
// text tables hold the other domain's rows alone. A key lookup starts from
// the index on the items' key (its query plan), not from the version's items.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3ext.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "RefDataViewerEx.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "temp_home.h"

// The store's connections are watched from outside, as a loadable extension
// would: the SQLite routines come through the pointer every connection hands
// to its extensions, so the test needs no link to SQLite.
SQLITE_EXTENSION_INIT1

namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);

struct Watch {
    bool on = false;
    long statements = 0, fullScanSteps = 0, autoIndexes = 0;
    std::set<std::string> offenders, texts;
    sqlite3* db = nullptr;  // the connection of the last statement watched
};
Watch watch;

int profiled(unsigned kind, void*, void* p, void*) {
    if (kind != SQLITE_TRACE_PROFILE) return 0;
    // Read and reset at every run: a cached statement's counters then
    // belong to its last run alone.
    sqlite3_stmt* statement = static_cast<sqlite3_stmt*>(p);
    const int scans = sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
    const int indexes = sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_AUTOINDEX, 1);
    if (!watch.on) return 0;
    ++watch.statements;
    watch.texts.insert(sqlite3_sql(statement));
    watch.db = sqlite3_db_handle(statement);
    watch.fullScanSteps += scans;
    watch.autoIndexes += indexes;
    if (scans > 0 || indexes > 0) watch.offenders.insert(sqlite3_sql(statement));
    return 0;
}

int traceConnection(sqlite3* db, char**, const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, profiled, nullptr);
    return SQLITE_OK;
}

using Counts = std::map<std::string, int>;

class IndexUseTest : public ::testing::Test {
protected:
    // Every connection opened from now on is traced (the library's SQLite is
    // the process's: repadm links it as a shared library).
    static void SetUpTestSuite() {
        using AutoExtension = int (*)(void (*)());
        auto autoExtension = reinterpret_cast<AutoExtension>(dlsym(RTLD_DEFAULT, "sqlite3_auto_extension"));
        ASSERT_NE(autoExtension, nullptr) << "SQLite is not loaded: " << dlerror();
        ASSERT_EQ(autoExtension(reinterpret_cast<void (*)()>(traceConnection)), 0);
    }

    void SetUp() override {
        rdm("repo create demo");
        home.writeFile("sizes.csv",
                       "key,label,parent,name@en,name@de,grade\n"
                       "s,Small,,small,klein,1\nm,Medium,,medium,mittel,2\nl,Large,,large,gross,3\n"
                       "xl,Extra large,l,extra large,sehr gross,4\n");
        home.writeFile("colours.csv",
                       "key,label,parent,name@en,name@de,shade\n"
                       "red,Red,,red,rot,warm\nblue,Blue,,blue,blau,cold\nnavy,Navy,blue,navy,marine,\n");
        home.writeFile("colours2.csv",
                       "key,label,parent,name@en,shade\nred,Red,,red,hot\ngreen,Green,,green,\n");
        rdm("import demo sizes " + home.file("sizes.csv") + " --quiet");
        openSession();
        sizesOnly = valueCounts();
        closeSession();
        rdm("import demo colours " + home.file("colours.csv") + " --quiet");
        rdm("import demo colours " + home.file("colours2.csv") + " --quiet");
        rdm("edit demo colours --edit 'add,white,White,' --edit 'set,white,,,name,en,white'");  // links
                                                                                                // version 2's
        rdm("copy demo colours --name tints");  // shares the colours' values and texts
        openSession();
    }
    void TearDown() override { closeSession(); }

    void rdm(const std::string& arguments) {
        const CommandResult result = runRdm(home.path(), arguments);
        ASSERT_EQ(result.status, 0) << arguments << ": " << result.output;
    }
    void openSession() {
        QxbString error;
        session = createReferenceDataSession(0, &error);
        ASSERT_NE(session, nullptr);
        ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
        admin = session->getAdmin(handle);
    }
    void closeSession() {
        if (session != nullptr) session->release(&handle);
        session = nullptr;
    }
    // The first id a listing answers (0 when none; an error fails the test).
    static unsigned firstId(StoreResultSet* rows) {
        if (rows == nullptr) {
            ADD_FAILURE() << "the listing failed";
            return 0;
        }
        const int answer = rows->next();
        EXPECT_GE(answer, 0) << "the listing failed while walking";
        const unsigned id = answer == 1 ? static_cast<unsigned>(rows->getInt(0)) : 0;
        rows->release();
        return id;
    }
    unsigned domainNamed(const char* name) {
        const QxbString none;
        return firstId(handle->adminStore->listDomains(kAny, QxbString(name), none, none, none, none, none,
                                                       kAny, none, kAny, kAny, QxbDate(), none, QxbDate()));
    }
    unsigned firstVersionOf(unsigned domain) {
        const QxbString none;
        return firstId(handle->adminStore->listDomainVersions(kAny, domain, kAny, none, none, none, none,
                                                              kAny, none, kAny, QxbDate(), QxbDate()));
    }
    // The tables that removals purge by what the removed versions named.
    Counts valueCounts() {
        Counts counts;
        StoreResultSet* rows = handle->adminStore->listTableCounts();
        if (rows == nullptr) return counts;
        const std::set<std::string> kept = {"item_attribute_values", "version_item_values",
                                            "version_item_value_links", "localized_texts", "version_items"};
        int answer = 0;
        while ((answer = rows->next()) == 1)
            if (kept.count(rows->getString(0).str())) counts[rows->getString(0).str()] = rows->getInt(1);
        EXPECT_EQ(answer, 0) << "listTableCounts failed while walking";
        rows->release();
        return counts;
    }

    TempHome home;
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    RefDataAdmin* admin = nullptr;
    Counts sizesOnly;
};

TEST_F(IndexUseTest, EveryStatementOfARemovalUsesAnIndex) {
    const unsigned colours = domainNamed("colours"), tints = domainNamed("tints");
    ASSERT_NE(colours, 0u);
    ASSERT_NE(tints, 0u);
    const unsigned firstColours = firstVersionOf(colours);
    struct Case {
        const char* what;
        std::function<bool()> remove;
    };
    // In this order: the colours' first version alone, then the colours
    // (whose values and texts the copy still uses), then the copy, the last
    // user of what the colours owned.
    const Case cases[] = {
        {"removeDomainVersion", [&] { return admin->removeDomainVersion(handle, firstColours, 1); }},
        {"removeDomain (shared with a copy)", [&] { return admin->removeDomain(handle, colours, 1); }},
        {"removeDomain (the copy)", [&] { return admin->removeDomain(handle, tints, 1); }},
    };
    for (const Case& c : cases) {
        watch = Watch();
        watch.on = true;
        const bool removed = c.remove();
        watch.on = false;
        ASSERT_TRUE(removed) << c.what << ": " << handle->errorText.asCstr();
        EXPECT_GT(watch.statements, 0) << c.what << ": no statement was watched";
        EXPECT_EQ(watch.fullScanSteps, 0) << c.what;
        EXPECT_EQ(watch.autoIndexes, 0) << c.what;
        for (const std::string& sql : watch.offenders) ADD_FAILURE() << c.what << " scans: " << sql;
    }
    EXPECT_EQ(valueCounts(), sizesOnly) << "a value, link or text of the removed domains is left";
}

// The steps of a statement's query plan on the watched connection.
std::vector<std::string> planOf(const std::string& sql) {
    std::vector<std::string> steps;
    sqlite3_stmt* plan = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(watch.db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &plan, nullptr), SQLITE_OK);
    while (plan != nullptr && sqlite3_step(plan) == SQLITE_ROW)
        steps.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)));
    sqlite3_finalize(plan);
    return steps;
}

// The statement watched whose text holds both marks.
std::string watchedWith(const char* mark, const char* other) {
    for (const std::string& sql : watch.texts)
        if (sql.find(mark) != std::string::npos && sql.find(other) != std::string::npos) return sql;
    return std::string();
}

// The plan's first step searches the items by key; no step scans a table.
TEST_F(IndexUseTest, AKeyLookupStartsFromTheKeyIndex) {
    RefDataViewerEx* viewer = session->getViewerEx(handle);
    // The newest version (a subquery) and a version by number; a key and the empty key.
    for (const auto& [key, version] : {std::pair<const char*, int>{"red", 0}, {"", 1}}) {
        watch = Watch();
        watch.on = true;
        const int found = viewer->findItemKey(handle, QxbString("colours"), version, QxbString(key));
        watch.on = false;
        ASSERT_EQ(found, *key ? 1 : 0) << handle->errorText.asCstr();
        const std::string lookup = watchedWith("ITEM_KEY", "CROSS JOIN");
        ASSERT_FALSE(lookup.empty()) << "no key lookup was run";
        const std::vector<std::string> steps = planOf(lookup);
        const std::size_t first = !steps.empty() && steps[0] == "MULTI-INDEX OR" ? 2 : 0;
        ASSERT_GT(steps.size(), first);
        EXPECT_NE(steps[first].find("SEARCH i USING COVERING INDEX kiv_rdm_items_key"), std::string::npos)
            << steps[first];
        for (const std::string& step : steps) EXPECT_EQ(step.find("SCAN"), std::string::npos) << step;
    }
}

// The item rows of a domain's version (the item-list step's feed) come in
// the listing's order from the indexes: no sort, so nothing spills.
TEST_F(IndexUseTest, TheItemRowsNeedNoSort) {
    RefDataViewer* viewer = session->getViewer(handle);
    for (const int version : {0, -1, 1}) {
        watch = Watch();
        watch.on = true;
        RefDataCursor* rows = viewer->getDomainItemsWithAttributes(handle, QxbString("colours"), version);
        watch.on = false;
        ASSERT_NE(rows, nullptr) << handle->errorText.asCstr();
        rows->release();
        const std::string listing = watchedWith("ATTRIBUTE_DESCRIPTION", "ORDER BY");
        ASSERT_FALSE(listing.empty()) << "no item listing was run";
        for (const std::string& step : planOf(listing))
            EXPECT_EQ(step.find("TEMP B-TREE"), std::string::npos) << "version " << version << ": " << step;
    }
}

}  // namespace

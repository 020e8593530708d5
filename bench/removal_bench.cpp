// The removals at the size of the largest code lists, through the public
// interfaces: (a) removeDomainVersion of a version of 100,000 items (three
// values per item, a text in two languages per value) against a raw set-
// based delete of the same rows with the SQLite C API (goal: at most 2x);
// (b) removeDomain of a 20-version domain in a repository whose other
// domains hold 10,000 items against one whose other domains hold 200,000
// (goal: at most 1.5x: the cost follows the domain's rows, not the
// repository's), with the raw set-based delete of the same domain at both
// sizes as a reference (it pays the deeper B-trees too). Every run works on
// a fresh copy of a database built once.
// The statements the store runs during the removals are watched through
// SQLite's statement counters: a full-scan step or an automatic index in
// any of them is printed (goal: none).
#include <algorithm>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "qxbcpp.h"
#include "raw_sqlite.h"
#include "repadm.h"

namespace {

const char kPrefix[] = "b_";
const unsigned kAdminAccount = 1;  // seeded with every repository
const int kVersionItems = 100000;
const int kDomainVersions = 20;
const int kItemsPerDomainVersion = 1000;
const int kOtherDomains = 10;
const int kSmallOther = 10000;  // items of the other domains, in all
const int kLargeOther = 200000;

void check(bool ok, const char* what, const std::string& reason = std::string()) {
    if (ok) return;
    std::fprintf(stderr, "%s failed %s\n", what, reason.c_str());
    std::exit(1);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- watching the store's statements ---------------------------------------------------

struct Watch {
    bool on = false;
    long fullScanSteps = 0, autoIndexes = 0, statements = 0;
    std::set<std::string> offenders;
};
Watch watch;

int profiled(unsigned kind, void*, void* p, void*) {
    if (kind != SQLITE_TRACE_PROFILE) return 0;
    // Read and reset at every run, so that a cached statement's counters
    // belong to its last run alone.
    sqlite3_stmt* statement = static_cast<sqlite3_stmt*>(p);
    const int scans = sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
    const int indexes = sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_AUTOINDEX, 1);
    if (!watch.on) return 0;
    ++watch.statements;
    watch.fullScanSteps += scans;
    watch.autoIndexes += indexes;
    if (scans > 0 || indexes > 0) watch.offenders.insert(sqlite3_sql(statement));
    return 0;
}

// Every connection opened in this process (the store's included) reports
// its finished statements.
int traceConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, profiled, nullptr);
    return SQLITE_OK;
}

// --- raw SQLite ------------------------------------------------------------------------

class RawDb {
public:
    explicit RawDb(const std::string& path) {
        check(sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
                  SQLITE_OK,
              "open", path);
        sqlite3_busy_timeout(db_, 60000);
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        repadm::addSqliteFunctions(db_);
    }
    ~RawDb() { sqlite3_close(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    // Runs sql to its end: ?1 to ?3 bound to the numbers given, ?4 to text.
    void run(const char* sql, std::initializer_list<sqlite3_int64> numbers = {},
             const std::string& text = std::string()) {
        Statement statement = prepare(sql, numbers, text);
        int rc = SQLITE_ROW;
        while (rc == SQLITE_ROW) rc = sqlite3_step(statement.get());
        check(rc == SQLITE_DONE, sql, sqlite3_errmsg(db_));
    }
    void exec(const char* sql) { run(sql); }
    // The first column of the first row.
    sqlite3_int64 number(const char* sql, std::initializer_list<sqlite3_int64> numbers = {}) {
        Statement statement = prepare(sql, numbers, std::string());
        check(sqlite3_step(statement.get()) == SQLITE_ROW, sql, sqlite3_errmsg(db_));
        return sqlite3_column_int64(statement.get(), 0);
    }

private:
    using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;
    Statement prepare(const char* sql, std::initializer_list<sqlite3_int64> numbers,
                      const std::string& text) {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr);
        Statement statement(raw, sqlite3_finalize);
        check(rc == SQLITE_OK, sql, sqlite3_errmsg(db_));
        const int parameters = sqlite3_bind_parameter_count(raw);
        int index = 1;
        for (const sqlite3_int64 number : numbers)
            if (index <= parameters) sqlite3_bind_int64(raw, index++, number);
        if (parameters >= 4)
            sqlite3_bind_text(raw, 4, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return statement;
    }

    sqlite3* db_ = nullptr;
};

// The version's bitmaps (a block of 4096 link ids each) holding the links
// first to last.
void holdLinks(RawDb& db, sqlite3_int64 version, sqlite3_int64 first, sqlite3_int64 last) {
    for (sqlite3_int64 block = first / 4096; block <= last / 4096; ++block) {
        std::string bits(512, '\0');
        for (sqlite3_int64 id = std::max(first, block * 4096); id <= std::min(last, block * 4096 + 4095); ++id)
            bits[static_cast<std::size_t>(id % 4096 / 8)] |= static_cast<char>(1 << (id % 8));
        db.run("INSERT INTO b_version_link_sets (VERSION_ID, BLOCK, BITS) VALUES (?1, ?2, CAST(?4 AS BLOB))",
               {version, block}, bits);
    }
}

// A domain with `versions` versions of `items` items each, as imports write
// them (the versions share the domain's items; each version has its own
// version items, values, version item values, texts and links): three
// values per item, each with an English and a German text. Written with
// INSERT ... SELECT in one transaction; answers the domain's id.
sqlite3_int64 writeDomain(RawDb& db, const std::string& name, int versions, int items) {
    db.exec("BEGIN IMMEDIATE");
    db.run(
        "INSERT INTO b_domains (NAME, FLAG1, FLAG2, ACCOUNT_ID, KIND_CODE, CREATED) "
        "VALUES (?4, 'Y', 'Y', 1, 'C', julianday('now'))",
        {}, name);
    const sqlite3_int64 domain = db.number("SELECT MAX(ID) FROM b_domains");
    db.run(
        "INSERT INTO b_attributes (TYPE_ID, CONTEXT_ID, NAME, LABEL, TYPE_NAME, LANGUAGE_ID, FLAG, CREATED, "
        "ACCOUNT_ID) SELECT 1, 1, 'attribute ' || ?1 || '.' || n, 'A' || n, 'SINGLELINETEXT', 1, 'N', "
        "julianday('now'), 1 FROM (SELECT 1 AS n UNION ALL SELECT 2 UNION ALL SELECT 3)",
        {domain});
    db.run(
        "INSERT INTO b_domain_attributes (DOMAIN_ID, ATTRIBUTE_ID) SELECT ?1, ID FROM b_attributes "
        "WHERE NAME LIKE 'attribute ' || ?1 || '.%'",
        {domain});
    db.run("INSERT INTO b_domain_languages (DOMAIN_ID, LANGUAGE_ID) VALUES (?1, 1), (?1, 2)", {domain});
    const sqlite3_int64 firstItem = db.number("SELECT COALESCE(MAX(ID), 0) + 1 FROM b_items");
    db.run(
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < ?2) "
        "INSERT INTO b_items (ITEM_KEY, ITEM_TEXT, FLAG1, FLAG2, ACCOUNT_ID) "
        "SELECT 'D' || ?1 || '-' || x, 'Item ' || x, 'Y', 'Y', 1 FROM n",
        {domain, items});
    for (int number = 1; number <= versions; ++number) {
        db.run(
            "INSERT INTO b_domain_versions (DOMAIN_ID, VERSION_NUMBER, LABEL, FLAG1, FLAG2, ACCOUNT_ID, "
            "CREATED) VALUES (?1, ?2, 'Version ' || ?2, 'Y', 'Y', 1, julianday('now'))",
            {domain, number});
        const sqlite3_int64 version = db.number("SELECT MAX(ID) FROM b_domain_versions");
        db.run(
            "INSERT INTO b_version_attributes (DOMAIN_ID, DOMAIN_ATTRIBUTE_ID, VERSION_ID, FLAG) "
            "SELECT ?1, ID, ?2, 'Y' FROM b_domain_attributes WHERE DOMAIN_ID = ?1",
            {domain, version});
        db.run(
            "INSERT INTO b_version_languages (VERSION_ID, DOMAIN_LANGUAGE_ID) "
            "SELECT ?2, ID FROM b_domain_languages WHERE DOMAIN_ID = ?1",
            {domain, version});
        db.run(
            "INSERT INTO b_version_permissions (VERSION_ID, ACCOUNT_ID, PERMISSION_ID, GRANTED) "
            "VALUES (?1, 1, 1, julianday('now'))",
            {version});
        db.run(
            "INSERT INTO b_version_items (VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL) "
            "SELECT ?2, ID, julianday('now'), ID - ?1 + 1, ITEM_TEXT FROM b_items WHERE ID >= ?1 ORDER BY ID",
            {firstItem, version});
        db.run(
            "INSERT INTO b_item_attribute_values (VERSION_ITEM_ID, ATTRIBUTE_ID, ITEM_ID, VERSION_ID) "
            "SELECT vi.ID, a.ATTRIBUTE_ID, vi.ITEM_ID, vi.VERSION_ID FROM b_version_items vi, "
            "b_domain_attributes a WHERE vi.VERSION_ID = ?1 AND a.DOMAIN_ID = ?2 ORDER BY vi.ID, "
            "a.ATTRIBUTE_ID",
            {version, domain});
        db.run(
            "INSERT INTO b_version_item_values (VERSION_ID, ITEM_ATTRIBUTE_VALUE_ID) "
            "SELECT ?1, ID FROM b_item_attribute_values WHERE VERSION_ID = ?1 ORDER BY ID",
            {version});
        // Two texts per value, inserted in value order: the k-th value's
        // texts have the ids firstText + 2k and firstText + 2k + 1.
        const sqlite3_int64 firstValue =
            db.number("SELECT MIN(ID) FROM b_item_attribute_values WHERE VERSION_ID = ?1", {version});
        const sqlite3_int64 firstText = db.number("SELECT COALESCE(MAX(ID), 0) + 1 FROM b_localized_texts");
        db.run(
            "INSERT INTO b_localized_texts (TEXT_VALUE, LANGUAGE_ID) SELECT 'text ' || v.ID || '/' || g.ID, "
            "g.ID FROM b_item_attribute_values v, b_languages g WHERE v.VERSION_ID = ?1 AND g.ID <= 2 "
            "ORDER BY v.ID, g.ID",
            {version});
        const sqlite3_int64 firstLink = db.number("SELECT COALESCE(MAX(ID), 0) + 1 FROM b_version_item_value_links");
        db.run(
            "INSERT INTO b_version_item_value_links (VERSION_ID, LOCALIZED_TEXT_ID, ITEM_ATTRIBUTE_VALUE_ID) "
            "SELECT ?1, ?3 + 2 * (v.ID - ?2) + g.ID - 1, v.ID FROM b_item_attribute_values v, b_languages g "
            "WHERE v.VERSION_ID = ?1 AND g.ID <= 2 ORDER BY v.ID, g.ID",
            {version, firstValue, firstText});
        holdLinks(db, version, firstLink, db.number("SELECT MAX(ID) FROM b_version_item_value_links"));
    }
    db.exec("COMMIT");
    return domain;
}

// The raw baseline of removeDomainVersion: the same rows, set-based, in one
// transaction, without the checks for rows another version shares.
void rawDeleteVersion(RawDb& db, sqlite3_int64 version) {
    db.run(
        "DELETE FROM b_localized_texts WHERE ID IN (SELECT l.LOCALIZED_TEXT_ID FROM b_version_link_sets s "
        "CROSS JOIN b_version_item_value_links l WHERE s.VERSION_ID = ?1 AND l.ID BETWEEN s.BLOCK * 4096 "
        "AND s.BLOCK * 4096 + 4095 AND get_bit(s.BITS, l.ID % 4096) = 1)",
        {version});
    db.run(
        "DELETE FROM b_version_item_value_links WHERE ID IN (SELECT l.ID FROM b_version_link_sets s "
        "CROSS JOIN b_version_item_value_links l WHERE s.VERSION_ID = ?1 AND l.ID BETWEEN s.BLOCK * 4096 "
        "AND s.BLOCK * 4096 + 4095 AND get_bit(s.BITS, l.ID % 4096) = 1)",
        {version});
    db.run("DELETE FROM b_version_link_sets WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_version_item_values WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_item_attribute_values WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_version_items WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_version_attributes WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_version_languages WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_version_values WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_version_permissions WHERE VERSION_ID = ?1", {version});
    db.run("DELETE FROM b_domain_versions WHERE ID = ?1", {version});
}

void rawRemoveVersion(RawDb& db, sqlite3_int64 version) {
    db.exec("BEGIN IMMEDIATE");
    rawDeleteVersion(db, version);
    db.run(
        "INSERT INTO b_change_records (DOMAIN_ID, STATUS, OBJECT_ID, DESCRIPTION, LANGUAGE_ID, ACCOUNT_ID, "
        "CREATED) VALUES (NULL, 'A', ?1, 'Removed Domain Version', 1, 1, julianday('now'))",
        {version});
    db.exec("COMMIT");
}

// The same for a domain: its versions one by one, then its own rows. A
// reference for the domain removal's growth with the other data: the raw
// deletes pay the same deeper B-trees.
void rawRemoveDomain(RawDb& db, sqlite3_int64 domain) {
    db.exec("BEGIN IMMEDIATE");
    const sqlite3_int64 first =
        db.number("SELECT MIN(ID) FROM b_domain_versions WHERE DOMAIN_ID = ?1", {domain});
    const sqlite3_int64 last =
        db.number("SELECT MAX(ID) FROM b_domain_versions WHERE DOMAIN_ID = ?1", {domain});
    for (sqlite3_int64 version = first; version <= last; ++version) rawDeleteVersion(db, version);
    db.run("DELETE FROM b_domain_attributes WHERE DOMAIN_ID = ?1", {domain});
    db.run("DELETE FROM b_domain_languages WHERE DOMAIN_ID = ?1", {domain});
    db.run("DELETE FROM b_domains WHERE ID = ?1", {domain});
    db.run(
        "INSERT INTO b_change_records (DOMAIN_ID, STATUS, OBJECT_ID, TABLE_CODE, DESCRIPTION, LANGUAGE_ID, "
        "ACCOUNT_ID, CREATED) VALUES (?1, 'A', ?1, 'RDDOMS', 'Removed Domain', 1, 1, julianday('now'))",
        {domain});
    db.exec("COMMIT");
}

void copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    check(in.good() && out.good(), "copying", from);
}

// --- the data --------------------------------------------------------------------------

// Pristine databases, built once per process in a temporary home folder
// (removed at exit); every run removes from "work", a fresh copy of one.
struct BenchData {
    std::string folder;
    std::string version, smallOther, largeOther, work;
    sqlite3_int64 versionId = 0, domainSmall = 0, domainLarge = 0;
};

std::string databaseOf(const BenchData& d, const char* name) {
    return d.folder + "/" + name + ".db";
}

// The repository library's admin, released on every path.
struct ReleaseAdmin {
    void operator()(RepositoryAdmin* admin) const { admin->release(); }
};
using AdminGuard = std::unique_ptr<RepositoryAdmin, ReleaseAdmin>;

AdminGuard repositoryAdmin() {
    AdminGuard admin(createRepositoryAdmin(1, 0));
    check(admin != nullptr, "createRepositoryAdmin", getRepositoryAdminError());
    return admin;
}

void createDatabase(const std::string& path) {
    const AdminGuard admin = repositoryAdmin();
    check(admin->createRepositoryByDsn(QxbString("sqlite:" + path), QxbString(kPrefix)),
          "createRepositoryByDsn", admin->getLastError().str());
}

// The removed domain between other domains: half of them written before
// it, half after, so its rows sit amid theirs.
sqlite3_int64 writeRepository(const std::string& path, int otherItems) {
    createDatabase(path);
    RawDb db(path);
    const int perDomain = otherItems / kOtherDomains;
    for (int n = 0; n < kOtherDomains / 2; ++n) writeDomain(db, "Other " + std::to_string(n), 1, perDomain);
    const sqlite3_int64 removed = writeDomain(db, "Removed", kDomainVersions, kItemsPerDomainVersion);
    for (int n = kOtherDomains / 2; n < kOtherDomains; ++n)
        writeDomain(db, "Other " + std::to_string(n), 1, perDomain);
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return removed;
}

BenchData& data() {
    static BenchData d;
    if (!d.folder.empty()) return d;
    char folder[] = "/tmp/removal_bench_XXXXXX";
    check(mkdtemp(folder) != nullptr, "mkdtemp");
    d.folder = folder;
    setenv("RDM_HOME", folder, 1);
    qxbSetHomeFolder(folder);
    QxbString error;
    check(qxbEnsureHomeFolder(&error), "qxbEnsureHomeFolder", error.str());
    d.version = databaseOf(d, "version");
    d.smallOther = databaseOf(d, "small-other");
    d.largeOther = databaseOf(d, "large-other");
    d.work = databaseOf(d, "work");
    const auto start = std::chrono::steady_clock::now();
    std::fprintf(
        stderr, "building a version of %d items, then a %d-version domain beside %d and %d other items ...\n",
        kVersionItems, kDomainVersions, kSmallOther, kLargeOther);
    {
        createDatabase(d.version);
        RawDb db(d.version);
        writeDomain(db, "Large", 1, kVersionItems);
        d.versionId = db.number("SELECT MAX(ID) FROM b_domain_versions");
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    d.domainSmall = writeRepository(d.smallOther, kSmallOther);
    d.domainLarge = writeRepository(d.largeOther, kLargeOther);
    const AdminGuard admin = repositoryAdmin();
    check(admin->createRepository(QxbString("work"), QxbString("sqlite:" + d.work), QxbString(kPrefix)),
          "createRepository", admin->getLastError().str());
    std::fprintf(stderr, "set-up took %.1f s\n", secondsSince(start));
    return d;
}

// "work" as a fresh copy of a pristine database.
void freshWork(const std::string& pristine) {
    const BenchData& d = data();
    unlink((d.work + "-wal").c_str());
    unlink((d.work + "-shm").c_str());
    copyFile(pristine, d.work);
}

// A session with one handle on the repository "work", released when it ends.
class OpenSession {
public:
    OpenSession() {
        QxbString error;
        session_ = createReferenceDataSession(0, &error);
        check(session_ != nullptr, "createReferenceDataSession", error.str());
        check(session_->open(&handle_, QxbString("work"), &error), "open", error.str());
    }
    ~OpenSession() { session_->release(&handle_); }
    OpenSession(const OpenSession&) = delete;
    OpenSession& operator=(const OpenSession&) = delete;
    RefDataHandle* handle() const { return handle_; }
    RefDataAdmin* admin() const { return session_->getAdmin(handle_); }

private:
    RefData* session_ = nullptr;
    RefDataHandle* handle_ = nullptr;
};

// One removal per iteration on a fresh copy; remove() answers the seconds
// of the removal alone (not the copy, nor opening a session). One untimed
// run first warms the page cache and the heap.
template <typename Remove>
void runRemovals(benchmark::State& state, const std::string& pristine, Remove remove) {
    freshWork(pristine);
    remove();
    for (auto _ : state) {
        freshWork(pristine);
        state.SetIterationTime(remove());
    }
}

void storeRemoval(benchmark::State& state, const std::string& pristine,
                  bool (*remove)(RefDataAdmin*, RefDataHandle*, unsigned), sqlite3_int64 id) {
    runRemovals(state, pristine, [&] {
        OpenSession open;
        watch.on = true;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = remove(open.admin(), open.handle(), static_cast<unsigned>(id));
        const double seconds = secondsSince(start);
        watch.on = false;
        check(ok, "removal", open.handle()->errorText.str());
        return seconds;
    });
}

bool removeVersion(RefDataAdmin* admin, RefDataHandle* handle, unsigned id) {
    return admin->removeDomainVersion(handle, id, kAdminAccount);
}
bool removeDomain(RefDataAdmin* admin, RefDataHandle* handle, unsigned id) {
    return admin->removeDomain(handle, id, kAdminAccount);
}

void BM_RemoveVersion_Store(benchmark::State& state) {
    storeRemoval(state, data().version, removeVersion, data().versionId);
}
void BM_RemoveVersion_Raw(benchmark::State& state) {
    runRemovals(state, data().version, [] {
        RawDb db(data().work);
        const auto start = std::chrono::steady_clock::now();
        rawRemoveVersion(db, data().versionId);
        return secondsSince(start);
    });
}
void BM_RemoveDomain_SmallOther(benchmark::State& state) {
    storeRemoval(state, data().smallOther, removeDomain, data().domainSmall);
}
void BM_RemoveDomain_LargeOther(benchmark::State& state) {
    storeRemoval(state, data().largeOther, removeDomain, data().domainLarge);
}

void rawDomainRemoval(benchmark::State& state, const std::string& pristine, sqlite3_int64 domain) {
    runRemovals(state, pristine, [domain] {
        RawDb db(data().work);
        const auto start = std::chrono::steady_clock::now();
        rawRemoveDomain(db, domain);
        return secondsSince(start);
    });
}
void BM_RemoveDomain_RawSmallOther(benchmark::State& state) {
    rawDomainRemoval(state, data().smallOther, data().domainSmall);
}
void BM_RemoveDomain_RawLargeOther(benchmark::State& state) {
    rawDomainRemoval(state, data().largeOther, data().domainLarge);
}

BENCHMARK(BM_RemoveVersion_Store)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_RemoveVersion_Raw)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_RemoveDomain_SmallOther)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_RemoveDomain_LargeOther)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_RemoveDomain_RawSmallOther)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_RemoveDomain_RawLargeOther)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Prints the usual table, then one line per pair (both times, the ratio and
// whether the goal holds) and what the statement counters saw.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            milliseconds_[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        printPair("version removal", "BM_RemoveVersion_Store", "BM_RemoveVersion_Raw", 2.0);
        printPair("domain removal", "BM_RemoveDomain_LargeOther", "BM_RemoveDomain_SmallOther", 1.5);
        printPair("raw domain removal (reference)", "BM_RemoveDomain_RawLargeOther",
                  "BM_RemoveDomain_RawSmallOther", 0);
        std::printf(
            "store statements during the removals: %ld, full-scan steps %ld, automatic indexes %ld (goal: "
            "none: %s)\n",
            watch.statements, watch.fullScanSteps, watch.autoIndexes,
            watch.fullScanSteps == 0 && watch.autoIndexes == 0 ? "met" : "MISSED");
        for (const std::string& sql : watch.offenders) std::printf("  scans: %s\n", sql.c_str());
    }

private:
    void printPair(const char* what, const std::string& measured, const std::string& base, double maxRatio) {
        if (milliseconds_.count(measured) == 0 || milliseconds_.count(base) == 0 ||
            milliseconds_[base] <= 0) {
            std::printf("%s: not measured (see the errors above)\n", what);
            return;
        }
        const double ratio = milliseconds_[measured] / milliseconds_[base];
        if (maxRatio <= 0) {
            std::printf("%s: %s %.1f ms, %s %.1f ms, ratio %.2f\n", what, measured.substr(3).c_str(),
                        milliseconds_[measured], base.substr(3).c_str(), milliseconds_[base], ratio);
            return;
        }
        std::printf("%s: %s %.1f ms, %s %.1f ms, ratio %.2f (goal ratio <= %.1f: %s)\n", what,
                    measured.substr(3).c_str(), milliseconds_[measured], base.substr(3).c_str(),
                    milliseconds_[base], ratio, maxRatio, ratio <= maxRatio ? "met" : "MISSED");
    }

    std::map<std::string, double> milliseconds_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceConnection));
    data();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::system(("rm -rf '" + data().folder + "'").c_str());
    return 0;
}

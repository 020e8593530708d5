// The store against the raw SQLite C API on a domain of 100,000 items with
// two attribute values each: (a) reading every column of the items-with-
// attributes listing, (b) copying one version's items row by row in a
// transaction. Each pair reports rows per second and the ratio store/raw.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "qxbcpp.h"
#include "raw_sqlite.h"
#include "repadm.h"

namespace {

const int kItems = 100000;
const char kPrefix[] = "b_";

// The items-with-attributes query of one version, as the raw baseline runs it.
const char kRawItemsSql[] =
    BENCH_ITEM_ROWS_SQL("b_") "WHERE d.ID = ?1 AND v.VERSION_NUMBER = ?2 ORDER BY d.ID, vi.ID, iv.ID, l.ID";

struct BenchData {
    std::string folder;
    std::string database;
    RepositoryAdmin* admin = nullptr;
    Repository* repository = nullptr;
    RefDataStore* store = nullptr;
    unsigned domainId = 0;
    unsigned sourceVersion = 0;
    unsigned targetVersion = 0;
};

void check(bool ok, RefDataStore* store, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s failed: %s\n", what, store ? store->getLastError().asCstr() : "");
    std::exit(1);
}

// Builds the domain once, through the store.
BenchData& data() {
    static BenchData d;
    if (d.store) return d;
    char folder[] = "/tmp/store_bench_XXXXXX";
    check(mkdtemp(folder) != nullptr, nullptr, "mkdtemp");
    d.folder = folder;
    d.database = d.folder + "/bench.db";
    qxbSetHomeFolder(folder);
    d.admin = createRepositoryAdmin(1, 0);
    const bool made = d.admin->createRepositoryByDsn(QxbString(("sqlite:" + d.database).c_str()), kPrefix);
    check(made, nullptr, d.admin->getLastError().asCstr());
    d.repository =
        d.admin->openRepositoryByDsn(QxbString(("sqlite:" + d.database).c_str()), kPrefix, 0, 0);
    check(d.repository != nullptr, nullptr, d.admin->getLastError().asCstr());
    RefDataStore* s = d.store = d.repository->createStore();
    const QxbString empty;
    unsigned colour = 0, size = 0;
    check(s->beginTransaction(0, 0), s, "begin");
    check(s->insertDomain("bench", "a large domain", empty, "Y", "Y", "scope", 0, empty, 1, 0,
                          QxbDate(), "L", &d.domainId),
          s, "insertDomain");
    check(s->insertDomainVersion(d.domainId, 1, "one", "Y", "Y", empty, 1, "N", 0, QxbDate(),
                                 &d.sourceVersion),
          s, "insertDomainVersion");
    check(s->insertDomainVersion(d.domainId, 2, "two", "Y", "Y", empty, 1, "N", 0, QxbDate(),
                                 &d.targetVersion),
          s, "insertDomainVersion");
    check(s->insertAttribute("colour", "Colour", 1, "SINGLELINETEXT", 1, 1, 1, empty, &colour), s,
          "attr");
    check(s->insertAttribute("size", "Size", 1, "SINGLELINETEXT", 1, 1, 1, empty, &size), s,
          "attr");
    for (int n = 0; n < kItems; ++n) {
        const std::string key = "ITEM" + std::to_string(n);
        unsigned itemId = 0, versionItem = 0;
        check(s->insertItem(key.c_str(), "item text", "Y", "Y", "P", 1, &itemId), s, "insertItem");
        check(s->insertVersionItem(d.sourceVersion, itemId, n, QxbString(("label " + key).c_str()),
                                   0xFFFFFFFFu, nullptr, &versionItem),
              s, "insertVersionItem");
        for (unsigned attribute : {colour, size}) {
            unsigned valueId = 0;
            check(s->insertItemAttributeValue(versionItem, attribute, &valueId), s, "value");
            check(s->insertVersionItemValue(d.sourceVersion, valueId), s, "versionValue");
            const QxbString text(("value " + std::to_string(n)).c_str());
            check(s->writeRow(&text, nullptr, 1, valueId, &d.sourceVersion, nullptr, nullptr), s,
                  "writeRow");
        }
    }
    check(s->endTransaction(true), s, "commit");
    return d;
}

sqlite3* openRaw() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(data().database.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", data().database.c_str());
        std::exit(1);
    }
    sqlite3_busy_timeout(db, 5000);
    repadm::addSqliteFunctions(db);
    return db;
}

// (a) reading every column of every row.
void BM_ReadItems_Store(benchmark::State& state) {
    BenchData& d = data();
    std::int64_t rows = 0;
    for (auto _ : state) {
        StoreResultSet* rs = d.store->listItemsWithAttributesOfVersion(d.domainId, 1);
        const int columns = rs->getColumnCount();
        while (rs->next() == 1) {
            for (int c = 0; c < columns; ++c) {
                QxbDatavar value = rs->getValue(c);
                benchmark::DoNotOptimize(value);
            }
            ++rows;
        }
        rs->release();
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

void BM_ReadItems_Raw(benchmark::State& state) {
    BenchData& d = data();
    sqlite3* db = openRaw();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kRawItemsSql, -1, &stmt, nullptr);
    std::int64_t rows = 0;
    for (auto _ : state) {
        sqlite3_bind_int(stmt, 1, static_cast<int>(d.domainId));
        sqlite3_bind_int(stmt, 2, 1);
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                    case SQLITE_INTEGER:
                        benchmark::DoNotOptimize(sqlite3_column_int(stmt, c));
                        break;
                    case SQLITE_FLOAT:
                        benchmark::DoNotOptimize(sqlite3_column_double(stmt, c));
                        break;
                    case SQLITE_TEXT: {
                        std::string text(
                            reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                            static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
                        benchmark::DoNotOptimize(text);
                        break;
                    }
                    default: break;
                }
            }
            ++rows;
        }
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

// (b) copying one version's items into another, rolled back after each pass
// so that every pass starts from the same database.
void BM_CopyItems_Store(benchmark::State& state) {
    BenchData& d = data();
    RefDataStore* s = d.store;
    const QxbString empty;
    std::int64_t rows = 0;
    for (auto _ : state) {
        check(s->beginTransaction(0, 0), s, "begin");
        StoreResultSet* rs = s->listVersionItems(0xFFFFFFFFu, d.sourceVersion, 0xFFFFFFFFu,
                                                 QxbDate(), 0xFFFFFFFFu, empty, 0xFFFFFFFFu);
        while (rs->next() == 1) {
            check(s->insertVersionItem(d.targetVersion, rs->getInt(2), rs->getInt(4),
                                       rs->getString(5), static_cast<unsigned>(rs->getInt(6)),
                                       nullptr),
                  s, "insertVersionItem");
            ++rows;
        }
        rs->release();
        state.PauseTiming();
        check(s->endTransaction(false), s, "rollback");
        state.ResumeTiming();
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

void BM_CopyItems_Raw(benchmark::State& state) {
    BenchData& d = data();
    sqlite3* db = openRaw();
    sqlite3_stmt* select = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(
        db,
        "SELECT ID, VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL, PARENT_ITEM_ID FROM "
        "b_version_items WHERE VERSION_ID = ? ORDER BY ID",
        -1, &select, nullptr);
    sqlite3_prepare_v2(
        db,
        "INSERT INTO b_version_items (VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL, "
        "PARENT_ITEM_ID) VALUES (?, ?, julianday('now'), ?, ?, ?)",
        -1, &insert, nullptr);
    std::int64_t rows = 0;
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_int(select, 1, static_cast<int>(d.sourceVersion));
        while (sqlite3_step(select) == SQLITE_ROW) {
            sqlite3_bind_int(insert, 1, static_cast<int>(d.targetVersion));
            sqlite3_bind_int(insert, 2, sqlite3_column_int(select, 2));
            sqlite3_bind_int(insert, 3, sqlite3_column_int(select, 4));
            sqlite3_bind_text(insert, 4,
                              reinterpret_cast<const char*>(sqlite3_column_text(select, 5)),
                              sqlite3_column_bytes(select, 5), SQLITE_TRANSIENT);
            if (sqlite3_column_type(select, 6) == SQLITE_NULL)
                sqlite3_bind_null(insert, 5);
            else
                sqlite3_bind_int(insert, 5, sqlite3_column_int(select, 6));
            sqlite3_step(insert);
            sqlite3_reset(insert);
            ++rows;
        }
        sqlite3_reset(select);
        state.PauseTiming();
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        state.ResumeTiming();
    }
    sqlite3_finalize(select);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ReadItems_Store)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadItems_Raw)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CopyItems_Store)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CopyItems_Raw)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Prints the usual table, then the store/raw ratio of each pair.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            seconds_[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
            cpu_[name.substr(0, name.find('/'))] = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* pair : {"BM_ReadItems", "BM_CopyItems"}) {
            const std::string store = std::string(pair) + "_Store";
            const std::string raw = std::string(pair) + "_Raw";
            if (seconds_.count(store) && seconds_.count(raw) && seconds_[raw] > 0) {
                std::printf("%s ratio store/raw = %.2f real, %.2f cpu (goal <= 1.50)\n", pair,
                            seconds_[store] / seconds_[raw], cpu_[store] / cpu_[raw]);
            }
        }
    }

private:
    std::map<std::string, double> seconds_;
    std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    data();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    BenchData& d = data();
    d.store->release();
    d.repository->release();
    d.admin->release();
    std::system(("rm -rf '" + d.folder + "'").c_str());
    return 0;
}

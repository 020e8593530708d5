// The query layer's items-with-attributes query over one domain version of
// 1,000,000 item rows (200,000 items with five attribute values each),
// against a raw SQLite C-API read of the same ten columns. Reports rows per
// second, the time ratio query/raw, and the memory the answered cursor holds.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "RefData.h"
#include "RefDataViewer.h"
#include "qxbcpp.h"
#include "raw_sqlite.h"
#include "repadm.h"

namespace {

const int kItems = 200000;
const int kValuesPerItem = 5;
const char kPrefix[] = "b_";
// The data is built once and kept: building it takes longer than measuring.
const char kFolder[] = "/tmp/rdm_items_bench_v2";

// The same ten columns as the store's query of one version.
const char kRawSql[] = BENCH_ITEM_ROWS_SQL("b_") "WHERE d.NAME = 'bench' AND v.VERSION_NUMBER = 1 ORDER BY d.ID, vi.ID, iv.ID, l.ID";

void check(bool ok, RefDataStore* store, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s failed: %s\n", what, store != nullptr ? store->getLastError().asCstr() : "");
    std::exit(1);
}

std::string database() { return std::string(kFolder) + "/data/bench.db"; }

void buildDomain(RefDataStore* s) {
    const QxbString empty;
    unsigned domain = 0, version = 0;
    unsigned attributes[kValuesPerItem] = {};
    check(s->beginTransaction(0, 0), s, "begin");
    check(s->insertDomain("bench", "a large domain", empty, "Y", "Y", "scope", 0, empty, 1, 0, QxbDate(), "L",
                          &domain),
          s, "insertDomain");
    check(s->insertDomainVersion(domain, 1, "one", "Y", "Y", empty, 1, "N", 0, QxbDate(), &version), s,
          "insertDomainVersion");
    for (int a = 0; a < kValuesPerItem; ++a) {
        const std::string name = "attribute" + std::to_string(a);
        check(s->insertAttribute(QxbString(name), QxbString("Attribute " + std::to_string(a)), 1, "SINGLELINETEXT", 1,
                                 1, 1, empty, &attributes[a]),
              s, "insertAttribute");
    }
    for (int n = 0; n < kItems; ++n) {
        const std::string key = "ITEM" + std::to_string(n);
        unsigned item = 0, versionItem = 0;
        check(s->insertItem(QxbString(key), "item text", "Y", "Y", "P", 1, &item), s, "insertItem");
        check(s->insertVersionItem(version, item, n, QxbString("label " + key), 0xFFFFFFFFu, nullptr, &versionItem), s,
              "insertVersionItem");
        for (const unsigned attribute : attributes) {
            unsigned value = 0;
            check(s->insertItemAttributeValue(versionItem, attribute, &value), s, "insertItemAttributeValue");
            check(s->insertVersionItemValue(version, value), s, "insertVersionItemValue");
            const QxbString text("value " + std::to_string(n) + "/" + std::to_string(attribute));
            check(s->writeRow(&text, nullptr, 1, value, &version, nullptr, nullptr), s, "writeRow");
        }
    }
    check(s->endTransaction(true), s, "commit");
}

// A repository "bench" in the benchmark's home folder, built when missing.
void prepare() {
    static bool ready = false;
    if (ready) return;
    qxbSetHomeFolder(kFolder);
    QxbString error;
    if (!qxbEnsureHomeFolder(&error)) {
        std::fprintf(stderr, "%s\n", error.asCstr());
        std::exit(1);
    }
    const std::string marker = std::string(kFolder) + "/complete";
    struct stat info {};
    if (stat(marker.c_str(), &info) != 0) {
        std::fprintf(stderr, "building %d items with %d values each (once) ...\n", kItems, kValuesPerItem);
        std::remove(database().c_str());
        std::remove((std::string(kFolder) + "/repositories/bench.repo").c_str());
        RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
        const QxbString dsn("sqlite:data/bench.db");
        const bool made = admin->createRepositoryByDsn(dsn, QxbString(kPrefix));
        check(made, nullptr, admin->getLastError().asCstr());
        Repository* data = admin->openRepositoryByDsn(dsn, QxbString(kPrefix), 0, 0);
        check(data != nullptr, nullptr, admin->getLastError().asCstr());
        RefDataStore* store = data->createStore();
        buildDomain(store);
        store->release();
        data->release();
        check(admin->createRepository(QxbString("bench"), dsn, QxbString(kPrefix)), nullptr, "createRepository");
        admin->release();
        std::fclose(std::fopen(marker.c_str(), "w"));
    }
    ready = true;
}

void BM_ItemsQuery(benchmark::State& state) {
    prepare();
    QxbString error;
    RefData* session = createReferenceDataSession(0, &error);
    RefDataHandle* handle = nullptr;
    if (!session->open(&handle, QxbString("bench"), &error)) {
        state.SkipWithError(error.asCstr());
        return;
    }
    RefDataViewer* viewer = session->getViewer(handle);
    std::int64_t rows = 0;
    double heldBytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString("bench"), 1);
        if (cursor == nullptr) {
            state.SkipWithError(session->getErrorText(handle).asCstr());
            break;
        }
        heldBytes = static_cast<double>(mallinfo2().uordblks - before);
        while (cursor->next() == 0) ++rows;
        cursor->release();
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    state.counters["cursor_MiB"] = heldBytes / (1024.0 * 1024.0);
    state.counters["bytes/row"] = heldBytes / (kItems * kValuesPerItem);
    session->release(&handle);
}

// The store's listing alone, every column read through getValue: what the
// query layer adds on top of it is the copy into its in-memory cursor.
void BM_ItemsStoreListing(benchmark::State& state) {
    prepare();
    RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
    Repository* data = admin->openRepositoryByDsn(QxbString("sqlite:data/bench.db"), QxbString(kPrefix), 0, 0);
    RefDataStore* store = data->createStore();
    std::int64_t rows = 0;
    for (auto _ : state) {
        StoreResultSet* resultSet = store->listItemsWithAttributesOfVersion(1, 1);
        while (resultSet->next() == 1) {
            for (int c = 0; c < 10; ++c) benchmark::DoNotOptimize(resultSet->getValue(c));
            ++rows;
        }
        resultSet->release();
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    store->release();
    data->release();
    admin->release();
}

void readColumn(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER: benchmark::DoNotOptimize(sqlite3_column_int64(statement, column)); break;
        case SQLITE_FLOAT: benchmark::DoNotOptimize(sqlite3_column_double(statement, column)); break;
        case SQLITE_TEXT: benchmark::DoNotOptimize(sqlite3_column_text(statement, column)); break;
        default: break;
    }
}

void BM_ItemsRawSqlite(benchmark::State& state) {
    prepare();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database().c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the database");
        return;
    }
    repadm::addSqliteFunctions(db);
    std::int64_t rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, kRawSql, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < 10; ++c) readColumn(statement, c);
            ++rows;
        }
        sqlite3_finalize(statement);
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    sqlite3_close(db);
}

}  // namespace

BENCHMARK(BM_ItemsRawSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ItemsStoreListing)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ItemsQuery)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();

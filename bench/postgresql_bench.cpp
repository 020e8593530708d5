// The store on PostgreSQL against SQLite and against raw libpq, in one run,
// on the server that RDM_BENCH_POSTGRESQL (else RDM_TEST_POSTGRESQL) names;
// bench/run --all starts a throwaway one. Without a server it says so and
// exits 0. A fresh home folder and a schema of its own on the server get a
// domain of 350,000 items by default (an argument gives another count), the
// CSV scale_bench writes (two languages, a parent column, a note on 6 of 7:
// about 2.86 texts an item, 1,000,000 at 350,000 items). Then:
//
//   import   rdm import of the CSV into a SQLite repository and into one on
//            PostgreSQL (whole processes): the two times side by side;
//   read     every item row of the version (the item listing: an item with
//            each of its texts, 1,000,000 rows at 350,000 items) through the
//            store on PostgreSQL, each cell read as a text, against raw
//            libpq running the same SQL through the same kind of cursor
//            (DECLARE ... WITH HOLD, FETCH 1000) and reading each cell
//            (goal: at most 1.5x);
//   writers  two rdm imports of new releases of the domain started at once
//            on PostgreSQL: both must succeed with version numbers of their
//            own.
//
// A report: it exits 0 when a goal is missed (MISSED) and 1 only when a
// command or a statement fails.
#include <libpq-fe.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "raw_sqlite.h"
#include "release_data.h"
#include "repadm.h"

namespace {

const double kReadGoalRatio = 1.5;
const char kPrefix[] = "kiv_rdm_";

std::string home;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "postgresql_bench: %s\n", what.c_str());
    std::exit(1);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void writeCsv(const std::string& path, int items, int changeEvery) {
    if (!benchdata::writeReleaseCsv(path, items, changeEvery)) fail("cannot write " + path);
}

std::string rdmCommand(const std::string& arguments) {
    return std::string(RDM_BINARY_DIR) + "/rdm --home '" + home + "' " + arguments;
}

double timedRdm(const std::string& arguments) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system((rdmCommand(arguments) + " >/dev/null").c_str());
    if (status != 0) fail("failed (" + std::to_string(status) + "): rdm " + arguments);
    return secondsSince(start);
}

class Server {
public:
    explicit Server(const char* uri) : connection_(PQconnectdb(uri)) {
        if (PQstatus(connection_) != CONNECTION_OK) fail(std::string("cannot connect: ") + PQerrorMessage(connection_));
        PQsetNoticeProcessor(connection_, [](void*, const char*) {}, nullptr);
    }
    ~Server() { PQfinish(connection_); }
    void run(const std::string& sql) {
        PGresult* result = PQexec(connection_, sql.c_str());
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
        PQclear(result);
        if (!ok) fail(sql + ": " + PQerrorMessage(connection_));
    }
    PGconn* handle() { return connection_; }

private:
    PGconn* connection_;
};

// The item listing's SQL, as the store runs it for a domain's version.
std::string itemListing() {
    std::string sql =
        "SELECT i.ID AS ID, i.ITEM_KEY AS ITEM_KEY, COALESCE(vi.LABEL, i.ITEM_TEXT) AS ITEM_LABEL, "
        "vi.PARENT_ITEM_ID AS PARENT_ID, t.TEXT_VALUE AS ATTRIBUTE_VALUE, a.NAME AS ATTRIBUTE_NAME, "
        "a.LABEL AS ATTRIBUTE_DESCRIPTION, g.CODE AS LANGUAGE, d.NAME AS DOMAIN, "
        "v.VERSION_NUMBER AS DOMAIN_VERSION "
        "FROM {P}domains d JOIN {P}domain_versions v ON v.DOMAIN_ID = d.ID "
        "JOIN {P}version_items vi ON vi.VERSION_ID = v.ID "
        "JOIN {P}items i ON i.ID = vi.ITEM_ID "
        "LEFT JOIN {P}item_attribute_values iv ON iv.ITEM_ID = vi.ITEM_ID "
        "  AND (iv.VERSION_ITEM_ID = vi.ID OR iv.VERSION_ID IS DISTINCT FROM v.ID) "
        "LEFT JOIN {P}version_item_value_links l ON l.ITEM_ATTRIBUTE_VALUE_ID = iv.ID "
        "  AND " BENCH_LINK_HELD_BY("{P}", "v.ID", "l") " "
        "LEFT JOIN {P}localized_texts t ON t.ID = l.LOCALIZED_TEXT_ID "
        "LEFT JOIN {P}attributes a ON a.ID = iv.ATTRIBUTE_ID AND l.ID IS NOT NULL "
        "LEFT JOIN {P}languages g ON g.ID = t.LANGUAGE_ID "
        "WHERE (l.ID IS NOT NULL OR iv.ID IS NULL OR (iv.ID = (SELECT MIN(w.ID) FROM {P}item_attribute_values w "
        "  WHERE w.ITEM_ID = vi.ITEM_ID AND (w.VERSION_ITEM_ID = vi.ID OR w.VERSION_ID IS DISTINCT FROM v.ID)) "
        "  AND NOT EXISTS (SELECT 1 FROM {P}item_attribute_values w JOIN {P}version_item_value_links x "
        "  ON x.ITEM_ATTRIBUTE_VALUE_ID = w.ID WHERE w.ITEM_ID = vi.ITEM_ID "
        "  AND (w.VERSION_ITEM_ID = vi.ID OR w.VERSION_ID IS DISTINCT FROM v.ID) "
        "  AND " BENCH_LINK_HELD_BY("{P}", "v.ID", "x") "))) "
        "AND d.ID = 1 AND v.VERSION_NUMBER = 1 ORDER BY d.ID, v.ID, vi.ID, iv.ID, l.ID";
    for (std::size_t at = sql.find("{P}"); at != std::string::npos; at = sql.find("{P}", at))
        sql.replace(at, 3, kPrefix);
    return sql;
}

// Raw libpq: the same SQL through a cursor fetched 1,000 rows at a time,
// every cell read; answers the rows.
long rawRead(Server& server, std::size_t* bytes) {
    server.run("DECLARE raw_read NO SCROLL CURSOR WITH HOLD FOR " + itemListing());
    long rows = 0;
    for (;;) {
        PGresult* batch = PQexec(server.handle(), "FETCH 1000 FROM raw_read");
        if (PQresultStatus(batch) != PGRES_TUPLES_OK) fail(std::string("FETCH: ") + PQerrorMessage(server.handle()));
        const int count = PQntuples(batch);
        for (int row = 0; row < count; ++row)
            for (int column = 0; column < PQnfields(batch); ++column)
                *bytes += PQgetisnull(batch, row, column) ? 0 : std::string(PQgetvalue(batch, row, column)).size();
        rows += count;
        PQclear(batch);
        if (count < 1000) break;
    }
    server.run("CLOSE raw_read");
    return rows;
}

// Through the store: the item listing, every cell read as a text.
long storeRead(const std::string& dsn, std::size_t* bytes) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
    if (!admin) fail("no repository admin");
    Repository* repository = admin->openRepositoryByDsn(dsn.c_str(), kPrefix, 0, 0);
    if (!repository) fail("cannot open the repository: " + admin->getLastError().str());
    RefDataStore* store = repository->createStore();
    StoreResultSet* rows = store->listItemsWithAttributes(1, 1);
    if (!rows) fail("listItemsWithAttributes: " + store->getLastError().str());
    long count = 0;
    int answer = 0;
    while ((answer = rows->next()) == 1) {
        for (int column = 0; column < rows->getColumnCount(); ++column)
            *bytes += rows->isNull(column) ? 0 : rows->getString(column).str().size();
        ++count;
    }
    if (answer != 0) fail("the item listing ended in an error: " + store->getLastError().str());
    rows->release();
    store->release();
    repository->release();
    admin->release();
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    const char* server = std::getenv("RDM_BENCH_POSTGRESQL");
    if (!server || !*server) server = std::getenv("RDM_TEST_POSTGRESQL");
    if (!server || !*server) {
        std::printf("postgresql_bench: no PostgreSQL server (set RDM_BENCH_POSTGRESQL); nothing measured\n");
        return 0;
    }
    const int items = argc > 1 ? std::atoi(argv[1]) : 350000;
    if (items < 100) fail("give at least 100 items");

    char folder[] = "/tmp/rdm-pg-bench.XXXXXX";
    if (!mkdtemp(folder)) fail("cannot make a temporary folder");
    home = folder;
    const std::string schema = "rdm_bench_" + std::to_string(getpid());
    Server admin(server);
    admin.run("CREATE SCHEMA " + schema);
    const std::string uri = server;
    const std::string dsn = uri + (uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;

    writeCsv(home + "/release1.csv", items, 0);
    writeCsv(home + "/release2.csv", items / 10, 10);
    writeCsv(home + "/release3.csv", items / 10, 20);
    timedRdm("repo create lite");
    timedRdm("repo create shared --dsn '" + dsn + "'");
    std::fprintf(stderr, "importing %d items on SQLite ...\n", items);
    const double importSqlite = timedRdm("import lite D '" + home + "/release1.csv' --quiet");
    std::fprintf(stderr, "importing %d items on PostgreSQL ...\n", items);
    const double importPostgresql = timedRdm("import shared D '" + home + "/release1.csv' --quiet");

    std::fprintf(stderr, "reading ...\n");
    std::size_t storeBytes = 0, rawBytes = 0;
    auto start = std::chrono::steady_clock::now();
    const long storeRows = storeRead(dsn, &storeBytes);
    const double storeSeconds = secondsSince(start);
    Server raw((dsn).c_str());
    start = std::chrono::steady_clock::now();
    const long rawRows = rawRead(raw, &rawBytes);
    const double rawSeconds = secondsSince(start);
    if (storeRows != rawRows || storeBytes != rawBytes) fail("the store and the raw read differ");

    // Two writers at once: the domain's next two versions, from two processes.
    std::fprintf(stderr, "two writers at once ...\n");
    writeCsv(home + "/small.csv", items / 10, 0);
    timedRdm("import shared W '" + home + "/small.csv' --quiet");
    start = std::chrono::steady_clock::now();
    const std::string both = "(" + rdmCommand("import shared W '" + home + "/release2.csv' --quiet") + " & " +
                             rdmCommand("import shared W '" + home + "/release3.csv' --quiet") +
                             "; first=$?; wait $!; second=$?; exit $((first | second))) >/dev/null 2>&1";
    const int bothStatus = std::system(both.c_str());
    const double bothSeconds = secondsSince(start);
    FILE* versions = popen(rdmCommand("versions shared W --format csv").c_str(), "r");
    std::set<std::string> numbers;
    int lines = 0;
    char line[512];
    while (versions && std::fgets(line, sizeof line, versions)) {
        if (lines++ == 0) continue;  // the header
        std::string text(line);
        const std::size_t first = text.find(',');
        const std::size_t second = text.find(',', first + 1);
        numbers.insert(text.substr(second + 1, text.find(',', second + 1) - second - 1));
    }
    if (versions) pclose(versions);

    admin.run("DROP SCHEMA " + schema + " CASCADE");
    if (std::system(("rm -rf '" + home + "'").c_str()) != 0) fail("cannot remove " + home);

    const double ratio = storeSeconds / rawSeconds;
    std::printf("import of %d items (about 2.86 texts an item): SQLite %.2f s, PostgreSQL %.2f s (%.1fx)\n", items,
                importSqlite, importPostgresql, importPostgresql / importSqlite);
    std::printf("read of %ld item rows on PostgreSQL: store %.2f s, raw libpq %.2f s: %.2fx (goal: at most %.1fx) %s\n",
                storeRows, storeSeconds, rawSeconds, ratio, kReadGoalRatio, ratio <= kReadGoalRatio ? "met" : "MISSED");
    const bool writersMet = bothStatus == 0 && lines == 4 && numbers == std::set<std::string>{"1", "2", "3"};
    std::printf("two imports of %d items at once: %s in %.2f s, versions %s %s\n", items / 10,
                bothStatus == 0 ? "both succeeded" : "one FAILED", bothSeconds,
                numbers.size() == 3 ? "1, 2, 3 (unique)" : "NOT unique", writersMet ? "met" : "MISSED");
    return 0;
}

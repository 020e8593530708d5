// rdm at three sizes against the raw SQLite C API, in one run. For each size
// (10,000, 100,000 and 350,000 items by default; arguments give others) a
// fresh home folder gets two repositories made by `rdm repo create`: "demo",
// which the rdm processes work on, and "raw", the same schema and indexes,
// which a plain SQLite loop writes the same rows into. Five works are timed:
//
//   import   rdm import of a CSV of N items (a hierarchy: every item but each
//            tenth under the tenth before it) with name@en, name@de on every
//            item and note on 6 of 7 (about 2.86 texts per item);
//            raw: prepared INSERTs of the rows the import writes (domain,
//            version, attributes, items, version items, item values, version
//            item values, texts, links, change records) in one transaction;
//   read     rdm export of the domain to /dev/null;
//            raw: one SELECT joining the version's rows, stepped to the end;
//   copy     rdm copy of the domain;
//            raw: INSERT ... SELECT of the version's rows;
//   removal  rdm remove of the copied domain;
//            raw: the set-based DELETEs of the copy's rows;
//   diff     rdm diff of the first release against a second one that
//            changes 1% of the items (imported untimed after the removal);
//            its yardstick is rdm export of both versions, not raw SQLite.
//            Then both releases are imported, untimed, into a repository of
//            their own: the second one's growth of the pages in use.
//
// The rdm times are whole processes (start, open, work, exit); the raw times
// include opening and closing the connection (the close checkpoints the WAL
// as the process's exit does). After each write the row counts of both
// databases are compared, so the baseline provably writes what rdm writes.
//
// Prints one table, the growth of each work's cost per item from the
// smallest to the largest size (goal: within 1.5x) and the import goals
// (350,000 items under 15 s and at most 2x raw). It is a report: it exits 0
// when a goal is missed (the table says MISSED) and 1 only when a command or
// a SQL statement fails.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "raw_sqlite.h"
#include "release_data.h"

namespace {

const double kGrowthGoal = 1.5;
const int kGoalItems = 350000;
const double kImportGoalSeconds = 15.0;
const double kImportGoalRatio = 2.0;
const char kPrefix[] = "kiv_rdm_";
const char kDomain[] = "big";
const char kCopy[] = "big copy";

std::string home;
std::vector<std::string> notes;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "scale_bench: %s\n", what.c_str());
    std::exit(1);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- the data --------------------------------------------------------------------------------------------

using benchdata::hasNote;
using benchdata::key;
using benchdata::label;
using benchdata::nameDe;
using benchdata::nameEn;
using benchdata::note;
using benchdata::parentOf;
using benchdata::textCount;

void writeCsv(const std::string& path, int items, int changeEvery = 0) {
    if (!benchdata::writeReleaseCsv(path, items, changeEvery)) fail("cannot write " + path);
}

// --- rdm -------------------------------------------------------------------------------------------------

void rdm(const std::string& arguments) {
    const std::string command = std::string(RDM_BINARY_DIR) + "/rdm --home '" + home + "' " + arguments;
    const int status = std::system(command.c_str());
    if (status != 0) fail("failed (" + std::to_string(status) + "): " + command);
}

double timedRdm(const std::string& arguments) {
    const auto start = std::chrono::steady_clock::now();
    rdm(arguments);
    return secondsSince(start);
}

// --- raw SQLite ------------------------------------------------------------------------------------------

std::string withPrefix(std::string sql) {
    for (std::size_t at = sql.find("{P}"); at != std::string::npos; at = sql.find("{P}", at))
        sql.replace(at, 3, kPrefix);
    return sql;
}

// A connection set up as the store sets up its own: WAL, synchronous=NORMAL.
class Database {
public:
    explicit Database(const std::string& path, bool writable = true) {
        const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) fail("cannot open " + path);
        if (writable) exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
        repadm::addSqliteFunctions(db_);
    }
    ~Database() { sqlite3_close_v2(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return db_; }
    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, withPrefix(sql).c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message != nullptr ? message : "?";
            sqlite3_free(message);
            fail(text + " in: " + sql);
        }
    }

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(Database& db, const std::string& sql) : db_(db.handle()), sql_(sql) {
        if (sqlite3_prepare_v2(db_, withPrefix(sql).c_str(), -1, &statement_, nullptr) != SQLITE_OK)
            fail(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& text(int index, const std::string& value) {
        sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& integer(int index, sqlite3_int64 value) {
        sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    Statement& real(int index, double value) {
        sqlite3_bind_double(statement_, index, value);
        return *this;
    }
    Statement& null(int index) {
        sqlite3_bind_null(statement_, index);
        return *this;
    }
    Statement& blob(int index, const std::string& value) {
        sqlite3_bind_blob(statement_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // Runs a write to its end; answers the new row's id.
    sqlite3_int64 run() {
        if (sqlite3_step(statement_) != SQLITE_DONE) fail(std::string(sqlite3_errmsg(db_)) + " in: " + sql_);
        sqlite3_reset(statement_);
        return sqlite3_last_insert_rowid(db_);
    }
    // Steps a query; answers false at its end.
    bool next() {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW) return true;
        if (result != SQLITE_DONE) fail(std::string(sqlite3_errmsg(db_)) + " in: " + sql_);
        return false;
    }
    sqlite3_stmt* handle() const { return statement_; }

private:
    sqlite3* db_;
    std::string sql_;
    sqlite3_stmt* statement_ = nullptr;
};

double julianNow() {
    return 2440587.5 + static_cast<double>(std::time(nullptr)) / 86400.0;
}

struct RawIds {
    sqlite3_int64 domain = 0;
    sqlite3_int64 version = 0;
    sqlite3_int64 copyDomain = 0;
    sqlite3_int64 copyVersion = 0;
};

// The rows rdm import writes for a new domain, written with prepared
// statements in one transaction.
double rawImport(const std::string& path, int items, RawIds* ids) {
    const auto start = std::chrono::steady_clock::now();
    {
        Database db(path);
        Statement domain(db,
                         "INSERT INTO {P}domains (NAME, FLAG1, FLAG2, NUMBER1, ACCOUNT_ID, NUMBER10, CREATED) "
                         "VALUES (?, 'Y', 'Y', 0, 1, 0, ?)");
        Statement attribute(db,
                            "INSERT INTO {P}attributes (TYPE_ID, CONTEXT_ID, NAME, LABEL, TYPE_NAME, LANGUAGE_ID, "
                            "FLAG, CREATED, ACCOUNT_ID) VALUES (1, 2, ?, ?, 'SINGLELINETEXT', 1, 'N', ?, 1)");
        Statement version(db,
                          "INSERT INTO {P}domain_versions (DOMAIN_ID, VERSION_NUMBER, LABEL, FLAG1, FLAG2, "
                          "ACCOUNT_ID, FLAG8, NUMBER9, DATE10, CREATED) VALUES (?, 1, 'Version 1', 'Y', 'Y', 1, 'N', "
                          "-1, ?, ?)");
        Statement domainAttribute(db, "INSERT INTO {P}domain_attributes (DOMAIN_ID, ATTRIBUTE_ID) VALUES (?, ?)");
        Statement versionAttribute(db,
                                   "INSERT INTO {P}version_attributes (DOMAIN_ID, DOMAIN_ATTRIBUTE_ID, VERSION_ID, "
                                   "FLAG) VALUES (?, ?, ?, 'Y')");
        Statement item(db,
                       "INSERT INTO {P}items (ITEM_KEY, ITEM_TEXT, FLAG1, FLAG2, TEXT2, ACCOUNT_ID) "
                       "VALUES (?, ?, 'Y', 'Y', 'P', 1)");
        Statement versionItem(db,
                              "INSERT INTO {P}version_items (VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL, "
                              "PARENT_ITEM_ID) VALUES (?, ?, ?, ?, ?, ?)");
        Statement value(db,
                        "INSERT INTO {P}item_attribute_values (VERSION_ITEM_ID, ATTRIBUTE_ID, ITEM_ID, VERSION_ID) "
                        "VALUES (?, ?, ?, ?)");
        Statement versionValue(db,
                               "INSERT INTO {P}version_item_values (VERSION_ID, ITEM_ATTRIBUTE_VALUE_ID) VALUES (?, ?)");
        Statement text(db, "INSERT INTO {P}localized_texts (TEXT_VALUE, LANGUAGE_ID) VALUES (?, ?)");
        Statement link(db,
                       "INSERT INTO {P}version_item_value_links (VERSION_ID, LOCALIZED_TEXT_ID, "
                       "ITEM_ATTRIBUTE_VALUE_ID) VALUES (?, ?, ?)");
        Statement record(db,
                         "INSERT INTO {P}change_records (DOMAIN_ID, STATUS, OBJECT_ID, TABLE_CODE, DESCRIPTION, "
                         "LANGUAGE_ID, ACCOUNT_ID, CREATED) VALUES (?, 'A', ?, ?, ?, 1, 1, ?)");
        Statement linkBlock(db, "INSERT INTO {P}version_link_sets (VERSION_ID, BLOCK, BITS) VALUES (?, ?, ?)");
        // The version's bitmaps of the links it holds, by block of 4096 ids.
        std::map<sqlite3_int64, std::string> blocks;
        auto hold = [&](sqlite3_int64 linkId) {
            std::string& bits = blocks[linkId / 4096];
            bits.resize(512, '\0');
            bits[static_cast<std::size_t>(linkId % 4096 / 8)] |= static_cast<char>(1 << (linkId % 8));
        };
        const double now = julianNow();

        db.exec("BEGIN IMMEDIATE");
        ids->domain = domain.text(1, kDomain).real(2, now).run();
        const sqlite3_int64 name = attribute.text(1, "name").text(2, "name").real(3, now).run();
        const sqlite3_int64 noteAttribute = attribute.text(1, "note").text(2, "note").real(3, now).run();
        ids->version = version.integer(1, ids->domain).real(2, now).real(3, now).run();
        for (const sqlite3_int64 attributeId : {name, noteAttribute}) {
            const sqlite3_int64 id = domainAttribute.integer(1, ids->domain).integer(2, attributeId).run();
            versionAttribute.integer(1, ids->domain).integer(2, id).integer(3, ids->version).run();
        }
        std::vector<sqlite3_int64> itemIds(static_cast<std::size_t>(items));
        auto addValue = [&](sqlite3_int64 versionItemId, sqlite3_int64 itemId, sqlite3_int64 attributeId,
                            const std::string& first, int firstLanguage, const std::string* second) {
            const sqlite3_int64 valueId =
                value.integer(1, versionItemId).integer(2, attributeId).integer(3, itemId).integer(4, ids->version).run();
            versionValue.integer(1, ids->version).integer(2, valueId).run();
            const sqlite3_int64 firstText = text.text(1, first).integer(2, firstLanguage).run();
            hold(link.integer(1, ids->version).integer(2, firstText).integer(3, valueId).run());
            if (second == nullptr) return;
            const sqlite3_int64 secondText = text.text(1, *second).integer(2, 2).run();
            hold(link.integer(1, ids->version).integer(2, secondText).integer(3, valueId).run());
        };
        for (int n = 0; n < items; ++n) {
            const sqlite3_int64 itemId = item.text(1, key(n)).text(2, label(n)).run();
            itemIds[static_cast<std::size_t>(n)] = itemId;
            versionItem.integer(1, ids->version).integer(2, itemId).real(3, now).integer(4, n + 1).text(5, label(n));
            const int parent = parentOf(n);
            if (parent < 0)
                versionItem.null(6);
            else
                versionItem.integer(6, itemIds[static_cast<std::size_t>(parent)]);
            const sqlite3_int64 versionItemId = versionItem.run();
            const std::string german = nameDe(n);
            addValue(versionItemId, itemId, name, nameEn(n), 1, &german);
            if (hasNote(n)) addValue(versionItemId, itemId, noteAttribute, note(n), 1, nullptr);
        }
        auto addRecord = [&](sqlite3_int64 object, const char* table, const std::string& description) {
            record.integer(1, ids->domain);
            if (object < 0)
                record.null(2);
            else
                record.integer(2, object);
            record.text(3, table).text(4, description).real(5, now).run();
        };
        addRecord(-1, "RDDOMS", "Created Domain: ID = " + std::to_string(ids->domain) + ", NAME = " + kDomain);
        addRecord(name, "RDATRS", "Created Attribute: ID = " + std::to_string(name) + " , NAME = name");
        addRecord(noteAttribute, "RDATRS", "Created Attribute: ID = " + std::to_string(noteAttribute) + " , NAME = note");
        addRecord(ids->version, "RDDOVR", "Created Version: ID = " + std::to_string(ids->version) + ", VERSION = 1");
        for (const sqlite3_int64 itemId : itemIds)
            addRecord(itemId, "RDDOIT", "Added Item: ID = " + std::to_string(itemId));
        addRecord(ids->version, "RDDOVR",
                  "Imported " + std::to_string(items) + " items with " + std::to_string(textCount(items)) +
                      " values");
        for (const auto& [block, bits] : blocks) linkBlock.integer(1, ids->version).integer(2, block).blob(3, bits).run();
        db.exec("COMMIT");
    }
    return secondsSince(start);
}

// What an export reads: every version item with its item, its parent's key,
// and each of its values' texts with attribute and language.
double rawRead(const std::string& path, const RawIds& ids, long long* rows) {
    const auto start = std::chrono::steady_clock::now();
    {
        Database db(path, false);
        Statement select(db,
                         "SELECT i.ITEM_KEY, vi.LABEL, p.ITEM_KEY, a.NAME, l.CODE, t.TEXT_VALUE "
                         "FROM {P}version_items vi JOIN {P}items i ON i.ID = vi.ITEM_ID "
                         "LEFT JOIN {P}items p ON p.ID = vi.PARENT_ITEM_ID "
                         "LEFT JOIN {P}item_attribute_values v ON v.VERSION_ITEM_ID = vi.ID "
                         "LEFT JOIN {P}attributes a ON a.ID = v.ATTRIBUTE_ID "
                         "LEFT JOIN {P}version_item_value_links k "
                         "  ON k.ITEM_ATTRIBUTE_VALUE_ID = v.ID AND " BENCH_LINK_HELD_BY("{P}", "vi.VERSION_ID", "k") " "
                         "LEFT JOIN {P}localized_texts t ON t.ID = k.LOCALIZED_TEXT_ID "
                         "LEFT JOIN {P}languages l ON l.ID = t.LANGUAGE_ID "
                         "WHERE vi.VERSION_ID = ? ORDER BY vi.ID");
        select.integer(1, ids.version);
        *rows = 0;
        std::size_t bytes = 0;
        while (select.next()) {
            for (int c = 0; c < 6; ++c) {
                sqlite3_column_text(select.handle(), c);
                bytes += static_cast<std::size_t>(sqlite3_column_bytes(select.handle(), c));
            }
            ++*rows;
        }
        if (bytes == 0) fail("the raw read found nothing");
    }
    return secondsSince(start);
}

// What rdm copy writes: a new domain and version holding the source
// version's attributes, items and value references, and sharing its links.
double rawCopy(const std::string& path, RawIds* ids) {
    const auto start = std::chrono::steady_clock::now();
    {
        Database db(path);
        db.exec("BEGIN IMMEDIATE");
        Statement domain(db,
                         "INSERT INTO {P}domains (NAME, DESCRIPTION, TEXT1, FLAG1, FLAG2, SCOPE, NUMBER1, TEXT8, "
                         "ACCOUNT_ID, NUMBER10, DATE11, KIND_CODE, CREATED) SELECT ?, DESCRIPTION, TEXT1, FLAG1, "
                         "FLAG2, SCOPE, NUMBER1, TEXT8, ACCOUNT_ID, -1, DATE11, KIND_CODE, julianday('now') "
                         "FROM {P}domains WHERE ID = ?");
        ids->copyDomain = domain.text(1, kCopy).integer(2, ids->domain).run();
        Statement version(db,
                          "INSERT INTO {P}domain_versions (DOMAIN_ID, VERSION_NUMBER, LABEL, FLAG1, FLAG2, "
                          "VERSION_TEXT, ACCOUNT_ID, FLAG8, NUMBER9, CREATED) SELECT ?, 1, 'Initial Version', FLAG1, "
                          "FLAG2, VERSION_TEXT, ACCOUNT_ID, FLAG8, NUMBER9, julianday('now') "
                          "FROM {P}domain_versions WHERE ID = ?");
        ids->copyVersion = version.integer(1, ids->copyDomain).integer(2, ids->version).run();
        const char* const copies[] = {
            "INSERT INTO {P}version_attributes (DOMAIN_ID, DOMAIN_ATTRIBUTE_ID, VERSION_ID, FLAG) "
            "SELECT ?1, DOMAIN_ATTRIBUTE_ID, ?2, FLAG FROM {P}version_attributes WHERE VERSION_ID = ?3 ORDER BY ID",
            "INSERT INTO {P}version_items (VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL, PARENT_ITEM_ID) "
            "SELECT ?2, ITEM_ID, julianday('now'), POSITION, LABEL, PARENT_ITEM_ID FROM {P}version_items "
            "WHERE VERSION_ID = ?3 ORDER BY ID",
            "INSERT INTO {P}version_item_values (VERSION_ID, ITEM_ATTRIBUTE_VALUE_ID) "
            "SELECT ?2, ITEM_ATTRIBUTE_VALUE_ID FROM {P}version_item_values WHERE VERSION_ID = ?3 ORDER BY ID",
            "INSERT INTO {P}version_link_sets (VERSION_ID, BLOCK, BITS) "
            "SELECT ?2, BLOCK, BITS FROM {P}version_link_sets WHERE VERSION_ID = ?3",
        };
        for (const char* sql : copies) {
            Statement copy(db, sql);
            copy.integer(1, ids->copyDomain).integer(2, ids->copyVersion).integer(3, ids->version).run();
        }
        Statement record(db,
                         "INSERT INTO {P}change_records (DOMAIN_ID, STATUS, OBJECT_ID, TABLE_CODE, DESCRIPTION, "
                         "LANGUAGE_ID, ACCOUNT_ID, CREATED) VALUES (?, 'A', ?, ?, ?, 1, 1, julianday('now'))");
        record.integer(1, ids->copyDomain).null(2).text(3, "RDDOMS").text(4, std::string("Created Domain: NAME = ") + kCopy).run();
        record.integer(1, ids->copyDomain).integer(2, ids->copyVersion).text(3, "RDDOVR").text(4, "Created Version").run();
        db.exec("COMMIT");
    }
    return secondsSince(start);
}

// The copy's own rows, deleted set by set; the items, values, links and
// texts it shares with its source stay.
double rawRemove(const std::string& path, const RawIds& ids) {
    const auto start = std::chrono::steady_clock::now();
    {
        Database db(path);
        db.exec("BEGIN IMMEDIATE");
        const char* const deletions[] = {
            "DELETE FROM {P}version_link_sets WHERE VERSION_ID = ?1",
            "DELETE FROM {P}version_item_values WHERE VERSION_ID = ?1",
            "DELETE FROM {P}version_items WHERE VERSION_ID = ?1",
            "DELETE FROM {P}version_attributes WHERE VERSION_ID = ?1",
            "DELETE FROM {P}domain_versions WHERE ID = ?1",
            "DELETE FROM {P}domains WHERE ID = ?2",
        };
        for (const char* sql : deletions) {
            Statement deletion(db, sql);
            deletion.integer(1, ids.copyVersion).integer(2, ids.copyDomain).run();
        }
        Statement record(db,
                         "INSERT INTO {P}change_records (DOMAIN_ID, STATUS, OBJECT_ID, TABLE_CODE, DESCRIPTION, "
                         "LANGUAGE_ID, ACCOUNT_ID, CREATED) VALUES (?1, 'A', ?1, 'RDDOMS', ?2, 1, 1, julianday('now'))");
        record.integer(1, ids.copyDomain).text(2, std::string("Removed Domain ") + kCopy).run();
        db.exec("COMMIT");
    }
    return secondsSince(start);
}

std::map<std::string, long long> rowCounts(const std::string& path) {
    Database db(path, false);
    std::vector<std::string> tables;
    {
        Statement names(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE '{P}%' ORDER BY name");
        while (names.next()) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(names.handle(), 0)));
    }
    std::map<std::string, long long> counts;
    for (const std::string& table : tables) {
        Statement count(db, "SELECT COUNT(*) FROM " + table);
        if (count.next()) counts[table.substr(sizeof kPrefix - 1)] = sqlite3_column_int64(count.handle(), 0);
    }
    return counts;
}

// The baseline is only a baseline if it writes what rdm writes.
void compareRows(const std::string& project, const std::string& raw, const char* after, int items) {
    const auto ours = rowCounts(project);
    const auto theirs = rowCounts(raw);
    for (const auto& [table, count] : ours) {
        const auto other = theirs.find(table);
        const long long rawCount = other != theirs.end() ? other->second : -1;
        if (rawCount != count)
            notes.push_back("rows differ after " + std::string(after) + " of " + std::to_string(items) + " items: " +
                            table + " rdm " + std::to_string(count) + ", raw " + std::to_string(rawCount));
    }
}

// --- the run ---------------------------------------------------------------------------------------------

struct Result {
    std::string work;
    int items;
    double project;
    double raw;
};

std::string grouped(long long number) {
    std::string digits = std::to_string(number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

// The bytes of the database's pages in use (pages freed by a removal are
// reused by later writes, so the file's size would understate a growth).
long long usedBytes(const std::string& path) {
    Database db(path, false);
    auto pragma = [&](const char* name) {
        Statement statement(db, std::string("PRAGMA ") + name);
        return statement.next() ? sqlite3_column_int64(statement.handle(), 0) : 0;
    };
    return (pragma("page_count") - pragma("freelist_count")) * pragma("page_size");
}

// The database's growth from the second release, by size.
std::vector<std::pair<int, long long>> growth;

void measure(int items, std::vector<Result>* results) {
    char folder[] = "/tmp/rdm-scale-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) fail("mkdtemp failed");
    home = folder;
    const std::string csv = home + "/domain.csv";
    const std::string projectDb = home + "/data/demo.db";
    const std::string rawDb = home + "/data/raw.db";
    rdm("repo create demo >/dev/null");
    rdm("repo create raw >/dev/null");
    writeCsv(csv, items);
    std::fprintf(stderr, "%s items: import ...", grouped(items).c_str());

    RawIds ids;
    const double importProject = timedRdm(std::string("import demo ") + kDomain + " '" + csv + "' --quiet >/dev/null");
    const double importRaw = rawImport(rawDb, items, &ids);
    compareRows(projectDb, rawDb, "import", items);
    results->push_back({"import", items, importProject, importRaw});

    std::fprintf(stderr, " read ...");
    long long rows = 0;
    const double readProject = timedRdm(std::string("export demo ") + kDomain + " >/dev/null");
    const double readRaw = rawRead(rawDb, ids, &rows);
    if (rows != textCount(items)) notes.push_back("the raw read of " + std::to_string(items) + " items saw " +
                                                  std::to_string(rows) + " rows");
    results->push_back({"read", items, readProject, readRaw});

    std::fprintf(stderr, " copy ...");
    const double copyProject = timedRdm(std::string("copy demo ") + kDomain + " --name '" + kCopy + "' >/dev/null");
    const double copyRaw = rawCopy(rawDb, &ids);
    compareRows(projectDb, rawDb, "copy", items);
    results->push_back({"copy", items, copyProject, copyRaw});

    std::fprintf(stderr, " removal ...");
    const double removeProject = timedRdm(std::string("remove demo '") + kCopy + "' >/dev/null");
    const double removeRaw = rawRemove(rawDb, ids);
    compareRows(projectDb, rawDb, "removal", items);
    results->push_back({"removal", items, removeProject, removeRaw});
    // A second release with 1% of its items changed: the file's growth, and
    // rdm diff of the two against exporting both (no raw baseline: the
    // export is the yardstick).
    std::fprintf(stderr, " diff ...");
    const std::string release = home + "/release2.csv";
    writeCsv(release, items, 100);
    rdm(std::string("import demo ") + kDomain + " '" + release + "' --quiet >/dev/null");
    const double diffProject = timedRdm(std::string("diff demo ") + kDomain + " >/dev/null 2>&1");
    const double exportBoth = timedRdm(std::string("export demo ") + kDomain + " --version 1 >/dev/null") +
                              timedRdm(std::string("export demo ") + kDomain + " --version 2 >/dev/null");
    results->push_back({"diff", items, diffProject, exportBoth});
    // The space a second release takes, on a repository that held nothing
    // else: removals leave room in half-filled pages that later rows fill
    // without new pages, which would hide part of the growth.
    std::fprintf(stderr, " release growth ...");
    const std::string growthDb = home + "/data/growth.db";
    rdm("repo create growth >/dev/null");
    rdm(std::string("import growth ") + kDomain + " '" + csv + "' --quiet >/dev/null");
    const long long sizeBefore = usedBytes(growthDb);
    rdm(std::string("import growth ") + kDomain + " '" + release + "' --quiet >/dev/null");
    growth.push_back({items, usedBytes(growthDb) - sizeBefore});
    std::fprintf(stderr, " done\n");

    if (std::system(("rm -rf '" + home + "'").c_str()) != 0) fail("cannot remove " + home);
}

double perItem(const Result& result) {
    return result.project * 1e6 / result.items;
}

bool importGoalsMet(const Result& import) {
    return import.project < kImportGoalSeconds && import.project <= kImportGoalRatio * import.raw;
}

const Result* find(const std::vector<Result>& results, const std::string& work, int items) {
    for (const Result& result : results)
        if (result.work == work && result.items == items) return &result;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int a = 1; a < argc; ++a) {
        char* end = nullptr;
        const long size = std::strtol(argv[a], &end, 10);
        if (end == argv[a] || *end != '\0' || size < 10 || size > 10000000) {
            std::fprintf(stderr, "usage: %s [ITEMS ...]  (each 10 to 10,000,000; default 10000 100000 350000)\n",
                         argv[0]);
            return 2;
        }
        sizes.push_back(static_cast<int>(size));
    }
    if (sizes.empty()) sizes = {10000, 100000, kGoalItems};
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());

    std::vector<Result> results;
    for (const int items : sizes) measure(items, &results);

    const char* const works[] = {"import", "read", "copy", "removal", "diff"};
    std::printf("\nrdm (whole processes) against raw SQLite (C API, same rows), %s to %s items, %.2f texts per item\n\n",
                grouped(sizes.front()).c_str(), grouped(sizes.back()).c_str(),
                static_cast<double>(textCount(sizes.back())) / sizes.back());
    // "µ" takes two bytes: its header field is one wider.
    std::printf("%-8s %10s %12s %10s %8s %17s  %s\n", "work", "items", "project (s)", "raw (s)", "ratio",
                "project µs/item", "goal");
    for (const char* work : works)
        for (const int items : sizes) {
            const Result* r = find(results, work, items);
            std::string goal;
            if (std::string(work) == "import" && items == kGoalItems)
                goal = importGoalsMet(*r) ? "met" : "MISSED";
            std::printf("%-8s %10s %12.3f %10.3f %8.2f %16.2f  %s\n", work, grouped(items).c_str(), r->project, r->raw,
                        r->raw > 0 ? r->project / r->raw : 0.0, perItem(*r), goal.c_str());
        }

    std::printf("\ngrowth of the project's cost per item, %s -> %s items (goal: within %.1fx)\n",
                grouped(sizes.front()).c_str(), grouped(sizes.back()).c_str(), kGrowthGoal);
    for (const char* work : works) {
        const Result* small = find(results, work, sizes.front());
        const Result* large = find(results, work, sizes.back());
        const double growth = perItem(*large) / perItem(*small);
        std::printf("%-8s %10.2f -> %8.2f µs/item  %6.2fx  %s\n", work, perItem(*small), perItem(*large), growth,
                    sizes.size() < 2 ? "n/a (one size)" : growth <= kGrowthGoal ? "met" : "MISSED");
    }

    const Result* goal = find(results, "import", kGoalItems);
    if (goal == nullptr) {
        std::printf("\nimport goals: not measured (%s items is not among the sizes)\n", grouped(kGoalItems).c_str());
    } else {
        const double ratio = goal->project / goal->raw;
        std::printf("\nimport of %s items: %.2f s (goal: under %.0f s) %s; %.2fx raw (goal: at most %.0fx) %s\n",
                    grouped(kGoalItems).c_str(), goal->project, kImportGoalSeconds,
                    goal->project < kImportGoalSeconds ? "met" : "MISSED", ratio, kImportGoalRatio,
                    ratio <= kImportGoalRatio ? "met" : "MISSED");
    }
    std::printf("\n(diff: rdm diff of two releases differing in 1%% of their items; its \"raw\" column is rdm "
                "export of both versions, the goal is at most 3x that and under 5 s at %s items)\n",
                grouped(kGoalItems).c_str());
    for (const auto& [items, bytes] : growth)
        std::printf("second release (1%% changed) of %s items: %.1f MB more pages in use (goal at %s items: under 60 MB)\n",
                    grouped(items).c_str(), static_cast<double>(bytes) / 1e6, grouped(kGoalItems).c_str());
    for (const std::string& line : notes) std::printf("note: %s\n", line.c_str());
    return 0;
}

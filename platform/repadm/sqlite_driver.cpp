// The SQLite implementation of the store's driver interface.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <cstring>
#include <thread>
#include <vector>

#include "fault_driver.h"
#include "qxlog.h"
#include "sql_driver.h"
#include "sqlite_functions.h"

namespace repadm {
namespace {

// How long a connection waits for a lock another connection holds (in
// practice: for another writer to commit), unless RDM_WRITE_WAIT gives a
// number of seconds (0: do not wait).
const long kDefaultWriteWaitSeconds = 600;
// After this long a wait is logged and the process's notice (if any) runs.
const auto kWaitNoticeAfter = std::chrono::seconds(1);

std::atomic<void (*)()> waitNotice{nullptr};

std::chrono::milliseconds writeWait() {
    return std::chrono::milliseconds(writeWaitMilliseconds());
}

// SQLite's busy handler: answers 1 to try again (after a short sleep), 0 to
// give up with SQLITE_BUSY. One wait is the calls for one lock, from 0.
struct LockWait {
    std::chrono::milliseconds limit;
    std::chrono::steady_clock::time_point since;
    bool noticed = false;
};

int waitForLock(void* context, int attempt) {
    LockWait& wait = *static_cast<LockWait*>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        wait.since = now;
        wait.noticed = false;
    }
    const auto waited = now - wait.since;
    if (waited >= wait.limit) return 0;
    if (!wait.noticed && waited >= kWaitNoticeAfter) {
        wait.noticed = true;
        noticeWriterWait(wait.limit.count());
    }
    // Short sleeps first (a commit usually takes milliseconds), then 50 ms.
    const int sleepMs = attempt < 10 ? 1 + attempt * 2 : 50;
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    return 1;
}

// get_bit(bytes, n), as PostgreSQL's: bit n % 8 of byte n / 8; 0 past the end.
void getBit(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(arguments[0]));
    const sqlite3_int64 length = sqlite3_value_bytes(arguments[0]);
    const sqlite3_int64 bit = sqlite3_value_int64(arguments[1]);
    if (bit < 0 || bit / 8 >= length || bytes == nullptr) {
        sqlite3_result_int(context, 0);
        return;
    }
    sqlite3_result_int(context, (bytes[bit / 8] >> (bit % 8)) & 1);
}

class SqliteStatement : public SqlStatement {
public:
    explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {
        const int count = sqlite3_column_count(stmt_);
        isDate_.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const char* declared = sqlite3_column_decltype(stmt_, i);
            isDate_[static_cast<std::size_t>(i)] =
                declared && std::strstr(declared, "DATE") != nullptr;
        }
    }
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }

    bool bindNull(int index) override { return sqlite3_bind_null(stmt_, index) == SQLITE_OK; }
    bool bindInt(int index, std::int64_t value) override {
        return sqlite3_bind_int64(stmt_, index, value) == SQLITE_OK;
    }
    bool bindDouble(int index, double value) override {
        return sqlite3_bind_double(stmt_, index, value) == SQLITE_OK;
    }
    bool bindText(int index, const char* text, std::size_t length) override {
        return sqlite3_bind_text(stmt_, index, text, static_cast<int>(length), SQLITE_TRANSIENT) ==
               SQLITE_OK;
    }
    bool bindBlob(int index, const void* bytes, std::size_t length) override {
        return sqlite3_bind_blob(stmt_, index, length > 0 ? bytes : "", static_cast<int>(length),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    int step() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return 1;
        if (rc == SQLITE_DONE) return 0;
        return -1;
    }
    void reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    int columnCount() override { return static_cast<int>(isDate_.size()); }
    const char* columnName(int column) override { return sqlite3_column_name(stmt_, column); }
    bool columnIsDate(int column) override { return isDate_[static_cast<std::size_t>(column)]; }
    SqlType columnType(int column) override {
        switch (sqlite3_column_type(stmt_, column)) {
            case SQLITE_INTEGER: return SqlType::Integer;
            case SQLITE_FLOAT: return SqlType::Real;
            case SQLITE_TEXT: return SqlType::Text;
            case SQLITE_BLOB: return SqlType::Blob;
            default: return SqlType::Null;
        }
    }
    std::int64_t columnInt(int column) override { return sqlite3_column_int64(stmt_, column); }
    double columnDouble(int column) override { return sqlite3_column_double(stmt_, column); }
    const char* columnText(int column, std::size_t* length) override {
        const unsigned char* text = sqlite3_column_text(stmt_, column);
        *length = static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column));
        return text ? reinterpret_cast<const char*>(text) : "";
    }
    std::string columnBlob(int column) override {
        const void* bytes = sqlite3_column_blob(stmt_, column);
        const int length = sqlite3_column_bytes(stmt_, column);
        return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(length))
                     : std::string();
    }

private:
    sqlite3_stmt* stmt_;
    std::vector<bool> isDate_;
};

class SqliteConnection : public SqlConnection {
public:
    explicit SqliteConnection(sqlite3* db) : db_(db) {
        wait_.limit = writeWait();
        sqlite3_busy_handler(db_, waitForLock, &wait_);
        addSqliteFunctions(db_);
    }
    ~SqliteConnection() override { sqlite3_close_v2(db_); }

    std::unique_ptr<SqlStatement> prepare(const std::string& sql, std::string* error) override {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK || !stmt) {
            *error = errorText();
            sqlite3_finalize(stmt);
            return nullptr;
        }
        return std::unique_ptr<SqlStatement>(new SqliteStatement(stmt));
    }
    bool execute(const std::string& sql, std::string* error) override {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
        *error = message ? message : errorText();
        sqlite3_free(message);
        return false;
    }
    SqlDialect dialect() const override { return SqlDialect::Sqlite; }
    // IMMEDIATE takes the write lock at once, waiting (the busy handler) for
    // another writer: a deferred BEGIN would take a read snapshot first,
    // which a later write could not upgrade while another writer works.
    bool beginWrite(std::string* error) override { return execute("BEGIN IMMEDIATE", error); }
    int changes() override { return sqlite3_changes(db_); }
    std::string errorText() override { return sqlite3_errmsg(db_); }
    bool inTransaction() override { return sqlite3_get_autocommit(db_) == 0; }
    int tableExists(const std::string& name, std::string* error) override {
        std::unique_ptr<SqlStatement> statement =
            // Table names compare without case in SQLite: "T_meta" is "t_meta".
            prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
                    error);
        if (!statement) return -1;
        statement->bindText(1, name.data(), name.size());
        const int rc = statement->step();
        if (rc < 0) *error = errorText();
        return rc;
    }

private:
    sqlite3* db_;
    LockWait wait_;
};

}  // namespace

namespace {

// Makes a missing database file owner-only before SQLite opens it: SQLite
// would create it readable by everyone (less what the umask takes away), and
// gives its -wal and -shm files the mode of the database file. A "file:" URI
// or an in-memory name is left to SQLite.
void createOwnerOnlyFile(const std::string& path) {
    if (path.empty() || path[0] == ':' || path.compare(0, 5, "file:") == 0) return;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;  // there already, or SQLite reports why it cannot be made
    fchmod(fd, 0600);     // the umask may have taken bits of the owner's
    close(fd);
}

}  // namespace

void setWriterWaitNotice(void (*notice)()) {
    waitNotice.store(notice);
}

std::int64_t writeWaitMilliseconds() {
    const char* given = std::getenv("RDM_WRITE_WAIT");
    if (given && *given) {
        char* end = nullptr;
        const long seconds = std::strtol(given, &end, 10);
        if (*end == '\0' && seconds >= 0 && seconds <= 7 * 24 * 3600) return seconds * 1000LL;
    }
    return kDefaultWriteWaitSeconds * 1000LL;
}

void noticeWriterWait(std::int64_t limitMilliseconds) {
    qxlogGetLogger("repadm")->log(QXLOG_NOTICE, __FILE__, __LINE__,
                                  "waiting for another writer to finish (up to %lld s)",
                                  static_cast<long long>(limitMilliseconds / 1000));
    if (void (*notice)() = waitNotice.load()) notice();
}

namespace {

// Statement journals stay in memory. Every insert into a table with a CHECK
// and AUTOINCREMENT keeps a journal of the pages it changes, for the case it
// must be undone alone; once one statement's journal outgrew the default
// 64 KiB, every later statement of the transaction wrote its journal to a
// temporary file (two system calls a page: most of a bulk import's time).
// A statement journal holds only the pages one statement changes, so memory
// is the right place. The setting is only taken before SQLite is first used
// in the process; afterwards it is left as it is. So is the second one:
// SQLite's count of its memory use (which the store never reads) costs a
// global lock on every allocation.
void configureSqlite() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_config(SQLITE_CONFIG_STMTJRNL_SPILL, -1);
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    });
}

}  // namespace

void addSqliteFunctions(sqlite3* db) {
    sqlite3_create_function(db, "get_bit", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, getBit,
                            nullptr, nullptr);
}

std::unique_ptr<SqlConnection> openSqliteConnection(const std::string& path, std::string* error,
                                                    bool create) {
    configureSqlite();
    sqlite3* db = nullptr;
    // Only an explicit creation makes a file: a deleted or mis-named database
    // must fail here, not come back empty.
    if (create) createOwnerOnlyFile(path);
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) |
                      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        *error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<SqlConnection> connection(new SqliteConnection(db));
    // WAL lets a reader on one connection and a writer on another go on
    // without blocking each other; NORMAL sync is safe in WAL mode. Reading
    // the journal mode is also the first read of the file, so a file that is
    // not a database is reported here.
    std::unique_ptr<SqlStatement> journal = connection->prepare("PRAGMA journal_mode=WAL", error);
    if (!journal) return nullptr;
    if (journal->step() != 1) {
        *error = connection->errorText();
        return nullptr;
    }
    // The answer is the mode in force: a database that cannot use WAL (e.g.
    // one in memory) would let a reader block a writer, which the store's
    // callers are not ready for.
    std::size_t length = 0;
    const char* answer = journal->columnText(0, &length);
    const std::string mode(answer, length);
    journal.reset();
    if (mode != "wal") {
        *error = "the database cannot use the WAL journal mode (it stays in \"" + mode + "\")";
        return nullptr;
    }
    if (!connection->execute("PRAGMA synchronous=NORMAL", error)) return nullptr;
    // Unchanged unless a test asked for fault injection.
    return fault::wrap(std::move(connection));
}

}  // namespace repadm

// The SQLite implementation of the store's driver interface.
#include <sqlite3.h>

#include <cstring>
#include <vector>

#include "fault_driver.h"
#include "sql_driver.h"

namespace repadm {
namespace {

const int kBusyTimeoutMs = 5000;

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

private:
    sqlite3_stmt* stmt_;
    std::vector<bool> isDate_;
};

class SqliteConnection : public SqlConnection {
public:
    explicit SqliteConnection(sqlite3* db) : db_(db) {}
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
    std::int64_t lastInsertId() override { return sqlite3_last_insert_rowid(db_); }
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
};

}  // namespace

std::unique_ptr<SqlConnection> openSqliteConnection(const std::string& path, std::string* error) {
    sqlite3* db = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        *error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
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

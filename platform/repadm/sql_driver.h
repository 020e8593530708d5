// The store's database driver interface: connections and prepared statements.
// Everything above this interface is independent of the database engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace repadm {

enum class SqlType { Null, Integer, Real, Text, Blob };

// The SQL a connection speaks. The store's statements are written once, in
// the part of SQL both engines share; where they differ, the statement has a
// variant per dialect beside it, and a few tokens are filled in per dialect
// (see StoreSession::withPrefix).
enum class SqlDialect { Sqlite, Postgresql };

// One prepared statement. Parameters are numbered from 1, columns from 0.
class SqlStatement {
public:
    virtual ~SqlStatement() {}
    virtual bool bindNull(int index) = 0;
    virtual bool bindInt(int index, std::int64_t value) = 0;
    virtual bool bindDouble(int index, double value) = 0;
    // The bytes are copied; they need not be valid UTF-8.
    virtual bool bindText(int index, const char* text, std::size_t length) = 0;
    // Bytes stored as they are (a BLOB, or PostgreSQL's bytea).
    virtual bool bindBlob(int index, const void* bytes, std::size_t length) = 0;
    // 1: a row is current, 0: done, -1: error (see the connection's errorText).
    virtual int step() = 0;
    // Runs a write that answers no rows where its caller need not wait for
    // the outcome: 0 when it ran, -1 on an error, as step(); 2 when the
    // driver sent it on without waiting (on a server, many such writes of a
    // transaction travel in one round trip). The outcome of a write sent on
    // comes with the connection's next call: a failure, or a write that
    // changed no row when noRowError is not empty (that text is then the
    // reason), fails that call and every later one until a roll-back, so
    // the transaction can never be committed with the write missing.
    virtual int stepDeferred(const std::string& noRowError) {
        (void)noRowError;
        return step();
    }
    // Back to before the first row, all parameters cleared.
    virtual void reset() = 0;
    virtual int columnCount() = 0;
    virtual const char* columnName(int column) = 0;
    // True when the column is declared as a date (a Julian day number).
    virtual bool columnIsDate(int column) = 0;
    virtual SqlType columnType(int column) = 0;
    virtual std::int64_t columnInt(int column) = 0;
    virtual double columnDouble(int column) = 0;
    // Never null for a text column; *length receives the byte count.
    virtual const char* columnText(int column, std::size_t* length) = 0;
    // The column's bytes (a BLOB or bytea column); empty when it is NULL.
    virtual std::string columnBlob(int column) = 0;
};

// One connection to a database, used by one thread at a time.
class SqlConnection {
public:
    virtual ~SqlConnection() {}
    // Null with the reason in *error.
    virtual std::unique_ptr<SqlStatement> prepare(const std::string& sql, std::string* error) = 0;
    virtual SqlDialect dialect() const = 0;
    // Runs one or more statements without results.
    virtual bool execute(const std::string& sql, std::string* error) = 0;
    // Begins a write transaction holding the database's write lock: one
    // writer at a time, and the writes inside never wait for another. Waits
    // for the lock as long as the write wait (see setWriterWaitNotice).
    virtual bool beginWrite(std::string* error) = 0;
    // Rows changed by the last finished statement.
    virtual int changes() = 0;
    // The database's reason for the last failure of this connection.
    virtual std::string errorText() = 0;
    virtual bool inTransaction() = 0;
    // 1 when the table exists, 0 when not, -1 on an error (reason in *error).
    virtual int tableExists(const std::string& name, std::string* error) = 0;
};

// Opens the database at path; "file:" URIs are accepted. create: make the
// file when missing (owner-only, whatever the umask; its -wal and -shm files
// take the same mode); otherwise a missing file fails. Null with the reason
// in *error.
std::unique_ptr<SqlConnection> openSqliteConnection(const std::string& path, std::string* error,
                                                    bool create = false);

// Opens a PostgreSQL database; conninfo is a libpq connection string or
// "postgresql://" URI. prefix: the table prefix of the repository it serves,
// whose writers wait for one another (beginWrite). Null with the reason
// (without the password) in *error.
std::unique_ptr<SqlConnection> openPostgresqlConnection(const std::string& conninfo, const std::string& prefix,
                                                        std::string* error);

// How long a connection waits for another writer: 10 minutes, or the
// seconds the environment variable RDM_WRITE_WAIT gives.
std::int64_t writeWaitMilliseconds();
// Logs that a connection has waited for another writer for over a second,
// and calls the process's notice (if any), on the waiting thread.
void noticeWriterWait(std::int64_t limitMilliseconds);

// Both dialects have get_bit(bytes, n): bit n of a BLOB or bytea, counted
// from the lowest bit of its first byte (n / 8 the byte, n % 8 the bit); 0 or
// 1, NULL when the bytes are NULL. PostgreSQL has it built in; the SQLite
// driver adds it to every connection (it answers 0 past the end).

// A connection that finds the database locked by another connection (another
// writer, in practice) waits for it: 10 minutes, or the seconds the
// environment variable RDM_WRITE_WAIT gives. A wait longer than a second is
// logged, and notice (null: none) is called once for it, on the waiting
// thread. For programs that tell their user; not part of the store's contract.
void setWriterWaitNotice(void (*notice)());

}  // namespace repadm

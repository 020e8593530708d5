// The PostgreSQL implementation of the store's driver interface, on libpq.
//
// Statements are written with "?" placeholders, as for SQLite; each becomes
// $1, $2, ... here. A statement that answers rows walks them through a
// server-side cursor, fetched in batches: the connection stays free for
// other statements between two batches (the store writes while it walks),
// and memory stays bounded whatever the number of rows. The cursors are
// WITH HOLD, so they survive the commit of the transaction they were opened
// in, as SQLite's statements do.
//
// Bulk inserts inside a transaction (stepDeferred) travel in libpq's
// pipeline mode: up to kPipelineDepth of them are sent before the driver
// waits for their outcomes, instead of one round trip each. Every other
// call on the connection settles the pipeline first; a failed insert fails
// that call and every later one until a roll-back, so a transaction that
// lost an insert can never commit.
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "fault_driver.h"
#include "sql_driver.h"

namespace repadm {
namespace {

// Rows fetched from a cursor at a time.
const int kFetchRows = 1000;
// Bulk inserts sent before their outcomes are read. Each outcome is a few
// dozen bytes, so the server never blocks on a full socket meanwhile.
const std::size_t kPipelineDepth = 1000;
// Writers of a repository take an advisory lock named after it (the schema
// and the table prefix): one writer at a time, as on SQLite, while
// repositories beside it on the same server go their own ways.
const char kTryWriteLock[] = "SELECT pg_try_advisory_xact_lock(hashtext(current_schema() || '/' || $1))";

// PostgreSQL's type ids of the result columns the store reads.
const Oid kBoolOid = 16, kBytesOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kFloat4Oid = 700,
          kFloat8Oid = 701, kNumericOid = 1700;

// The store's "?" placeholders as $1, $2, ...; texts in quotes, quoted names
// and comments are left alone.
std::string numberPlaceholders(const std::string& sql, int* count) {
    std::string out;
    out.reserve(sql.size() + 16);
    int n = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            const std::size_t end = sql.find(c, i + 1);
            const std::size_t stop = end == std::string::npos ? sql.size() : end + 1;
            out.append(sql, i, stop - i);
            i = stop - 1;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const std::size_t end = sql.find('\n', i);
            const std::size_t stop = end == std::string::npos ? sql.size() : end;
            out.append(sql, i, stop - i);
            i = stop - 1;
        } else if (c == '?') {
            // "?" is the next parameter; "?N" (SQLite's numbered form) is $N.
            std::size_t digits = i + 1;
            while (digits < sql.size() && std::isdigit(static_cast<unsigned char>(sql[digits]))) ++digits;
            if (digits > i + 1) {
                const int number = std::atoi(sql.c_str() + i + 1);
                out += '$';
                out.append(sql, i + 1, digits - i - 1);
                n = std::max(n, number);
                i = digits - 1;
            } else {
                out += '$';
                out += std::to_string(++n);
            }
        } else {
            out += c;
        }
    }
    *count = n;
    return out;
}

// The first word of a statement, in upper case.
std::string firstWord(const std::string& sql) {
    std::size_t at = 0;
    while (at < sql.size() && std::isspace(static_cast<unsigned char>(sql[at]))) ++at;
    std::string word;
    while (at < sql.size() && std::isalpha(static_cast<unsigned char>(sql[at])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[at++])));
    return word;
}

// True when the bytes are UTF-8 as PostgreSQL takes it: no overlong forms,
// no surrogates, nothing above U+10FFFF.
bool validUtf8(const unsigned char* text, std::size_t length) {
    for (std::size_t i = 0; i < length;) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + extra >= length) return false;
        if (text[i + 1] < low || text[i + 1] > high) return false;
        for (std::size_t k = 2; k <= extra; ++k)
            if (text[i + k] < 0x80 || text[i + k] > 0xBF) return false;
        i += extra + 1;
    }
    return true;
}

// A result's error as one line: the server's message, else libpq's.
std::string errorOf(const PGresult* result, PGconn* connection) {
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string text = primary ? primary : PQerrorMessage(connection);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text.empty() ? std::string("unknown PostgreSQL error") : text;
}

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
typedef std::unique_ptr<PGresult, ResultDeleter> Result;

bool succeeded(const Result& result) {
    if (!result) return false;
    const ExecStatusType status = PQresultStatus(result.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

class PostgresqlConnection;

class PostgresqlStatement : public SqlStatement {
public:
    PostgresqlStatement(PostgresqlConnection& connection, std::string name, std::string sql, int parameters,
                        bool query, const PGresult* description);
    ~PostgresqlStatement() override;

    bool bindNull(int index) override { return bind(index, nullptr); }
    bool bindInt(int index, std::int64_t value) override {
        const std::string text = std::to_string(value);
        return bind(index, &text);
    }
    bool bindDouble(int index, double value) override {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value);
        const std::string bound(text);
        return bind(index, &bound);
    }
    // PostgreSQL's texts cannot hold the NUL character: such a text is
    // refused, never cut short. (Bytes that are not UTF-8 the server refuses.)
    bool bindText(int index, const char* text, std::size_t length) override;
    bool bindBlob(int index, const void* bytes, std::size_t length) override;
    int step() override;
    int stepDeferred(const std::string& noRowError) override;
    void reset() override;
    int columnCount() override { return static_cast<int>(names_.size()); }
    const char* columnName(int column) override { return names_[static_cast<std::size_t>(column)].c_str(); }
    bool columnIsDate(int column) override { return isDate_[static_cast<std::size_t>(column)]; }
    SqlType columnType(int column) override;
    std::int64_t columnInt(int column) override;
    double columnDouble(int column) override;
    const char* columnText(int column, std::size_t* length) override;
    std::string columnBlob(int column) override;

private:
    bool bind(int index, const std::string* value) {
        if (index < 1 || index > static_cast<int>(values_.size())) return false;
        values_[static_cast<std::size_t>(index - 1)] = value ? *value : std::string();
        isNull_[static_cast<std::size_t>(index - 1)] = value == nullptr;
        return true;
    }
    std::vector<const char*> parameterValues() const {
        std::vector<const char*> values(values_.size());
        for (std::size_t i = 0; i < values_.size(); ++i) values[i] = isNull_[i] ? nullptr : values_[i].c_str();
        return values;
    }
    int fail(const Result& result);
    bool fetch();
    void closeCursor();
    const char* cell(int column) const { return PQgetvalue(rows_.get(), row_, column); }

    PostgresqlConnection& connection_;
    std::string name_, sql_;
    bool query_;
    std::vector<std::string> values_;
    std::vector<bool> isNull_;
    std::vector<std::string> names_;
    std::vector<Oid> types_;
    std::vector<bool> isDate_;
    // A walk: the cursor's name while it is open, the batch of rows at hand
    // and the current row in it.
    std::string cursor_;
    Result rows_;
    int row_ = -1;
    bool finished_ = false;  // the last batch was fetched (or a write ran)
};

class PostgresqlConnection : public SqlConnection {
public:
    // The write wait is taken when the connection opens, as on SQLite.
    PostgresqlConnection(PGconn* connection, std::string lockName)
        : connection_(connection), writeWait_(writeWaitMilliseconds()), lockName_(std::move(lockName)) {}
    ~PostgresqlConnection() override { PQfinish(connection_); }

    PGconn* handle() { return connection_; }
    std::string newName(const char* kind) { return kind + std::to_string(++names_); }
    void setError(std::string text) { error_ = std::move(text); }
    void setChanges(int changes) { changes_ = changes; }

    // Runs sql without parameters; false with the reason in error_. A
    // roll-back (of the transaction or to a savepoint) runs whatever the
    // pipeline held: it undoes what failed there.
    bool run(const std::string& sql) {
        const bool rollBack = firstWord(sql) == "ROLLBACK";
        if (!settle() && !rollBack) return false;
        Result result(PQexec(connection_, sql.c_str()));
        if (rollBack && succeeded(result)) failed_.clear();
        if (succeeded(result)) {
            changes_ = std::atoi(PQcmdTuples(result.get()));
            return true;
        }
        error_ = errorOf(result.get(), connection_);
        return false;
    }

    // True when a write may be sent on: inside a transaction (the
    // pipeline is only ever on inside one).
    bool mayDefer() { return pipelined_ || PQtransactionStatus(connection_) == PQTRANS_INTRANS; }

    // Sends a prepared bulk insert on without waiting for its outcome; see
    // SqlStatement::stepDeferred. False with the reason in error_.
    bool send(const std::string& name, const std::vector<const char*>& values, const std::string& noRowError) {
        if (!failed_.empty()) {
            error_ = failed_;
            return false;
        }
        if (!pipelined_) {
            if (PQenterPipelineMode(connection_) != 1) {
                error_ = errorOf(nullptr, connection_);
                return false;
            }
            pipelined_ = true;
        }
        if (PQsendQueryPrepared(connection_, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                nullptr, 0) != 1) {
            const std::string reason = errorOf(nullptr, connection_);
            settle();
            error_ = failed_ = reason;
            return false;
        }
        noRowErrors_.push_back(noRowError);
        return noRowErrors_.size() < kPipelineDepth || settle();
    }

    // Reads the outcomes of what the pipeline holds and leaves pipeline
    // mode. False (the reason in error_) when an insert of the transaction
    // has failed, now or before, until a roll-back.
    bool settle() {
        if (pipelined_) {
            std::string reason;
            if (PQpipelineSync(connection_) != 1) reason = errorOf(nullptr, connection_);
            std::size_t query = 0;
            for (bool synced = !reason.empty(); !synced;) {
                Result result(PQgetResult(connection_));
                if (!result) {
                    // The end of one insert's results, or a connection gone.
                    if (PQstatus(connection_) != CONNECTION_OK) {
                        reason = errorOf(nullptr, connection_);
                        break;
                    }
                    ++query;
                    continue;
                }
                switch (PQresultStatus(result.get())) {
                    case PGRES_PIPELINE_SYNC: synced = true; break;
                    case PGRES_COMMAND_OK:
                        if (reason.empty() && query < noRowErrors_.size() && !noRowErrors_[query].empty() &&
                            std::atoi(PQcmdTuples(result.get())) == 0)
                            reason = noRowErrors_[query];
                        break;
                    case PGRES_PIPELINE_ABORTED: break;
                    default:
                        if (reason.empty()) reason = errorOf(result.get(), connection_);
                        break;
                }
            }
            PQexitPipelineMode(connection_);
            pipelined_ = false;
            noRowErrors_.clear();
            if (!reason.empty() && failed_.empty()) failed_ = "an insert of this transaction failed: " + reason;
        }
        if (failed_.empty()) return true;
        error_ = failed_;
        return false;
    }

    // True when the column (table, column number) is declared as a date.
    bool isDateColumn(Oid table, int column) {
        if (table == InvalidOid || column <= 0) return false;
        auto found = dateColumns_.find(table);
        if (found == dateColumns_.end()) {
            std::vector<int> dates;
            const std::string id = std::to_string(table);
            const char* values[] = {id.c_str()};
            Result result(PQexecParams(
                connection_,
                "SELECT a.attnum FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
                "WHERE a.attrelid = $1::oid AND a.attnum > 0 AND t.typtype = 'd' AND t.typname LIKE '%julian_day'",
                1, nullptr, values, nullptr, nullptr, 0));
            if (!succeeded(result)) return false;
            for (int row = 0; row < PQntuples(result.get()); ++row)
                dates.push_back(std::atoi(PQgetvalue(result.get(), row, 0)));
            found = dateColumns_.emplace(table, std::move(dates)).first;
        }
        return std::find(found->second.begin(), found->second.end(), column) != found->second.end();
    }

    std::unique_ptr<SqlStatement> prepare(const std::string& sql, std::string* error) override {
        if (!settle()) {
            *error = error_;
            return nullptr;
        }
        int parameters = 0;
        const std::string numbered = numberPlaceholders(sql, &parameters);
        const std::string name = newName("rdm_s");
        Result prepared(PQprepare(connection_, name.c_str(), numbered.c_str(), parameters, nullptr));
        if (!succeeded(prepared)) {
            *error = error_ = errorOf(prepared.get(), connection_);
            return nullptr;
        }
        Result description(PQdescribePrepared(connection_, name.c_str()));
        if (!succeeded(description)) {
            *error = error_ = errorOf(description.get(), connection_);
            run("DEALLOCATE " + name);
            return nullptr;
        }
        const std::string word = firstWord(numbered);
        const bool query = PQnfields(description.get()) > 0 && (word == "SELECT" || word == "WITH" || word == "VALUES");
        return std::unique_ptr<SqlStatement>(
            new PostgresqlStatement(*this, name, numbered, parameters, query, description.get()));
    }
    SqlDialect dialect() const override { return SqlDialect::Postgresql; }
    bool execute(const std::string& sql, std::string* error) override {
        if (run(sql)) return true;
        *error = error_;
        return false;
    }
    // BEGIN, then the writers' lock: tried, and tried again after short
    // sleeps, so that a long wait is noticed as on SQLite.
    bool beginWrite(std::string* error) override {
        if (!execute("BEGIN", error)) return false;
        const std::int64_t limit = writeWait_;
        const auto since = std::chrono::steady_clock::now();
        bool noticed = false;
        for (int attempt = 0;; ++attempt) {
            const char* values[] = {lockName_.c_str()};
            Result result(PQexecParams(connection_, kTryWriteLock, 1, nullptr, values, nullptr, nullptr, 0));
            if (!succeeded(result) || PQntuples(result.get()) != 1) {
                *error = error_ = errorOf(result.get(), connection_);
                run("ROLLBACK");
                return false;
            }
            if (PQgetvalue(result.get(), 0, 0)[0] == 't') return true;
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - since)
                                    .count();
            if (waited >= limit) {
                *error = error_ = "database is locked (another writer held it for " + std::to_string(limit / 1000) +
                                  " s)";
                run("ROLLBACK");
                return false;
            }
            if (!noticed && waited >= 1000) {
                noticed = true;
                noticeWriterWait(limit);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 + attempt * 2 : 50));
        }
    }
    int changes() override { return changes_; }
    std::string errorText() override { return error_; }
    bool inTransaction() override {
        // The pipeline is only ever on inside a transaction.
        if (pipelined_) return true;
        const PGTransactionStatusType status = PQtransactionStatus(connection_);
        return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
    }
    int tableExists(const std::string& name, std::string* error) override {
        if (!settle()) {
            *error = error_;
            return -1;
        }
        const char* values[] = {name.c_str()};
        Result result(PQexecParams(connection_,
                                   "SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = current_schema() AND "
                                   "tablename = lower($1)",
                                   1, nullptr, values, nullptr, nullptr, 0));
        if (!succeeded(result)) {
            *error = error_ = errorOf(result.get(), connection_);
            return -1;
        }
        return PQntuples(result.get()) > 0 ? 1 : 0;
    }

private:
    PGconn* connection_;
    const std::int64_t writeWait_;
    const std::string lockName_;
    std::string error_;
    int changes_ = 0;
    unsigned long names_ = 0;
    std::map<Oid, std::vector<int>> dateColumns_;
    // The pipeline: whether it is on, and for each insert sent, the text
    // that fails it when it adds no row (empty: none).
    bool pipelined_ = false;
    std::vector<std::string> noRowErrors_;
    // Why the transaction cannot commit: an insert sent on has failed.
    std::string failed_;
};

PostgresqlStatement::PostgresqlStatement(PostgresqlConnection& connection, std::string name, std::string sql,
                                         int parameters, bool query, const PGresult* description)
    : connection_(connection),
      name_(std::move(name)),
      sql_(std::move(sql)),
      query_(query),
      values_(static_cast<std::size_t>(parameters)),
      isNull_(static_cast<std::size_t>(parameters), true) {
    const int count = PQnfields(description);
    for (int i = 0; i < count; ++i) {
        // Unquoted names come back folded to lower case; the store's are
        // written in upper case, as SQLite gives them back.
        std::string name = PQfname(description, i);
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        names_.push_back(name);
        types_.push_back(PQftype(description, i));
        isDate_.push_back(connection_.isDateColumn(PQftable(description, i), PQftablecol(description, i)));
    }
}

PostgresqlStatement::~PostgresqlStatement() {
    connection_.settle();
    closeCursor();
    // Not in a failed transaction: the statement goes with the connection.
    if (PQtransactionStatus(connection_.handle()) != PQTRANS_INERROR) {
        Result ignored(PQexec(connection_.handle(), ("DEALLOCATE " + name_).c_str()));
    }
}

bool PostgresqlStatement::bindText(int index, const char* text, std::size_t length) {
    if (length > 0 && std::memchr(text, '\0', length) != nullptr) {
        connection_.setError("a text with the NUL character (byte 0) cannot be stored in PostgreSQL");
        return false;
    }
    // Refused here rather than by the server, so that the write it belongs
    // to fails, also when it would have been sent on without waiting.
    if (!validUtf8(reinterpret_cast<const unsigned char*>(text), length)) {
        connection_.setError("a text that is not valid UTF-8 cannot be stored in PostgreSQL");
        return false;
    }
    const std::string bound(text, length);
    return bind(index, &bound);
}

// Sent as bytea's text form: \x and two hex digits a byte.
bool PostgresqlStatement::bindBlob(int index, const void* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string bound = "\\x";
    bound.reserve(2 + 2 * length);
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < length; ++i) {
        bound += kDigits[in[i] >> 4];
        bound += kDigits[in[i] & 15];
    }
    return bind(index, &bound);
}

int PostgresqlStatement::fail(const Result& result) {
    connection_.setError(errorOf(result.get(), connection_.handle()));
    finished_ = true;
    rows_.reset();
    return -1;
}

void PostgresqlStatement::closeCursor() {
    if (cursor_.empty()) return;
    connection_.settle();
    if (PQtransactionStatus(connection_.handle()) != PQTRANS_INERROR) {
        Result ignored(PQexec(connection_.handle(), ("CLOSE " + cursor_).c_str()));
    }
    cursor_.clear();
}

bool PostgresqlStatement::fetch() {
    Result batch(PQexec(connection_.handle(), ("FETCH " + std::to_string(kFetchRows) + " FROM " + cursor_).c_str()));
    if (!succeeded(batch)) {
        fail(batch);
        return false;
    }
    rows_ = std::move(batch);
    row_ = 0;
    return true;
}

int PostgresqlStatement::stepDeferred(const std::string& noRowError) {
    // Only a write without answered rows inside a transaction: its failure
    // then stops the transaction's commit.
    if (query_ || !names_.empty() || !connection_.mayDefer()) return step();
    if (!connection_.send(name_, parameterValues(), noRowError)) {
        finished_ = true;
        return -1;
    }
    connection_.setChanges(1);
    finished_ = true;
    return 2;
}

int PostgresqlStatement::step() {
    if (!connection_.settle()) {
        finished_ = true;
        rows_.reset();
        return -1;
    }
    if (finished_) return 0;
    if (!query_) {
        // A write runs at its first step; one with RETURNING answers its rows.
        if (!rows_) {
            const std::vector<const char*> values = parameterValues();
            Result result(PQexecPrepared(connection_.handle(), name_.c_str(), static_cast<int>(values.size()),
                                         values.data(), nullptr, nullptr, 0));
            if (!succeeded(result)) return fail(result);
            connection_.setChanges(std::atoi(PQcmdTuples(result.get())));
            rows_ = std::move(result);
            row_ = 0;
        } else {
            ++row_;
        }
        if (row_ < PQntuples(rows_.get())) return 1;
        finished_ = true;
        return 0;
    }
    if (cursor_.empty()) {
        cursor_ = connection_.newName("rdm_c");
        const std::vector<const char*> values = parameterValues();
        const std::string declare = "DECLARE " + cursor_ + " NO SCROLL CURSOR WITH HOLD FOR " + sql_;
        Result result(PQexecParams(connection_.handle(), declare.c_str(), static_cast<int>(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0));
        if (!succeeded(result)) {
            cursor_.clear();
            return fail(result);
        }
        if (!fetch()) return -1;
    } else if (++row_ >= PQntuples(rows_.get()) && PQntuples(rows_.get()) == kFetchRows) {
        // Past a full batch: there may be more (a short batch was the last).
        if (!fetch()) return -1;
    }
    if (row_ < PQntuples(rows_.get())) return 1;
    finished_ = true;
    rows_.reset();
    closeCursor();
    return 0;
}

void PostgresqlStatement::reset() {
    closeCursor();
    rows_.reset();
    row_ = -1;
    finished_ = false;
    std::fill(isNull_.begin(), isNull_.end(), true);
}

SqlType PostgresqlStatement::columnType(int column) {
    if (!rows_ || PQgetisnull(rows_.get(), row_, column)) return SqlType::Null;
    switch (types_[static_cast<std::size_t>(column)]) {
        case kBoolOid:
        case kInt2Oid:
        case kInt4Oid:
        case kInt8Oid: return SqlType::Integer;
        case kFloat4Oid:
        case kFloat8Oid:
        case kNumericOid: return SqlType::Real;
        case kBytesOid: return SqlType::Blob;
        default: return SqlType::Text;
    }
}

std::int64_t PostgresqlStatement::columnInt(int column) {
    if (!rows_ || PQgetisnull(rows_.get(), row_, column)) return 0;
    const char* text = cell(column);
    if (types_[static_cast<std::size_t>(column)] == kBoolOid) return text[0] == 't' ? 1 : 0;
    return std::strtoll(text, nullptr, 10);
}

double PostgresqlStatement::columnDouble(int column) {
    if (!rows_ || PQgetisnull(rows_.get(), row_, column)) return 0.0;
    if (types_[static_cast<std::size_t>(column)] == kBoolOid) return cell(column)[0] == 't' ? 1.0 : 0.0;
    return std::strtod(cell(column), nullptr);
}

const char* PostgresqlStatement::columnText(int column, std::size_t* length) {
    if (!rows_ || PQgetisnull(rows_.get(), row_, column)) {
        *length = 0;
        return "";
    }
    *length = static_cast<std::size_t>(PQgetlength(rows_.get(), row_, column));
    return cell(column);
}

// bytea comes in its hex text form (the connection sets bytea_output).
std::string PostgresqlStatement::columnBlob(int column) {
    std::string bytes;
    if (!rows_ || PQgetisnull(rows_.get(), row_, column)) return bytes;
    const char* text = cell(column);
    const std::size_t length = static_cast<std::size_t>(PQgetlength(rows_.get(), row_, column));
    if (length < 2 || text[0] != '\\' || text[1] != 'x') return bytes;
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    bytes.reserve((length - 2) / 2);
    for (std::size_t i = 2; i + 1 < length; i += 2)
        bytes += static_cast<char>(digit(text[i]) << 4 | digit(text[i + 1]));
    return bytes;
}

// Notices (a truncated name, say) are not the user's business; the store
// reports what fails.
void ignoreNotice(void*, const char*) {}

}  // namespace

std::unique_ptr<SqlConnection> openPostgresqlConnection(const std::string& conninfo, const std::string& prefix,
                                                        std::string* error) {
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (!connection) {
        *error = "out of memory";
        return nullptr;
    }
    if (PQstatus(connection) != CONNECTION_OK) {
        std::string text = PQerrorMessage(connection);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        // One line: libpq may give the attempts on several.
        std::replace(text.begin(), text.end(), '\n', ' ');
        *error = text;
        PQfinish(connection);
        return nullptr;
    }
    PQsetNoticeProcessor(connection, ignoreNotice, nullptr);
    // Prefixes compare without case, as the table names they start do.
    std::string lockName = prefix;
    for (char& c : lockName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::unique_ptr<PostgresqlConnection> opened(new PostgresqlConnection(connection, lockName));
    // Texts are UTF-8 both ways; dates are numbers, so no time zone matters.
    if (PQsetClientEncoding(connection, "UTF8") != 0 ||
        !opened->execute("SET application_name = 'rdm'; SET bytea_output = 'hex'", error)) {
        if (error->empty()) *error = "the server does not take UTF-8";
        return nullptr;
    }
    return fault::wrap(std::unique_ptr<SqlConnection>(opened.release()));
}

}  // namespace repadm

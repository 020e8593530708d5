// StoreResultSet over a prepared statement, and the store session's cache.
#include "result_set.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace repadm {

StoreSession::~StoreSession() {}

void StoreSession::checkIn(const StatementKey& key, std::unique_ptr<SqlStatement> statement) {
    statement->reset();
    try {
        idle_[key].push_back(std::move(statement));
    } catch (const std::bad_alloc&) {
        // Not cached: the statement is finalised here and prepared again later.
    }
}

void StoreSession::unregisterWalk(ResultSetImpl* walk) {
    walks_.erase(std::remove(walks_.begin(), walks_.end(), walk), walks_.end());
}

bool StoreSession::beforeWrite(std::uint64_t tables, std::string* error) {
    // Outside a transaction an open statement keeps the connection's read
    // snapshot; once another connection commits, a write from that snapshot
    // fails at once ("database is locked") instead of waiting. So every walk
    // lets its statement go. Inside a transaction (which holds the write lock
    // since its BEGIN IMMEDIATE) only walks over the tables written need to.
    if (!connection_->inTransaction()) tables = kAllTables;
    bool ok = true;
    for (ResultSetImpl* walk : walks_) {
        if ((walk->tables() & tables) && !walk->materialise(error)) ok = false;
    }
    walks_.erase(std::remove_if(walks_.begin(), walks_.end(),
                                [tables](ResultSetImpl* walk) { return walk->tables() & tables; }),
                 walks_.end());
    return ok;
}

namespace {

// The current moment as a Julian day number (the store's dates), per dialect.
const char kNowSqlite[] = "julianday('now')";
const char kNowPostgresql[] = "(EXTRACT(EPOCH FROM CURRENT_TIMESTAMP)::DOUBLE PRECISION / 86400.0 + 2440587.5)";

}  // namespace

std::string StoreSession::withPrefix(const std::string& sql) const {
    const char* now = connection_->dialect() == SqlDialect::Postgresql ? kNowPostgresql : kNowSqlite;
    std::string out;
    out.reserve(sql.size() + 64);
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql.compare(i, 3, "{P}") == 0) {
            out += prefix_;
            i += 2;
        } else if (sql.compare(i, 5, "{NOW}") == 0) {
            out += now;
            i += 4;
        } else {
            out += sql[i];
        }
    }
    return out;
}

ResultSetImpl::ResultSetImpl(std::shared_ptr<StoreSession> session, const StatementKey& key,
                             std::unique_ptr<SqlStatement> statement, std::uint64_t tables)
    : session_(std::move(session)), key_(key), statement_(std::move(statement)), tables_(tables) {
    const int count = statement_->columnCount();
    for (int i = 0; i < count; ++i) {
        names_.push_back(statement_->columnName(i));
        isDate_.push_back(statement_->columnIsDate(i));
    }
    session_->registerWalk(this);
}

ResultSetImpl::~ResultSetImpl() {
    dropKept();
}

namespace {

// Rows kept in memory up to this many bytes; beyond, they go to a file.
const std::size_t kKeptInMemory = 4u << 20;

void appendBytes(std::string& out, const void* bytes, std::size_t length) {
    out.append(static_cast<const char*>(bytes), length);
}

}  // namespace

void ResultSetImpl::appendRow() {
    const int count = static_cast<int>(names_.size());
    for (int i = 0; i < count; ++i) {
        const SqlType type = statement_->columnType(i);
        kept_.push_back(static_cast<char>(type));
        if (type == SqlType::Integer) {
            const std::int64_t number = statement_->columnInt(i);
            appendBytes(kept_, &number, sizeof number);
        } else if (type == SqlType::Real) {
            const double number = statement_->columnDouble(i);
            appendBytes(kept_, &number, sizeof number);
        } else if (type == SqlType::Text || type == SqlType::Blob) {
            std::size_t length = 0;
            const char* text = statement_->columnText(i, &length);
            const std::uint64_t size = length;
            appendBytes(kept_, &size, sizeof size);
            kept_.append(text, length);
        }
    }
}

bool ResultSetImpl::flushKept(std::string* error) {
    if (!file_) file_ = std::tmpfile();  // created owner-only, removed when closed
    if (!file_ || std::fwrite(kept_.data(), 1, kept_.size(), file_) != kept_.size()) {
        *error = std::string("cannot write the rows of an open listing to a temporary file: ") +
                 std::strerror(errno);
        return false;
    }
    kept_.clear();
    return true;
}

bool ResultSetImpl::readKept(void* into, std::size_t length) {
    if (file_) return std::fread(into, 1, length, file_) == length;
    if (kept_.size() - keptAt_ < length) return false;
    std::memcpy(into, kept_.data() + keptAt_, length);
    keptAt_ += length;
    return true;
}

bool ResultSetImpl::loadKeptRow() {
    for (Cell& cell : current_) {
        char type = 0;
        if (!readKept(&type, 1)) return false;
        cell.type = static_cast<SqlType>(type);
        if (cell.type == SqlType::Integer) {
            if (!readKept(&cell.integer, sizeof cell.integer)) return false;
        } else if (cell.type == SqlType::Real) {
            if (!readKept(&cell.real, sizeof cell.real)) return false;
        } else if (cell.type == SqlType::Text || cell.type == SqlType::Blob) {
            std::uint64_t size = 0;
            if (!readKept(&size, sizeof size)) return false;
            cell.text.resize(static_cast<std::size_t>(size));
            if (size && !readKept(&cell.text[0], cell.text.size())) return false;
        }
    }
    return true;
}

void ResultSetImpl::dropKept() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    std::string().swap(kept_);
    keptAt_ = 0;
    rowsLeft_ = 0;
}

void ResultSetImpl::finishStatement() {
    if (!statement_) return;
    session_->unregisterWalk(this);
    session_->checkIn(key_, std::move(statement_));
}

bool ResultSetImpl::materialise(std::string* error) {
    if (!statement_) return true;
    materialised_ = true;
    const int count = static_cast<int>(names_.size());
    bool ok = true;
    try {
        current_.resize(static_cast<std::size_t>(count));
        // The current row stays readable.
        if (onRow_) {
            for (int i = 0; i < count; ++i) {
                Cell& cell = current_[static_cast<std::size_t>(i)];
                cell.type = statement_->columnType(i);
                if (cell.type == SqlType::Integer) cell.integer = statement_->columnInt(i);
                if (cell.type == SqlType::Real) cell.real = statement_->columnDouble(i);
                if (cell.type == SqlType::Text || cell.type == SqlType::Blob) {
                    std::size_t length = 0;
                    const char* text = statement_->columnText(i, &length);
                    cell.text.assign(text, length);
                }
            }
        }
        int rc = ended_ ? 0 : statement_->step();
        while (rc == 1 && ok) {
            appendRow();
            ++rowsLeft_;
            if (kept_.size() >= kKeptInMemory) ok = flushKept(error);
            if (ok) rc = statement_->step();
        }
        if (ok && rc < 0) {
            *error = session_->connection().errorText();
            ok = false;
        }
        if (ok && file_) {
            ok = flushKept(error) && std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0;
            if (!ok && error->empty()) *error = "cannot read back the rows of an open listing";
        }
    } catch (const std::bad_alloc&) {
        *error = "out of memory while keeping the rows of an open listing";
        ok = false;
    }
    if (!ok) {  // the walk fails; next() then reports it
        dropKept();
        failed_ = true;
    }
    session_->checkIn(key_, std::move(statement_));
    return ok;
}

int ResultSetImpl::next() {
    if (failed_) return -1;
    if (ended_) return 0;
    if (materialised_) {
        onRow_ = rowsLeft_ > 0;
        if (!onRow_) {
            ended_ = true;
            dropKept();
            return 0;
        }
        --rowsLeft_;
        bool loaded = false;
        try {
            loaded = loadKeptRow();
        } catch (const std::bad_alloc&) {
        }
        if (!loaded) {
            onRow_ = false;
            failed_ = true;
            dropKept();
            return -1;
        }
        return 1;
    }
    if (!statement_) return -1;
    const int rc = statement_->step();
    onRow_ = rc == 1;
    if (rc != 1) {
        ended_ = true;
        failed_ = rc < 0;
        finishStatement();
    }
    return rc;
}

int ResultSetImpl::getColumnCount() {
    return static_cast<int>(names_.size());
}

QxbString ResultSetImpl::getColumnName(int column) {
    if (column < 0 || column >= getColumnCount()) return QxbString();
    return QxbString(names_[static_cast<std::size_t>(column)]);
}

bool ResultSetImpl::validColumn(int column) const {
    return onRow_ && column >= 0 && column < static_cast<int>(names_.size());
}

SqlType ResultSetImpl::typeOf(int column) {
    if (materialised_) return current_[static_cast<std::size_t>(column)].type;
    return statement_->columnType(column);
}

QxbString ResultSetImpl::getString(int column) {
    if (!validColumn(column)) return QxbString();
    const SqlType type = typeOf(column);
    if (type == SqlType::Null) return QxbString();
    if (type == SqlType::Integer || type == SqlType::Real) {
        return getValue(column).asString();
    }
    if (materialised_) return QxbString(current_[static_cast<std::size_t>(column)].text);
    std::size_t length = 0;
    const char* text = statement_->columnText(column, &length);
    return QxbString(text, length);
}

int ResultSetImpl::getInt(int column) {
    if (!validColumn(column)) return 0;
    const SqlType type = typeOf(column);
    // A NULL identifier is "none", which callers compare with -1.
    if (type == SqlType::Null) return -1;
    if (materialised_) {
        const Cell& cell = current_[static_cast<std::size_t>(column)];
        if (type == SqlType::Real) return static_cast<int>(cell.real);
        if (type == SqlType::Integer) return static_cast<int>(cell.integer);
        return QxbString(cell.text).asInt();
    }
    if (type == SqlType::Text) return getString(column).asInt();
    return static_cast<int>(statement_->columnInt(column));
}

double ResultSetImpl::getDouble(int column) {
    if (!validColumn(column)) return 0.0;
    const SqlType type = typeOf(column);
    if (type == SqlType::Null) return 0.0;
    if (materialised_) {
        const Cell& cell = current_[static_cast<std::size_t>(column)];
        if (type == SqlType::Real) return cell.real;
        if (type == SqlType::Integer) return static_cast<double>(cell.integer);
        return QxbDatavar(getValue(column)).asDouble();
    }
    return statement_->columnDouble(column);
}

bool ResultSetImpl::isNull(int column) {
    return !validColumn(column) || typeOf(column) == SqlType::Null;
}

QxbDatavar ResultSetImpl::getValue(int column) {
    QxbDatavar value;
    if (!validColumn(column)) return value;
    const SqlType type = typeOf(column);
    const bool isDate = isDate_[static_cast<std::size_t>(column)];
    const Cell* cell =
        materialised_ ? &current_[static_cast<std::size_t>(column)] : nullptr;
    switch (type) {
        case SqlType::Null: break;
        case SqlType::Integer: {
            const std::int64_t number = cell ? cell->integer : statement_->columnInt(column);
            if (isDate)
                value.assign(QxbDate(static_cast<double>(number)));
            else
                value.assign(static_cast<int>(number));
            break;
        }
        case SqlType::Real: {
            const double number = cell ? cell->real : statement_->columnDouble(column);
            if (isDate)
                value.assign(QxbDate(number));
            else
                value.assign(number);
            break;
        }
        default: {
            // A text is answered whole, as getString answers it, also when a
            // NUL byte was stored in it (no write of this store lets one in,
            // but other writers may have).
            if (cell) {
                value.assign(cell->text.data(), cell->text.size());
            } else {
                std::size_t length = 0;
                const char* text = statement_->columnText(column, &length);
                value.assign(text, length);
            }
        }
    }
    return value;
}

void ResultSetImpl::release() {
    finishStatement();
    delete this;
}

bool ResultSetImpl::isReady() {
    return !ended_ && !failed_;
}

}  // namespace repadm

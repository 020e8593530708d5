// StoreResultSet over a prepared statement, and the store session's cache.
#include "result_set.h"

#include <algorithm>
#include <cstring>

namespace repadm {

StoreSession::~StoreSession() {}

void StoreSession::checkIn(const StatementKey& key, std::unique_ptr<SqlStatement> statement) {
    statement->reset();
    idle_[key].push_back(std::move(statement));
}

void StoreSession::unregisterWalk(ResultSetImpl* walk) {
    walks_.erase(std::remove(walks_.begin(), walks_.end(), walk), walks_.end());
}

void StoreSession::beforeWrite(std::uint64_t tables) {
    for (ResultSetImpl* walk : walks_) {
        if (walk->tables() & tables) walk->materialise();
    }
    walks_.erase(std::remove_if(walks_.begin(), walks_.end(),
                                [tables](ResultSetImpl* walk) { return walk->tables() & tables; }),
                 walks_.end());
}

std::string StoreSession::withPrefix(const std::string& sql) const {
    std::string out;
    out.reserve(sql.size() + 64);
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql.compare(i, 3, "{P}") == 0) {
            out += prefix_;
            i += 2;
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

ResultSetImpl::~ResultSetImpl() {}

void ResultSetImpl::finishStatement() {
    if (!statement_) return;
    session_->unregisterWalk(this);
    session_->checkIn(key_, std::move(statement_));
}

void ResultSetImpl::materialise() {
    if (!statement_) return;
    materialised_ = true;
    rows_.clear();
    position_ = 0;
    // The current row stays readable: it becomes rows_[0].
    const bool keepCurrent = onRow_;
    const int count = static_cast<int>(names_.size());
    int rc = keepCurrent ? 1 : statement_->step();
    while (rc == 1 && !ended_) {
        std::vector<Cell> row(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            Cell& cell = row[static_cast<std::size_t>(i)];
            cell.type = statement_->columnType(i);
            if (cell.type == SqlType::Integer) cell.integer = statement_->columnInt(i);
            if (cell.type == SqlType::Real) cell.real = statement_->columnDouble(i);
            if (cell.type == SqlType::Text || cell.type == SqlType::Blob) {
                std::size_t length = 0;
                const char* text = statement_->columnText(i, &length);
                cell.text.assign(text, length);
            }
        }
        rows_.push_back(std::move(row));
        rc = statement_->step();
    }
    if (rc < 0) {  // a failing walk ends; next() then reports it
        rows_.clear();
        failed_ = true;
    }
    // keepCurrent: position_ 0 is the current row, next() advances past it.
    position_ = 0;
    onRow_ = keepCurrent && !rows_.empty();
    session_->checkIn(key_, std::move(statement_));
}

int ResultSetImpl::next() {
    if (failed_) return -1;
    if (ended_) return 0;
    if (materialised_) {
        if (onRow_) ++position_;
        onRow_ = position_ < rows_.size();
        if (!onRow_) ended_ = true;
        return onRow_ ? 1 : 0;
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
    if (materialised_) return rows_[position_][static_cast<std::size_t>(column)].type;
    return statement_->columnType(column);
}

QxbString ResultSetImpl::getString(int column) {
    if (!validColumn(column)) return QxbString();
    const SqlType type = typeOf(column);
    if (type == SqlType::Null) return QxbString();
    if (type == SqlType::Integer || type == SqlType::Real) {
        return getValue(column).asString();
    }
    if (materialised_) return QxbString(rows_[position_][static_cast<std::size_t>(column)].text);
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
        const Cell& cell = rows_[position_][static_cast<std::size_t>(column)];
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
        const Cell& cell = rows_[position_][static_cast<std::size_t>(column)];
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
        materialised_ ? &rows_[position_][static_cast<std::size_t>(column)] : nullptr;
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
            if (cell) {
                value.assign(QxbString(cell->text));
            } else {
                // A text is answered whole, as getString answers it, also when
                // a NUL byte was stored in it (no write of this store lets one
                // in, but other writers may have); a text without one is
                // assigned directly, which saves a copy.
                std::size_t length = 0;
                const char* text = statement_->columnText(column, &length);
                if (std::memchr(text, '\0', length))
                    value.assign(QxbString(text, length));
                else
                    value.assign(text);
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

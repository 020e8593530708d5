// Bound values, filter clauses and savepoints of the store's operations.
#include "store_support.h"

namespace repadm {

SqlValue nullValue() {
    return SqlValue();
}

SqlValue idValue(unsigned id) {
    SqlValue value;
    if (id != kNoId) {
        value.kind = SqlValue::Int;
        value.integer = id;
    }
    return value;
}

SqlValue numberValue(std::int64_t number) {
    SqlValue value;
    value.kind = SqlValue::Int;
    value.integer = number;
    return value;
}

SqlValue textValue(const QxbString& text) {
    SqlValue value;
    if (!text.isNull()) {
        value.kind = SqlValue::Text;
        value.text = text.asCstr();
        value.length = text.length();
    }
    return value;
}

SqlValue dateValue(const QxbDate& date) {
    SqlValue value;
    if (!date.isNull()) {
        value.kind = SqlValue::Real;
        value.real = date.value();
    }
    return value;
}

bool bindValue(SqlStatement& statement, int index, const SqlValue& value) {
    switch (value.kind) {
        case SqlValue::Int: return statement.bindInt(index, value.integer);
        case SqlValue::Real: return statement.bindDouble(index, value.real);
        case SqlValue::Text: return statement.bindText(index, value.text, value.length);
        default: return statement.bindNull(index);
    }
}

void FilterClause::add(const char* condition, Form form, const SqlValue& value, bool given) {
    const int position = form == kFixed ? -1 : position_++;
    if (!given) return;
    if (!condition) {
        if (error_.empty()) {
            error_ = "a filter was given at position " + std::to_string(position + 1) +
                     ", which has no column";
        }
        return;
    }
    if (count_ >= kMaxFilters) {
        // Dropping a condition would widen the rows matched (for a deletion,
        // the rows deleted): fail instead.
        if (error_.empty()) error_ = "more than " + std::to_string(kMaxFilters) + " filters";
        return;
    }
    if (position >= 0) mask_ |= 1ull << position;
    conditions_[count_] = condition;
    forms_[count_] = form;
    values_[count_] = value;
    ++count_;
}

FilterClause& FilterClause::id(const char* column, unsigned value) {
    add(column, kColumn, idValue(value), value != kNoId);
    return *this;
}

FilterClause& FilterClause::text(const char* column, const QxbString& value) {
    add(column, kColumn, textValue(value), !value.isNull());
    return *this;
}

FilterClause& FilterClause::date(const char* column, const QxbDate& value) {
    add(column, kColumn, dateValue(value), !value.isNull());
    return *this;
}

FilterClause& FilterClause::expression(const char* condition, const SqlValue& value, bool given) {
    add(condition, kExpression, value, given);
    return *this;
}

FilterClause& FilterClause::condition(const char* text) {
    add(text, kFixed, SqlValue(), true);
    return *this;
}

FilterClause& FilterClause::none(unsigned value) {
    add(nullptr, kColumn, SqlValue(), value != kNoId);
    return *this;
}

FilterClause& FilterClause::none(const QxbString& value) {
    add(nullptr, kColumn, SqlValue(), !value.isNull());
    return *this;
}

FilterClause& FilterClause::none(const QxbDate& value) {
    add(nullptr, kColumn, SqlValue(), !value.isNull());
    return *this;
}

std::string FilterClause::apply(const char* sql) const {
    std::string conditions;
    for (int i = 0; i < count_; ++i) {
        if (i > 0) conditions += " AND ";
        conditions += conditions_[i];
        if (forms_[i] == kColumn) conditions += " = ?";
    }
    std::string out(sql);
    std::size_t at = out.find("{W}");
    if (at != std::string::npos) {
        out.replace(at, 3, count_ ? " WHERE " + conditions : std::string());
    }
    at = out.find("{A}");
    if (at != std::string::npos) {
        out.replace(at, 3, count_ ? " AND " + conditions : std::string());
    }
    return out;
}

bool FilterClause::bind(SqlStatement& statement, int firstIndex) const {
    int index = firstIndex;
    for (int i = 0; i < count_; ++i) {
        if (forms_[i] == kFixed) continue;
        if (!bindValue(statement, index++, values_[i])) return false;
    }
    return true;
}

Savepoint::Savepoint(SqlConnection& connection) : connection_(connection) {
    // Outside a transaction a plain SAVEPOINT would begin a deferred one,
    // whose first read takes a snapshot that a later write cannot upgrade
    // while another writer works (SQLite then fails at once instead of
    // waiting). BEGIN IMMEDIATE waits for the write lock first.
    outer_ = !connection_.inTransaction();
    started_ = outer_ ? connection_.beginWrite(&error_) : connection_.execute("SAVEPOINT store_write", &error_);
}

Savepoint::~Savepoint() {
    if (started_ && !done_) {
        std::string ignored;
        if (!outer_) {
            connection_.execute("ROLLBACK TO store_write; RELEASE store_write", &ignored);
        } else if (connection_.inTransaction()) {
            connection_.execute("ROLLBACK", &ignored);
        }
    }
}

// Released only once RELEASE (or COMMIT) succeeded: after a failed one the
// destructor still rolls the work back, so no transaction is left open.
bool Savepoint::release() {
    if (!connection_.execute(outer_ ? "COMMIT" : "RELEASE store_write", &error_)) return false;
    done_ = true;
    return true;
}

}  // namespace repadm

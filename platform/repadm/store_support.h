// Building blocks of the store's operations: bound values, the filter
// clause built from the filters actually given, and a savepoint guard.
#pragma once

#include <cstdint>
#include <string>

#include "qxbcpp.h"
#include "sql_driver.h"

namespace repadm {

const unsigned kNoId = 0xFFFFFFFFu;

// A value bound to a statement parameter; texts point at the caller's bytes.
struct SqlValue {
    enum Kind { Null, Int, Real, Text } kind = Null;
    std::int64_t integer = 0;
    double real = 0.0;
    const char* text = nullptr;
    std::size_t length = 0;
};

SqlValue nullValue();
SqlValue idValue(unsigned id);  // -1: NULL
SqlValue numberValue(std::int64_t number);
SqlValue textValue(const QxbString& text);  // null text: NULL
SqlValue dateValue(const QxbDate& date);    // null date: NULL
bool bindValue(SqlStatement& statement, int index, const SqlValue& value);

// The WHERE conditions of a listing or deletion: one "column = ?" for each
// filter given, from constant column names only. -1, a null text and the
// null date are "no filter". A position without a column accepts only "no
// filter"; a value there is an error (error() names the position).
class FilterClause {
public:
    FilterClause& id(const char* column, unsigned value);
    FilterClause& text(const char* column, const QxbString& value);
    FilterClause& date(const char* column, const QxbDate& value);
    // A condition with its own text holding exactly one "?".
    FilterClause& expression(const char* condition, const SqlValue& value, bool given);
    // A fixed condition without a parameter; it takes no filter position.
    FilterClause& condition(const char* text);
    FilterClause& none(unsigned value);
    FilterClause& none(const QxbString& value);
    FilterClause& none(const QxbDate& value);

    // Bit p set when the filter at position p was given.
    std::uint64_t mask() const { return mask_; }
    const std::string& error() const { return error_; }
    // "sql" with "{W}" replaced by " WHERE ..." and "{A}" by " AND ..." (or
    // by nothing when no filter was given).
    std::string apply(const char* sql) const;
    bool bind(SqlStatement& statement, int firstIndex = 1) const;
    int count() const { return count_; }

private:
    enum Form { kColumn, kExpression, kFixed };
    void add(const char* condition, Form form, const SqlValue& value, bool given);
    static const int kMaxFilters = 24;
    const char* conditions_[kMaxFilters] = {};
    Form forms_[kMaxFilters] = {};
    SqlValue values_[kMaxFilters];
    int count_ = 0;
    int position_ = 0;
    std::uint64_t mask_ = 0;
    std::string error_;
};

// Makes a multi-statement write all-or-nothing, inside or outside a
// transaction.
class Savepoint {
public:
    explicit Savepoint(SqlConnection& connection);
    ~Savepoint();  // rolls back unless released
    bool started() const { return started_; }
    bool outer() const { return outer_; }
    const std::string& error() const { return error_; }
    bool release();

private:
    SqlConnection& connection_;
    bool outer_ = false;  // began the transaction itself
    bool started_ = false;
    bool done_ = false;
    std::string error_;
};

}  // namespace repadm

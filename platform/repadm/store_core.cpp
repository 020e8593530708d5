// The store's shared machinery: errors, transactions, running listings and
// writes through the statement cache, and the data-server prepared queries.
#include <cstdint>
#include <new>

#include "result_set.h"
#include "store_impl.h"

namespace repadm {

namespace {

// Every table of the store, for listTableCounts.
const char* const kTableNames[] = {"table_codes",
                                   "attribute_contexts",
                                   "attribute_types",
                                   "languages",
                                   "permissions",
                                   "roles",
                                   "accounts",
                                   "attributes",
                                   "items",
                                   "item_permissions",
                                   "localized_texts",
                                   "domains",
                                   "domain_versions",
                                   "domain_permissions",
                                   "version_permissions",
                                   "domain_role_permissions",
                                   "domain_associations",
                                   "domain_languages",
                                   "version_languages",
                                   "domain_attributes",
                                   "domain_attribute_permissions",
                                   "domain_attribute_values",
                                   "version_attributes",
                                   "version_values",
                                   "version_items",
                                   "item_attribute_values",
                                   "version_item_values",
                                   "version_item_value_links",
                                   "version_link_sets",
                                   "change_records",
                                   "domain_extras"};

// Keys the counts listing (its text is built from the constant names above).
const char kTableCountsKey[] = "listTableCounts";

}  // namespace

RefDataStoreImpl::RefDataStoreImpl(std::shared_ptr<StoreSession> session, std::string reason)
    : session_(std::move(session)), openError_(std::move(reason)) {}

RefDataStoreImpl::~RefDataStoreImpl() {}

void RefDataStoreImpl::release() {
    // Result sets still open hold the session (and its connection) alive.
    if (session_ && inTransaction_) {
        std::string ignored;
        session_->beforeWrite(kAllTables, &ignored);  // open walks keep their rows
        session_->connection().execute("ROLLBACK", &ignored);
    }
    delete this;
}

QxbString RefDataStoreImpl::getLastError() {
    return lastError_;
}

bool RefDataStoreImpl::fail(const char* operation, const std::string& reason) {
    lastError_ = QxbString(std::string(operation) + ": " + reason);
    return false;
}

bool RefDataStoreImpl::usable(const char* operation) {
    if (session_) return true;
    return fail(operation, openError_);
}

bool RefDataStoreImpl::checkFilters(const char* operation, const FilterClause& filters) {
    if (filters.error().empty()) return true;
    return fail(operation, filters.error());
}

// --- transactions -------------------------------------------------------------

bool RefDataStoreImpl::beginTransaction(int, int) {
    const char* operation = "beginTransaction";
    if (!usable(operation)) return false;
    if (inTransaction_ || session_->connection().inTransaction()) {
        return fail(operation, "a transaction is already open on this store");
    }
    std::string error;
    // No open walk may hold a read snapshot when the BEGIN starts: SQLite
    // would then refuse the write lock at once instead of waiting for it.
    if (!session_->beforeWrite(kAllTables, &error)) return fail(operation, error);
    // IMMEDIATE takes the write lock now, waiting (see the driver's busy
    // handler) for other writers, so the writes inside never fail for a lock.
    if (!session_->connection().beginWrite(&error)) return fail(operation, error);
    inTransaction_ = true;
    return true;
}

bool RefDataStoreImpl::endTransaction(bool commit) {
    const char* operation = commit ? "endTransaction(commit)" : "endTransaction(rollback)";
    if (!usable(operation)) return false;
    if (!inTransaction_) return fail(operation, "no transaction is open on this store");
    std::string error;
    SqlConnection& connection = session_->connection();
    struct Forget {
        StoreSession& session;
        ~Forget() { session.forgetIds(); }
    } forget{*session_};
    if (commit && !session_->saveIds(&error)) {
        std::string ignored;
        if (connection.inTransaction()) connection.execute("ROLLBACK", &ignored);
        inTransaction_ = false;
        return fail(operation, error + " (the transaction was rolled back)");
    }
    if (commit && !connection.execute("COMMIT", &error)) {
        // A commit that fails is rolled back, so the store is usable again.
        std::string ignored;
        if (connection.inTransaction()) connection.execute("ROLLBACK", &ignored);
        inTransaction_ = false;
        return fail(operation, error + " (the transaction was rolled back)");
    }
    if (commit) session_->refreshStatistics();
    if (!commit) {
        // Walks of this connection would be aborted by the roll-back; one
        // that cannot keep its rows fails, but the roll-back goes on.
        std::string ignored;
        session_->beforeWrite(kAllTables, &ignored);
        if (connection.inTransaction() && !connection.execute("ROLLBACK", &error)) {
            inTransaction_ = connection.inTransaction();
            return fail(operation, error);
        }
    }
    inTransaction_ = false;
    return true;
}

// --- running statements ---------------------------------------------------------

bool RefDataStoreImpl::settleLinks(const char* operation) {
    std::string error;
    if (!session_->flushLinkSets(&error)) return fail(operation, error);
    session_->forgetLinkSets();
    return true;
}

StoreResultSet* RefDataStoreImpl::listing(const char* operation, const char* sql,
                                          const FilterClause& filters, std::uint64_t tables) {
    if (!usable(operation) || !checkFilters(operation, filters)) return nullptr;
    if ((tables & kVersionItemValueLinks) && !settleLinks(operation)) return nullptr;
    const StatementKey key{sql, filters.mask()};
    std::string error;
    std::unique_ptr<SqlStatement> statement = session_->checkOut(
        key, [&] { return filters.apply(sql); }, &error);
    if (!statement) {
        fail(operation, error);
        return nullptr;
    }
    if (!filters.bind(*statement)) {
        fail(operation, session_->connection().errorText());
        session_->checkIn(key, std::move(statement));
        return nullptr;
    }
    return newWalk(operation, key, std::move(statement), tables);
}

StoreResultSet* RefDataStoreImpl::newWalk(const char* operation, const StatementKey& key,
                                          std::unique_ptr<SqlStatement> statement,
                                          std::uint64_t tables) {
    try {
        return new ResultSetImpl(session_, key, std::move(statement), tables);
    } catch (const std::bad_alloc&) {
        fail(operation, "out of memory");
        return nullptr;
    }
}

bool RefDataStoreImpl::insertNumbered(const char* operation, const char* sql,
                                      std::uint64_t tables, Numbered table,
                                      std::initializer_list<SqlValue> params, unsigned* newId,
                                      const std::string& noRowError) {
    if (!usable(operation)) return false;
    // Outside a transaction the id is taken, used and saved in one; it is
    // answered once that has committed (the insert may be sent on without
    // waiting, so only the commit tells).
    if (!session_->connection().inTransaction()) {
        unsigned id = 0;
        const bool ok = atomically(operation, [&] {
            return insertNumbered(operation, sql, tables, table, params, &id, noRowError);
        });
        if (ok && newId) *newId = id;
        return ok;
    }
    std::int64_t id = 0;
    std::string error;
    if (!session_->nextId(table, &id, &error)) return fail(operation, error);
    return write(operation, sql, tables, params, newId, nullptr, &id, noRowError);
}

bool RefDataStoreImpl::write(const char* operation, const char* sql, std::uint64_t tables,
                             std::initializer_list<SqlValue> params, unsigned* newId, int* changed,
                             const std::int64_t* assignedId, const std::string& noRowError) {
    if (!usable(operation)) return false;
    if (!assignedId && (tables & kVersionItemValueLinks) && !settleLinks(operation)) return false;
    std::string error;
    if (!session_->beforeWrite(tables, &error)) return fail(operation, error);
    const StatementKey key{sql, 0};
    std::unique_ptr<SqlStatement> statement = session_->checkOut(
        key, [&] { return sql; }, &error);
    if (!statement) return fail(operation, error);
    int index = 1;
    bool ok = true;
    for (const SqlValue& value : params) ok = ok && bindValue(*statement, index++, value);
    if (assignedId) ok = ok && statement->bindInt(index, *assignedId);
    // An insert into a table that numbers its own rows answers the new id
    // (RETURNING ID) as its one row. A bulk insert (its id assigned here)
    // answers nothing, so the driver may send it on without waiting.
    const int rc = !ok ? -1 : assignedId ? statement->stepDeferred(noRowError) : statement->step();
    std::int64_t returned = 0;
    if (rc == 1) returned = statement->columnInt(0);
    if (rc < 0) error = session_->connection().errorText();
    session_->checkIn(key, std::move(statement));
    if (rc < 0) return fail(operation, error);
    if (rc == 0 && assignedId && !noRowError.empty() && session_->connection().changes() == 0)
        return fail(operation, noRowError);
    if (newId) {
        if (!assignedId && rc != 1) return fail(operation, "the insert answered no new id");
        *newId = static_cast<unsigned>(assignedId ? *assignedId : returned);
    }
    if (changed) *changed = session_->connection().changes();
    return true;
}

bool RefDataStoreImpl::filteredWrite(const char* operation, const char* sql,
                                     const FilterClause& filters, std::uint64_t tables) {
    if (!usable(operation) || !checkFilters(operation, filters)) return false;
    // No operation deletes every row of a table: a caller that passes "any"
    // everywhere has lost its key, and the answer must not be a wiped table.
    if (filters.mask() == 0) {
        return fail(operation, "every filter is \"any\"; a deletion needs at least one");
    }
    if ((tables & kVersionItemValueLinks) && !settleLinks(operation)) return false;
    std::string error;
    if (!session_->beforeWrite(tables, &error)) return fail(operation, error);
    const StatementKey key{sql, filters.mask()};
    std::unique_ptr<SqlStatement> statement = session_->checkOut(
        key, [&] { return filters.apply(sql); }, &error);
    if (!statement) return fail(operation, error);
    const bool ok = filters.bind(*statement) && statement->step() >= 0;
    if (!ok) error = session_->connection().errorText();
    session_->checkIn(key, std::move(statement));
    return ok || fail(operation, error);
}

bool RefDataStoreImpl::rowExists(const char* operation, const char* sql, unsigned id,
                                 const char* what) {
    const StatementKey key{sql, 0};
    std::string error;
    std::unique_ptr<SqlStatement> statement = session_->checkOut(
        key, [&] { return sql; }, &error);
    if (!statement) return fail(operation, error);
    const int rc = bindValue(*statement, 1, idValue(id)) ? statement->step() : -1;
    if (rc < 0) error = session_->connection().errorText();
    session_->checkIn(key, std::move(statement));
    if (rc < 0) return fail(operation, error);
    if (rc == 0) {
        const std::string shown = id == kNoId ? std::string("-1") : std::to_string(id);
        return fail(operation, std::string("no ") + what + " has the id " + shown);
    }
    return true;
}

// --- table counts -------------------------------------------------------------------

StoreResultSet* RefDataStoreImpl::listTableCounts() {
    const char* operation = "listTableCounts";
    if (!usable(operation) || !settleLinks(operation)) return nullptr;
    const StatementKey key{kTableCountsKey, 0};
    auto build = [] {
        std::string sql;
        for (const char* table : kTableNames) {
            if (!sql.empty()) sql += " UNION ALL ";
            sql += std::string("SELECT '") + table +
                   "' AS TABLE_NAME, COUNT(*) AS ROW_COUNT FROM {P}" + table;
        }
        return sql;
    };
    std::string error;
    std::unique_ptr<SqlStatement> statement = session_->checkOut(key, build, &error);
    if (!statement) {
        fail(operation, error);
        return nullptr;
    }
    return newWalk(operation, key, std::move(statement), kAllTables);
}

// --- prepared queries of the data-server mode -------------------------------------

bool RefDataStoreImpl::prepareQuery(int kind) {
    if (kind < 1 || kind > 5) {
        return fail("prepareQuery",
                    "unknown query kind " + std::to_string(kind) + " (kinds are 1 to 5)");
    }
    preparedKind_ = kind;
    for (QxbDatavar& parameter : parameters_) parameter.setNull();
    return true;
}

bool RefDataStoreImpl::bindParameter(int index, const QxbDatavar& value) {
    if (preparedKind_ == 0) return fail("bindParameter", "no query is prepared");
    if (index < 1 || index > 4) {
        return fail("bindParameter",
                    "unknown parameter " + std::to_string(index) + " (parameters are 1 to 4)");
    }
    parameters_[index] = value;  // copied: callers reuse their value
    return true;
}

StoreResultSet* RefDataStoreImpl::executeQuery() {
    const char* operation = "executeQuery";
    if (preparedKind_ == 0) {
        fail(operation, "no query is prepared");
        return nullptr;
    }
    // Each conversion has its own flag: a later one that succeeds must not
    // hide an earlier failure.
    bool idOk = true, numberOk = true;
    const unsigned id =
        parameters_[2].isNull() ? kNoId : static_cast<unsigned>(parameters_[2].asInt(&idOk));
    const unsigned number =
        parameters_[4].isNull() ? kNoId : static_cast<unsigned>(parameters_[4].asInt(&numberOk));
    const QxbString name = parameters_[3].asString();
    if (!idOk || !numberOk) {
        fail(operation, std::string("parameter ") + (idOk ? "4" : "2") + " is not a number");
        return nullptr;
    }
    if (preparedKind_ != 1 && !parameters_[1].isNull()) {
        fail(operation, "parameter 1 (current) applies to query kind 1 only");
        return nullptr;
    }
    const QxbString empty;
    const QxbDate none;
    switch (preparedKind_) {
        case 1:
            return listDomainDetails(id, name, !parameters_[1].isNull() && parameters_[1].asBool());
        case 2:
            return listDomains(id, name, empty, empty, empty, empty, empty, kNoId, empty, kNoId,
                               kNoId, none, empty, none);
        case 3: return preparedVersions(id, name, number);
        case 5: return listItemsWithKey(id, number, name);
        default: return itemsWithAttributes(operation, id, name.isNull() ? nullptr : &name, number);
    }
}

}  // namespace repadm

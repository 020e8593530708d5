// The ids of the bulk tables: counted in memory within a write transaction,
// kept in {P}id_sequences between transactions.
#include <iterator>

#include "store_session.h"

namespace repadm {

namespace {

const char* const kNumberedNames[kNumberedTables] = {
    "items", "localized_texts", "version_items", "item_attribute_values",
    "version_item_values", "version_item_value_links", "change_records"};
static_assert(std::size(kNumberedNames) == kNumberedTables, "one name per bulk table");

const std::int64_t kLastUsableId = 2147483647;
// Rows of a table in one transaction past which its statistics are refreshed.
const std::int64_t kManyRows = 10000;

const char kReadSql[] = "SELECT LAST_ID FROM {P}id_sequences WHERE TABLE_NAME = ?";
const char kSaveSql[] = "UPDATE {P}id_sequences SET LAST_ID = ? WHERE TABLE_NAME = ?";

}  // namespace

bool StoreSession::nextId(Numbered table, std::int64_t* id, std::string* error) {
    const int index = static_cast<int>(table);
    const char* name = kNumberedNames[index];
    IdSequence& sequence = sequences_[index];
    if (!sequence.read) {
        const StatementKey key{kReadSql, 0};
        std::unique_ptr<SqlStatement> statement = checkOut(key, [] { return kReadSql; }, error);
        if (!statement) return false;
        int rc = statement->bindText(1, name, std::char_traits<char>::length(name)) ? statement->step() : -1;
        if (rc < 0) *error = connection_->errorText();
        if (rc == 1) sequence.last = statement->columnInt(0);
        checkIn(key, std::move(statement));
        if (rc < 0) return false;
        if (rc == 0) {
            *error = "the table " + prefix_ + "id_sequences has no row for " + prefix_ + name;
            return false;
        }
        sequence.read = true;
    }
    if (sequence.last >= kLastUsableId) {
        *error = "the table " + prefix_ + name + " has used every id up to 2147483647";
        return false;
    }
    *id = ++sequence.last;
    sequence.used = true;
    ++sequence.handedOut;
    return true;
}

bool StoreSession::saveIds(std::string* error) {
    if (!flushLinkSets(error)) return false;
    const StatementKey key{kSaveSql, 0};
    for (int index = 0; index < kNumberedTables; ++index) {
        IdSequence& sequence = sequences_[index];
        if (!sequence.used) continue;
        std::unique_ptr<SqlStatement> statement = checkOut(key, [] { return kSaveSql; }, error);
        if (!statement) return false;
        const char* name = kNumberedNames[index];
        const bool ok = statement->bindInt(1, sequence.last) &&
                        statement->bindText(2, name, std::char_traits<char>::length(name)) &&
                        statement->step() >= 0;
        if (!ok) *error = connection_->errorText();
        checkIn(key, std::move(statement));
        if (!ok) return false;
        if (connection_->changes() != 1) {
            *error = "the table " + prefix_ + "id_sequences has no row for " + prefix_ + name;
            return false;
        }
        sequence.used = false;
    }
    return true;
}

void StoreSession::refreshStatistics() {
    if (connection_->dialect() != SqlDialect::Postgresql) return;
    std::string tables;
    for (int index = 0; index < kNumberedTables; ++index) {
        if (sequences_[index].handedOut < kManyRows) continue;
        tables += (tables.empty() ? "ANALYZE " : ", ") + prefix_ + kNumberedNames[index];
    }
    // The commit stands either way; the server's own statistics run catches up later.
    std::string ignored;
    if (!tables.empty()) connection_->execute(tables, &ignored);
}

void StoreSession::forgetIds() {
    for (IdSequence& sequence : sequences_) sequence = IdSequence();
    forgetLinkSets();
}

}  // namespace repadm

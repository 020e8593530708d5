// The shared state behind a store and its result sets: one connection, its
// prepared-statement cache, and the result sets currently walking it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sql_driver.h"

namespace repadm {

class ResultSetImpl;

// Tables as bits, so that a write can tell which open walks it would disturb.
enum Table : std::uint64_t {
    kTableCodes = 1ull << 0,
    kAttributeContexts = 1ull << 1,
    kAttributeTypes = 1ull << 2,
    kLanguages = 1ull << 3,
    kPermissions = 1ull << 4,
    kRoles = 1ull << 5,
    kAccounts = 1ull << 6,
    kAttributes = 1ull << 7,
    kItems = 1ull << 8,
    kItemPermissions = 1ull << 9,
    kLocalizedTexts = 1ull << 10,
    kDomains = 1ull << 11,
    kDomainVersions = 1ull << 12,
    kDomainPermissions = 1ull << 13,
    kVersionPermissions = 1ull << 14,
    kDomainRolePermissions = 1ull << 15,
    kDomainAssociations = 1ull << 16,
    kDomainLanguages = 1ull << 17,
    kVersionLanguages = 1ull << 18,
    kDomainAttributes = 1ull << 19,
    kDomainAttributePermissions = 1ull << 20,
    kDomainAttributeValues = 1ull << 21,
    kVersionAttributes = 1ull << 22,
    kVersionValues = 1ull << 23,
    kVersionItems = 1ull << 24,
    kItemAttributeValues = 1ull << 25,
    kVersionItemValues = 1ull << 26,
    kVersionItemValueLinks = 1ull << 27,
    kChangeRecords = 1ull << 28,
    kDomainExtras = 1ull << 29,
    kMeta = 1ull << 30,
    kAllTables = ~0ull
};

// The bulk tables, whose ids the store hands out itself from the table
// {P}id_sequences (see schema.sql).
enum class Numbered { kItems, kLocalizedTexts, kVersionItems, kItemAttributeValues,
                      kVersionItemValues, kVersionItemValueLinks, kChangeRecords };
constexpr int kNumberedTables = 7;

// Identifies one statement text: the operation's SQL constant and the set of
// filters that were given.
struct StatementKey {
    const void* operation;
    std::uint64_t filterMask;
    bool operator<(const StatementKey& other) const {
        return operation != other.operation ? operation < other.operation
                                            : filterMask < other.filterMask;
    }
};

class StoreSession {
public:
    StoreSession(std::unique_ptr<SqlConnection> connection, std::string prefix)
        : connection_(std::move(connection)), prefix_(std::move(prefix)) {}
    ~StoreSession();

    SqlConnection& connection() { return *connection_; }
    const std::string& prefix() const { return prefix_; }

    // A statement for key: an idle cached one, else sql() is prepared with the
    // table prefix filled in. Null with the reason in *error.
    template <typename BuildSql>
    std::unique_ptr<SqlStatement> checkOut(const StatementKey& key, BuildSql sql,
                                           std::string* error) {
        auto found = idle_.find(key);
        if (found != idle_.end() && !found->second.empty()) {
            std::unique_ptr<SqlStatement> statement = std::move(found->second.back());
            found->second.pop_back();
            return statement;
        }
        return connection_->prepare(withPrefix(sql()), error);
    }
    // Resets the statement and keeps it for the next use of key.
    void checkIn(const StatementKey& key, std::unique_ptr<SqlStatement> statement);

    // Result sets register while they walk. Before a write (and a BEGIN),
    // walks keep their remaining rows and give their statements back: inside
    // a transaction those over a table the write changes, outside one all of
    // them, so that no statement pins an old read snapshot. False (with the
    // reason in *error) when a walk could not keep its rows; it then fails.
    void registerWalk(ResultSetImpl* walk) { walks_.push_back(walk); }
    void unregisterWalk(ResultSetImpl* walk);
    bool beforeWrite(std::uint64_t tables, std::string* error);

    std::string withPrefix(const std::string& sql) const;

    // The next id of a bulk table, inside the write transaction that uses it:
    // the table's last id is read at its first use in the transaction and
    // counted on in memory. False (reason in *error) when the read fails or
    // the ids would pass 2^31 - 1.
    bool nextId(Numbered table, std::int64_t* id, std::string* error);
    // Writes the ids handed out back to {P}id_sequences: before the commit,
    // inside the transaction.
    bool saveIds(std::string* error);
    // After the transaction ended (committed or rolled back): the next one
    // reads the sequences again, as another connection may have used them.
    void forgetIds();
    // After a commit on PostgreSQL: the bulk tables the transaction added many
    // rows to get fresh statistics, without which the server's planner takes
    // a freshly imported version for a few rows (and the next listing of it
    // for a walk of minutes). SQLite plans by its indexes alone: nothing to do.
    void refreshStatistics();

    // Which link rows each version holds (see schema.sql): read a block at a
    // time and changed in memory within a write transaction, written back by
    // flushLinkSets (before the commit, and before any statement that reads
    // or deletes links). Each call is false with the reason in *error when a
    // read or write fails.
    static constexpr std::int64_t kLinkBlock = 4096;
    // A link's bit in the bitmap of its block (sized to a block when empty).
    static bool linkBit(const std::string& bits, std::int64_t link);
    static void setLinkBit(std::string* bits, std::int64_t link, bool held);
    bool holdsLink(std::int64_t version, std::int64_t link, bool* held, std::string* error);
    // taken: the row was made for another version; the flush stamps it with
    // this one (its VERSION_ID), whose listings then read it without the bitmap.
    bool holdLink(std::int64_t version, std::int64_t link, bool taken, std::string* error);
    bool releaseLink(std::int64_t version, std::int64_t link, std::string* error);
    // A stored link row of (value, text) that version does not hold yet, to
    // share; 0 when there is none. Reads the links of 4096 values at a time.
    bool sharableLink(std::int64_t version, std::int64_t value, std::int64_t text, std::int64_t* link,
                      std::string* error);
    // A link row made in this transaction: a later version may share it.
    void noteNewLink(std::int64_t value, std::int64_t text, std::int64_t link);
    // Writes the changed blocks and forgets the blocks read.
    bool flushLinkSets(std::string* error);
    // Forgets the blocks and the links read for sharing: after the
    // transaction, and before a statement deletes links.
    void forgetLinkSets();

private:
    std::unique_ptr<SqlConnection> connection_;
    std::string prefix_;
    // Declared after the connection, so destroyed (finalised) before it.
    std::map<StatementKey, std::vector<std::unique_ptr<SqlStatement>>> idle_;
    std::vector<ResultSetImpl*> walks_;
    struct IdSequence {
        bool read = false;   // last holds the stored value or a later one
        bool used = false;   // ids were handed out since it was read (or saved)
        std::int64_t last = 0;
        std::int64_t handedOut = 0;  // in this transaction
    };
    IdSequence sequences_[kNumberedTables];
    struct LinkBlock {
        std::string bits;     // kLinkBlock / 8 bytes
        bool taken = false;   // holds rows taken from other versions since it was read
        bool stored = false;  // a row holds it
        bool dirty = false;
    };
    bool linkBlock(std::int64_t version, std::int64_t block, LinkBlock** found, std::string* error);
    // Runs sql with (version, block) as its first parameters and bits (if
    // given) as its third; the driver may send it on without waiting.
    bool runLinkWrite(const char* sql, const std::pair<std::int64_t, std::int64_t>& versionBlock,
                      const std::string* bits, std::string* error);
    std::map<std::pair<std::int64_t, std::int64_t>, LinkBlock> linkBlocks_;
    // The links of the values [first, first + kLinkBlock) as (value, text,
    // id), sorted; the most recently used first.
    struct LinkWindow {
        std::int64_t first = 0;
        std::vector<std::array<std::int64_t, 3>> links;
    };
    std::vector<LinkWindow> linkWindows_;
};

}  // namespace repadm

// RefDataStoreImpl: the reference-data store on one database connection. The
// operations are spread over one source file per family of tables
// (store_*.cpp); this header and store_core.cpp hold what they share.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "repadm.h"
#include "store_session.h"
#include "store_support.h"

// SQL conditions on a link row (its id an expression such as "l.ID"), by
// the version bitmaps of {P}version_link_sets (see schema.sql).
// Held by the version (an expression): one probe of the bitmaps' key.
#define RDM_LINK_HELD_BY(version, link)                                                              \
    "get_bit((SELECT hs.BITS FROM {P}version_link_sets hs WHERE hs.VERSION_ID = " version              \
    " AND hs.BLOCK = " link " / 4096), " link " % 4096) = 1"
// Held by the version, for a link row with the alias given: a row stamped
// with the version (VERSION_ID, see schema.sql) is held without a look at
// the bitmaps.
#define RDM_LINK_OF_VERSION(version, alias) \
    "(" alias ".VERSION_ID = " version " OR " RDM_LINK_HELD_BY(version, alias ".ID") ")"
// The bitmaps (alias ho) of the versions other than the given one that hold
// the link row: by the bitmaps' BLOCK index.
#define RDM_LINK_OTHER_HOLDERS(version, link)                                                         \
    "FROM {P}version_link_sets ho WHERE ho.BLOCK = " link " / 4096 AND ho.VERSION_ID IS DISTINCT FROM " \
    version " AND get_bit(ho.BITS, " link " % 4096) = 1"
// The newest of them: the row's new stamp when the given version lets it go.
#define RDM_LINK_NEXT_STAMP(version, link) \
    "(SELECT ho.VERSION_ID " RDM_LINK_OTHER_HOLDERS(version, link) " ORDER BY ho.VERSION_ID DESC LIMIT 1)"
// Held by a version other than the given one.
#define RDM_LINK_HELD_ELSEWHERE(version, link) "EXISTS (SELECT 1 " RDM_LINK_OTHER_HOLDERS(version, link) ")"
// From versions' bitmaps (alias s) to the link rows (alias l) they hold:
// the tables, then the condition. For one version (s.VERSION_ID = ?) the
// rows come by id ranges, in id order.
#define RDM_LINKS_OF_SETS_FROM "{P}version_link_sets s CROSS JOIN {P}version_item_value_links l"
#define RDM_LINKS_OF_SETS_WHERE                                                                        \
    "l.ID BETWEEN s.BLOCK * 4096 AND s.BLOCK * 4096 + 4095 AND get_bit(s.BITS, l.ID % 4096) = 1"

namespace repadm {

class RefDataStoreImpl : public RefDataStore {
public:
    // A null session gives a store that fails every call with reason.
    RefDataStoreImpl(std::shared_ptr<StoreSession> session, std::string reason);

    bool beginTransaction(int reserved1, int reserved2) override;
    bool endTransaction(bool commit) override;
    QxbString getLastError() override;
    void release() override;
    bool insertAccount(const QxbString& name, const QxbString& type, const QxbString& key,
                       const QxbString& text, const QxbString& text5, const QxbString& text6,
                       const QxbString& text7, unsigned roleId, unsigned* newId) override;
    bool insertAttribute(const QxbString& name, const QxbString& label, unsigned typeId,
                         const QxbString& typeName, unsigned contextId, unsigned languageId,
                         unsigned accountId, const QxbString& note, unsigned* newId) override;
    bool insertItem(const QxbString& key, const QxbString& text, const QxbString& flag1,
                    const QxbString& flag2, const QxbString& text2, unsigned accountId,
                    unsigned* newId) override;
    bool insertDomain(const QxbString& name, const QxbString& description, const QxbString& text1,
                      const QxbString& flag1, const QxbString& flag2, const QxbString& scope,
                      int number1, const QxbString& text8, unsigned accountId, int number10,
                      const QxbDate& date11, const QxbString& kindCode, unsigned* newId) override;
    bool insertDomainVersion(unsigned domainId, int number, const QxbString& label,
                             const QxbString& flag1, const QxbString& flag2, const QxbString& text,
                             unsigned accountId, const QxbString& flag8, int number9,
                             const QxbDate& date10, unsigned* newId) override;
    bool writeChangeRecord(unsigned domainId, const QxbString& status, unsigned objectId,
                           const QxbString& tableCode, const QxbString& description,
                           unsigned languageId, unsigned accountId, const QxbDate* date) override;
    bool insertVersionLanguage(unsigned versionId, unsigned domainLanguageId,
                               unsigned* newId) override;
    bool insertVersionAttribute(unsigned domainId, unsigned domainAttributeId, unsigned versionId,
                                const QxbString& flag, unsigned* newId) override;
    bool insertVersionValue(unsigned versionId, unsigned domainAttributeValueId,
                            unsigned* newId) override;
    bool insertVersionItem(unsigned versionId, unsigned itemId, int number, const QxbString& text,
                           unsigned parentItemId, const QxbDate* date, unsigned* newId) override;
    bool insertVersionItemValue(unsigned versionId, unsigned itemAttributeValueId,
                                unsigned* newId) override;
    bool insertVersionItemValueLink(unsigned versionId, unsigned localizedTextId,
                                    unsigned itemAttributeValueId, unsigned* newId) override;
    bool writeRow(const QxbString* text, unsigned* textIdOut, unsigned languageId, unsigned valueId,
                  const unsigned* versionId, const void* reserved1, const void* reserved2) override;
    StoreResultSet* listAccounts(unsigned id, const QxbString& name, const QxbString& type,
                                 const QxbString& key, const QxbString& text,
                                 const QxbString& text5, const QxbString& text6) override;
    StoreResultSet* listAttributes(unsigned id, const QxbString& name,
                                   const QxbString& label) override;
    StoreResultSet* listA(unsigned id, const QxbString& name, const QxbString& text) override;
    StoreResultSet* listAttributeContexts(unsigned id, const QxbString& name,
                                          const QxbString& text) override;
    StoreResultSet* listAttributeTypes(unsigned id, const QxbString& name,
                                       const QxbString& text) override;
    StoreResultSet* listLanguages(unsigned id, const QxbString& name,
                                  const QxbString& text) override;
    StoreResultSet* listPermissions(unsigned id, const QxbString& name, const QxbString& text,
                                    unsigned number) override;
    StoreResultSet* listRoles(unsigned id, const QxbString& name, const QxbString& text1,
                              const QxbString& text2) override;
    StoreResultSet* listItems(unsigned id, const QxbString& key, const QxbString& text,
                              const QxbString& flag1, const QxbString& flag2,
                              const QxbString& text2, unsigned accountId) override;
    StoreResultSet* listItemPermissions(unsigned itemId, unsigned accountId,
                                        unsigned permissionId) override;
    StoreResultSet* listLocalizedTexts(unsigned id, const QxbString& text,
                                       unsigned languageId) override;
    StoreResultSet* listDomains(unsigned id, const QxbString& name, const QxbString& description,
                                const QxbString& text1, const QxbString& flag1,
                                const QxbString& flag2, const QxbString& scope, unsigned number1,
                                const QxbString& text8, unsigned accountId, unsigned number10,
                                const QxbDate& date11, const QxbString& kindCode,
                                const QxbDate& created) override;
    StoreResultSet* listDomainDetails(unsigned id, const QxbString& name, bool current) override;
    StoreResultSet* listB(unsigned key) override;
    StoreResultSet* listC(unsigned key) override;
    StoreResultSet* listDomainPermissions(unsigned domainId, unsigned accountId,
                                          unsigned permissionId) override;
    StoreResultSet* listDomainVersions(unsigned id, unsigned domainId, unsigned number,
                                       const QxbString& label, const QxbString& flag1,
                                       const QxbString& flag2, const QxbString& text,
                                       unsigned accountId, const QxbString& flag8, unsigned number9,
                                       const QxbDate& date10, const QxbDate& created) override;
    StoreResultSet* listForDomainKind(unsigned domainId, bool kindIsC) override;
    StoreResultSet* listVersionPermissions(unsigned versionId, unsigned accountId,
                                           unsigned permissionId) override;
    StoreResultSet* listChangeRecords(unsigned id, unsigned domainId, const QxbString& status,
                                      unsigned objectId, const QxbString& tableCode,
                                      const QxbString& description, unsigned languageId,
                                      unsigned accountId, const QxbDate& date) override;
    StoreResultSet* listDomainRolePermissions(unsigned domainId, unsigned accountId,
                                              unsigned roleId) override;
    StoreResultSet* listDomainAssociations(unsigned domainId, unsigned id,
                                           const QxbString& text) override;
    StoreResultSet* listDomainLanguages(unsigned id, unsigned domainId,
                                        unsigned languageId) override;
    StoreResultSet* listI(unsigned id, unsigned a, unsigned b) override;
    StoreResultSet* listJ(unsigned a, unsigned b) override;
    StoreResultSet* listVersionLanguages(unsigned versionId, unsigned domainLanguageId) override;
    StoreResultSet* listDomainAttributes(unsigned id, unsigned domainId,
                                         unsigned attributeId) override;
    StoreResultSet* listD(unsigned a, unsigned b) override;
    StoreResultSet* listE(unsigned a, unsigned b) override;
    StoreResultSet* listDomainAttributePermissions(unsigned domainId, unsigned accountId,
                                                   unsigned permissionId) override;
    StoreResultSet* listVersionAttributes(unsigned domainId, unsigned domainAttributeId,
                                          unsigned versionId, const QxbString& flag) override;
    StoreResultSet* listDomainAttributeValues(unsigned id, unsigned domainAttributeId,
                                              const QxbString& text, const QxbString& flag,
                                              unsigned languageId) override;
    StoreResultSet* listVersionValues(unsigned versionId, unsigned domainAttributeValueId) override;
    StoreResultSet* listH(unsigned id, unsigned key) override;
    StoreResultSet* listItemsWithAttributes(unsigned domainId, unsigned versionNumber) override;
    StoreResultSet* listItemsWithAttributesOfVersion(unsigned domainId,
                                                     unsigned versionNumber) override;
    StoreResultSet* listVersionItems(unsigned id, unsigned versionId, unsigned itemId,
                                     const QxbDate& date, unsigned number, const QxbString& text,
                                     unsigned parentItemId) override;
    StoreResultSet* listK(unsigned a, unsigned b) override;
    StoreResultSet* listItemAttributeValues(unsigned id, unsigned versionItemId,
                                            unsigned attributeId) override;
    StoreResultSet* listF(unsigned a, unsigned b) override;
    StoreResultSet* listVersionItemValues(unsigned versionId,
                                          unsigned itemAttributeValueId) override;
    StoreResultSet* listG(unsigned a, unsigned b) override;
    StoreResultSet* listVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                              unsigned itemAttributeValueId) override;
    StoreResultSet* listDomainExtras(unsigned id, const QxbString& text1, const QxbString& text2,
                                     unsigned domainId, unsigned number, const QxbString& text3,
                                     const QxbString& text4) override;
    StoreResultSet* listS(unsigned key) override;
    bool deleteAttributeRow(unsigned id, const QxbString& note) override;
    bool deleteDomains(unsigned id, const QxbString& name, const QxbString& description,
                       const QxbString& text1, const QxbString& flag1, const QxbString& flag2,
                       const QxbString& scope, unsigned number1, const QxbString& text8,
                       unsigned accountId, unsigned number10, const QxbDate& date11,
                       const QxbString& kindCode, const QxbDate& created) override;
    bool deleteDomainVersions(unsigned id, unsigned domainId, unsigned number,
                              const QxbString& label, const QxbString& flag1,
                              const QxbString& flag2, const QxbString& text, unsigned accountId,
                              const QxbString& flag8, unsigned number9, const QxbDate& date10,
                              const QxbDate& created) override;
    bool deleteDomainAccessRows(unsigned id, unsigned domainId, const QxbString& kind,
                                unsigned accountId, const QxbString& accessName,
                                const QxbString& note, unsigned permissionId,
                                unsigned roleId) override;
    bool deleteDomainRowsB(unsigned id, unsigned domainId, unsigned key) override;
    bool deleteVersionLinksA(unsigned versionId, unsigned key) override;
    bool deleteDomainRowsA(unsigned id, unsigned domainId, unsigned key) override;
    bool deleteVersionAttributes(unsigned domainId, unsigned domainAttributeId, unsigned versionId,
                                 const QxbString& flag) override;
    bool deleteVersionItems(unsigned id, unsigned versionId, unsigned itemId, const QxbDate& date,
                            unsigned number, const QxbString& text, unsigned parentItemId) override;
    bool deleteItemAttributeValues(unsigned id, unsigned versionItemId,
                                   unsigned attributeId) override;
    bool deleteVersionLinksB(unsigned versionId, unsigned key) override;
    bool deleteVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                     unsigned itemAttributeValueId) override;
    bool deleteDomainExtras(unsigned id, const QxbString& text1, const QxbString& text2,
                            unsigned domainId, unsigned number, const QxbString& text3,
                            const QxbString& text4) override;
    bool deleteVersionRowsC(unsigned k1, unsigned k2, const QxbString& t3, const QxbString& t4,
                            const QxbString& t5, unsigned k6, unsigned versionId, unsigned k8,
                            const QxbString& t9, const QxbString& t10, const QxbString& t11,
                            const QxbString& t12, unsigned k13, unsigned k14,
                            const QxbDate& d15) override;
    bool deleteVersionRowsD(unsigned k1, unsigned k2, unsigned k3, unsigned k4, unsigned k5,
                            const QxbString& t6, unsigned k7, const QxbString& t8,
                            const QxbString& t9, const QxbString& t10, const QxbString& t11,
                            unsigned k12, unsigned k13, unsigned k14, unsigned versionId,
                            unsigned k16, const QxbDate& d17) override;
    bool deleteVersionRowsE(unsigned versionId, unsigned k2, const QxbDate& d3, unsigned k4,
                            const QxbString& t5, unsigned k6, unsigned k7) override;
    bool deleteVersionRowsG(unsigned key, unsigned versionId) override;
    bool deleteVersionRowsF(unsigned k1, unsigned k2, unsigned k3, unsigned versionId) override;
    bool prepareQuery(int kind) override;
    bool bindParameter(int index, const QxbDatavar& value) override;
    StoreResultSet* executeQuery() override;
    bool renameDomain(unsigned domainId, const QxbString& newName) override;
    bool insertItemAttributeValue(unsigned versionItemId, unsigned attributeId,
                                  unsigned* newId) override;
    bool insertLocalizedText(const QxbString& text, unsigned languageId, unsigned* newId) override;
    bool insertLanguage(const QxbString& code, const QxbString& name, unsigned* newId) override;
    bool insertAttributeType(const QxbString& name, const QxbString& text,
                             unsigned* newId) override;
    bool insertAttributeContext(const QxbString& name, const QxbString& text,
                                unsigned* newId) override;
    bool insertRole(const QxbString& name, const QxbString& text1, const QxbString& text2,
                    unsigned* newId) override;
    bool insertPermission(const QxbString& name, const QxbString& text, int number,
                          unsigned* newId) override;
    bool insertDomainLanguage(unsigned domainId, unsigned languageId, unsigned* newId) override;
    bool insertDomainAttribute(unsigned domainId, unsigned attributeId, unsigned* newId) override;
    bool insertDomainAttributeValue(unsigned domainAttributeId, const QxbString& text,
                                    const QxbString& flag, unsigned languageId,
                                    unsigned* newId) override;
    bool insertDomainPermission(unsigned domainId, const QxbString& kind, unsigned accountId,
                                const QxbString& accessName, unsigned permissionId, unsigned roleId,
                                unsigned* newId) override;
    bool insertVersionPermission(unsigned versionId, unsigned accountId, unsigned permissionId,
                                 unsigned* newId) override;
    bool insertItemPermission(unsigned itemId, unsigned accountId, unsigned permissionId,
                              unsigned* newId) override;
    bool insertDomainRolePermission(unsigned domainId, unsigned accountId, unsigned roleId,
                                    unsigned* newId) override;
    bool insertDomainAssociation(unsigned domainId, const QxbString& text,
                                 unsigned* newId) override;
    bool insertDomainExtra(unsigned domainId, const QxbString& text1, const QxbString& text2,
                           int number, const QxbString& text3, const QxbString& text4,
                           unsigned* newId) override;
    StoreResultSet* listTableCounts() override;
    bool insertDomainAttributePermission(unsigned domainId, unsigned accountId,
                                         unsigned permissionId, unsigned* newId) override;
    StoreResultSet* listVersionItemAttributeValues(unsigned versionId) override;
    StoreResultSet* listVersionValueTexts(unsigned versionId) override;
    StoreResultSet* listVersionContentByKey(unsigned versionId) override;
    bool deleteVersionItemContent(unsigned versionId) override;
    StoreResultSet* listItemsWithKey(unsigned domainId, unsigned versionNumber,
                                     const QxbString& key) override;

private:
    ~RefDataStoreImpl() override;

    // Runs a listing: sql with its "{W}"/"{A}" filled from filters. The
    // statement is cached by (sql, filters given).
    StoreResultSet* listing(const char* operation, const char* sql, const FilterClause& filters,
                            std::uint64_t tables);
    // A result set over statement; null (reported) when memory runs out.
    StoreResultSet* newWalk(const char* operation, const StatementKey& key,
                            std::unique_ptr<SqlStatement> statement, std::uint64_t tables);
    // One INSERT/UPDATE with positional parameters; the new row id goes to *newId.
    // assignedId: the new row's id, bound after params (a bulk insert, run
    // with SqlStatement::stepDeferred); an insert that adds no row then
    // fails with noRowError, when that is not empty.
    bool write(const char* operation, const char* sql, std::uint64_t tables,
               std::initializer_list<SqlValue> params, unsigned* newId = nullptr, int* changed = nullptr,
               const std::int64_t* assignedId = nullptr, const std::string& noRowError = std::string());
    // One INSERT into a bulk table: sql takes the new row's id as the
    // parameter after params; the id goes to *newId. noRowError: as write's.
    bool insertNumbered(const char* operation, const char* sql, std::uint64_t tables,
                        Numbered table, std::initializer_list<SqlValue> params,
                        unsigned* newId = nullptr, const std::string& noRowError = std::string());
    // One DELETE/UPDATE whose WHERE comes from filters.
    bool filteredWrite(const char* operation, const char* sql, const FilterClause& filters,
                       std::uint64_t tables);
    // Runs body inside a savepoint; false rolls its writes back.
    template <typename Body>
    bool atomically(const char* operation, Body body) {
        if (!usable(operation)) return false;
        // Outside a transaction the savepoint's BEGIN IMMEDIATE must not find
        // a walk holding a read snapshot (see beforeWrite).
        std::string error;
        if (!session_->beforeWrite(0, &error)) return fail(operation, error);
        // Inside a transaction the link bitmaps changed so far are written
        // first: a roll-back of this savepoint then forgets what its body
        // changed in memory, and nothing else.
        if (session_->connection().inTransaction() && !session_->flushLinkSets(&error))
            return fail(operation, error);
        Savepoint savepoint(session_->connection());
        if (!savepoint.started()) return fail(operation, savepoint.error());
        // The savepoint that began the transaction also ends it: the ids
        // handed out are saved before its commit and read anew after it.
        struct Forget {
            StoreSession* session;
            bool outer;
            bool released = false;
            ~Forget() {
                if (outer) session->forgetIds();
                else if (!released) session->forgetLinkSets();
            }
        } forget{session_.get(), savepoint.outer()};
        if (!body()) return false;
        if (savepoint.outer() && !session_->saveIds(&error)) return fail(operation, error);
        if (!savepoint.release()) return fail(operation, savepoint.error());
        forget.released = true;
        return true;
    }
    // True when sql (one "?" for the id) finds a row; otherwise fails
    // operation naming what (e.g. "language") has no such id.
    bool rowExists(const char* operation, const char* sql, unsigned id, const char* what);
    bool usable(const char* operation);
    // Before a statement that reads or deletes links: the version bitmaps
    // changed in memory are written, and what was read for sharing is forgotten.
    bool settleLinks(const char* operation);
    // The SQL of listVersionItemValueLinks for the filters given.
    static const char* linkListingSql(unsigned versionId, unsigned localizedTextId, unsigned itemAttributeValueId);
    // The dialect of the store's connection (SQLite's when it has none).
    SqlDialect dialect() const {
        return session_ ? session_->connection().dialect() : SqlDialect::Sqlite;
    }
    bool fail(const char* operation, const std::string& reason);
    bool checkFilters(const char* operation, const FilterClause& filters);
    StoreResultSet* itemsWithAttributes(const char* operation, unsigned domainId,
                                        const QxbString* domainName, unsigned versionNumber);

    // Kind 3: versions of a domain given by id and/or name.
    StoreResultSet* preparedVersions(unsigned domainId, const QxbString& domainName,
                                     unsigned number);

    std::shared_ptr<StoreSession> session_;
    std::string openError_;
    QxbString lastError_;
    bool inTransaction_ = false;
    // Prepared queries of the data-server mode.
    int preparedKind_ = 0;
    QxbDatavar parameters_[5];
};

}  // namespace repadm

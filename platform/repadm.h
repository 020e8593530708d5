// repadm: the platform's repository library. Named repositories with their
// key/values, data repositories on SQLite, and the reference-data store
// through which every read and write of reference data goes.
//
// Conventions of RefDataStore:
// - Identifiers are unsigned 32-bit; the all-ones value (written -1) is "no
//   filter" in listings and deletions. A null QxbString and the null QxbDate
//   are "no filter" for texts and dates; a non-null empty text filters for
//   the empty value.
// - Filters are positional: position p of a listing filters column p of its
//   rows unless docs/store.md says otherwise.
// - Flags are texts "Y"/"N".
// - Listings answer a StoreResultSet (released by the caller) or null with the
//   reason in getLastError(). Writes and deletions answer false with the
//   reason in getLastError(); a deletion that removes nothing succeeds.
// - Inserts deliver the new identifier through their last argument when it is
//   not null.
// - Outside a transaction every write commits on its own.
// The order of operations in each interface only ever grows at the end.
#pragma once

#include "qxbcpp.h"

#define REPADM_API __attribute__((visibility("default")))

class StoreResultSet {
public:
    // 1 when a row is current, 0 when there are no more rows, -1 on an error.
    virtual int next() = 0;
    virtual int getColumnCount() = 0;
    virtual QxbString getColumnName(int column) = 0;
    // Column getters read the current row; a column outside the row answers
    // a null text, 0, 0.0, true for isNull and a null value.
    virtual QxbString getString(int column) = 0;
    virtual int getInt(int column) = 0;
    virtual double getDouble(int column) = 0;  // dates: QxbDate values
    virtual bool isNull(int column) = 0;
    // Integers as QXB_TYPE_INT, texts as QXB_TYPE_STRING, date columns as
    // QXB_TYPE_DATE, other reals as QXB_TYPE_DOUBLE, NULL as a null value.
    virtual QxbDatavar getValue(int column) = 0;
    // Ends the result set and frees it.
    virtual void release() = 0;
    // True while the result set can deliver rows (its store is open).
    virtual bool isReady() = 0;

protected:
    virtual ~StoreResultSet() {}
};

class RefDataStore {
public:
    // --- transactions -------------------------------------------------------
    // A write transaction; waits for another writer (10 minutes by default,
    // RDM_WRITE_WAIT seconds when set; docs/store.md).
    // A begin inside an open transaction fails. The arguments are reserved.
    virtual bool beginTransaction(int reserved1, int reserved2) = 0;
    // true commits, false rolls back.
    virtual bool endTransaction(bool commit) = 0;
    virtual QxbString getLastError() = 0;
    // Frees the store. Result sets still open stay valid until released.
    virtual void release() = 0;

    // --- writes ---------------------------------------------------------------
    virtual bool insertAccount(const QxbString& name, const QxbString& type, const QxbString& key,
                               const QxbString& text, const QxbString& text5, const QxbString& text6,
                               const QxbString& text7, unsigned roleId, unsigned* newId) = 0;
    virtual bool insertAttribute(const QxbString& name, const QxbString& label, unsigned typeId,
                                 const QxbString& typeName, unsigned contextId, unsigned languageId,
                                 unsigned accountId, const QxbString& note, unsigned* newId) = 0;
    virtual bool insertItem(const QxbString& key, const QxbString& text, const QxbString& flag1,
                            const QxbString& flag2, const QxbString& text2, unsigned accountId,
                            unsigned* newId) = 0;
    virtual bool insertDomain(const QxbString& name, const QxbString& description,
                              const QxbString& text1, const QxbString& flag1, const QxbString& flag2,
                              const QxbString& scope, int number1, const QxbString& text8,
                              unsigned accountId, int number10, const QxbDate& date11,
                              const QxbString& kindCode, unsigned* newId) = 0;
    virtual bool insertDomainVersion(unsigned domainId, int number, const QxbString& label,
                                     const QxbString& flag1, const QxbString& flag2,
                                     const QxbString& text, unsigned accountId,
                                     const QxbString& flag8, int number9, const QxbDate& date10,
                                     unsigned* newId) = 0;
    // date: null stamps the current date.
    virtual bool writeChangeRecord(unsigned domainId, const QxbString& status, unsigned objectId,
                                   const QxbString& tableCode, const QxbString& description,
                                   unsigned languageId, unsigned accountId, const QxbDate* date) = 0;
    virtual bool insertVersionLanguage(unsigned versionId, unsigned domainLanguageId,
                                       unsigned* newId = nullptr) = 0;
    virtual bool insertVersionAttribute(unsigned domainId, unsigned domainAttributeId,
                                        unsigned versionId, const QxbString& flag,
                                        unsigned* newId = nullptr) = 0;
    virtual bool insertVersionValue(unsigned versionId, unsigned domainAttributeValueId,
                                    unsigned* newId = nullptr) = 0;
    // date: null stamps the current date.
    virtual bool insertVersionItem(unsigned versionId, unsigned itemId, int number,
                                   const QxbString& text, unsigned parentItemId, const QxbDate* date,
                                   unsigned* newId = nullptr) = 0;
    virtual bool insertVersionItemValue(unsigned versionId, unsigned itemAttributeValueId,
                                        unsigned* newId = nullptr) = 0;
    virtual bool insertVersionItemValueLink(unsigned versionId, unsigned localizedTextId,
                                            unsigned itemAttributeValueId,
                                            unsigned* newId = nullptr) = 0;
    // Stores a language-tagged text (languageId) and, when valueId is not -1
    // and versionId is given, links it to that item attribute value in that
    // version. The new text's id goes to *textIdOut when given. reserved1
    // and reserved2 must be null.
    virtual bool writeRow(const QxbString* text, unsigned* textIdOut, unsigned languageId,
                          unsigned valueId, const unsigned* versionId, const void* reserved1,
                          const void* reserved2) = 0;

    // --- listings ---------------------------------------------------------------
    virtual StoreResultSet* listAccounts(unsigned id, const QxbString& name, const QxbString& type,
                                         const QxbString& key, const QxbString& text,
                                         const QxbString& text5, const QxbString& text6) = 0;
    virtual StoreResultSet* listAttributes(unsigned id, const QxbString& name,
                                           const QxbString& label) = 0;
    virtual StoreResultSet* listA(unsigned id, const QxbString& name, const QxbString& text) = 0;
    virtual StoreResultSet* listAttributeContexts(unsigned id, const QxbString& name,
                                                  const QxbString& text) = 0;
    virtual StoreResultSet* listAttributeTypes(unsigned id, const QxbString& name,
                                               const QxbString& text) = 0;
    virtual StoreResultSet* listLanguages(unsigned id, const QxbString& name,
                                          const QxbString& text) = 0;
    virtual StoreResultSet* listPermissions(unsigned id, const QxbString& name,
                                            const QxbString& text, unsigned number) = 0;
    virtual StoreResultSet* listRoles(unsigned id, const QxbString& name, const QxbString& text1,
                                      const QxbString& text2) = 0;
    virtual StoreResultSet* listItems(unsigned id, const QxbString& key, const QxbString& text,
                                      const QxbString& flag1, const QxbString& flag2,
                                      const QxbString& text2, unsigned accountId) = 0;
    virtual StoreResultSet* listItemPermissions(unsigned itemId, unsigned accountId,
                                                unsigned permissionId) = 0;
    virtual StoreResultSet* listLocalizedTexts(unsigned id, const QxbString& text,
                                               unsigned languageId) = 0;
    virtual StoreResultSet* listDomains(unsigned id, const QxbString& name,
                                        const QxbString& description, const QxbString& text1,
                                        const QxbString& flag1, const QxbString& flag2,
                                        const QxbString& scope, unsigned number1,
                                        const QxbString& text8, unsigned accountId,
                                        unsigned number10, const QxbDate& date11,
                                        const QxbString& kindCode, const QxbDate& created) = 0;
    // current: only the newest version of each domain; else every version.
    virtual StoreResultSet* listDomainDetails(unsigned id, const QxbString& name, bool current) = 0;
    virtual StoreResultSet* listB(unsigned key) = 0;
    virtual StoreResultSet* listC(unsigned key) = 0;
    virtual StoreResultSet* listDomainPermissions(unsigned domainId, unsigned accountId,
                                                  unsigned permissionId) = 0;
    // Ascending version number within a domain.
    virtual StoreResultSet* listDomainVersions(unsigned id, unsigned domainId, unsigned number,
                                               const QxbString& label, const QxbString& flag1,
                                               const QxbString& flag2, const QxbString& text,
                                               unsigned accountId, const QxbString& flag8,
                                               unsigned number9, const QxbDate& date10,
                                               const QxbDate& created) = 0;
    virtual StoreResultSet* listForDomainKind(unsigned domainId, bool kindIsC) = 0;
    virtual StoreResultSet* listVersionPermissions(unsigned versionId, unsigned accountId,
                                                   unsigned permissionId) = 0;
    virtual StoreResultSet* listChangeRecords(unsigned id, unsigned domainId,
                                              const QxbString& status, unsigned objectId,
                                              const QxbString& tableCode,
                                              const QxbString& description, unsigned languageId,
                                              unsigned accountId, const QxbDate& date) = 0;
    virtual StoreResultSet* listDomainRolePermissions(unsigned domainId, unsigned accountId,
                                                      unsigned roleId) = 0;
    virtual StoreResultSet* listDomainAssociations(unsigned domainId, unsigned id,
                                                   const QxbString& text) = 0;
    virtual StoreResultSet* listDomainLanguages(unsigned id, unsigned domainId,
                                                unsigned languageId) = 0;
    virtual StoreResultSet* listI(unsigned id, unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listJ(unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listVersionLanguages(unsigned versionId, unsigned domainLanguageId) = 0;
    virtual StoreResultSet* listDomainAttributes(unsigned id, unsigned domainId,
                                                 unsigned attributeId) = 0;
    virtual StoreResultSet* listD(unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listE(unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listDomainAttributePermissions(unsigned domainId, unsigned accountId,
                                                           unsigned permissionId) = 0;
    virtual StoreResultSet* listVersionAttributes(unsigned domainId, unsigned domainAttributeId,
                                                  unsigned versionId, const QxbString& flag) = 0;
    virtual StoreResultSet* listDomainAttributeValues(unsigned id, unsigned domainAttributeId,
                                                      const QxbString& text,
                                                      const QxbString& flag,
                                                      unsigned languageId) = 0;
    virtual StoreResultSet* listVersionValues(unsigned versionId,
                                              unsigned domainAttributeValueId) = 0;
    virtual StoreResultSet* listH(unsigned id, unsigned key) = 0;
    // The ten item columns: item id, key, label, parent item id, attribute
    // value, attribute name, attribute description, language, domain, version.
    // One row per item and attribute value; an item without values once.
    virtual StoreResultSet* listItemsWithAttributes(unsigned domainId, unsigned versionNumber) = 0;
    virtual StoreResultSet* listItemsWithAttributesOfVersion(unsigned domainId,
                                                             unsigned versionNumber) = 0;
    virtual StoreResultSet* listVersionItems(unsigned id, unsigned versionId, unsigned itemId,
                                             const QxbDate& date, unsigned number,
                                             const QxbString& text, unsigned parentItemId) = 0;
    virtual StoreResultSet* listK(unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listItemAttributeValues(unsigned id, unsigned versionItemId,
                                                    unsigned attributeId) = 0;
    virtual StoreResultSet* listF(unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listVersionItemValues(unsigned versionId,
                                                  unsigned itemAttributeValueId) = 0;
    virtual StoreResultSet* listG(unsigned a, unsigned b) = 0;
    virtual StoreResultSet* listVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                                      unsigned itemAttributeValueId) = 0;
    virtual StoreResultSet* listDomainExtras(unsigned id, const QxbString& text1,
                                             const QxbString& text2, unsigned domainId,
                                             unsigned number, const QxbString& text3,
                                             const QxbString& text4) = 0;
    virtual StoreResultSet* listS(unsigned key) = 0;

    // --- deletions --------------------------------------------------------------
    virtual bool deleteAttributeRow(unsigned id, const QxbString& note) = 0;
    virtual bool deleteDomains(unsigned id, const QxbString& name, const QxbString& description,
                               const QxbString& text1, const QxbString& flag1,
                               const QxbString& flag2, const QxbString& scope, unsigned number1,
                               const QxbString& text8, unsigned accountId, unsigned number10,
                               const QxbDate& date11, const QxbString& kindCode,
                               const QxbDate& created) = 0;
    virtual bool deleteDomainVersions(unsigned id, unsigned domainId, unsigned number,
                                      const QxbString& label, const QxbString& flag1,
                                      const QxbString& flag2, const QxbString& text,
                                      unsigned accountId, const QxbString& flag8, unsigned number9,
                                      const QxbDate& date10, const QxbDate& created) = 0;
    virtual bool deleteDomainAccessRows(unsigned id, unsigned domainId, const QxbString& kind,
                                        unsigned accountId, const QxbString& accessName,
                                        const QxbString& note, unsigned permissionId,
                                        unsigned roleId) = 0;
    virtual bool deleteDomainRowsB(unsigned id, unsigned domainId, unsigned key) = 0;
    virtual bool deleteVersionLinksA(unsigned versionId, unsigned key) = 0;
    virtual bool deleteDomainRowsA(unsigned id, unsigned domainId, unsigned key) = 0;
    virtual bool deleteVersionAttributes(unsigned domainId, unsigned domainAttributeId,
                                         unsigned versionId, const QxbString& flag) = 0;
    // Same key shape as listVersionItems: position 2 is the version.
    virtual bool deleteVersionItems(unsigned id, unsigned versionId, unsigned itemId,
                                    const QxbDate& date, unsigned number, const QxbString& text,
                                    unsigned parentItemId) = 0;
    virtual bool deleteItemAttributeValues(unsigned id, unsigned versionItemId,
                                           unsigned attributeId) = 0;
    virtual bool deleteVersionLinksB(unsigned versionId, unsigned key) = 0;
    // Also removes every language-tagged text whose last link it removed.
    virtual bool deleteVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                             unsigned itemAttributeValueId) = 0;
    virtual bool deleteDomainExtras(unsigned id, const QxbString& text1, const QxbString& text2,
                                    unsigned domainId, unsigned number, const QxbString& text3,
                                    const QxbString& text4) = 0;
    virtual bool deleteVersionRowsC(unsigned k1, unsigned k2, const QxbString& t3,
                                    const QxbString& t4, const QxbString& t5, unsigned k6,
                                    unsigned versionId, unsigned k8, const QxbString& t9,
                                    const QxbString& t10, const QxbString& t11,
                                    const QxbString& t12, unsigned k13, unsigned k14,
                                    const QxbDate& d15) = 0;
    virtual bool deleteVersionRowsD(unsigned k1, unsigned k2, unsigned k3, unsigned k4,
                                    unsigned k5, const QxbString& t6, unsigned k7,
                                    const QxbString& t8, const QxbString& t9,
                                    const QxbString& t10, const QxbString& t11, unsigned k12,
                                    unsigned k13, unsigned k14, unsigned versionId, unsigned k16,
                                    const QxbDate& d17) = 0;
    virtual bool deleteVersionRowsE(unsigned versionId, unsigned k2, const QxbDate& d3,
                                    unsigned k4, const QxbString& t5, unsigned k6,
                                    unsigned k7) = 0;
    virtual bool deleteVersionRowsG(unsigned key, unsigned versionId) = 0;
    virtual bool deleteVersionRowsF(unsigned k1, unsigned k2, unsigned k3, unsigned versionId) = 0;

    // --- prepared queries (data-server mode) -------------------------------------
    // Kinds 1 domain details, 2 domains, 3 domain versions, 4 items with
    // attributes, 5 the items with a key (listItemsWithKey). Parameters:
    // 1 current flag, 2 domain id, 3 domain name (kind 5: the key), 4 version
    // number; an unbound parameter is no filter (kind 5 needs the domain id).
    // A bound value is copied when bound.
    virtual bool prepareQuery(int kind) = 0;
    virtual bool bindParameter(int index, const QxbDatavar& value) = 0;
    virtual StoreResultSet* executeQuery() = 0;

    // --- further operations of this store (imports, tools, tests) ----------------
    virtual bool renameDomain(unsigned domainId, const QxbString& newName) = 0;
    virtual bool insertItemAttributeValue(unsigned versionItemId, unsigned attributeId,
                                          unsigned* newId) = 0;
    virtual bool insertLocalizedText(const QxbString& text, unsigned languageId,
                                     unsigned* newId) = 0;
    virtual bool insertLanguage(const QxbString& code, const QxbString& name, unsigned* newId) = 0;
    virtual bool insertAttributeType(const QxbString& name, const QxbString& text,
                                     unsigned* newId) = 0;
    virtual bool insertAttributeContext(const QxbString& name, const QxbString& text,
                                        unsigned* newId) = 0;
    virtual bool insertRole(const QxbString& name, const QxbString& text1, const QxbString& text2,
                            unsigned* newId) = 0;
    virtual bool insertPermission(const QxbString& name, const QxbString& text, int number,
                                  unsigned* newId) = 0;
    virtual bool insertDomainLanguage(unsigned domainId, unsigned languageId, unsigned* newId) = 0;
    virtual bool insertDomainAttribute(unsigned domainId, unsigned attributeId,
                                       unsigned* newId) = 0;
    virtual bool insertDomainAttributeValue(unsigned domainAttributeId, const QxbString& text,
                                            const QxbString& flag, unsigned languageId,
                                            unsigned* newId) = 0;
    virtual bool insertDomainPermission(unsigned domainId, const QxbString& kind,
                                        unsigned accountId, const QxbString& accessName,
                                        unsigned permissionId, unsigned roleId,
                                        unsigned* newId) = 0;
    virtual bool insertVersionPermission(unsigned versionId, unsigned accountId,
                                         unsigned permissionId, unsigned* newId) = 0;
    virtual bool insertItemPermission(unsigned itemId, unsigned accountId, unsigned permissionId,
                                      unsigned* newId) = 0;
    virtual bool insertDomainRolePermission(unsigned domainId, unsigned accountId, unsigned roleId,
                                            unsigned* newId) = 0;
    virtual bool insertDomainAssociation(unsigned domainId, const QxbString& text,
                                         unsigned* newId) = 0;
    virtual bool insertDomainExtra(unsigned domainId, const QxbString& text1,
                                   const QxbString& text2, int number, const QxbString& text3,
                                   const QxbString& text4, unsigned* newId) = 0;
    // Every table of the store with its row count: columns "TABLE_NAME", "ROW_COUNT".
    virtual StoreResultSet* listTableCounts() = 0;
    // A grant on a domain's attributes: (domain, account, permission); -1 stores NULL.
    virtual bool insertDomainAttributePermission(unsigned domainId, unsigned accountId,
                                                 unsigned permissionId, unsigned* newId) = 0;
    // The item attribute values a version owns (item_attribute_values.VERSION_ID),
    // columns as listItemAttributeValues (0 ID, 1 VERSION_ITEM_ID, 2 ATTRIBUTE_ID,
    // 3 ITEM_ID, 4 VERSION_ID), ordered by ID; -1 is no filter.
    virtual StoreResultSet* listVersionItemAttributeValues(unsigned versionId) = 0;
    // Every text link of a version with the value's item and attribute:
    // 0 ITEM_ID, 1 ATTRIBUTE_ID, 2 ITEM_ATTRIBUTE_VALUE_ID, 3 LOCALIZED_TEXT_ID,
    // in no particular order; -1 is no filter.
    virtual StoreResultSet* listVersionValueTexts(unsigned versionId) = 0;
    // A version's item content, set-based and atomic: its links with every
    // text whose last link they were, its version item values, the item
    // attribute values it owns that no other version uses, and the values it
    // used (a copy's) whose owning version is gone and that no other version
    // uses. Each statement reaches rows through an index on the version or
    // on the ids the version's rows name; no other row is read. The version
    // -1 fails (a deletion needs a version).
    virtual bool deleteVersionItemContent(unsigned versionId) = 0;
    // A version's content in key order, one row per item and text (an item
    // without texts once): 0 ITEM_KEY, 1 LABEL, 2 PARENT_KEY, 3 POSITION,
    // 4 ATTRIBUTE_NAME, 5 LANGUAGE (code), 6 TEXT_VALUE; within an item by
    // attribute name and language. The version must be given (not -1).
    virtual StoreResultSet* listVersionContentByKey(unsigned versionId) = 0;
    // The items with the key (byte-equal; the empty key also finds items
    // without one) among the version items of a domain's version, chosen as
    // listItemsWithAttributes chooses it (versionNumber -1: the newest):
    // 0 ID (the item's), 1 ITEM_KEY, 2 DOMAIN_VERSION. Found through the
    // index on the items' key; no other item is read. The domain must be
    // given (not -1).
    virtual StoreResultSet* listItemsWithKey(unsigned domainId, unsigned versionNumber,
                                             const QxbString& key) = 0;

protected:
    virtual ~RefDataStore() {}
};

class Repository {
public:
    virtual QxbString getLastError() = 0;
    virtual void release() = 0;
    // A new store on this data repository's database, with a connection of
    // its own. Never null: a store that could not connect fails every call
    // with the reason.
    virtual RefDataStore* createStore() = 0;
    // Key/values are persisted at once. getKeyValue answers false when the
    // key does not exist (getLastError then names it).
    virtual bool setKeyValue(const QxbString& key, const QxbString& value) = 0;
    virtual bool getKeyValue(const QxbString& key, QxbString* value) = 0;
    virtual QxbString getName() = 0;

protected:
    virtual ~Repository() {}
};

class RepositoryAdmin {
public:
    virtual QxbString getLastError() = 0;
    virtual void release() = 0;
    // A repository created beforehand under the home folder; nothing is
    // created by opening. Null with the reason in getLastError().
    virtual Repository* openRepository(const QxbString& name, int reserved1, int reserved2) = 0;
    // A data repository: the DSN is a data source of the configuration or a
    // connection string "sqlite:PATH" (PATH relative to the home folder when
    // not absolute). The table prefix must consist of letters, digits and
    // '_' and not start with a digit. Creates nothing: a missing or empty
    // database file, or a prefix without tables, fails naming the path and
    // prefix (see createRepositoryByDsn).
    virtual Repository* openRepositoryByDsn(const QxbString& dsn, const QxbString& tablePrefix,
                                            int reserved1, int reserved2) = 0;
    // Creates a named repository with the key/values REFDATA_DSN and
    // REFDATA_PREFIX. Fails when the name exists or is not a valid name
    // (letters, digits, '-', '_', '.'; not starting with '.').
    virtual bool createRepository(const QxbString& name, const QxbString& dsn,
                                  const QxbString& tablePrefix) = 0;
    // Names of the repositories of the home folder, sorted, one per line.
    virtual bool listRepositories(QxbString* namesOut) = 0;
    // Creates the data repository a DSN names (as openRepositoryByDsn takes
    // them): the database file when missing (owner-only; missing folders are
    // made only under the home folder) and the prefix's tables when missing.
    // One that exists with its tables is left as it is. The only operation
    // that creates a database or tables. False with the reason in
    // getLastError().
    virtual bool createRepositoryByDsn(const QxbString& dsn, const QxbString& tablePrefix) = 0;

protected:
    virtual ~RepositoryAdmin() {}
};

// The arguments are reserved (callers pass 1, 0). Null with the reason in
// getRepositoryAdminError().
REPADM_API RepositoryAdmin* createRepositoryAdmin(int version, int reserved);
REPADM_API const char* getRepositoryAdminError();

// RefDataAdminImpl: the writes of a handle, its catalogue lookups and the
// catalogue refresh. The class spans rdcoreadminimpl.cpp (shared shape,
// connection, accounts and access), rdcoreadminimpl_copy.cpp,
// rdcoreadminimpl_remove.cpp and rdcoreadminimpl_catalogues.cpp.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "RefDataAdminEx.h"
#include "RefDataHandle.h"
#include "qxlog.h"
#include "rdcoreeditsession.h"

class RefDataStore;
class StoreResultSet;

class RefDataAdminImpl : public RefDataAdminEx {
public:
    RefDataAdminImpl() = default;
    RefDataAdminImpl(const RefDataAdminImpl&) = delete;
    RefDataAdminImpl& operator=(const RefDataAdminImpl&) = delete;
    ~RefDataAdminImpl() override = default;

    // Fetches the library logger; does not look at the handle. Always true.
    bool init(RefDataHandle* handle);

    bool setConnection(RefDataHandle* handle, const QxbString& dsn,
                       const QxbString& tablePrefix) override;
    bool getConnection(RefDataHandle* handle, QxbString* dsnOut,
                       QxbString* tablePrefixOut) override;
    bool createAttribute(RefDataHandle* handle, const QxbString& name, const QxbString& label,
                         const QxbString& attributeTypeName,
                         const QxbString& attributeContextName, unsigned languageId,
                         unsigned accountId, unsigned* newIdOut) override;
    bool deleteAttribute(RefDataHandle* handle, unsigned attributeId, unsigned accountId) override;
    bool addItem(RefDataHandle* handle, const QxbString& key, const QxbString& text, bool flag1,
                 bool flag2, const QxbString& text2, unsigned accountId,
                 unsigned* newIdOut) override;
    bool reservedNoOp(RefDataHandle* handle, unsigned value) override;
    // A null key is taken as the empty key (a null filter would match every
    // account).
    bool createAccount(RefDataHandle* handle, const QxbString& name, const QxbString& accountKey,
                       const QxbString& accountText, const QxbString& accountType,
                       int actingAccountId, unsigned* accountIdOut) override;
    bool forwardStoreWrite(RefDataHandle* handle, unsigned a, const QxbString* b, unsigned* c,
                           unsigned d, const unsigned* e, const void* f) override;
    bool checkConnection(RefDataHandle* handle) override;
    bool removePublisherAccess(RefDataHandle* handle, unsigned domainId) override;
    // Copies the version that the store lists first (the oldest). An unknown
    // source domain fails with message 1532 before a transaction begins.
    bool copyDomain(RefDataHandle* handle, unsigned sourceDomainId, unsigned accountId,
                    unsigned* newDomainIdOut) override;
    bool removeDomain(RefDataHandle* handle, unsigned domainId, unsigned accountId) override;
    bool removeDomainVersion(RefDataHandle* handle, unsigned versionId,
                             unsigned accountId) override;
    bool beginNewDomain(RefDataHandle* handle, const QxbString& name,
                        const QxbString& description, const QxbString& text1, bool flag1,
                        const QxbString& unused, unsigned accountId,
                        const QxbString& versionLabel) override;
    bool beginNewDomainVersion(RefDataHandle* handle, unsigned domainId, const QxbString& unused1,
                               const QxbString& unused2, bool unused3, unsigned accountId,
                               const QxbString& versionLabel) override;
    bool addDomainAttribute(RefDataHandle* handle, const QxbString& name, const QxbString& label,
                            unsigned languageId, const QxbString& attributeContextName,
                            unsigned accountId) override;
    bool deleteDomainAttribute(RefDataHandle* handle, unsigned domainAttributeId,
                               unsigned languageId, unsigned accountId) override;
    bool addDomainItem(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                       bool flag1, bool flag2, const QxbString& text2, unsigned number,
                       QxbString entryText, int parentItemId, unsigned languageId,
                       unsigned accountId) override;
    bool deleteDomainItem(RefDataHandle* handle, unsigned itemId, unsigned languageId,
                          unsigned accountId) override;
    bool addItemAttribute(RefDataHandle* handle, unsigned itemId, const QxbString& name,
                          const QxbString& label, unsigned languageId,
                          const QxbString& attributeContextName, unsigned accountId) override;
    bool reservedOperationA(RefDataHandle* handle, unsigned value, char flag) override;
    bool removeVersionItemTexts(RefDataHandle* handle, unsigned languageId, unsigned unused,
                                unsigned accountId, unsigned versionId) override;
    bool reservedOperationB(RefDataHandle* handle, std::int64_t argument) override;
    bool cancelDomainEdit(RefDataHandle* handle) override;
    bool reservedOperationC(RefDataHandle* handle, std::int64_t argument) override;
    bool endDomainEdit(RefDataHandle* handle) override;

    // --- RefDataAdminEx -----------------------------------------------------------------
    bool copyDomainAs(RefDataHandle* handle, unsigned sourceDomainId, const QxbString& name,
                      unsigned accountId, unsigned* newDomainIdOut, QxbString* nameOut) override;
    bool beginDomainImport(RefDataHandle* handle, const QxbString& name, unsigned accountId,
                           const QxbString& versionLabel, bool* createdOut) override;
    bool editAddItem(RefDataHandle* handle, const QxbString& key, const QxbString& label,
                     const QxbString& parentKey) override;
    bool editRemoveItem(RefDataHandle* handle, const QxbString& key) override;
    bool editRelabelItem(RefDataHandle* handle, const QxbString& key, const QxbString& label) override;
    bool editMoveItem(RefDataHandle* handle, const QxbString& key, const QxbString& parentKey) override;
    bool editSetItemValue(RefDataHandle* handle, const QxbString& key, const QxbString& attribute,
                          const QxbString& languageCode, const QxbString& value) override;
    bool editClearItemValue(RefDataHandle* handle, const QxbString& key, const QxbString& attribute,
                            const QxbString& languageCode) override;
    bool editAddDomainAttribute(RefDataHandle* handle, const QxbString& name, const QxbString& label) override;
    bool editRemoveDomainAttribute(RefDataHandle* handle, const QxbString& name) override;
    RefDataCursor* getPendingChanges(RefDataHandle* handle) override;
    bool commitDomainEdit(RefDataHandle* handle, const QxbString& summary, unsigned* domainIdOut,
                          unsigned* versionIdOut, int* versionNumberOut) override;
    bool importMatchesNewest(RefDataHandle* handle, bool* sameOut) override;
    bool getImportChanges(RefDataHandle* handle, int* addedOut, int* removedOut, int* changedOut) override;

    // --- catalogues (used by the edit session) ---------------------------------
    // Each lookup answers the first matching row of one catalogue of the
    // handle (through its index, in constant time), or null with message
    // 1532 in the handle's error text and the log. Names compare without case.
    const AccountRow* findAccountById(RefDataHandle* handle, unsigned id);
    const AttributeContextRow* findAttributeContextByName(RefDataHandle* handle,
                                                          const QxbString& name);
    const AttributeContextRow* findAttributeContextById(RefDataHandle* handle, unsigned id);
    const AttributeTypeRow* findAttributeTypeByName(RefDataHandle* handle, const QxbString& name);
    const AttributeTypeRow* findAttributeTypeById(RefDataHandle* handle, unsigned id);
    const LanguageRow* findLanguageById(RefDataHandle* handle, unsigned id);
    const PermissionRow* findPermissionById(RefDataHandle* handle, unsigned id);
    const RoleRow* findRoleById(RefDataHandle* handle, unsigned id);

    // Quiet lookups (null when missing, nothing reported). An attribute
    // deleted through this handle is not found.
    AttributeRow* attributeNamed(RefDataHandle* handle, const QxbString& name, bool caseSensitive);
    AttributeRow* attributeWithId(RefDataHandle* handle, unsigned id);
    ItemRow* itemWithKey(RefDataHandle* handle, const QxbString& key);  // exact
    ItemRow* itemWithId(RefDataHandle* handle, unsigned id);
    const LocalizedTextRow* localizedTextWithId(RefDataHandle* handle, unsigned id);

    // Rebuilds the nine catalogues from the admin store, in dependency order
    // (a row only refers to rows of catalogues built before its own). The new
    // rows replace the old ones only when all nine were read: on failure
    // (store text or message 1532 reported) every catalogue keeps its old
    // rows, so no row is left pointing at a destroyed one. A stored -1
    // (NULL) reference is "none". Refused with message 3 while an edit
    // session is open (its records point at the rows). The caller has passed
    // the connection check.
    bool refreshCatalogues(RefDataHandle* handle);

private:
    // The call site a report names in the log.
    struct Site {
        const char* file;
        int line;
    };
    class Transaction;
    struct CatalogueSet;
    struct StoredItem;
    struct LoadState;
    // The outcome of a creation step: created, already stored, or failed
    // (reported).
    enum class Creation { Created, Exists, Failed };
    struct SourceDomain;
    struct CopyKeys;
    using RowAction = std::function<bool(StoreResultSet& row)>;

    // --- the shared shape of an operation --------------------------------------
    // The connection check: a handle with an admin store (a repository for
    // the connection settings). A miss logs message 3 and leaves the handle's
    // error text alone.
    bool connected(RefDataHandle* handle, Site site);
    bool repositoryConnected(RefDataHandle* handle, Site site);
    // Message code into the handle's error text and the log; answers false.
    bool report(RefDataHandle* handle, Site site, int code);
    // The admin store's last error into the handle's error text and the log,
    // taken before any roll-back; answers false.
    bool storeFailed(RefDataHandle* handle, Site site);
    // A listing's result, or null after reporting the store's failure.
    StoreResultSet* listed(RefDataHandle* handle, StoreResultSet* rows, Site site);
    // One change record with status "A" and the current date; a failure is
    // reported as a store failure.
    bool recordChange(RefDataHandle* handle, unsigned domainId, unsigned objectId,
                      const QxbString& tableCode, const QxbString& description,
                      unsigned languageId, unsigned accountId, Site site);
    // Runs action for every row of rows (already checked for null) and
    // releases it. A store answer other than a row or the end is a store
    // failure (reported); false also at the first action that fails.
    bool walkRows(RefDataHandle* handle, StoreResultSet* rows, const RowAction& action);
    // walkRows on a listing's answer; a null answer is a store failure.
    // isReady is called first when asked (its answer is not used).
    bool walkListing(RefDataHandle* handle, StoreResultSet* listing, const RowAction& action,
                     bool callIsReady = false);
    // The first row of a listing through read: 1 a row, 0 none, -1 a store
    // failure (reported).
    int firstRow(RefDataHandle* handle, StoreResultSet* listing, const RowAction& read);
    // Account / permission pairs of a listing (columns 1 and 2) into *into.
    bool readGrants(RefDataHandle* handle, StoreResultSet* listing, std::vector<AccessPair>* into);
    // The account, then the language, of an edit; a miss reports 1532.
    bool resolveEditor(RefDataHandle* handle, unsigned accountId, unsigned languageId,
                       const AccountRow** account, const LanguageRow** language);
    // Message code with one argument into the handle's error text and the
    // log; answers false.
    bool reportWith(RefDataHandle* handle, Site site, int code, const QxbString& argument);
    // An acting account of a write must exist: 0, -1 and unknown ids give
    // message 1532 ("[ACCOUNT]").
    bool accountKnown(RefDataHandle* handle, unsigned accountId);
    // -1 as the object of an operation: message 1532, false.
    bool refuseAnyId(RefDataHandle* handle, unsigned id, Site site);
    void logLine(Site site, const QxbString& text);
    // An operation of a later stage: after the connection check, message 3
    // into the handle and the log.

    // --- steps of copyDomain ------------------------------------------------------
    bool readSourceDomain(RefDataHandle* handle, unsigned domainId, SourceDomain* source);
    // copyDomain and copyDomainAs: with rename, the copy takes *name (null or
    // empty: the first free "NAME copy N"), chosen inside the transaction.
    bool copyWithName(RefDataHandle* handle, unsigned sourceDomainId, unsigned accountId,
                      const QxbString* name, unsigned* newDomainIdOut, QxbString* nameOut);
    bool nameForCopy(RefDataHandle* handle, const QxbString& sourceName, const QxbString& wanted,
                     QxbString* chosen);
    bool insertCopiedDomain(RefDataHandle* handle, const SourceDomain& source, unsigned accountId,
                            CopyKeys* keys);
    bool findFirstVersion(RefDataHandle* handle, unsigned domainId, unsigned* versionId);
    bool copyVersionContent(RefDataHandle* handle, const CopyKeys& keys);

    // --- steps of the removals ------------------------------------------------------
    bool readDomainName(RefDataHandle* handle, unsigned domainId, QxbString* name);
    // The domain's row (positioned on it, owned by the caller), or null: reported.
    StoreResultSet* findDomainRow(RefDataHandle* handle, unsigned domainId);
    bool deleteDomainRows(RefDataHandle* handle, unsigned domainId);
    bool deleteVersionOfDomain(RefDataHandle* handle, unsigned versionId);
    bool deleteVersionAlone(RefDataHandle* handle, unsigned versionId);

    // --- steps of the catalogue refresh -----------------------------------------------
    bool loadLookupCatalogues(RefDataHandle* handle, CatalogueSet* fresh);
    bool loadAccounts(RefDataHandle* handle, CatalogueSet* fresh);
    bool loadAttributes(RefDataHandle* handle, CatalogueSet* fresh);
    bool loadItems(RefDataHandle* handle, CatalogueSet* fresh);
    bool loadItemPermissions(RefDataHandle* handle, CatalogueSet* fresh);
    bool loadLocalizedTexts(RefDataHandle* handle, CatalogueSet* fresh);
    template <typename Row, typename ReadRow>
    bool appendRows(RefDataHandle* handle, StoreResultSet* listing, std::deque<Row>* into,
                    ReadRow readRow);
    // The refresh itself, without the open-session guard (the begin
    // operations run it on their new, empty session).
    bool rebuildCatalogues(RefDataHandle* handle);
    void swapInCatalogues(RefDataHandle* handle, CatalogueSet* fresh);
    // Empties the nine catalogues and their index.
    void clearCatalogues(RefDataHandle* handle);
    // A found catalogue row, or null after reporting message 1532.
    template <typename Row>
    const Row* found(RefDataHandle* handle, const Row* row, Site site);
    // Resolves a stored reference: -1 is none (true, *out null); an id of
    // no row reports message 1532 and answers false.
    template <typename Row>
    bool resolve(RefDataHandle* handle, const CatalogueIndex::ById<Row>& rows, unsigned id,
                 const Row** out, Site site);
    // Appends a row to its catalogue and index; answers its place.
    AttributeRow* appendAttributeRow(RefDataHandle* handle, AttributeRow row);
    ItemRow* appendItemRow(RefDataHandle* handle, ItemRow row);
    // Marks the attribute's row removed and takes it out of the index.
    void markAttributeRemoved(RefDataHandle* handle, unsigned id);

    // --- attributes and items -----------------------------------------------------------
    // createAttribute's work. With recoverExisting, an attribute already
    // stored (a catalogue older than the store) is read into the catalogue
    // and answered as Exists without a report; else it reports 1509.
    Creation createAttributeRow(RefDataHandle* handle, const QxbString& name,
                                const QxbString& label, const QxbString& attributeTypeName,
                                const QxbString& attributeContextName, unsigned languageId,
                                unsigned accountId, bool recoverExisting, AttributeRow** row);
    AttributeRow* readStoredAttribute(RefDataHandle* handle, StoreResultSet& row);
    Creation alreadyStored(RefDataHandle* handle, int found, bool recoverExisting);
    // addItem's work; *item is what the store holds afterwards.
    Creation addItemRow(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                        unsigned accountId, bool recoverExisting, StoredItem* item);
    bool removeVersionItemText(RefDataHandle* handle, unsigned textId, unsigned versionId,
                               unsigned accountId);
    // The open session's domain id, -1 without a session.
    static unsigned sessionDomainId(RefDataHandle* handle);

    // --- the edits of RefDataAdminEx (rdcoreadminimpl_deferred.cpp) ---------------------------
    // Message code with ": reason" into the handle's error text and the log.
    bool refuseEdit(RefDataHandle* handle, Site site, int code, const QxbString& reason);
    // Appends a change record of an edit to the session (account: the
    // session's; language 1).
    void noteEdit(RefDataHandle* handle, const char* tableCode, unsigned objectId,
                  const QxbString& description);
    static const LanguageRow* editLanguage(RefDataHandle* handle);
    // The item row of a key: stored, or pending in the session; null when neither.
    const ItemRow* itemForKey(RefDataHandle* handle, const QxbString& key);
    // The newest version's entries of the key's item, or null when it holds none.
    std::vector<VersionItemEntry*>* entriesForKey(RefDataHandle* handle, const QxbString& key);
    // entriesForKey, reporting 1532 ("ROLE 'KEY' is not an item of the version") on a miss.
    std::vector<VersionItemEntry*>* entriesOrReport(RefDataHandle* handle, const QxbString& key,
                                                    const char* role);
    VersionAttributeEntry* versionAttributeNamed(RefDataHandle* handle, const QxbString& name);
    // A language of the catalogue by code; a miss reports 1532.
    const LanguageRow* languageWithCode(RefDataHandle* handle, const QxbString& code);
    static unsigned nextPosition(DomainEditSession* session);

    // --- the commit (rdcoreadminimpl_commit.cpp) ------------------------------------------------
    struct CommitIds;
    struct PlannedRecord;
    static std::vector<const AttributeRow*> usedPendingAttributes(DomainEditSession* session);
    static std::vector<const ItemRow*> usedPendingItems(DomainEditSession* session);
    std::vector<PlannedRecord> planRecords(RefDataHandle* handle, const QxbString& summary,
                                           const CommitIds* ids);
    bool domainIdsNamed(RefDataHandle* handle, const QxbString& name, std::vector<unsigned>* ids);
    // The domain's newest stored version number (0 without versions) and its id.
    bool storedNewestNumber(RefDataHandle* handle, unsigned domainId, int* number, unsigned* versionId);
    bool loadStoredValues(RefDataHandle* handle, unsigned versionId);
    bool commitUnchanged(RefDataHandle* handle);
    bool writeDomain(RefDataHandle* handle, CommitIds* ids);
    bool writePendingAttributes(RefDataHandle* handle, CommitIds* ids);
    bool writeVersion(RefDataHandle* handle, CommitIds* ids);
    bool writePendingItems(RefDataHandle* handle, CommitIds* ids);
    bool writeVersionItems(RefDataHandle* handle, CommitIds* ids);
    bool writeItemValues(RefDataHandle* handle, CommitIds* ids);
    bool writeRecords(RefDataHandle* handle, const QxbString& summary, const CommitIds& ids);

    // --- the edit session -------------------------------------------------------------------
    // The connection check and an open session (message 3 into the handle).
    bool sessionOpen(RefDataHandle* handle, Site site);
    // A new empty session in the handle, or false (530 reported).
    bool createSession(RefDataHandle* handle, Site site);
    void discardSession(RefDataHandle* handle);
    bool loadDomainIntoSession(RefDataHandle* handle, unsigned domainId);
    bool loadDomainShape(RefDataHandle* handle, unsigned domainId);
    bool loadDomainRow(RefDataHandle* handle, LoadState* load);
    bool loadDomainGrants(RefDataHandle* handle, LoadState* load);
    bool loadDomainLanguages(RefDataHandle* handle, LoadState* load);
    bool loadDomainAttributes(RefDataHandle* handle, LoadState* load);
    bool loadVersions(RefDataHandle* handle, LoadState* load);
    bool loadVersion(RefDataHandle* handle, LoadState* load, PendingVersion* version);
    bool loadVersionItems(RefDataHandle* handle, LoadState* load, PendingVersion* version);
    bool loadVersionItemValues(RefDataHandle* handle, LoadState* load, PendingVersion* version);
    bool loadDomainHistory(RefDataHandle* handle, LoadState* load);
    // The item attribute value of the version with that id: one the
    // version's items own, else one read from the store by id and given to
    // the version's entry of the same item. Null when there is none.
    ItemAttributeValue* versionValue(RefDataHandle* handle, LoadState* load, unsigned valueId,
                                     bool* failed);
    // Runs an edit operation, turning a failed allocation into message 530.
    bool guarded(RefDataHandle* handle, const std::function<bool()>& operation);
    const ItemRow* storedItem(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                              const AccountRow* account);
    static bool wouldBeOwnAncestor(DomainEditSession* session, unsigned itemId, unsigned parentId);
    // The item and every item below it in the newest version, each once,
    // every item after its descendants.
    static std::vector<unsigned> subtreeDeepestFirst(DomainEditSession* session, unsigned itemId);
    // With records false nothing is recorded (the caller records the removal).
    static void removeItemEntries(DomainEditSession* session, const std::vector<unsigned>& items,
                                  const LanguageRow* language, const AccountRow* account,
                                  bool records = true);
    // The change record of an edit (id -1, status "A", now).
    static ChangeRecord editRecord(const QxbString& tableCode, unsigned objectId,
                                   const QxbString& description, const LanguageRow* language,
                                   const AccountRow* account);

    QxLogger* logger = nullptr;
};

// A transaction on a store that is rolled back when it is left without a
// commit. Declare result sets after it: they are released first, so the
// roll-back never runs with one of them still open.
class RefDataAdminImpl::Transaction {
public:
    explicit Transaction(RefDataStore* store) : store_(store) {}
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    bool begin();
    // Commits; afterwards the transaction is over whatever the result (a
    // store rolls back a commit that fails).
    bool commit();

private:
    RefDataStore* store_;
    bool open_ = false;
};

// What the store holds for an item.
struct RefDataAdminImpl::StoredItem {
    unsigned id = kNotStored;
    QxbString key;
    QxbString text;
    bool flag1 = true;
    bool flag2 = true;
    QxbString text2;
    unsigned account = kNotStored;
};

namespace rdadmin {

// Message codes of the administration layer (module "Reference Data").
constexpr int kMsgExists = 1509;
constexpr int kMsgNotFound = 1532;
constexpr int kMsgInUse = 1815;
constexpr int kMsgVersionNotFound = 1824;

// Table codes of the change records.
constexpr const char* kTableDomains = "RDDOMS";
constexpr const char* kTableVersions = "RDDOVR";
constexpr const char* kTableAccounts = "RDACTS";
constexpr const char* kTableAttributes = "RDATRS";
constexpr const char* kTableItems = "RDDOIT";
constexpr const char* kTableItemValues = "RDITVV";
constexpr const char* kTableDomainAttributes = "RDDOAT";
constexpr const char* kTableVersionAttributes = "RDDATV";
constexpr const char* kTableVersionItems = "RDITVR";
constexpr const char* kTableVersionItemValues = "RDDOIA";

constexpr unsigned kAny = static_cast<unsigned>(-1);
constexpr unsigned kDefaultLanguage = 1;
constexpr unsigned kDefaultAccount = 1;

// A catalogue name folded for comparison without case (ASCII letters).
std::string foldName(const QxbString& name);

}  // namespace rdadmin

// The call site of a report: this source file and line.
#define RDADMIN_SITE \
    Site { __FILE__, __LINE__ }

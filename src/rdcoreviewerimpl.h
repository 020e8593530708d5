// RefDataViewerImpl: the read-only queries of a handle, each one or more
// calls of the handle's query store wrapped into a cursor.
#pragma once

#include <functional>
#include <map>

#include "RefDataViewerEx.h"
#include "qxlog.h"

class StoreResultSet;
class RefDataStore;
class RefDataCacheCursorImpl;

class RefDataViewerImpl : public RefDataViewerEx {
public:
    // useDataServer: the session's setting; the domain lookups then use the
    // store's prepared queries.
    explicit RefDataViewerImpl(bool useDataServer);
    RefDataViewerImpl(const RefDataViewerImpl&) = delete;
    RefDataViewerImpl& operator=(const RefDataViewerImpl&) = delete;
    ~RefDataViewerImpl() override;
    // Fetches the library logger; always true.
    bool init();
    bool usesDataServer() const { return useDataServer; }

    RefDataCursor* getAccounts(RefDataHandle* handle, int id, const QxbString& filter1,
                               const QxbString& filter2, const QxbString& filter3) override;
    RefDataCursor* getListA(RefDataHandle* handle) override;
    RefDataCursor* getDomain(RefDataHandle* handle, int id, const QxbString& name) override;
    RefDataCursor* getListB(RefDataHandle* handle, int key) override;
    RefDataCursor* getListC(RefDataHandle* handle, int key, void* unused) override;
    RefDataCursor* getDomainWithDetails(RefDataHandle* handle, const QxbString& name, bool current) override;
    RefDataCursor* getDomainWithDetails(RefDataHandle* handle, int id, bool current) override;
    RefDataCursor* getListD(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListE(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListF(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListG(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListH(RefDataHandle* handle, int key, void* unused) override;
    RefDataCursor* getDomainItemsWithAttributes(RefDataHandle* handle, const QxbString& name,
                                                int version) override;
    RefDataCursor* getListI(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListJ(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListK(RefDataHandle* handle, int a, int b) override;
    RefDataCursor* getListForDomain(RefDataHandle* handle, int domainId, void* unused) override;
    RefDataCursor* getDomainVersions(RefDataHandle* handle, int domainId, int versionNumber) override;
    RefDataCursor* getDataSources(RefDataHandle* handle) override;
    RefDataCursor* getListL(RefDataHandle* handle) override;
    RefDataCursor* getListM(RefDataHandle* handle) override;
    RefDataCursor* getDelimitedFileFields(RefDataHandle* handle, const QxbString& path, char separator,
                                          char qualifier) override;
    RefDataCursor* getListN(RefDataHandle* handle) override;
    RefDataCursor* getLanguages(RefDataHandle* handle) override;
    RefDataCursor* getListP(RefDataHandle* handle) override;
    RefDataCursor* getPermissions(RefDataHandle* handle) override;
    RefDataCursor* getDomainExtras(RefDataHandle* handle, int domainId) override;
    RefDataCursor* getListS(RefDataHandle* handle, int key) override;
    RefDataCursor* getListT(RefDataHandle* handle, void* unused, int value) override;
    bool containsItemKey(RefDataHandle* handle, const QxbString& name, int version,
                         const QxbString& value) override;

    // --- RefDataViewerEx (rdcoreviewerimpl_attributes.cpp) --------------------------------
    RefDataCursor* getAttributes(RefDataHandle* handle, int domainId) override;
    // rdcoreviewerimpl_diff.cpp
    RefDataCursor* getVersionDiff(RefDataHandle* handle, int domainId, int fromNumber, int toNumber) override;
    int findItemKey(RefDataHandle* handle, const QxbString& name, int version, const QxbString& key) override;
    RefDataCursor* streamDomainItems(RefDataHandle* handle, const QxbString& name, int version) override;

private:
    // Puts text into the handle's error text and logs it at level 5.
    void reportError(RefDataHandle* handle, const char* file, int line, const QxbString& text);
    void reportMessage(RefDataHandle* handle, const char* file, int line, int code);
    // The store's last error text into the handle, logged.
    void reportStoreError(RefDataHandle* handle, RefDataStore* store, const char* file, int line);
    // False (message 3 reported) when the handle has no query store.
    bool hasQueryStore(RefDataHandle* handle, const char* file, int line);
    // Every row of a query-store listing through read. A null listing or an
    // answer other than a row or the end is the store's failure (reported),
    // never a shorter list.
    bool walkListing(RefDataHandle* handle, StoreResultSet* rows, const std::function<void(StoreResultSet&)>& read);
    // A store-backed query: the store check, one listing, the wrapping.
    template <typename Listing>
    RefDataCursor* storeQuery(RefDataHandle* handle, Listing listing);
    using KeyPairListing = StoreResultSet* (RefDataStore::*)(unsigned, unsigned);
    RefDataCursor* keyPairQuery(RefDataHandle* handle, KeyPairListing listing, int a, int b);
    // Steps 2 to 5 of every store-backed query: wraps the result set.
    RefDataCursor* wrap(RefDataHandle* handle, StoreResultSet* resultSet);
    bool domainExists(RefDataHandle* handle, int id, const QxbString& name);
    StoreResultSet* listDomainsFiltered(RefDataHandle* handle, unsigned id, const QxbString& name);

    // Steps of the items-with-attributes query.
    using DomainMap = std::map<int, QxbString>;  // domain id -> name, ascending ids
    bool collectDomains(RefDataHandle* handle, const QxbString& name, DomainMap* domains);
    bool selectVersion(RefDataHandle* handle, int domainId, const QxbString& domainName, int version,
                       int* selected);
    StoreResultSet* queryItems(RefDataHandle* handle, int domainId, int selectedVersion);
    // The key lookup behind findItemKey and containsItemKey (1, 0, -1).
    int lookUpKey(RefDataHandle* handle, const QxbString& name, int version, const QxbString& key);
    bool copyItemRows(RefDataHandle* handle, StoreResultSet* items, RefDataCacheCursorImpl* cursor);
    // A cache cursor with the given columns, or null (reported).
    RefDataCacheCursorImpl* newCacheCursor(RefDataHandle* handle, int columnCount);

    QxLogger* logger;
    bool useDataServer;
};

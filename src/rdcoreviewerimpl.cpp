// RefDataViewerImpl: the read-only queries of a handle. Store-backed queries
// wrap one store result set into a cursor; the items-with-attributes query and
// the external sources assemble their rows into a cache cursor.
#include "rdcoreviewerimpl.h"

#include <map>
#include <memory>
#include <string>

#include "RefDataHandle.h"
#include "qxdac.h"
#include "qxsstr.h"
#include "rdcorecommon.h"
#include "rdcorecursorimpl.h"
#include "rdcorestreamcursor.h"
#include "repadm.h"

using rdcore::allocate;
using rdcore::Owned;

namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);

// Prepared query kinds and parameter numbers of data-server mode.
enum PreparedKind { kKindDomainDetails = 1, kKindDomains = 2, kKindVersions = 3, kKindItems = 4, kKindItemKey = 5 };
enum PreparedParameter { kParamCurrent = 1, kParamDomainId = 2, kParamDomainName = 3, kParamVersion = 4 };

const char* boolText(bool value) {
    return value ? "true" : "false";
}

constexpr int kMsgObjectNotFound = 1532;
constexpr int kMsgDomainNotFound = 1823;
constexpr int kMsgVersionNotFound = 1824;
constexpr int kMsgLineUnreadable = 1825;
constexpr int kMaxFields = 1024;

// Owns a cache cursor until it is handed to the caller.
struct CacheCursorReleaser {
    void operator()(RefDataCacheCursorImpl* cursor) const {
        if (cursor != nullptr) cursor->release();
    }
};
using OwnedCacheCursor = std::unique_ptr<RefDataCacheCursorImpl, CacheCursorReleaser>;

// Closes a text file on every path.
struct TxtFileCloser {
    void operator()(QxbTxtFile* file) const {
        if (file != nullptr) file->close();
    }
};

}  // namespace

RefDataViewerImpl::RefDataViewerImpl(bool useDataServerFlag)
    : logger(nullptr), useDataServer(useDataServerFlag) {}

RefDataViewerImpl::~RefDataViewerImpl() = default;

bool RefDataViewerImpl::init() {
    rdcore::ensureLogger(logger);
    return true;
}

// --- error reporting ------------------------------------------------------------

void RefDataViewerImpl::reportError(RefDataHandle* handle, const char* file, int line,
                                    const QxbString& text) {
    handle->errorText = text;
    rdcore::logError(logger, file, line, text);
}

void RefDataViewerImpl::reportMessage(RefDataHandle* handle, const char* file, int line, int code) {
    reportError(handle, file, line, rdcore::message(file, line, code));
}

void RefDataViewerImpl::reportStoreError(RefDataHandle* handle, RefDataStore* store, const char* file,
                                         int line) {
    reportError(handle, file, line, store->getLastError());
}

bool RefDataViewerImpl::hasQueryStore(RefDataHandle* handle, const char* file, int line) {
    if (handle->queryStore != nullptr) return true;
    reportMessage(handle, file, line, rdcore::kMsgNoConnection);
    return false;
}

// --- the store query pattern ------------------------------------------------------

RefDataCursor* RefDataViewerImpl::wrap(RefDataHandle* handle, StoreResultSet* resultSet) {
    if (resultSet == nullptr) {
        reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
        return nullptr;
    }
    Owned<StoreResultSet> owned(resultSet);
    RefDataCursorImpl* cursor = allocate<RefDataCursorImpl>();
    if (cursor == nullptr) {
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
    QxbString attachError;
    if (!cursor->attach(owned.get(), &attachError)) {
        reportError(handle, __FILE__, __LINE__, attachError);
        cursor->release();
        return nullptr;
    }
    owned.release();  // the cursor owns it now
    return cursor;
}

StoreResultSet* RefDataViewerImpl::listDomainsFiltered(RefDataHandle* handle, unsigned id,
                                                       const QxbString& name) {
    const QxbString empty;
    const QxbDate date;
    return handle->queryStore->listDomains(id, name, empty, empty, empty, empty, empty, kAny, empty, kAny,
                                           kAny, date, empty, date);
}

bool RefDataViewerImpl::domainExists(RefDataHandle* handle, int id, const QxbString& name) {
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return false;
    RefDataStore* store = handle->queryStore;
    StoreResultSet* resultSet = nullptr;
    if (useDataServer) {
        QxbDatavar value;
        store->prepareQuery(kKindDomains);
        value.assign(name);
        store->bindParameter(kParamDomainName, value);
        if (id != -1) {
            value.assign(id);
            store->bindParameter(kParamDomainId, value);
        }
        resultSet = store->executeQuery();
    } else {
        resultSet = listDomainsFiltered(handle, static_cast<unsigned>(id), name);
    }
    if (resultSet == nullptr) {
        reportStoreError(handle, store, __FILE__, __LINE__);
        return false;
    }
    // A failed walk is a failed check, like a failed listing: its text is
    // logged and the caller reports the domain as not found.
    const int answer = resultSet->next();
    if (answer != 0 && answer != 1) reportStoreError(handle, store, __FILE__, __LINE__);
    resultSet->release();
    return answer == 1;
}

// --- store-backed family -------------------------------------------------------------

// The store query pattern around one listing of the query store.
template <typename Listing>
RefDataCursor* RefDataViewerImpl::storeQuery(RefDataHandle* handle, Listing listing) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    return wrap(handle, listing(handle->queryStore));
}

// The lettered listings keyed by two values, passed on as given.
RefDataCursor* RefDataViewerImpl::keyPairQuery(RefDataHandle* handle, KeyPairListing listing, int a, int b) {
    return storeQuery(handle, [&](RefDataStore* store) {
        return (store->*listing)(static_cast<unsigned>(a), static_cast<unsigned>(b));
    });
}

RefDataCursor* RefDataViewerImpl::getAccounts(RefDataHandle* handle, int id, const QxbString& filter1,
                                              const QxbString& filter2, const QxbString& filter3) {
    const QxbString empty;
    return storeQuery(handle, [&](RefDataStore* store) {
        return store->listAccounts(static_cast<unsigned>(id), filter1, filter2, filter3, empty, empty, empty);
    });
}

RefDataCursor* RefDataViewerImpl::getListA(RefDataHandle* handle) {
    const QxbString empty;
    return storeQuery(handle, [&](RefDataStore* store) { return store->listA(kAny, empty, empty); });
}

RefDataCursor* RefDataViewerImpl::getListB(RefDataHandle* handle, int key) {
    return storeQuery(handle, [&](RefDataStore* store) { return store->listB(static_cast<unsigned>(key)); });
}

RefDataCursor* RefDataViewerImpl::getListC(RefDataHandle* handle, int key, void* /*unused*/) {
    return storeQuery(handle, [&](RefDataStore* store) { return store->listC(static_cast<unsigned>(key)); });
}

RefDataCursor* RefDataViewerImpl::getListD(RefDataHandle* handle, int a, int b) {
    return keyPairQuery(handle, &RefDataStore::listD, a, b);
}

RefDataCursor* RefDataViewerImpl::getListE(RefDataHandle* handle, int a, int b) {
    return keyPairQuery(handle, &RefDataStore::listE, a, b);
}

RefDataCursor* RefDataViewerImpl::getListF(RefDataHandle* handle, int a, int b) {
    return keyPairQuery(handle, &RefDataStore::listF, a, b);
}

RefDataCursor* RefDataViewerImpl::getListG(RefDataHandle* handle, int a, int b) {
    return keyPairQuery(handle, &RefDataStore::listG, a, b);
}

RefDataCursor* RefDataViewerImpl::getListH(RefDataHandle* handle, int key, void* /*unused*/) {
    return storeQuery(handle,
                      [&](RefDataStore* store) { return store->listH(kAny, static_cast<unsigned>(key)); });
}

RefDataCursor* RefDataViewerImpl::getListI(RefDataHandle* handle, int a, int b) {
    return storeQuery(handle, [&](RefDataStore* store) {
        return store->listI(kAny, static_cast<unsigned>(a), static_cast<unsigned>(b));
    });
}

RefDataCursor* RefDataViewerImpl::getListJ(RefDataHandle* handle, int a, int b) {
    return keyPairQuery(handle, &RefDataStore::listJ, a, b);
}

RefDataCursor* RefDataViewerImpl::getListK(RefDataHandle* handle, int a, int b) {
    return keyPairQuery(handle, &RefDataStore::listK, a, b);
}

RefDataCursor* RefDataViewerImpl::getDomainVersions(RefDataHandle* handle, int domainId, int versionNumber) {
    const QxbString empty;
    const QxbDate date;
    return storeQuery(handle, [&](RefDataStore* store) {
        return store->listDomainVersions(kAny, static_cast<unsigned>(domainId),
                                         static_cast<unsigned>(versionNumber), empty, empty, empty, empty,
                                         kAny, empty, kAny, date, date);
    });
}

RefDataCursor* RefDataViewerImpl::getLanguages(RefDataHandle* handle) {
    const QxbString empty;
    return storeQuery(handle, [&](RefDataStore* store) { return store->listLanguages(kAny, empty, empty); });
}

RefDataCursor* RefDataViewerImpl::getPermissions(RefDataHandle* handle) {
    const QxbString empty;
    return storeQuery(handle,
                      [&](RefDataStore* store) { return store->listPermissions(kAny, empty, empty, kAny); });
}

RefDataCursor* RefDataViewerImpl::getDomainExtras(RefDataHandle* handle, int domainId) {
    const QxbString empty;
    return storeQuery(handle, [&](RefDataStore* store) {
        return store->listDomainExtras(kAny, empty, empty, static_cast<unsigned>(domainId), kAny, empty,
                                       empty);
    });
}

RefDataCursor* RefDataViewerImpl::getListS(RefDataHandle* handle, int key) {
    return storeQuery(handle, [&](RefDataStore* store) { return store->listS(static_cast<unsigned>(key)); });
}

// --- the five operations without an implementation -------------------------------------

RefDataCursor* RefDataViewerImpl::getListL(RefDataHandle* /*handle*/) {
    return nullptr;
}
RefDataCursor* RefDataViewerImpl::getListM(RefDataHandle* /*handle*/) {
    return nullptr;
}
RefDataCursor* RefDataViewerImpl::getListN(RefDataHandle* /*handle*/) {
    return nullptr;
}
RefDataCursor* RefDataViewerImpl::getListP(RefDataHandle* /*handle*/) {
    return nullptr;
}
RefDataCursor* RefDataViewerImpl::getListT(RefDataHandle* /*handle*/, void* /*unused*/, int /*value*/) {
    return nullptr;
}

// --- domain lookups ------------------------------------------------------------------------

RefDataCursor* RefDataViewerImpl::getDomain(RefDataHandle* handle, int id, const QxbString& name) {
    if (handle == nullptr) return nullptr;
    rdcore::ensureLogger(logger)->log(QXLOG_INFO, __FILE__, __LINE__, "getDomain(id=%d,name='%s')", id,
                                      name.asCstr());
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    if (!domainExists(handle, id, name)) {
        reportError(handle, __FILE__, __LINE__,
                    qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgDomainNotFound, ""));
        return nullptr;
    }
    RefDataStore* store = handle->queryStore;
    if (!useDataServer) return wrap(handle, listDomainsFiltered(handle, static_cast<unsigned>(id), name));
    if (id != -1 || !name.isNull()) {
        logger->log(QXLOG_ERROR, __FILE__, __LINE__, "RefDataViewerImpl::getDomain unhandled mode(%d,%s)", id,
                    name.asCstr());
        return nullptr;
    }
    store->prepareQuery(kKindDomains);
    return wrap(handle, store->executeQuery());
}

RefDataCursor* RefDataViewerImpl::getDomainWithDetails(RefDataHandle* handle, const QxbString& name,
                                                       bool current) {
    if (handle == nullptr) return nullptr;
    rdcore::ensureLogger(logger)->log(QXLOG_INFO, __FILE__, __LINE__,
                                      "getDomainWithDetails(name='%s',current=%s)", name.asCstr(),
                                      boolText(current));
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    if (!domainExists(handle, -1, name)) {
        const QxbString argument = qxbStringFormat("[%s].", name.asCstr());
        reportError(handle, __FILE__, __LINE__,
                    qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgDomainNotFound, argument));
        return nullptr;
    }
    RefDataStore* store = handle->queryStore;
    if (!useDataServer) return wrap(handle, store->listDomainDetails(kAny, name, current));
    QxbDatavar value;
    store->prepareQuery(kKindDomainDetails);
    value.assign(name);
    store->bindParameter(kParamDomainName, value);
    value.assign(current);
    store->bindParameter(kParamCurrent, value);
    return wrap(handle, store->executeQuery());
}

RefDataCursor* RefDataViewerImpl::getDomainWithDetails(RefDataHandle* handle, int id, bool current) {
    if (handle == nullptr) return nullptr;
    rdcore::ensureLogger(logger)->log(QXLOG_INFO, __FILE__, __LINE__,
                                      "getDomainWithDetails(id=%d,current=%s)", id, boolText(current));
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    RefDataStore* store = handle->queryStore;
    if (!useDataServer)
        return wrap(handle, store->listDomainDetails(static_cast<unsigned>(id), QxbString(), current));
    QxbDatavar value;
    store->prepareQuery(kKindDomainDetails);
    if (id != -1) {
        value.assign(id);
        store->bindParameter(kParamDomainId, value);
    }
    value.assign(current);
    store->bindParameter(kParamCurrent, value);
    return wrap(handle, store->executeQuery());
}

RefDataCursor* RefDataViewerImpl::getListForDomain(RefDataHandle* handle, int domainId, void* /*unused*/) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    RefDataStore* store = handle->queryStore;
    Owned<StoreResultSet> domain(listDomainsFiltered(handle, static_cast<unsigned>(domainId), QxbString()));
    if (!domain) {
        reportStoreError(handle, store, __FILE__, __LINE__);
        return nullptr;
    }
    const int answer = domain->next();
    if (answer != 1) {
        if (answer == 0)
            reportMessage(handle, __FILE__, __LINE__, kMsgObjectNotFound);
        else
            reportStoreError(handle, store, __FILE__, __LINE__);
        return nullptr;
    }
    const bool kindIsC = domain->getString(12).compare("C", true) == 0;
    domain.reset();
    return wrap(handle, store->listForDomainKind(static_cast<unsigned>(domainId), kindIsC));
}

// --- items with attributes -----------------------------------------------------------------

bool RefDataViewerImpl::collectDomains(RefDataHandle* handle, const QxbString& name, DomainMap* domains) {
    RefDataStore* store = handle->queryStore;
    StoreResultSet* resultSet = nullptr;
    if (useDataServer) {
        QxbDatavar value;
        store->prepareQuery(kKindDomains);
        value.assign(name);
        store->bindParameter(kParamDomainName, value);
        resultSet = store->executeQuery();
    } else {
        resultSet = listDomainsFiltered(handle, kAny, name);
    }
    if (resultSet == nullptr) {
        reportStoreError(handle, store, __FILE__, __LINE__);
        return false;
    }
    Owned<StoreResultSet> rows(resultSet);
    if (name.isNull()) {
        int answer = 0;
        while ((answer = rows->next()) == 1) (*domains)[rows->getInt(0)] = rows->getString(1);
        if (answer == 0) return true;
        reportStoreError(handle, store, __FILE__, __LINE__);
        return false;
    }
    const int answer = rows->next();
    if (answer != 0 && answer != 1) {
        reportStoreError(handle, store, __FILE__, __LINE__);
        return false;
    }
    if (answer == 0) {
        const QxbString argument = qxbStringFormat(": %s.", name.asCstr());
        reportError(handle, __FILE__, __LINE__,
                    qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgDomainNotFound, argument));
        return false;
    }
    (*domains)[rows->getInt(0)] = name;
    return true;
}

bool RefDataViewerImpl::selectVersion(RefDataHandle* handle, int domainId, const QxbString& domainName,
                                      int version, int* selected) {
    RefDataStore* store = handle->queryStore;
    const int filter = version == 0 ? -1 : version;
    StoreResultSet* resultSet = nullptr;
    if (useDataServer) {
        QxbDatavar value;
        store->prepareQuery(kKindVersions);
        value.assign(domainId);
        store->bindParameter(kParamDomainId, value);
        value.assign(filter);
        store->bindParameter(kParamVersion, value);
        resultSet = store->executeQuery();
    } else {
        const QxbString empty;
        const QxbDate date;
        resultSet =
            store->listDomainVersions(kAny, static_cast<unsigned>(domainId), static_cast<unsigned>(filter),
                                      empty, empty, empty, empty, kAny, empty, kAny, date, date);
    }
    if (resultSet == nullptr) {
        reportStoreError(handle, store, __FILE__, __LINE__);
        return false;
    }
    Owned<StoreResultSet> versions(resultSet);
    *selected = -1;
    if (version == 0) {
        int answer = 0;
        while ((answer = versions->next()) == 1) {
            const int number = versions->getInt(2);
            if (number > *selected) *selected = number;
        }
        if (answer != 0) {
            reportStoreError(handle, store, __FILE__, __LINE__);
            return false;
        }
    } else if (version != -1) {
        const int answer = versions->next();
        if (answer != 0 && answer != 1) {
            reportStoreError(handle, store, __FILE__, __LINE__);
            return false;
        }
        if (answer == 0) {
            const QxbString number = qxbStringFormat("%d", version);
            reportError(handle, __FILE__, __LINE__,
                        qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgVersionNotFound, domainName,
                                        number));
            return false;
        }
        *selected = versions->getInt(2);
    }
    return true;
}

StoreResultSet* RefDataViewerImpl::queryItems(RefDataHandle* handle, int domainId, int selectedVersion) {
    RefDataStore* store = handle->queryStore;
    if (useDataServer) {
        QxbDatavar value;
        store->prepareQuery(kKindItems);
        value.assign(domainId);
        store->bindParameter(kParamDomainId, value);
        if (selectedVersion != -1) {
            value.assign(selectedVersion);
            store->bindParameter(kParamVersion, value);
        }
        return store->executeQuery();
    }
    if (selectedVersion == -1) return store->listItemsWithAttributes(static_cast<unsigned>(domainId), kAny);
    return store->listItemsWithAttributesOfVersion(static_cast<unsigned>(domainId),
                                                   static_cast<unsigned>(selectedVersion));
}

RefDataCacheCursorImpl* RefDataViewerImpl::newCacheCursor(RefDataHandle* handle, int columnCount) {
    RefDataCacheCursorImpl* cursor = allocate<RefDataCacheCursorImpl>();
    if (cursor == nullptr) {
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
    if (!cursor->setColumns(columnCount)) {
        // A listing without columns: the error text is the (empty) local one.
        reportError(handle, __FILE__, __LINE__, QxbString());
        cursor->release();
        return nullptr;
    }
    return cursor;
}

bool RefDataViewerImpl::copyItemRows(RefDataHandle* handle, StoreResultSet* items,
                                     RefDataCacheCursorImpl* cursor) {
    const int columns = items->getColumnCount();
    int answer = 0;
    while ((answer = items->next()) == 1) {
        if (cursor->addRow() == 0) {
            reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
            return false;
        }
        for (int column = 0; column < columns; ++column) cursor->setValue(column, items->getValue(column));
    }
    // Anything but the end is the store's failure, never a shorter list.
    if (answer == 0) return true;
    reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
    return false;
}

RefDataCursor* RefDataViewerImpl::getDomainItemsWithAttributes(RefDataHandle* handle, const QxbString& name,
                                                               int version) {
    if (handle == nullptr) return nullptr;
    rdcore::ensureLogger(logger)->log(QXLOG_INFO, __FILE__, __LINE__,
                                      "getDomainItemsWithAttributes(name='%s',version=%d)", name.asCstr(),
                                      version);
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;

    DomainMap domains;
    if (!collectDomains(handle, name, &domains)) return nullptr;
    if (domains.empty()) {
        // Not one domain in the store: answer an empty cursor with the item
        // columns, so that callers can tell "nothing" from "failure".
        domains[-1] = QxbString();
    }
    OwnedCacheCursor cursor;
    for (const auto& domain : domains) {
        int selected = -1;
        if (domain.first != -1 && !selectVersion(handle, domain.first, domain.second, version, &selected))
            return nullptr;
        Owned<StoreResultSet> items(queryItems(handle, domain.first, selected));
        if (!items) {
            reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
            return nullptr;
        }
        if (!cursor) {
            const int columns = items->getColumnCount();
            cursor.reset(newCacheCursor(handle, columns));
            if (!cursor) return nullptr;
            for (int column = 0; column < columns; ++column)
                cursor->setColumnName(column, items->getColumnName(column));
        }
        if (!copyItemRows(handle, items.get(), cursor.get())) return nullptr;
    }
    cursor->rewind();
    return cursor.release();
}

RefDataCursor* RefDataViewerImpl::streamDomainItems(RefDataHandle* handle, const QxbString& name, int version) {
    if (handle == nullptr) return nullptr;
    rdcore::ensureLogger(logger)->log(QXLOG_INFO, __FILE__, __LINE__, "streamDomainItems(name='%s',version=%d)",
                                      name.asCstr(), version);
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    DomainMap domains;
    if (!collectDomains(handle, name, &domains)) return nullptr;
    // The versions are chosen before the first row, as the copying query
    // chooses them; the rows are read later, domain after domain.
    std::vector<std::pair<int, int>> parts;
    for (const auto& domain : domains) {
        int selected = -1;
        if (!selectVersion(handle, domain.first, domain.second, version, &selected)) return nullptr;
        parts.emplace_back(domain.first, selected);
    }
    // Not one domain: an empty list with the item columns.
    if (parts.empty()) parts.emplace_back(-1, -1);
    StoreResultSet* first = queryItems(handle, parts.front().first, parts.front().second);
    if (first == nullptr) {
        reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
        return nullptr;
    }
    parts.erase(parts.begin());
    auto open = [this, handle](const std::pair<int, int>& part) {
        StoreResultSet* rows = queryItems(handle, part.first, part.second);
        if (rows == nullptr) reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
        return rows;
    };
    auto rowFailed = [this, handle] { reportStoreError(handle, handle->queryStore, __FILE__, __LINE__); };
    RefDataStreamCursor* cursor = allocate<RefDataStreamCursor>(first, std::move(parts), open, rowFailed);
    if (cursor == nullptr) {
        first->release();
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
    }
    return cursor;
}

// --- key lookups ----------------------------------------------------------------------------

int RefDataViewerImpl::lookUpKey(RefDataHandle* handle, const QxbString& name, int version, const QxbString& key) {
    RefDataStore* store = handle->queryStore;
    DomainMap domains;
    if (!collectDomains(handle, name, &domains)) return -1;
    for (const auto& domain : domains) {
        int selected = -1;
        if (!selectVersion(handle, domain.first, domain.second, version, &selected)) return -1;
        StoreResultSet* resultSet = nullptr;
        if (useDataServer) {
            QxbDatavar value;
            store->prepareQuery(kKindItemKey);
            value.assign(domain.first);
            store->bindParameter(kParamDomainId, value);
            value.assign(key);
            store->bindParameter(kParamDomainName, value);
            if (selected != -1) {
                value.assign(selected);
                store->bindParameter(kParamVersion, value);
            }
            resultSet = store->executeQuery();
        } else {
            resultSet = store->listItemsWithKey(static_cast<unsigned>(domain.first),
                                                selected == -1 ? kAny : static_cast<unsigned>(selected), key);
        }
        if (resultSet == nullptr) {
            reportStoreError(handle, store, __FILE__, __LINE__);
            return -1;
        }
        Owned<StoreResultSet> rows(resultSet);
        const int answer = rows->next();
        if (answer == 1) return 1;
        // Anything but the end is a failure, never "absent".
        if (answer != 0) {
            reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgNoResultSet);
            return -1;
        }
    }
    return 0;
}

int RefDataViewerImpl::findItemKey(RefDataHandle* handle, const QxbString& name, int version,
                                   const QxbString& key) {
    if (handle == nullptr) return -1;
    // Traced below the informational level: a validating flow makes a lookup
    // per incoming row, and a line each would flood the log (rotating away
    // the lines that matter) and make concurrent lookups queue on the file.
    rdcore::ensureLogger(logger)->log(QXLOG_TRACE, __FILE__, __LINE__, "findItemKey(name='%s',version=%d)",
                                      name.asCstr(), version);
    if (!hasQueryStore(handle, __FILE__, __LINE__)) return -1;
    return lookUpKey(handle, name, version, key);
}

// The answer the item rows would give (is there a row with this key?),
// found by the key's index instead of a walk over every row; its trace line
// names that query, as before.
bool RefDataViewerImpl::containsItemKey(RefDataHandle* handle, const QxbString& name, int version,
                                        const QxbString& value) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return false;
    rdcore::ensureLogger(logger)->log(QXLOG_INFO, __FILE__, __LINE__,
                                      "getDomainItemsWithAttributes(name='%s',version=%d)", name.asCstr(),
                                      version);
    return lookUpKey(handle, name, version, value) == 1;
}

// --- external sources ------------------------------------------------------------------------

RefDataCursor* RefDataViewerImpl::getDataSources(RefDataHandle* handle) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    Owned<DataAccessSource> source(dacCreateDataSource(0));
    if (!source) {
        // The library answers no object only when it cannot allocate one.
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
    Owned<DataAccessReader> reader(source->listSources(DAC_LIST_DATA_SOURCES, 0));
    if (!reader) {
        QxbString reason;
        source->getLastError(&reason);
        reportError(handle, __FILE__, __LINE__, reason);
        return nullptr;
    }
    const int columns = reader->getColumnCount();
    OwnedCacheCursor cursor(newCacheCursor(handle, columns));
    if (!cursor) return nullptr;
    for (int column = 0; column < columns; ++column) {
        QxbString columnName;
        reader->getColumnName(&columnName, column);
        cursor->setColumnName(column, columnName);
    }
    while (reader->fetch() == 0) {
        if (cursor->addRow() == 0) {
            reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
            return nullptr;
        }
        for (int column = 0; column < columns; ++column) {
            QxbDatavar value;
            reader->getValue(&value, column);
            cursor->setValue(column, value);
        }
    }
    cursor->rewind();
    return cursor.release();
}

RefDataCursor* RefDataViewerImpl::getDelimitedFileFields(RefDataHandle* handle, const QxbString& path,
                                                         char separator, char qualifier) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    QxbString openError;
    std::unique_ptr<QxbTxtFile, TxtFileCloser> file(
        qxbTxtFileOpen(path.asCstr(), QXB_TXT_READ, -1, 0, &openError));
    if (!file) {
        reportError(handle, __FILE__, __LINE__, openError);
        return nullptr;
    }
    char* line = nullptr;
    const int read = file->readLine(-1, &line, 0);
    if (read < 0) {
        // A first line past the reader's limit (or unreadable) is no empty file.
        reportError(handle, __FILE__, __LINE__,
                    qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgLineUnreadable,
                                    qxbStringFormat(": %s.", path.asCstr())));
        return nullptr;
    }
    if (read < 1 || line == nullptr) return nullptr;  // an empty file: no cursor, error text untouched

    // The parser writes every field with its terminator into the buffer: the
    // line's length plus one byte always holds them; its real size is passed.
    const std::size_t bufferSize = std::char_traits<char>::length(line) + 1;
    std::unique_ptr<char*[]> fields(new (std::nothrow) char*[kMaxFields]);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize]);
    OwnedCacheCursor cursor(allocate<RefDataCacheCursorImpl>());
    if (!fields || !buffer || !cursor) {
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
    const int count = qxs_parse_text_ex(line, fields.get(), kMaxFields, buffer.get(),
                                        static_cast<int>(bufferSize), separator, qualifier);
    if (!cursor->setColumns(2)) {
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
    cursor->setColumnName(0, QxbString("NAME"));
    cursor->setColumnName(1, QxbString("POSITION"));
    for (int i = 0; i < count; ++i) {
        if (cursor->addRow() == 0) {
            reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
            return nullptr;
        }
        QxbDatavar value;
        value.assign(fields[static_cast<std::size_t>(i)]);
        cursor->setValue(0, value);
        value.assign(i);
        cursor->setValue(1, value);
    }
    cursor->rewind();
    return cursor.release();
}

// RefDataAdminImpl: the shape every administration operation shares
// (connection check, failure reports, transactions, change records), the
// connection settings, accounts and access, and the end of an edit session.
#include "rdcoreadminimpl.h"

#include "RefDataHandle.h"
#include "rdcorecommon.h"
#include "rdcoreeditsession.h"
#include "rdcoreimpl.h"
#include "qxdac.h"
#include "repadm.h"

using rdadmin::kAny;
using rdcore::Owned;

namespace {

const char* const kKeyDsn = "REFDATA_DSN";
const char* const kKeyPrefix = "REFDATA_PREFIX";
const char* const kStatusAdded = "A";
const char* const kPublisherAccess = "USER_PUBS";

}  // namespace

bool RefDataAdminImpl::init(RefDataHandle* /*handle*/) {
    rdcore::ensureLogger(logger);
    return true;
}

// --- the shared shape ----------------------------------------------------------------------

RefDataAdminImpl::Transaction::~Transaction() {
    if (open_) store_->endTransaction(false);
}

bool RefDataAdminImpl::Transaction::begin() {
    open_ = store_->beginTransaction(0, 0);
    return open_;
}

bool RefDataAdminImpl::Transaction::commit() {
    open_ = false;
    return store_->endTransaction(true);
}

void RefDataAdminImpl::logLine(Site site, const QxbString& text) {
    rdcore::logError(rdcore::ensureLogger(logger), site.file, site.line, text);
}

bool RefDataAdminImpl::connected(RefDataHandle* handle, Site site) {
    if (handle != nullptr && handle->adminStore != nullptr) return true;
    logLine(site, rdcore::message(site.file, site.line, rdcore::kMsgNoConnection));
    return false;
}

bool RefDataAdminImpl::repositoryConnected(RefDataHandle* handle, Site site) {
    if (handle != nullptr && handle->repository != nullptr) return true;
    logLine(site, rdcore::message(site.file, site.line, rdcore::kMsgNoConnection));
    return false;
}

bool RefDataAdminImpl::report(RefDataHandle* handle, Site site, int code) {
    handle->errorText = rdcore::message(site.file, site.line, code);
    logLine(site, handle->errorText);
    return false;
}

bool RefDataAdminImpl::storeFailed(RefDataHandle* handle, Site site) {
    handle->errorText = handle->adminStore->getLastError();
    logLine(site, handle->errorText);
    return false;
}

StoreResultSet* RefDataAdminImpl::listed(RefDataHandle* handle, StoreResultSet* rows, Site site) {
    if (rows == nullptr) storeFailed(handle, site);
    return rows;
}

bool RefDataAdminImpl::recordChange(RefDataHandle* handle, unsigned domainId, unsigned objectId,
                                    const QxbString& tableCode, const QxbString& description,
                                    unsigned languageId, unsigned accountId, Site site) {
    if (handle->adminStore->writeChangeRecord(domainId, kStatusAdded, objectId, tableCode,
                                              description, languageId, accountId, nullptr))
        return true;
    return storeFailed(handle, site);
}

bool RefDataAdminImpl::accountKnown(RefDataHandle* handle, unsigned accountId) {
    if (accountId == 0 || accountId == kAny)
        return reportWith(handle, RDADMIN_SITE, rdadmin::kMsgNotFound, "[ACCOUNT]");
    const QxbString none;
    const int found = firstRow(handle, handle->adminStore->listAccounts(accountId, none, none, none, none, none, none),
                               [](StoreResultSet&) { return true; });
    if (found == 0) return reportWith(handle, RDADMIN_SITE, rdadmin::kMsgNotFound, "[ACCOUNT]");
    return found == 1;
}

bool RefDataAdminImpl::walkRows(RefDataHandle* handle, StoreResultSet* rows,
                                const RowAction& action) {
    Owned<StoreResultSet> owned(rows);
    for (;;) {
        const int answer = owned->next();
        if (answer == 0) return true;
        if (answer != 1) return storeFailed(handle, RDADMIN_SITE);
        if (!action(*owned)) return false;
    }
}

bool RefDataAdminImpl::walkListing(RefDataHandle* handle, StoreResultSet* listing,
                                   const RowAction& action, bool callIsReady) {
    if (listing == nullptr) return storeFailed(handle, RDADMIN_SITE);
    if (callIsReady) listing->isReady();
    return walkRows(handle, listing, action);
}

int RefDataAdminImpl::firstRow(RefDataHandle* handle, StoreResultSet* listing,
                               const RowAction& read) {
    if (listing == nullptr) {
        storeFailed(handle, RDADMIN_SITE);
        return -1;
    }
    Owned<StoreResultSet> rows(listing);
    const int answer = rows->next();
    if (answer == 1) return read(*rows) ? 1 : -1;
    if (answer == 0) return 0;
    storeFailed(handle, RDADMIN_SITE);
    return -1;
}

bool RefDataAdminImpl::reportWith(RefDataHandle* handle, Site site, int code,
                                  const QxbString& argument) {
    handle->errorText = qxb_get_message(site.file, site.line, rdcore::kModule, code, argument);
    logLine(site, handle->errorText);
    return false;
}

bool RefDataAdminImpl::refuseAnyId(RefDataHandle* handle, unsigned id, Site site) {
    if (id != kAny) return true;
    return reportWith(handle, site, rdadmin::kMsgNotFound, "[-1]");
}

unsigned RefDataAdminImpl::sessionDomainId(RefDataHandle* handle) {
    return handle->currentDomain != nullptr ? handle->currentDomain->id : kAny;
}

// --- connection settings ---------------------------------------------------------------------

bool RefDataAdminImpl::setConnection(RefDataHandle* handle, const QxbString& dsn,
                                     const QxbString& tablePrefix) {
    if (!repositoryConnected(handle, RDADMIN_SITE)) return false;
    Repository* repository = handle->repository;
    if (!repository->setKeyValue(kKeyDsn, dsn) ||
        !repository->setKeyValue(kKeyPrefix, tablePrefix)) {
        logLine(RDADMIN_SITE, repository->getLastError());
        return false;
    }
    // The session and the catalogues hold rows of the old data source, and
    // the stores belong to the old data repository: drop them before it.
    destroyDomainEditSession(handle->currentDomain);
    handle->currentDomain = nullptr;
    clearCatalogues(handle);
    rdcore::releaseField(handle->adminStore);
    rdcore::releaseField(handle->queryStore);
    rdcore::releaseField(handle->dataRepository);
    // Opening never creates a database: a new data source gets its
    // tables here, an existing one is left as it is.
    if (dsn.length() > 0 && !handle->repositoryAdmin->createRepositoryByDsn(dsn, tablePrefix)) {
        handle->errorText = QxbString(dacMaskConnection(handle->repositoryAdmin->getLastError().str()));
        logLine(RDADMIN_SITE, handle->errorText);
        return false;
    }
    return handle->session->attachDataStore(handle, dsn, tablePrefix);
}

bool RefDataAdminImpl::getConnection(RefDataHandle* handle, QxbString* dsnOut,
                                     QxbString* tablePrefixOut) {
    if (!repositoryConnected(handle, RDADMIN_SITE)) return false;
    Repository* repository = handle->repository;
    QxbString dsn;
    QxbString prefix;
    if (!repository->getKeyValue(kKeyDsn, &dsn) || !repository->getKeyValue(kKeyPrefix, &prefix)) {
        logLine(RDADMIN_SITE, repository->getLastError());
        return false;
    }
    if (dsnOut != nullptr) *dsnOut = dsn;
    if (tablePrefixOut != nullptr) *tablePrefixOut = prefix;
    return true;
}

// --- checks and reserved operations ---------------------------------------------------------------

bool RefDataAdminImpl::checkConnection(RefDataHandle* handle) {
    return connected(handle, RDADMIN_SITE);
}

bool RefDataAdminImpl::reservedNoOp(RefDataHandle* /*handle*/, unsigned /*value*/) {
    return true;
}

bool RefDataAdminImpl::reservedOperationA(RefDataHandle* handle, unsigned /*value*/, char /*flag*/) {
    return connected(handle, RDADMIN_SITE);
}

bool RefDataAdminImpl::reservedOperationB(RefDataHandle* handle, std::int64_t /*argument*/) {
    return connected(handle, RDADMIN_SITE);
}

bool RefDataAdminImpl::reservedOperationC(RefDataHandle* handle, std::int64_t /*argument*/) {
    return connected(handle, RDADMIN_SITE);
}

// --- the end of an edit session -----------------------------------------------------------------

bool RefDataAdminImpl::cancelDomainEdit(RefDataHandle* handle) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    destroyDomainEditSession(handle->currentDomain);
    handle->currentDomain = nullptr;
    return true;
}

bool RefDataAdminImpl::endDomainEdit(RefDataHandle* handle) {
    return cancelDomainEdit(handle);
}

// --- accounts and access ------------------------------------------------------------------------

bool RefDataAdminImpl::createAccount(RefDataHandle* handle, const QxbString& name,
                                     const QxbString& accountKey, const QxbString& accountText,
                                     const QxbString& accountType, int actingAccountId,
                                     unsigned* accountIdOut) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    const QxbString key = accountKey.isNull() ? QxbString("") : accountKey;
    unsigned existingId = kAny;
    const int existing = firstRow(handle, store->listAccounts(kAny, none, none, key, none, none, none),
                                  [&](StoreResultSet& row) {
                                      existingId = static_cast<unsigned>(row.getInt(0));
                                      return true;
                                  });
    if (existing < 0) return false;
    if (existing == 1) {
        if (accountIdOut != nullptr) *accountIdOut = existingId;
        return true;
    }
    Transaction transaction(store);
    if (!transaction.begin()) return storeFailed(handle, RDADMIN_SITE);
    unsigned newId = kAny;
    if (!store->insertAccount(name, accountType, key, accountText, none, none, none, kAny, &newId))
        return storeFailed(handle, RDADMIN_SITE);
    const QxbString description =
        qxbStringFormat("Created Account: ID = %d, NAME = %s, TYPE = %s", static_cast<int>(newId),
                        name.asCstr(), accountType.asCstr());
    const unsigned acting =
        actingAccountId == -1 ? rdadmin::kDefaultAccount : static_cast<unsigned>(actingAccountId);
    if (!recordChange(handle, kAny, kAny, rdadmin::kTableAccounts, description,
                      rdadmin::kDefaultLanguage, acting, RDADMIN_SITE))
        return false;
    if (!transaction.commit()) {
        // The caller gets message 3; the store's reason would be lost, so it
        // goes to the log first.
        logLine(RDADMIN_SITE, store->getLastError());
        return report(handle, RDADMIN_SITE, rdcore::kMsgNoConnection);
    }
    if (accountIdOut != nullptr) *accountIdOut = newId;
    return true;
}

bool RefDataAdminImpl::forwardStoreWrite(RefDataHandle* handle, unsigned a, const QxbString* b,
                                         unsigned* c, unsigned d, const unsigned* e,
                                         const void* f) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    if (handle->adminStore->writeRow(b, c, a, d, e, f, nullptr)) return true;
    return storeFailed(handle, RDADMIN_SITE);
}

bool RefDataAdminImpl::removePublisherAccess(RefDataHandle* handle, unsigned domainId) {
    if (!connected(handle, RDADMIN_SITE) || !refuseAnyId(handle, domainId, RDADMIN_SITE)) return false;
    const QxbString none;
    if (handle->adminStore->deleteDomainAccessRows(kAny, domainId, none, kAny, kPublisherAccess,
                                                   none, kAny, kAny))
        return true;
    return storeFailed(handle, RDADMIN_SITE);
}

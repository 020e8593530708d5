// RefDataAdminImpl::removeDomain and removeDomainVersion: cascades of store
// deletions in one transaction, dependent rows before the rows they hang off,
// ending with the object itself and its change record.
#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "repadm.h"

using rdadmin::kAny;
using rdcore::Owned;

bool RefDataAdminImpl::removeDomain(RefDataHandle* handle, unsigned domainId, unsigned accountId) {
    if (!connected(handle, RDADMIN_SITE) || !refuseAnyId(handle, domainId, RDADMIN_SITE) ||
        !accountKnown(handle, accountId))
        return false;
    QxbString name;
    if (!readDomainName(handle, domainId, &name)) return false;

    RefDataStore* store = handle->adminStore;
    Transaction transaction(store);
    if (!transaction.begin()) return storeFailed(handle, RDADMIN_SITE);
    if (!deleteDomainRows(handle, domainId)) return false;
    const QxbString none;
    const QxbDate noDate;
    StoreResultSet* versions = listed(
        handle,
        store->listDomainVersions(kAny, domainId, kAny, none, none, none, none, kAny, none, kAny,
                                  noDate, noDate),
        RDADMIN_SITE);
    if (versions == nullptr) return false;
    if (!walkRows(handle, versions, [&](StoreResultSet& version) {
            return deleteVersionOfDomain(handle, static_cast<unsigned>(version.getInt(0)));
        }))
        return false;
    if (!store->deleteDomains(domainId, none, none, none, none, none, none, kAny, none, kAny, kAny,
                              noDate, none, noDate))
        return storeFailed(handle, RDADMIN_SITE);
    const QxbString description = qxbStringFormat("Removed Domain %s", name.asCstr());
    if (!recordChange(handle, domainId, domainId, rdadmin::kTableDomains, description,
                      rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE))
        return false;
    return transaction.commit() || storeFailed(handle, RDADMIN_SITE);
}

bool RefDataAdminImpl::removeDomainVersion(RefDataHandle* handle, unsigned versionId,
                                           unsigned accountId) {
    if (!connected(handle, RDADMIN_SITE) || !refuseAnyId(handle, versionId, RDADMIN_SITE) ||
        !accountKnown(handle, accountId))
        return false;
    const QxbString none;
    const QxbDate noDate;
    const int exists = firstRow(handle,
                                handle->adminStore->listDomainVersions(versionId, kAny, kAny, none, none, none,
                                                                       none, kAny, none, kAny, noDate, noDate),
                                [](StoreResultSet&) { return true; });
    if (exists < 0) return false;
    if (exists == 0) return report(handle, RDADMIN_SITE, rdadmin::kMsgNotFound);
    Transaction transaction(handle->adminStore);
    if (!transaction.begin()) return storeFailed(handle, RDADMIN_SITE);
    if (!deleteVersionAlone(handle, versionId)) return false;
    // The domain is not named and the table code is empty.
    const QxbString description =
        qxbStringFormat("Removed Domain Version %d", static_cast<int>(versionId));
    if (!recordChange(handle, kAny, versionId, QxbString(), description,
                      rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE))
        return false;
    return transaction.commit() || storeFailed(handle, RDADMIN_SITE);
}

// Read before the transaction begins: an unknown domain changes nothing.
bool RefDataAdminImpl::readDomainName(RefDataHandle* handle, unsigned domainId, QxbString* name) {
    Owned<StoreResultSet> domain(findDomainRow(handle, domainId));
    if (!domain) return false;
    *name = domain->getString(1);
    return true;
}

bool RefDataAdminImpl::deleteDomainRows(RefDataHandle* handle, unsigned domainId) {
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    const bool deleted =
        store->deleteDomainRowsA(kAny, domainId, kAny) &&
        store->deleteDomainAccessRows(kAny, domainId, none, kAny, none, none, kAny, kAny) &&
        store->deleteDomainRowsB(kAny, domainId, kAny) &&
        store->deleteDomainExtras(kAny, none, none, domainId, kAny, none, none);
    return deleted || storeFailed(handle, RDADMIN_SITE);
}

// One version of a domain being removed, in the domain cascade's order. Its
// item content (links and their last texts, version item values, the values
// it owns or was the last to use) goes in one set-based store call, whatever
// the number of items; the version items are keyed by the version (second
// key position).
bool RefDataAdminImpl::deleteVersionOfDomain(RefDataHandle* handle, unsigned versionId) {
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    const QxbDate noDate;
    const unsigned v = versionId;
    const bool deleted =
        store->deleteVersionAttributes(kAny, kAny, v, none) && store->deleteVersionItemContent(v) &&
        store->deleteVersionLinksA(v, kAny) && store->deleteVersionLinksB(v, kAny) &&
        store->deleteVersionItems(kAny, v, kAny, noDate, kAny, none, kAny) &&
        store->deleteVersionRowsE(v, kAny, noDate, kAny, none, kAny, kAny) &&
        store->deleteDomainVersions(v, kAny, kAny, none, none, none, none, kAny, none, kAny, noDate,
                                    noDate);
    return deleted || storeFailed(handle, RDADMIN_SITE);
}

// One version removed on its own, in the version cascade's order; its item
// content goes before the items, as in the domain cascade.
bool RefDataAdminImpl::deleteVersionAlone(RefDataHandle* handle, unsigned versionId) {
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    const QxbDate noDate;
    const unsigned v = versionId;
    const bool deleted =
        store->deleteVersionItemContent(v) && store->deleteVersionAttributes(kAny, kAny, v, none) &&
        store->deleteVersionLinksA(v, kAny) && store->deleteVersionLinksB(v, kAny) &&
        store->deleteVersionItems(kAny, v, kAny, noDate, kAny, none, kAny) &&
        store->deleteVersionRowsE(v, kAny, noDate, kAny, none, kAny, kAny) &&
        store->deleteDomainVersions(v, kAny, kAny, none, none, none, none, kAny, none, kAny, noDate,
                                    noDate);
    return deleted || storeFailed(handle, RDADMIN_SITE);
}

// The domain's row, current; null when the listing failed or found no such
// domain (message 1532), both reported.
StoreResultSet* RefDataAdminImpl::findDomainRow(RefDataHandle* handle, unsigned domainId) {
    const QxbString none;
    const QxbDate noDate;
    Owned<StoreResultSet> domain(listed(
        handle,
        handle->adminStore->listDomains(domainId, none, none, none, none, none, none, kAny, none,
                                        kAny, kAny, noDate, none, noDate),
        RDADMIN_SITE));
    if (!domain) return nullptr;
    const int answer = domain->next();
    if (answer != 1) {
        if (answer == 0)
            report(handle, RDADMIN_SITE, rdadmin::kMsgNotFound);
        else
            storeFailed(handle, RDADMIN_SITE);
        return nullptr;
    }
    return domain.release();
}

// RefDataAdminImpl::copyDomain: a new domain with the descriptive columns of
// a source domain and a first version holding a copy of the content of the
// source's first listed version, written in one transaction.
#include <set>
#include <string>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "repadm.h"

using rdadmin::kAny;
using rdcore::Owned;

namespace {

const char* const kFirstVersionLabel = "Initial Version";
const char* const kYes = "Y";
const char* const kNo = "N";
constexpr int kFirstVersionNumber = 1;

// Columns of a domain row that the copy takes over.
enum DomainColumn {
    kColName = 1,
    kColDescription = 2,
    kColText1 = 3,
    kColScope = 6,
    kColNumber1 = 7,
    kColKindCode = 12
};

}  // namespace

struct RefDataAdminImpl::SourceDomain {
    QxbString name;
    QxbString description;
    QxbString text1;
    QxbString scope;
    int number1 = 0;
    QxbString kindCode;
};

struct RefDataAdminImpl::CopyKeys {
    unsigned sourceDomainId = kAny;
    unsigned sourceVersionId = kAny;
    unsigned newDomainId = kAny;
    unsigned newVersionId = kAny;
};

bool RefDataAdminImpl::copyDomain(RefDataHandle* handle, unsigned sourceDomainId,
                                  unsigned accountId, unsigned* newDomainIdOut) {
    return copyWithName(handle, sourceDomainId, accountId, nullptr, newDomainIdOut, nullptr);
}

bool RefDataAdminImpl::copyDomainAs(RefDataHandle* handle, unsigned sourceDomainId,
                                    const QxbString& name, unsigned accountId,
                                    unsigned* newDomainIdOut, QxbString* nameOut) {
    const QxbString wanted = name.isNull() ? QxbString("") : name;
    return copyWithName(handle, sourceDomainId, accountId, &wanted, newDomainIdOut, nameOut);
}

bool RefDataAdminImpl::copyWithName(RefDataHandle* handle, unsigned sourceDomainId,
                                    unsigned accountId, const QxbString* name,
                                    unsigned* newDomainIdOut, QxbString* nameOut) {
    if (!connected(handle, RDADMIN_SITE) || !refuseAnyId(handle, sourceDomainId, RDADMIN_SITE) ||
        !accountKnown(handle, accountId))
        return false;
    SourceDomain source;
    if (!readSourceDomain(handle, sourceDomainId, &source)) return false;

    Transaction transaction(handle->adminStore);
    if (!transaction.begin()) {
        // Message 3 is the caller's text, so the roll-back's own failure
        // (nothing had begun) cannot overwrite a reason.
        report(handle, RDADMIN_SITE, rdcore::kMsgNoConnection);
        handle->adminStore->endTransaction(false);
        return false;
    }
    // The name is chosen under the write lock, so two copies at once never
    // take the same one.
    if (name != nullptr && !nameForCopy(handle, source.name, *name, &source.name)) return false;
    CopyKeys keys;
    keys.sourceDomainId = sourceDomainId;
    if (!insertCopiedDomain(handle, source, accountId, &keys) ||
        !findFirstVersion(handle, sourceDomainId, &keys.sourceVersionId) ||
        !copyVersionContent(handle, keys))
        return false;
    const QxbString description =
        qxbStringFormat("Created Version: ID = %d, VERSION = %s",
                        static_cast<int>(keys.newVersionId), source.name.asCstr());
    if (!recordChange(handle, keys.newDomainId, keys.newVersionId, rdadmin::kTableVersions,
                      description, rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE))
        return false;
    if (!transaction.commit()) return storeFailed(handle, RDADMIN_SITE);
    if (newDomainIdOut != nullptr) *newDomainIdOut = keys.newDomainId;
    if (nameOut != nullptr) *nameOut = source.name;
    return true;
}

// A wanted name no domain has, or "NAME copy N" with the smallest free N.
bool RefDataAdminImpl::nameForCopy(RefDataHandle* handle, const QxbString& sourceName,
                                   const QxbString& wanted, QxbString* chosen) {
    const QxbString none;
    const QxbDate noDate;
    std::set<std::string> taken;
    const QxbString filter = wanted.length() > 0 ? wanted : none;
    if (!walkListing(handle,
                     handle->adminStore->listDomains(kAny, filter, none, none, none, none, none, kAny,
                                                     none, kAny, kAny, noDate, none, noDate),
                     [&](StoreResultSet& row) {
                         taken.insert(row.getString(1).str());
                         return true;
                     }))
        return false;
    if (wanted.length() > 0) {
        if (!taken.empty()) return report(handle, RDADMIN_SITE, rdadmin::kMsgExists);
        *chosen = wanted;
        return true;
    }
    for (int n = 1;; ++n) {
        // Formatted by the platform: std::to_string would export a symbol
        // of the standard library from this library.
        const QxbString candidate = qxbStringFormat("%s copy %d", sourceName.asCstr(), n);
        if (taken.count(candidate.str()) == 0) {
            *chosen = candidate;
            return true;
        }
    }
}

// Read before the transaction begins, so that an unknown domain costs no
// write lock.
bool RefDataAdminImpl::readSourceDomain(RefDataHandle* handle, unsigned domainId,
                                        SourceDomain* source) {
    Owned<StoreResultSet> domain(findDomainRow(handle, domainId));
    if (!domain) return false;
    source->name = domain->getString(kColName);
    source->description = domain->getString(kColDescription);
    source->text1 = domain->getString(kColText1);
    source->scope = domain->getString(kColScope);
    source->number1 = domain->getInt(kColNumber1);
    source->kindCode = domain->getString(kColKindCode);
    return true;
}

// The new domain (both flags "Y"), its change record and its first version.
bool RefDataAdminImpl::insertCopiedDomain(RefDataHandle* handle, const SourceDomain& source,
                                          unsigned accountId, CopyKeys* keys) {
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    const QxbDate noDate;
    if (!store->insertDomain(source.name, source.description, source.text1, kYes, kYes,
                             source.scope, source.number1, none, accountId, -1, noDate,
                             source.kindCode, &keys->newDomainId))
        return storeFailed(handle, RDADMIN_SITE);
    const QxbString description = qxbStringFormat(
        "Created Domain: ID = %d, NAME = %s", static_cast<int>(keys->newDomainId),
        source.name.asCstr());
    if (!recordChange(handle, keys->newDomainId, kAny, rdadmin::kTableDomains, description,
                      rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE))
        return false;
    if (!store->insertDomainVersion(keys->newDomainId, kFirstVersionNumber, kFirstVersionLabel,
                                    kYes, kYes, source.scope, accountId, kNo, -1, noDate,
                                    &keys->newVersionId))
        return storeFailed(handle, RDADMIN_SITE);
    return true;
}

// The version the store lists first (versions come in ascending number, so
// the oldest).
bool RefDataAdminImpl::findFirstVersion(RefDataHandle* handle, unsigned domainId,
                                        unsigned* versionId) {
    const QxbString none;
    const QxbDate noDate;
    Owned<StoreResultSet> versions(listed(
        handle,
        handle->adminStore->listDomainVersions(kAny, domainId, kAny, none, none, none, none, kAny,
                                               none, kAny, noDate, noDate),
        RDADMIN_SITE));
    if (!versions) return false;
    const int answer = versions->next();
    if (answer == 0) return report(handle, RDADMIN_SITE, rdadmin::kMsgNotFound);
    if (answer != 1) return storeFailed(handle, RDADMIN_SITE);
    *versionId = static_cast<unsigned>(versions->getInt(0));
    return true;
}

// Six kinds of version rows, each listed on the source version and inserted
// for the new one. Row ids are not remapped: a copied row refers to the same
// items, attributes and values as its source row.
bool RefDataAdminImpl::copyVersionContent(RefDataHandle* handle, const CopyKeys& keys) {
    RefDataStore* store = handle->adminStore;
    const unsigned from = keys.sourceVersionId;
    const unsigned to = keys.newVersionId;
    const QxbString none;
    const QxbDate noDate;
    // Runs one kind: a null listing or a failed insert is a store failure.
    auto copyKind = [&](StoreResultSet* listing, const RowAction& insert) {
        if (listed(handle, listing, RDADMIN_SITE) == nullptr) return false;
        return walkRows(handle, listing, [&](StoreResultSet& row) {
            return insert(row) || storeFailed(handle, RDADMIN_SITE);
        });
    };
    auto id = [](StoreResultSet& row, int column) { return static_cast<unsigned>(row.getInt(column)); };
    return copyKind(store->listVersionAttributes(keys.sourceDomainId, kAny, from, none),
                    [&](StoreResultSet& row) {
                        const QxbString flag = row.getString(3);
                        return store->insertVersionAttribute(keys.newDomainId, id(row, 1), to, flag);
                    }) &&
           copyKind(store->listVersionItems(kAny, from, kAny, noDate, kAny, none, kAny),
                    [&](StoreResultSet& row) {
                        const QxbString label = row.getString(5);
                        const unsigned parent = id(row, 6);
                        const int position = row.getInt(4);
                        return store->insertVersionItem(to, id(row, 2), position, label, parent,
                                                        nullptr);
                    }) &&
           copyKind(store->listVersionItemValueLinks(from, kAny, kAny),
                    [&](StoreResultSet& row) {
                        const unsigned value = id(row, 2);
                        return store->insertVersionItemValueLink(to, id(row, 1), value);
                    }) &&
           copyKind(store->listVersionItemValues(from, kAny),
                    [&](StoreResultSet& row) {
                        return store->insertVersionItemValue(to, id(row, 1));
                    }) &&
           copyKind(store->listVersionValues(from, kAny),
                    [&](StoreResultSet& row) {
                        return store->insertVersionValue(to, id(row, 1));
                    }) &&
           copyKind(store->listVersionLanguages(from, kAny), [&](StoreResultSet& row) {
               return store->insertVersionLanguage(to, id(row, 1));
           });
}

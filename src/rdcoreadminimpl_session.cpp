// RefDataAdminImpl: opening an edit session (beginNewDomain,
// beginNewDomainVersion) and the loader that reads a stored domain whole
// into it. The loader is linear in the size of the domain: references are
// resolved through the catalogue index and per-load maps by id, and a
// version's item values come from one listing.
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "rdcorestorerow.h"
#include "repadm.h"

using rdadmin::dateAt;
using rdadmin::flagAt;
using rdadmin::idAt;
using rdadmin::kAny;
using rdadmin::recordOf;

// What one load has read so far, by id: the first record of an id wins.
struct RefDataAdminImpl::LoadState {
    unsigned domainId = kAny;
    DomainEditSession* session = nullptr;
    bool domainFound = false;
    std::unordered_map<unsigned, DomainLanguageEntry*> languages;
    std::unordered_map<unsigned, DomainAttributeEntry*> domainAttributes;
    std::unordered_map<unsigned, DomainAttributeValue*> domainAttributeValues;
    // Of the version being read.
    IdIndex<VersionItemEntry> entriesByVersionItem;
    IdIndex<VersionItemEntry> entriesByItem;
    IdIndex<ItemAttributeValue> values;
    std::unordered_set<unsigned> missingValues;  // looked up by id: none
};

// --- opening a session ---------------------------------------------------------------------------

bool RefDataAdminImpl::createSession(RefDataHandle* handle, Site site) {
    handle->currentDomain = rdcore::allocate<DomainEditSession>();
    if (handle->currentDomain != nullptr) return true;
    return report(handle, site, rdcore::kMsgOutOfMemory);
}

void RefDataAdminImpl::discardSession(RefDataHandle* handle) {
    destroyDomainEditSession(handle->currentDomain);
    handle->currentDomain = nullptr;
}

bool RefDataAdminImpl::beginNewDomain(RefDataHandle* handle, const QxbString& name,
                                      const QxbString& description, const QxbString& text1,
                                      bool flag1, const QxbString& /*unused*/, unsigned accountId,
                                      const QxbString& versionLabel) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    if (handle->currentDomain != nullptr) return report(handle, RDADMIN_SITE, rdcore::kMsgNoConnection);
    if (!createSession(handle, RDADMIN_SITE)) return false;
    try {
        if (!rebuildCatalogues(handle)) {
            discardSession(handle);
            return false;
        }
        DomainEditSession* session = handle->currentDomain;
        session->name = name;
        session->description = description;
        session->text1 = text1;
        session->flag1 = flag1;
        const AccountRow* account = findAccountById(handle, accountId);
        if (account == nullptr) {
            discardSession(handle);
            return false;
        }
        session->versions.emplace_back();
        PendingVersion& first = session->versions.back();
        first.number = 1;
        first.label = versionLabel;
        first.flag1 = true;
        first.flag2 = true;
        first.account = account;
        first.date = QxbDate::currentDate(false);
        return true;
    } catch (const std::bad_alloc&) {
        discardSession(handle);
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

bool RefDataAdminImpl::beginNewDomainVersion(RefDataHandle* handle, unsigned domainId,
                                             const QxbString& /*unused1*/,
                                             const QxbString& /*unused2*/, bool /*unused3*/,
                                             unsigned accountId, const QxbString& versionLabel) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    if (handle->currentDomain != nullptr) return report(handle, RDADMIN_SITE, rdcore::kMsgNoConnection);
    if (!refuseAnyId(handle, domainId, RDADMIN_SITE) || !createSession(handle, RDADMIN_SITE)) return false;
    try {
        DomainEditSession* session = handle->currentDomain;
        if (!rebuildCatalogues(handle) || !loadDomainIntoSession(handle, domainId)) {
            discardSession(handle);
            return false;
        }
        if (session->versions.empty()) {
            // A domain whose every version was removed: nothing to copy.
            const QxbString text = qxb_get_message(__FILE__, __LINE__, rdcore::kModule,
                                                   rdadmin::kMsgVersionNotFound, session->name, "any");
            handle->errorText = text;
            logLine(RDADMIN_SITE, text);
            discardSession(handle);
            return false;
        }
        const AccountRow* account = findAccountById(handle, accountId);
        if (account == nullptr) {
            discardSession(handle);
            return false;
        }
        session->versions.emplace_back();
        PendingVersion& copy = session->versions.back();
        copyPendingVersion(session->versions[session->versions.size() - 2], &copy);
        copy.id = kNotStored;
        copy.number += 1;
        copy.label = versionLabel;
        copy.text = QxbString();
        copy.flag1 = true;
        copy.flag2 = true;
        copy.account = account;
        copy.date = QxbDate::currentDate(false);
        return true;
    } catch (const std::bad_alloc&) {
        discardSession(handle);
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

// --- the loader --------------------------------------------------------------------------------------

// An unknown domain fails with message 1532 before anything else is read.
bool RefDataAdminImpl::loadDomainIntoSession(RefDataHandle* handle, unsigned domainId) {
    LoadState load;
    load.domainId = domainId;
    load.session = handle->currentDomain;
    if (!loadDomainRow(handle, &load)) return false;
    if (!load.domainFound) return report(handle, RDADMIN_SITE, rdadmin::kMsgNotFound);
    return loadDomainGrants(handle, &load) && loadDomainLanguages(handle, &load) &&
           loadDomainAttributes(handle, &load) && loadVersions(handle, &load) &&
           loadDomainHistory(handle, &load);
}

// The domain row, its languages and its attributes, without any version.
bool RefDataAdminImpl::loadDomainShape(RefDataHandle* handle, unsigned domainId) {
    LoadState load;
    load.domainId = domainId;
    load.session = handle->currentDomain;
    return loadDomainRow(handle, &load) && loadDomainLanguages(handle, &load) &&
           loadDomainAttributes(handle, &load);
}

bool RefDataAdminImpl::readGrants(RefDataHandle* handle, StoreResultSet* listing,
                                  std::vector<AccessPair>* into) {
    const CatalogueIndex& index = handle->catalogueIndex;
    return walkListing(handle, listing, [&](StoreResultSet& row) {
        AccessPair pair;
        if (!resolve(handle, index.accounts, idAt(row, 1), &pair.account, RDADMIN_SITE) ||
            !resolve(handle, index.permissions, idAt(row, 2), &pair.permission, RDADMIN_SITE))
            return false;
        into->push_back(pair);
        return true;
    });
}

bool RefDataAdminImpl::loadDomainRow(RefDataHandle* handle, LoadState* load) {
    const QxbString none;
    const QxbDate noDate;
    DomainEditSession* session = load->session;
    return walkListing(
        handle,
        handle->adminStore->listDomains(load->domainId, none, none, none, none, none, none, kAny,
                                        none, kAny, kAny, noDate, none, noDate),
        [&](StoreResultSet& row) {
            load->domainFound = true;
            session->id = idAt(row, 0);
            session->name = row.getString(1);
            session->description = row.getString(2);
            session->text1 = row.getString(3);
            session->flag1 = flagAt(row, 4);
            session->flag2 = flagAt(row, 5);
            session->text2 = row.getString(6);
            session->number1 = row.getInt(7);
            session->number2 = row.getInt(9);
            session->kindCode = row.getString(12);
            session->date = dateAt(row, 13);
            return true;
        });
}

bool RefDataAdminImpl::loadDomainGrants(RefDataHandle* handle, LoadState* load) {
    return readGrants(handle, handle->adminStore->listDomainPermissions(load->domainId, kAny, kAny),
                      &load->session->permissions);
}

bool RefDataAdminImpl::loadDomainLanguages(RefDataHandle* handle, LoadState* load) {
    DomainEditSession* session = load->session;
    return walkListing(
        handle, handle->adminStore->listDomainLanguages(kAny, load->domainId, kAny),
        [&](StoreResultSet& row) {
            DomainLanguageEntry entry;
            entry.id = idAt(row, 0);
            if (!resolve(handle, handle->catalogueIndex.languages, idAt(row, 2), &entry.language,
                         RDADMIN_SITE))
                return false;
            session->languages.push_back(entry);
            load->languages.emplace(entry.id, &session->languages.back());
            return true;
        });
}

// The domain's attributes; the domain's attribute grants (one listing for
// the domain) go to every one of them; then each attribute's values.
bool RefDataAdminImpl::loadDomainAttributes(RefDataHandle* handle, LoadState* load) {
    RefDataStore* store = handle->adminStore;
    DomainEditSession* session = load->session;
    std::vector<AccessPair> grants;
    if (!walkListing(
            handle, store->listDomainAttributes(kAny, load->domainId, kAny),
            [&](StoreResultSet& row) {
                session->domainAttributes.emplace_back();
                DomainAttributeEntry& entry = session->domainAttributes.back();
                entry.id = idAt(row, 0);
                entry.attribute = attributeWithId(handle, idAt(row, 2));
                load->domainAttributes.emplace(entry.id, &entry);
                return true;
            },
            true) ||
        !readGrants(handle, store->listDomainAttributePermissions(load->domainId, kAny, kAny), &grants))
        return false;
    const QxbString none;
    for (DomainAttributeEntry& entry : session->domainAttributes) {
        entry.permissions = grants;
        if (!walkListing(handle, store->listDomainAttributeValues(kAny, entry.id, none, none, kAny),
                         [&](StoreResultSet& row) {
                             DomainAttributeValue value;
                             value.id = idAt(row, 0);
                             value.text = row.getString(2);
                             value.flag = flagAt(row, 3);
                             if (!resolve(handle, handle->catalogueIndex.languages, idAt(row, 4),
                                          &value.language, RDADMIN_SITE))
                                 return false;
                             entry.values.push_back(value);
                             load->domainAttributeValues.emplace(value.id, &entry.values.back());
                             return true;
                         }))
            return false;
    }
    return true;
}

// The versions in the store's order (ascending number): the last is the
// newest.
bool RefDataAdminImpl::loadVersions(RefDataHandle* handle, LoadState* load) {
    const QxbString none;
    const QxbDate noDate;
    DomainEditSession* session = load->session;
    if (!walkListing(
            handle,
            handle->adminStore->listDomainVersions(kAny, load->domainId, kAny, none, none, none,
                                                   none, kAny, none, kAny, noDate, noDate),
            [&](StoreResultSet& row) {
                session->versions.emplace_back();
                PendingVersion& version = session->versions.back();
                version.id = idAt(row, 0);
                version.number = row.getInt(2);
                version.label = row.getString(3);
                version.flag1 = flagAt(row, 4);
                version.flag2 = flagAt(row, 5);
                version.text = row.getString(6);
                version.date = dateAt(row, 11);
                return resolve(handle, handle->catalogueIndex.accounts, idAt(row, 7),
                               &version.account, RDADMIN_SITE);
            },
            true))
        return false;
    for (PendingVersion& version : session->versions)
        if (!loadVersion(handle, load, &version)) return false;
    return true;
}

// A copied domain's versions point at its source's domain attributes,
// values and languages, which this domain does not hold: those references
// stay none.
bool RefDataAdminImpl::loadVersion(RefDataHandle* handle, LoadState* load, PendingVersion* version) {
    RefDataStore* store = handle->adminStore;
    const unsigned id = version->id;
    return readGrants(handle, store->listVersionPermissions(id, kAny, kAny), &version->permissions) &&
           walkListing(handle, store->listVersionLanguages(id, kAny),
                       [&](StoreResultSet& row) {
                           version->languages.push_back(recordOf(load->languages, idAt(row, 1)));
                           return true;
                       }) &&
           walkListing(handle, store->listVersionAttributes(load->domainId, kAny, id, QxbString()),
                       [&](StoreResultSet& row) {
                           VersionAttributeEntry entry;
                           entry.domainAttribute = recordOf(load->domainAttributes, idAt(row, 1));
                           entry.flag = flagAt(row, 3);
                           version->attributes.push_back(entry);
                           return true;
                       }) &&
           walkListing(handle, store->listVersionValues(id, kAny),
                       [&](StoreResultSet& row) {
                           version->values.push_back(recordOf(load->domainAttributeValues, idAt(row, 1)));
                           return true;
                       }) &&
           loadVersionItems(handle, load, version) && loadVersionItemValues(handle, load, version);
}

bool RefDataAdminImpl::loadVersionItems(RefDataHandle* handle, LoadState* load,
                                        PendingVersion* version) {
    load->entriesByVersionItem = IdIndex<VersionItemEntry>();
    load->entriesByItem = IdIndex<VersionItemEntry>();
    load->values = IdIndex<ItemAttributeValue>();
    load->missingValues.clear();
    return walkListing(
        handle,
        handle->adminStore->listVersionItems(kAny, version->id, kAny, QxbDate(), kAny, QxbString(), kAny),
        [&](StoreResultSet& row) {
            version->items.emplace_back();
            VersionItemEntry& entry = version->items.back();
            entry.id = idAt(row, 0);
            entry.item = itemWithId(handle, idAt(row, 2));
            entry.date = dateAt(row, 3);
            entry.number = idAt(row, 4);
            entry.text = row.getString(5);
            const unsigned parent = idAt(row, 6);
            entry.parentItem = parent == kAny ? nullptr : itemWithId(handle, parent);
            load->entriesByVersionItem.emplace(entry.id, &entry);
            load->entriesByItem.emplace(idAt(row, 2), &entry);
            return true;
        },
        true);
}

// The values the version's items own (one listing), then the version's
// value rows and text links. Item attribute value grants have no listing in
// this store: their permissions stay empty.
bool RefDataAdminImpl::loadVersionItemValues(RefDataHandle* handle, LoadState* load,
                                             PendingVersion* version) {
    RefDataStore* store = handle->adminStore;
    bool failed = false;
    auto owned = [&](StoreResultSet& row) {
        VersionItemEntry* owner = recordOf(load->entriesByVersionItem, idAt(row, 1));
        if (owner == nullptr) owner = recordOf(load->entriesByItem, idAt(row, 3));
        if (owner == nullptr) return true;
        owner->values.emplace_back();
        ItemAttributeValue& value = owner->values.back();
        value.id = idAt(row, 0);
        value.owner = owner;
        value.attribute = attributeWithId(handle, idAt(row, 2));
        load->values.emplace(value.id, &value);
        return true;
    };
    auto used = [&](StoreResultSet& row) {
        version->itemValues.push_back(versionValue(handle, load, idAt(row, 1), &failed));
        return !failed;
    };
    auto linked = [&](StoreResultSet& row) {
        ItemValueLink link;
        link.localizedText = localizedTextWithId(handle, idAt(row, 1));
        link.value = versionValue(handle, load, idAt(row, 2), &failed);
        version->itemValueLinks.push_back(link);
        return !failed;
    };
    return walkListing(handle, store->listVersionItemAttributeValues(version->id), owned, true) &&
           walkListing(handle, store->listVersionItemValues(version->id, kAny), used, true) &&
           walkListing(handle, store->listVersionItemValueLinks(version->id, kAny, kAny), linked, true);
}

// A copied version's items own no values: it reaches its source's values
// through its value rows and links. Such a value is read by id and given to
// this version's entry of the same item.
ItemAttributeValue* RefDataAdminImpl::versionValue(RefDataHandle* handle, LoadState* load,
                                                   unsigned valueId, bool* failed) {
    if (ItemAttributeValue* known = load->values.get(valueId)) return known;
    if (load->missingValues.count(valueId) != 0) return nullptr;
    ItemAttributeValue* found = nullptr;
    const int answer = firstRow(
        handle, handle->adminStore->listItemAttributeValues(valueId, kAny, kAny), [&](StoreResultSet& row) {
            VersionItemEntry* owner = recordOf(load->entriesByItem, idAt(row, 3));
            if (owner == nullptr) return true;
            owner->values.emplace_back();
            found = &owner->values.back();
            found->id = valueId;
            found->owner = owner;
            found->attribute = attributeWithId(handle, idAt(row, 2));
            return true;
        });
    *failed = answer < 0;
    if (found != nullptr)
        load->values.emplace(valueId, found);
    else
        load->missingValues.insert(valueId);
    return found;
}

// Role grants, associations, the domain's change records and its extras.
bool RefDataAdminImpl::loadDomainHistory(RefDataHandle* handle, LoadState* load) {
    RefDataStore* store = handle->adminStore;
    const CatalogueIndex& index = handle->catalogueIndex;
    DomainEditSession* session = load->session;
    const unsigned domainId = load->domainId;
    const QxbString none;
    auto roleGrant = [&](StoreResultSet& row) {
        RoleAccessPair pair;
        if (!resolve(handle, index.accounts, idAt(row, 1), &pair.account, RDADMIN_SITE) ||
            !resolve(handle, index.roles, idAt(row, 2), &pair.role, RDADMIN_SITE))
            return false;
        session->rolePermissions.push_back(pair);
        return true;
    };
    auto association = [&](StoreResultSet& row) {
        session->associations.push_back(DomainAssociation{row.getInt(1), row.getString(2)});
        return true;
    };
    auto changeRecord = [&](StoreResultSet& row) {
        ChangeRecord record;
        record.id = idAt(row, 0);
        record.status = row.getString(2);
        record.objectId = idAt(row, 3);
        record.tableCode = row.getString(4);
        record.description = row.getString(5);
        if (!resolve(handle, index.languages, idAt(row, 6), &record.language, RDADMIN_SITE) ||
            !resolve(handle, index.accounts, idAt(row, 7), &record.account, RDADMIN_SITE))
            return false;
        record.date = dateAt(row, 8);
        session->changeRecords.push_back(record);
        return true;
    };
    auto extra = [&](StoreResultSet& row) {
        session->extras.push_back(DomainExtra{idAt(row, 0), row.getString(1), row.getString(2),
                                              row.getInt(4), row.getString(5), row.getString(6)});
        return true;
    };
    return walkListing(handle, store->listDomainRolePermissions(domainId, kAny, kAny), roleGrant) &&
           walkListing(handle, store->listDomainAssociations(domainId, kAny, none), association) &&
           walkListing(handle,
                       store->listChangeRecords(kAny, domainId, none, kAny, none, none, kAny, kAny, QxbDate()),
                       changeRecord) &&
           walkListing(handle, store->listDomainExtras(kAny, none, none, domainId, kAny, none, none), extra);
}

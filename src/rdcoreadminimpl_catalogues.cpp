// RefDataAdminImpl: the catalogue lookups and the catalogue refresh, which
// rebuilds the handle's nine in-memory catalogues from the admin store
// together with their index (CatalogueIndex), so every lookup takes
// constant time.
#include <cctype>
#include <deque>
#include <new>
#include <string>
#include <utility>

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
using rdcore::Owned;

namespace {

// Indexes every row of a catalogue by id; the first row of an id wins.
template <typename Row>
void indexById(std::deque<Row>& rows, CatalogueIndex::ById<Row>* index) {
    index->reserve(rows.size());
    for (Row& row : rows) index->emplace(row.id, &row);
}

template <typename Row>
void indexByName(std::deque<Row>& rows, CatalogueIndex::ByText<Row>* index) {
    for (Row& row : rows) index->emplace(rdadmin::foldName(row.name), &row);
}

}  // namespace

std::string rdadmin::foldName(const QxbString& name) {
    std::string folded = name.str();
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

// The nine catalogues of a refresh in progress, with their index.
struct RefDataAdminImpl::CatalogueSet {
    std::deque<AttributeContextRow> attributeContexts;
    std::deque<AttributeTypeRow> attributeTypes;
    std::deque<LanguageRow> languages;
    std::deque<PermissionRow> permissions;
    std::deque<RoleRow> roles;
    std::deque<AccountRow> accounts;
    std::deque<AttributeRow> attributes;
    std::deque<ItemRow> items;
    std::deque<LocalizedTextRow> localizedTexts;
    CatalogueIndex index;
};

// --- lookups ----------------------------------------------------------------------------------

template <typename Row>
const Row* RefDataAdminImpl::found(RefDataHandle* handle, const Row* row, Site site) {
    if (row == nullptr) report(handle, site, rdadmin::kMsgNotFound);
    return row;
}

template <typename Row>
bool RefDataAdminImpl::resolve(RefDataHandle* handle, const CatalogueIndex::ById<Row>& rows,
                               unsigned id, const Row** out, Site site) {
    if (id == kAny) {
        *out = nullptr;
        return true;
    }
    *out = found(handle, static_cast<const Row*>(recordOf(rows, id)), site);
    return *out != nullptr;
}

const AccountRow* RefDataAdminImpl::findAccountById(RefDataHandle* handle, unsigned id) {
    return found(handle, recordOf(handle->catalogueIndex.accounts, id), RDADMIN_SITE);
}

const AttributeContextRow* RefDataAdminImpl::findAttributeContextByName(RefDataHandle* handle,
                                                                        const QxbString& name) {
    return found(handle, recordOf(handle->catalogueIndex.attributeContextNames, rdadmin::foldName(name)),
                 RDADMIN_SITE);
}

const AttributeContextRow* RefDataAdminImpl::findAttributeContextById(RefDataHandle* handle,
                                                                      unsigned id) {
    return found(handle, recordOf(handle->catalogueIndex.attributeContexts, id), RDADMIN_SITE);
}

const AttributeTypeRow* RefDataAdminImpl::findAttributeTypeByName(RefDataHandle* handle,
                                                                  const QxbString& name) {
    return found(handle, recordOf(handle->catalogueIndex.attributeTypeNames, rdadmin::foldName(name)),
                 RDADMIN_SITE);
}

const AttributeTypeRow* RefDataAdminImpl::findAttributeTypeById(RefDataHandle* handle,
                                                                unsigned id) {
    return found(handle, recordOf(handle->catalogueIndex.attributeTypes, id), RDADMIN_SITE);
}

const LanguageRow* RefDataAdminImpl::findLanguageById(RefDataHandle* handle, unsigned id) {
    return found(handle, recordOf(handle->catalogueIndex.languages, id), RDADMIN_SITE);
}

const PermissionRow* RefDataAdminImpl::findPermissionById(RefDataHandle* handle, unsigned id) {
    return found(handle, recordOf(handle->catalogueIndex.permissions, id), RDADMIN_SITE);
}

const RoleRow* RefDataAdminImpl::findRoleById(RefDataHandle* handle, unsigned id) {
    return found(handle, recordOf(handle->catalogueIndex.roles, id), RDADMIN_SITE);
}

AttributeRow* RefDataAdminImpl::attributeNamed(RefDataHandle* handle, const QxbString& name,
                                               bool caseSensitive) {
    const CatalogueIndex& index = handle->catalogueIndex;
    return caseSensitive ? recordOf(index.attributeExactNames, name.str())
                         : recordOf(index.attributeNames, rdadmin::foldName(name));
}

AttributeRow* RefDataAdminImpl::attributeWithId(RefDataHandle* handle, unsigned id) {
    return recordOf(handle->catalogueIndex.attributes, id);
}

ItemRow* RefDataAdminImpl::itemWithKey(RefDataHandle* handle, const QxbString& key) {
    return recordOf(handle->catalogueIndex.itemKeys, key.str());
}

ItemRow* RefDataAdminImpl::itemWithId(RefDataHandle* handle, unsigned id) {
    return recordOf(handle->catalogueIndex.items, id);
}

const LocalizedTextRow* RefDataAdminImpl::localizedTextWithId(RefDataHandle* handle, unsigned id) {
    return recordOf(handle->catalogueIndex.localizedTexts, id);
}

AttributeRow* RefDataAdminImpl::appendAttributeRow(RefDataHandle* handle, AttributeRow row) {
    handle->attributeCatalogue.push_back(std::move(row));
    AttributeRow* added = &handle->attributeCatalogue.back();
    CatalogueIndex& index = handle->catalogueIndex;
    index.attributes.emplace(added->id, added);
    index.attributeNames.emplace(rdadmin::foldName(added->name), added);
    index.attributeExactNames.emplace(added->name.str(), added);
    return added;
}

ItemRow* RefDataAdminImpl::appendItemRow(RefDataHandle* handle, ItemRow row) {
    handle->itemCatalogue.push_back(std::move(row));
    ItemRow* added = &handle->itemCatalogue.back();
    handle->catalogueIndex.items.emplace(added->id, added);
    handle->catalogueIndex.itemKeys.emplace(added->key.str(), added);
    return added;
}

void RefDataAdminImpl::markAttributeRemoved(RefDataHandle* handle, unsigned id) {
    CatalogueIndex& index = handle->catalogueIndex;
    AttributeRow* row = recordOf(index.attributes, id);
    if (row == nullptr) return;
    row->removed = true;
    index.attributes.erase(id);
    // A name maps to the first row that carries it; the next one, if any,
    // takes its place.
    auto reindex = [&](CatalogueIndex::ByText<AttributeRow>* names, const std::string& key,
                       bool caseSensitive) {
        const auto entry = names->find(key);
        if (entry == names->end() || entry->second != row) return;
        names->erase(entry);
        for (AttributeRow& other : handle->attributeCatalogue) {
            if (other.removed) continue;
            const std::string otherKey = caseSensitive ? other.name.str() : rdadmin::foldName(other.name);
            if (otherKey == key) {
                names->emplace(key, &other);
                break;
            }
        }
    };
    reindex(&index.attributeNames, rdadmin::foldName(row->name), false);
    reindex(&index.attributeExactNames, row->name.str(), true);
}

void RefDataAdminImpl::clearCatalogues(RefDataHandle* handle) {
    CatalogueSet empty;
    swapInCatalogues(handle, &empty);
}

// --- the refresh --------------------------------------------------------------------------------

bool RefDataAdminImpl::refreshCatalogues(RefDataHandle* handle) {
    // Rows of an open session point into the catalogues: they are rebuilt
    // only when no session is open.
    if (handle->currentDomain != nullptr)
        return report(handle, RDADMIN_SITE, rdcore::kMsgNoConnection);
    return rebuildCatalogues(handle);
}

bool RefDataAdminImpl::rebuildCatalogues(RefDataHandle* handle) {
    CatalogueSet fresh;
    try {
        if (!loadLookupCatalogues(handle, &fresh) || !loadAccounts(handle, &fresh) ||
            !loadAttributes(handle, &fresh) || !loadItems(handle, &fresh) ||
            !loadItemPermissions(handle, &fresh) || !loadLocalizedTexts(handle, &fresh))
            return false;
    } catch (const std::bad_alloc&) {
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
    swapInCatalogues(handle, &fresh);
    return true;
}

// Swapping keeps every row at its address, so the references between the
// new rows and their index stay valid; the old rows go with *fresh.
void RefDataAdminImpl::swapInCatalogues(RefDataHandle* handle, CatalogueSet* fresh) {
    handle->attributeContextCatalogue.swap(fresh->attributeContexts);
    handle->attributeTypeCatalogue.swap(fresh->attributeTypes);
    handle->languageCatalogue.swap(fresh->languages);
    handle->permissionCatalogue.swap(fresh->permissions);
    handle->roleCatalogue.swap(fresh->roles);
    handle->accountCatalogue.swap(fresh->accounts);
    handle->attributeCatalogue.swap(fresh->attributes);
    handle->itemCatalogue.swap(fresh->items);
    handle->localizedTextCatalogue.swap(fresh->localizedTexts);
    std::swap(handle->catalogueIndex, fresh->index);
}

template <typename Row, typename ReadRow>
bool RefDataAdminImpl::appendRows(RefDataHandle* handle, StoreResultSet* listing,
                                  std::deque<Row>* into, ReadRow readRow) {
    return walkRows(handle, listing, [&](StoreResultSet& row) {
        Row read;
        if (!readRow(row, &read)) return false;
        into->push_back(std::move(read));
        return true;
    });
}

// Attribute contexts, attribute types, languages, permissions and roles:
// rows without references.
bool RefDataAdminImpl::loadLookupCatalogues(RefDataHandle* handle, CatalogueSet* fresh) {
    RefDataStore* store = handle->adminStore;
    CatalogueIndex& index = fresh->index;
    const QxbString none;
    auto named = [](StoreResultSet& row, auto* out) {
        out->id = idAt(row, 0);
        out->name = row.getString(1);
        out->text = row.getString(2);
        return true;
    };
    StoreResultSet* rows = listed(handle, store->listAttributeContexts(kAny, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(handle, rows, &fresh->attributeContexts, named)) return false;
    indexById(fresh->attributeContexts, &index.attributeContexts);
    indexByName(fresh->attributeContexts, &index.attributeContextNames);
    rows = listed(handle, store->listAttributeTypes(kAny, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(handle, rows, &fresh->attributeTypes, named)) return false;
    indexById(fresh->attributeTypes, &index.attributeTypes);
    indexByName(fresh->attributeTypes, &index.attributeTypeNames);
    rows = listed(handle, store->listLanguages(kAny, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(handle, rows, &fresh->languages, named)) return false;
    indexById(fresh->languages, &index.languages);
    rows = listed(handle, store->listPermissions(kAny, none, none, kAny), RDADMIN_SITE);
    if (rows == nullptr ||
        !appendRows(handle, rows, &fresh->permissions, [&](StoreResultSet& row, PermissionRow* out) {
            named(row, out);
            out->number = row.getInt(3);
            return true;
        }))
        return false;
    indexById(fresh->permissions, &index.permissions);
    rows = listed(handle, store->listRoles(kAny, none, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(handle, rows, &fresh->roles, [](StoreResultSet& row, RoleRow* out) {
            out->id = idAt(row, 0);
            out->name = row.getString(1);
            out->text1 = row.getString(2);
            out->text2 = row.getString(3);
            return true;
        }))
        return false;
    indexById(fresh->roles, &index.roles);
    return true;
}

// A stored NULL (-1) role, account, language, type or context is "none";
// any other id that names no row fails the refresh with message 1532.
bool RefDataAdminImpl::loadAccounts(RefDataHandle* handle, CatalogueSet* fresh) {
    const QxbString none;
    StoreResultSet* rows = listed(
        handle, handle->adminStore->listAccounts(kAny, none, none, none, none, none, none),
        RDADMIN_SITE);
    if (rows == nullptr ||
        !appendRows(handle, rows, &fresh->accounts, [&](StoreResultSet& row, AccountRow* out) {
            out->id = idAt(row, 0);
            out->name = row.getString(1);
            QxbString* texts[] = {&out->text2, &out->text3, &out->text4,
                                  &out->text5, &out->text6, &out->text7};
            int column = 2;
            for (QxbString* text : texts) *text = row.getString(column++);
            if (!resolve(handle, fresh->index.roles, idAt(row, 8), &out->role, RDADMIN_SITE))
                return false;
            out->date = dateAt(row, 9);
            return true;
        }))
        return false;
    indexById(fresh->accounts, &fresh->index.accounts);
    return true;
}

bool RefDataAdminImpl::loadAttributes(RefDataHandle* handle, CatalogueSet* fresh) {
    const QxbString none;
    const CatalogueIndex& index = fresh->index;
    StoreResultSet* rows =
        listed(handle, handle->adminStore->listAttributes(kAny, none, none), RDADMIN_SITE);
    // Column 5 (the type's name as written) is not read: the type row has it.
    if (rows == nullptr ||
        !appendRows(handle, rows, &fresh->attributes, [&](StoreResultSet& row, AttributeRow* out) {
            out->id = idAt(row, 0);
            if (!resolve(handle, index.attributeTypes, idAt(row, 1), &out->attributeType, RDADMIN_SITE) ||
                !resolve(handle, index.attributeContexts, idAt(row, 2), &out->attributeContext,
                         RDADMIN_SITE))
                return false;
            out->name = row.getString(3);
            out->label = row.getString(4);
            if (!resolve(handle, index.languages, idAt(row, 6), &out->language, RDADMIN_SITE))
                return false;
            out->flag = flagAt(row, 7);
            out->date = dateAt(row, 8);
            return true;
        }))
        return false;
    indexById(fresh->attributes, &fresh->index.attributes);
    indexByName(fresh->attributes, &fresh->index.attributeNames);
    for (AttributeRow& row : fresh->attributes)
        fresh->index.attributeExactNames.emplace(row.name.str(), &row);
    return true;
}

bool RefDataAdminImpl::loadItems(RefDataHandle* handle, CatalogueSet* fresh) {
    const QxbString none;
    StoreResultSet* rows = listed(
        handle, handle->adminStore->listItems(kAny, none, none, none, none, none, kAny), RDADMIN_SITE);
    if (rows == nullptr) return false;
    rows->isReady();
    if (!appendRows(handle, rows, &fresh->items, [&](StoreResultSet& row, ItemRow* out) {
            out->id = idAt(row, 0);
            out->key = row.getString(1);
            out->text = row.getString(2);
            out->flag1 = flagAt(row, 3);
            out->flag2 = flagAt(row, 4);
            out->text2 = row.getString(5);
            return resolve(handle, fresh->index.accounts, idAt(row, 6), &out->account, RDADMIN_SITE);
        }))
        return false;
    indexById(fresh->items, &fresh->index.items);
    fresh->index.itemKeys.reserve(fresh->items.size());
    for (ItemRow& row : fresh->items) fresh->index.itemKeys.emplace(row.key.str(), &row);
    return true;
}

// Every item grant in one listing; each goes to its item in the listing's
// order. A grant whose item is not in the catalogue is not kept.
bool RefDataAdminImpl::loadItemPermissions(RefDataHandle* handle, CatalogueSet* fresh) {
    StoreResultSet* rows =
        listed(handle, handle->adminStore->listItemPermissions(kAny, kAny, kAny), RDADMIN_SITE);
    const CatalogueIndex& index = fresh->index;
    return rows != nullptr && walkRows(handle, rows, [&](StoreResultSet& row) {
               ItemRow* item = recordOf(index.items, idAt(row, 0));
               if (item == nullptr) return true;
               std::pair<const AccountRow*, const PermissionRow*> grant;
               if (!resolve(handle, index.accounts, idAt(row, 1), &grant.first, RDADMIN_SITE) ||
                   !resolve(handle, index.permissions, idAt(row, 2), &grant.second, RDADMIN_SITE))
                   return false;
               item->permissions.push_back(grant);
               return true;
           });
}

bool RefDataAdminImpl::loadLocalizedTexts(RefDataHandle* handle, CatalogueSet* fresh) {
    StoreResultSet* rows = listed(
        handle, handle->adminStore->listLocalizedTexts(kAny, QxbString(), kAny), RDADMIN_SITE);
    if (rows == nullptr) return false;
    rows->isReady();
    if (!appendRows(handle, rows, &fresh->localizedTexts, [&](StoreResultSet& row, LocalizedTextRow* out) {
            out->id = idAt(row, 0);
            out->text = row.getString(1);
            return resolve(handle, fresh->index.languages, idAt(row, 2), &out->language, RDADMIN_SITE);
        }))
        return false;
    indexById(fresh->localizedTexts, &fresh->index.localizedTexts);
    return true;
}

// The resolutions the loader of an edit session makes as well.
template bool RefDataAdminImpl::resolve(RefDataHandle*, const CatalogueIndex::ById<AccountRow>&,
                                        unsigned, const AccountRow**, Site);
template bool RefDataAdminImpl::resolve(RefDataHandle*, const CatalogueIndex::ById<LanguageRow>&,
                                        unsigned, const LanguageRow**, Site);
template bool RefDataAdminImpl::resolve(RefDataHandle*, const CatalogueIndex::ById<PermissionRow>&,
                                        unsigned, const PermissionRow**, Site);
template bool RefDataAdminImpl::resolve(RefDataHandle*, const CatalogueIndex::ById<RoleRow>&,
                                        unsigned, const RoleRow**, Site);

// RefDataAdminImpl: the catalogue lookups and the catalogue refresh, which
// rebuilds the handle's nine in-memory catalogues from the admin store.
#include <deque>
#include <new>
#include <utility>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "repadm.h"

using rdadmin::kAny;
using rdcore::Owned;

namespace {

// The role id of an account without a role.
constexpr unsigned kNoRole = kAny;

const char* const kYes = "Y";

template <typename Row>
const Row* rowById(const std::deque<Row>& rows, unsigned id) {
    for (const Row& row : rows)
        if (row.id == id) return &row;
    return nullptr;
}

template <typename Row>
const Row* rowByName(const std::deque<Row>& rows, const QxbString& name) {
    for (const Row& row : rows)
        if (row.name.compare(name, false) == 0) return &row;
    return nullptr;
}

unsigned idAt(StoreResultSet& row, int column) {
    return static_cast<unsigned>(row.getInt(column));
}

QxbDate dateAt(StoreResultSet& row, int column) {
    QxbDate date;
    date.assign(row.getDouble(column));
    return date;
}

bool flagAt(StoreResultSet& row, int column) {
    return row.getString(column).compare(kYes, false) == 0;
}

// Appends one row per listed row; false at the first row that cannot be
// read (its reason already reported).
template <typename Row, typename ReadRow>
bool appendRows(StoreResultSet* listing, std::deque<Row>* into, ReadRow readRow) {
    Owned<StoreResultSet> rows(listing);
    while (rows->next() == 1) {
        Row row;
        if (!readRow(*rows, &row)) return false;
        into->push_back(std::move(row));
    }
    return true;
}

}  // namespace

// The nine catalogues of a refresh in progress.
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
};

// --- lookups ----------------------------------------------------------------------------------

template <typename Row>
const Row* RefDataAdminImpl::found(RefDataHandle* handle, const Row* row, Site site) {
    if (row == nullptr) report(handle, site, rdadmin::kMsgNotFound);
    return row;
}

const AccountRow* RefDataAdminImpl::findAccountById(RefDataHandle* handle, unsigned id) {
    return found(handle, rowById(handle->accountCatalogue, id), RDADMIN_SITE);
}

const AttributeContextRow* RefDataAdminImpl::findAttributeContextByName(RefDataHandle* handle,
                                                                        const QxbString& name) {
    return found(handle, rowByName(handle->attributeContextCatalogue, name), RDADMIN_SITE);
}

const AttributeContextRow* RefDataAdminImpl::findAttributeContextById(RefDataHandle* handle,
                                                                      unsigned id) {
    return found(handle, rowById(handle->attributeContextCatalogue, id), RDADMIN_SITE);
}

const AttributeTypeRow* RefDataAdminImpl::findAttributeTypeByName(RefDataHandle* handle,
                                                                  const QxbString& name) {
    return found(handle, rowByName(handle->attributeTypeCatalogue, name), RDADMIN_SITE);
}

const AttributeTypeRow* RefDataAdminImpl::findAttributeTypeById(RefDataHandle* handle,
                                                                unsigned id) {
    return found(handle, rowById(handle->attributeTypeCatalogue, id), RDADMIN_SITE);
}

const LanguageRow* RefDataAdminImpl::findLanguageById(RefDataHandle* handle, unsigned id) {
    return found(handle, rowById(handle->languageCatalogue, id), RDADMIN_SITE);
}

const PermissionRow* RefDataAdminImpl::findPermissionById(RefDataHandle* handle, unsigned id) {
    return found(handle, rowById(handle->permissionCatalogue, id), RDADMIN_SITE);
}

const RoleRow* RefDataAdminImpl::findRoleById(RefDataHandle* handle, unsigned id) {
    return found(handle, rowById(handle->roleCatalogue, id), RDADMIN_SITE);
}

// --- the refresh --------------------------------------------------------------------------------

bool RefDataAdminImpl::refreshCatalogues(RefDataHandle* handle) {
    CatalogueSet fresh;
    try {
        if (!loadLookupCatalogues(handle, &fresh) || !loadAccounts(handle, &fresh) ||
            !loadAttributes(handle, &fresh) || !loadItems(handle, &fresh) ||
            !loadLocalizedTexts(handle, &fresh))
            return false;
    } catch (const std::bad_alloc&) {
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
    // Swapping keeps every row at its address, so the references between
    // the new rows stay valid; the old rows go with fresh.
    handle->attributeContextCatalogue.swap(fresh.attributeContexts);
    handle->attributeTypeCatalogue.swap(fresh.attributeTypes);
    handle->languageCatalogue.swap(fresh.languages);
    handle->permissionCatalogue.swap(fresh.permissions);
    handle->roleCatalogue.swap(fresh.roles);
    handle->accountCatalogue.swap(fresh.accounts);
    handle->attributeCatalogue.swap(fresh.attributes);
    handle->itemCatalogue.swap(fresh.items);
    handle->localizedTextCatalogue.swap(fresh.localizedTexts);
    return true;
}

// Attribute contexts, attribute types, languages, permissions and roles:
// rows without references.
bool RefDataAdminImpl::loadLookupCatalogues(RefDataHandle* handle, CatalogueSet* fresh) {
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    auto named = [](StoreResultSet& row, auto* out) {
        out->id = idAt(row, 0);
        out->name = row.getString(1);
        out->text = row.getString(2);
        return true;
    };
    StoreResultSet* rows = listed(handle, store->listAttributeContexts(kAny, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(rows, &fresh->attributeContexts, named)) return false;
    rows = listed(handle, store->listAttributeTypes(kAny, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(rows, &fresh->attributeTypes, named)) return false;
    rows = listed(handle, store->listLanguages(kAny, none, none), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(rows, &fresh->languages, named)) return false;
    rows = listed(handle, store->listPermissions(kAny, none, none, kAny), RDADMIN_SITE);
    if (rows == nullptr || !appendRows(rows, &fresh->permissions, [&](StoreResultSet& row, PermissionRow* out) {
            named(row, out);
            out->number = row.getInt(3);
            return true;
        }))
        return false;
    rows = listed(handle, store->listRoles(kAny, none, none, none), RDADMIN_SITE);
    return rows != nullptr && appendRows(rows, &fresh->roles, [](StoreResultSet& row, RoleRow* out) {
               out->id = idAt(row, 0);
               out->name = row.getString(1);
               out->text1 = row.getString(2);
               out->text2 = row.getString(3);
               return true;
           });
}

bool RefDataAdminImpl::loadAccounts(RefDataHandle* handle, CatalogueSet* fresh) {
    const QxbString none;
    StoreResultSet* rows = listed(
        handle, handle->adminStore->listAccounts(kAny, none, none, none, none, none, none),
        RDADMIN_SITE);
    return rows != nullptr && appendRows(rows, &fresh->accounts, [&](StoreResultSet& row, AccountRow* out) {
               out->id = idAt(row, 0);
               out->name = row.getString(1);
               QxbString* texts[] = {&out->text2, &out->text3, &out->text4,
                                     &out->text5, &out->text6, &out->text7};
               int column = 2;
               for (QxbString* text : texts) *text = row.getString(column++);
               const unsigned roleId = idAt(row, 8);
               if (roleId != kNoRole) {
                   out->role = found(handle, rowById(fresh->roles, roleId), RDADMIN_SITE);
                   if (out->role == nullptr) return false;
               }
               out->date = dateAt(row, 9);
               return true;
           });
}

bool RefDataAdminImpl::loadAttributes(RefDataHandle* handle, CatalogueSet* fresh) {
    const QxbString none;
    StoreResultSet* rows =
        listed(handle, handle->adminStore->listAttributes(kAny, none, none), RDADMIN_SITE);
    // Column 5 (the type's name as written) is not read: the type row has it.
    return rows != nullptr &&
           appendRows(rows, &fresh->attributes, [&](StoreResultSet& row, AttributeRow* out) {
               out->id = idAt(row, 0);
               out->attributeType = found(handle, rowById(fresh->attributeTypes, idAt(row, 1)), RDADMIN_SITE);
               if (out->attributeType == nullptr) return false;
               out->attributeContext =
                   found(handle, rowById(fresh->attributeContexts, idAt(row, 2)), RDADMIN_SITE);
               if (out->attributeContext == nullptr) return false;
               out->name = row.getString(3);
               out->label = row.getString(4);
               out->language = found(handle, rowById(fresh->languages, idAt(row, 6)), RDADMIN_SITE);
               if (out->language == nullptr) return false;
               out->flag = flagAt(row, 7);
               out->date = dateAt(row, 8);
               return true;
           });
}

bool RefDataAdminImpl::loadItems(RefDataHandle* handle, CatalogueSet* fresh) {
    const QxbString none;
    StoreResultSet* rows = listed(
        handle, handle->adminStore->listItems(kAny, none, none, none, none, none, kAny), RDADMIN_SITE);
    if (rows == nullptr) return false;
    rows->isReady();
    return appendRows(rows, &fresh->items, [&](StoreResultSet& row, ItemRow* out) {
        out->id = idAt(row, 0);
        out->key = row.getString(1);
        out->text = row.getString(2);
        out->flag1 = flagAt(row, 3);
        out->flag2 = flagAt(row, 4);
        out->text2 = row.getString(5);
        out->account = found(handle, rowById(fresh->accounts, idAt(row, 6)), RDADMIN_SITE);
        return out->account != nullptr && loadItemPermissions(handle, *fresh, out);
    });
}

bool RefDataAdminImpl::loadItemPermissions(RefDataHandle* handle, const CatalogueSet& fresh,
                                           ItemRow* item) {
    StoreResultSet* rows =
        listed(handle, handle->adminStore->listItemPermissions(item->id, kAny, kAny), RDADMIN_SITE);
    return rows != nullptr && forEachRow(rows, [&](StoreResultSet& row) {
               const AccountRow* account = found(handle, rowById(fresh.accounts, idAt(row, 1)), RDADMIN_SITE);
               if (account == nullptr) return false;
               const PermissionRow* permission =
                   found(handle, rowById(fresh.permissions, idAt(row, 2)), RDADMIN_SITE);
               if (permission == nullptr) return false;
               item->permissions.emplace_back(account, permission);
               return true;
           });
}

bool RefDataAdminImpl::loadLocalizedTexts(RefDataHandle* handle, CatalogueSet* fresh) {
    StoreResultSet* rows = listed(
        handle, handle->adminStore->listLocalizedTexts(kAny, QxbString(), kAny), RDADMIN_SITE);
    if (rows == nullptr) return false;
    rows->isReady();
    return appendRows(rows, &fresh->localizedTexts, [&](StoreResultSet& row, LocalizedTextRow* out) {
        out->id = idAt(row, 0);
        out->text = row.getString(1);
        out->language = found(handle, rowById(fresh->languages, idAt(row, 2)), RDADMIN_SITE);
        return out->language != nullptr;
    });
}

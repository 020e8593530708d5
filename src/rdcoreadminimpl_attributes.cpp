// RefDataAdminImpl: attributes (createAttribute, deleteAttribute,
// addItemAttribute) and items (addItem, removeVersionItemTexts).
#include <string>
#include <unordered_set>
#include <vector>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "rdcorestorerow.h"
#include "repadm.h"

using rdadmin::kAny;

namespace {

const char* const kSingleLineText = "SINGLELINETEXT";
const char* const kYes = "Y";
const char* const kItemText2 = "P";

// A null name or key would be no filter in a duplicate check: it is the
// empty text, which no object may have.
QxbString textOrEmpty(const QxbString& text) {
    return text.isNull() ? QxbString("") : text;
}

}  // namespace


// --- attributes --------------------------------------------------------------------------------

bool RefDataAdminImpl::createAttribute(RefDataHandle* handle, const QxbString& name,
                                       const QxbString& label, const QxbString& attributeTypeName,
                                       const QxbString& attributeContextName, unsigned languageId,
                                       unsigned accountId, unsigned* newIdOut) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    AttributeRow* row = nullptr;
    if (createAttributeRow(handle, name, label, attributeTypeName, attributeContextName, languageId,
                           accountId, false, &row) != Creation::Created)
        return false;
    if (newIdOut != nullptr) *newIdOut = row->id;
    return true;
}

RefDataAdminImpl::Creation RefDataAdminImpl::createAttributeRow(
    RefDataHandle* handle, const QxbString& name, const QxbString& label,
    const QxbString& attributeTypeName, const QxbString& attributeContextName, unsigned languageId,
    unsigned accountId, bool recoverExisting, AttributeRow** row) {
    RefDataStore* store = handle->adminStore;
    const QxbString attributeName = textOrEmpty(name);
    const QxbString attributeLabel = textOrEmpty(label);
    if (attributeName.length() == 0) {
        reportWith(handle, RDADMIN_SITE, rdadmin::kMsgNotFound, "[NAME]");
        return Creation::Failed;
    }
    // Outside a session the catalogues may be empty or old.
    if (handle->currentDomain == nullptr && !rebuildCatalogues(handle)) return Creation::Failed;
    const int existing = firstRow(handle, store->listAttributes(kAny, attributeName, attributeLabel),
                                  [&](StoreResultSet& stored) {
                                      if (recoverExisting) *row = readStoredAttribute(handle, stored);
                                      return true;
                                  });
    if (existing != 0) return alreadyStored(handle, existing, recoverExisting);
    const AttributeTypeRow* type = findAttributeTypeByName(handle, attributeTypeName);
    if (type == nullptr) return Creation::Failed;
    const AttributeContextRow* context = findAttributeContextByName(handle, attributeContextName);
    if (context == nullptr) return Creation::Failed;
    const LanguageRow* language = findLanguageById(handle, languageId);
    if (language == nullptr) return Creation::Failed;

    Transaction transaction(store);
    unsigned newId = kAny;
    if (!transaction.begin() ||
        !store->insertAttribute(attributeName, attributeLabel, type->id, attributeTypeName,
                                context->id, languageId, accountId, QxbString(""), &newId)) {
        storeFailed(handle, RDADMIN_SITE);
        return Creation::Failed;
    }
    const QxbString description = qxbStringFormat("Created Attribute: ID = %d , NAME = %s",
                                                  static_cast<int>(newId), attributeName.asCstr());
    if (!recordChange(handle, sessionDomainId(handle), newId, rdadmin::kTableAttributes, description,
                      languageId, accountId, RDADMIN_SITE))
        return Creation::Failed;
    if (!transaction.commit()) {
        storeFailed(handle, RDADMIN_SITE);
        return Creation::Failed;
    }
    AttributeRow created;
    created.id = newId;
    created.attributeType = type;
    created.attributeContext = context;
    created.name = attributeName;
    created.label = attributeLabel;
    created.language = language;
    created.date = QxbDate::currentDate(false);
    *row = appendAttributeRow(handle, std::move(created));
    return Creation::Created;
}

// The outcome of a duplicate check that found a row (1) or failed (-1):
// without recovery a found row is message 1509.
RefDataAdminImpl::Creation RefDataAdminImpl::alreadyStored(RefDataHandle* handle, int found,
                                                           bool recoverExisting) {
    if (found < 0) return Creation::Failed;
    if (!recoverExisting) report(handle, RDADMIN_SITE, rdadmin::kMsgExists);
    return Creation::Exists;
}

// An attribute row of listAttributes that the catalogue lacks; references
// the catalogue cannot resolve stay none.
AttributeRow* RefDataAdminImpl::readStoredAttribute(RefDataHandle* handle, StoreResultSet& row) {
    const unsigned id = rdadmin::idAt(row, 0);
    if (AttributeRow* known = attributeWithId(handle, id)) return known;
    const CatalogueIndex& index = handle->catalogueIndex;
    AttributeRow stored;
    stored.id = id;
    stored.attributeType = rdadmin::recordOf(index.attributeTypes, rdadmin::idAt(row, 1));
    stored.attributeContext = rdadmin::recordOf(index.attributeContexts, rdadmin::idAt(row, 2));
    stored.name = row.getString(3);
    stored.label = row.getString(4);
    stored.language = rdadmin::recordOf(index.languages, rdadmin::idAt(row, 6));
    stored.flag = rdadmin::flagAt(row, 7);
    stored.date = rdadmin::dateAt(row, 8);
    return appendAttributeRow(handle, std::move(stored));
}

bool RefDataAdminImpl::deleteAttribute(RefDataHandle* handle, unsigned attributeId,
                                       unsigned accountId) {
    if (!connected(handle, RDADMIN_SITE) || !refuseAnyId(handle, attributeId, RDADMIN_SITE))
        return false;
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    const auto anyRow = [](StoreResultSet&) { return true; };
    const int exists = firstRow(handle, store->listAttributes(attributeId, none, none), anyRow);
    if (exists == 0) return report(handle, RDADMIN_SITE, rdadmin::kMsgNotFound);
    int used = exists < 0 ? -1 : firstRow(handle, store->listDomainAttributes(kAny, kAny, attributeId), anyRow);
    if (used == 0) used = firstRow(handle, store->listItemAttributeValues(kAny, kAny, attributeId), anyRow);
    if (used < 0) return false;
    if (used == 1) return report(handle, RDADMIN_SITE, rdadmin::kMsgInUse);
    // A null note: no filter on the note.
    if (!store->deleteAttributeRow(attributeId, none)) return storeFailed(handle, RDADMIN_SITE);
    const QxbString description =
        qxbStringFormat("Deleted Attribute: ID = %d", static_cast<int>(attributeId));
    const bool recorded = recordChange(handle, kAny, attributeId, rdadmin::kTableAttributes,
                                       description, rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE);
    // The attribute is gone from the store whether or not its record was
    // written.
    markAttributeRemoved(handle, attributeId);
    return recorded;
}

bool RefDataAdminImpl::addItemAttribute(RefDataHandle* handle, unsigned itemId,
                                        const QxbString& name, const QxbString& label,
                                        unsigned languageId, const QxbString& attributeContextName,
                                        unsigned accountId) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    if (handle->currentDomain == nullptr) {
        logLine(RDADMIN_SITE, rdcore::message(__FILE__, __LINE__, rdcore::kMsgNoConnection));
        return false;
    }
    if (handle->currentDomain->newestIndex().count(itemId) != 0)
        return report(handle, RDADMIN_SITE, rdadmin::kMsgExists);
    if (itemWithId(handle, itemId) == nullptr) return report(handle, RDADMIN_SITE, rdadmin::kMsgNotFound);
    if (findAttributeTypeByName(handle, QxbString(kSingleLineText)) == nullptr) return false;
    const AttributeContextRow* context = findAttributeContextByName(handle, attributeContextName);
    if (context == nullptr) return false;
    if (attributeNamed(handle, name, true) != nullptr) return true;
    AttributeRow* created = nullptr;
    return createAttributeRow(handle, name, label, QxbString(kSingleLineText), context->name,
                              languageId, accountId, true, &created) != Creation::Failed;
}

// --- items --------------------------------------------------------------------------------------

bool RefDataAdminImpl::addItem(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                               bool /*flag1*/, bool /*flag2*/, const QxbString& /*text2*/,
                               unsigned accountId, unsigned* newIdOut) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    StoredItem item;
    if (addItemRow(handle, key, text, accountId, false, &item) != Creation::Created) return false;
    if (newIdOut != nullptr) *newIdOut = item.id;
    return true;
}

// Items are identified by key alone: the duplicate check ignores the text.
// Every item is stored with the flags "Y", "Y" and the text "P".
RefDataAdminImpl::Creation RefDataAdminImpl::addItemRow(RefDataHandle* handle, const QxbString& key,
                                                        const QxbString& text, unsigned accountId,
                                                        bool recoverExisting, StoredItem* item) {
    RefDataStore* store = handle->adminStore;
    const QxbString itemKey = textOrEmpty(key);
    if (itemKey.length() == 0) {
        reportWith(handle, RDADMIN_SITE, rdadmin::kMsgNotFound, "[KEY]");
        return Creation::Failed;
    }
    const QxbString none;
    const int existing = firstRow(
        handle, store->listItems(kAny, itemKey, none, none, none, none, kAny), [&](StoreResultSet& stored) {
            item->id = rdadmin::idAt(stored, 0);
            item->key = stored.getString(1);
            item->text = stored.getString(2);
            item->flag1 = rdadmin::flagAt(stored, 3);
            item->flag2 = rdadmin::flagAt(stored, 4);
            item->text2 = stored.getString(5);
            item->account = rdadmin::idAt(stored, 6);
            return true;
        });
    if (existing != 0) return alreadyStored(handle, existing, recoverExisting);
    unsigned newId = kAny;
    if (!store->insertItem(itemKey, text, kYes, kYes, kItemText2, accountId, &newId)) {
        storeFailed(handle, RDADMIN_SITE);
        return Creation::Failed;
    }
    // No transaction: a failed change record leaves the item stored.
    const QxbString description = qxbStringFormat("Added Item: ID = %d", static_cast<int>(newId));
    if (!recordChange(handle, kAny, newId, rdadmin::kTableItems, description,
                      rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE))
        return Creation::Failed;
    item->id = newId;
    item->key = itemKey;
    item->text = text;
    item->flag1 = true;
    item->flag2 = true;
    item->text2 = kItemText2;
    item->account = accountId;
    return Creation::Created;
}

// Every text of the language linked in the version loses its link there
// (and, with its last link, the store removes the text). Each distinct text
// is removed and recorded once, however often it is linked.
bool RefDataAdminImpl::removeVersionItemTexts(RefDataHandle* handle, unsigned languageId,
                                              unsigned /*unused*/, unsigned accountId,
                                              unsigned versionId) {
    if (!connected(handle, RDADMIN_SITE) || !refuseAnyId(handle, versionId, RDADMIN_SITE))
        return false;
    RefDataStore* store = handle->adminStore;
    std::vector<unsigned> textIds;
    std::unordered_set<unsigned> seen;
    if (!walkListing(handle, store->listVersionItemValueLinks(versionId, kAny, kAny), [&](StoreResultSet& link) {
            const unsigned textId = rdadmin::idAt(link, 1);
            if (seen.insert(textId).second) textIds.push_back(textId);
            return true;
        }))
        return false;
    for (const unsigned textId : textIds) {
        const int inLanguage = firstRow(handle, store->listLocalizedTexts(textId, QxbString(), languageId),
                                        [](StoreResultSet&) { return true; });
        if (inLanguage < 0 ||
            (inLanguage == 1 && !removeVersionItemText(handle, textId, versionId, accountId)))
            return false;
    }
    return true;
}

bool RefDataAdminImpl::removeVersionItemText(RefDataHandle* handle, unsigned textId,
                                             unsigned versionId, unsigned accountId) {
    if (!handle->adminStore->deleteVersionItemValueLinks(versionId, textId, kAny))
        return storeFailed(handle, RDADMIN_SITE);
    const QxbString description =
        qxbStringFormat("Deleted Item Attribute Value: ID = %d", static_cast<int>(textId));
    return recordChange(handle, sessionDomainId(handle), textId, rdadmin::kTableItemValues,
                        description, rdadmin::kDefaultLanguage, accountId, RDADMIN_SITE);
}

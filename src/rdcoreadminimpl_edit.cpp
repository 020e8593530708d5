// RefDataAdminImpl: the edit operations on the newest version of the open
// session (addDomainAttribute, deleteDomainAttribute, addDomainItem,
// deleteDomainItem). Only a new attribute name or item key reaches the
// store; everything else changes the session and its change records.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "rdcorestorerow.h"
#include "repadm.h"

using rdadmin::kAny;

namespace {

const char* const kSingleLineText = "SINGLELINETEXT";

}  // namespace

bool RefDataAdminImpl::sessionOpen(RefDataHandle* handle, Site site) {
    if (!connected(handle, site)) return false;
    if (handle->currentDomain != nullptr) return true;
    return report(handle, site, rdcore::kMsgNoConnection);
}

ChangeRecord RefDataAdminImpl::editRecord(const QxbString& tableCode, unsigned objectId,
                                          const QxbString& description,
                                          const LanguageRow* language, const AccountRow* account) {
    ChangeRecord record;
    record.status = "A";
    record.objectId = objectId;
    record.tableCode = tableCode;
    record.description = description;
    record.language = language;
    record.account = account;
    record.date = QxbDate::currentDate(false);
    static std::atomic<std::uint64_t> sequence{0};
    record.sequence = ++sequence;
    return record;
}

bool RefDataAdminImpl::resolveEditor(RefDataHandle* handle, unsigned accountId, unsigned languageId,
                                     const AccountRow** account, const LanguageRow** language) {
    *account = findAccountById(handle, accountId);
    *language = *account != nullptr ? findLanguageById(handle, languageId) : nullptr;
    return *language != nullptr;
}

bool RefDataAdminImpl::guarded(RefDataHandle* handle, const std::function<bool()>& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

// --- domain attributes -----------------------------------------------------------------------------

bool RefDataAdminImpl::addDomainAttribute(RefDataHandle* handle, const QxbString& name,
                                          const QxbString& label, unsigned languageId,
                                          const QxbString& attributeContextName,
                                          unsigned accountId) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        const AttributeTypeRow* type = findAttributeTypeByName(handle, QxbString(kSingleLineText));
        if (type == nullptr) return false;
        const AttributeContextRow* context = findAttributeContextByName(handle, attributeContextName);
        if (context == nullptr) return false;
        const AccountRow* account = nullptr;
        const LanguageRow* language = nullptr;
        if (!resolveEditor(handle, accountId, languageId, &account, &language)) return false;
        AttributeRow* attribute = attributeNamed(handle, name, false);
        if (attribute == nullptr &&
            createAttributeRow(handle, name, label, type->name, context->name, language->id,
                               account->id, true, &attribute) == Creation::Failed)
            return false;

        DomainEditSession* session = handle->currentDomain;
        DomainAttributeEntry* entry = nullptr;
        for (DomainAttributeEntry& candidate : session->domainAttributes)
            if (candidate.attribute != nullptr && candidate.attribute->id == attribute->id) {
                entry = &candidate;
                break;
            }
        if (entry == nullptr) {
            session->domainAttributes.emplace_back();
            entry = &session->domainAttributes.back();
            entry->attribute = attribute;
            entry->change = editRecord(rdadmin::kTableDomainAttributes, kNotStored, "", language, account);
        }
        PendingVersion& newest = session->newest();
        for (const VersionAttributeEntry& used : newest.attributes)
            if (used.domainAttribute == entry) return true;
        VersionAttributeEntry used;
        used.domainAttribute = entry;
        used.flag = true;
        used.change = editRecord(rdadmin::kTableVersionAttributes, kNotStored, "", language, account);
        newest.attributes.push_back(std::move(used));
        return true;
    });
}

// The entry leaves the domain's attributes but stays alive (marked removed)
// for the older versions that point at it; the newest version drops its use
// of the attribute and its values.
bool RefDataAdminImpl::deleteDomainAttribute(RefDataHandle* handle, unsigned domainAttributeId,
                                             unsigned languageId, unsigned accountId) {
    if (!sessionOpen(handle, RDADMIN_SITE) || !refuseAnyId(handle, domainAttributeId, RDADMIN_SITE))
        return false;
    return guarded(handle, [&] {
        const AccountRow* account = nullptr;
        const LanguageRow* language = nullptr;
        if (!resolveEditor(handle, accountId, languageId, &account, &language)) return false;
        DomainEditSession* session = handle->currentDomain;
        auto& attributes = session->domainAttributes;
        const auto entry = std::find_if(attributes.begin(), attributes.end(),
                                        [&](const DomainAttributeEntry& candidate) {
                                            return candidate.id == domainAttributeId;
                                        });
        PendingVersion& newest = session->newest();
        if (entry != attributes.end()) {
            entry->removed = true;
            std::unordered_set<const DomainAttributeValue*> values;
            for (const DomainAttributeValue& value : entry->values) values.insert(&value);
            newest.values.erase(std::remove_if(newest.values.begin(), newest.values.end(),
                                               [&](const DomainAttributeValue* value) {
                                                   return values.count(value) != 0;
                                               }),
                                newest.values.end());
            session->removedDomainAttributes.splice(session->removedDomainAttributes.end(), attributes, entry);
            session->changeRecords.push_back(editRecord(
                rdadmin::kTableDomainAttributes, domainAttributeId,
                qxbStringFormat("Deleted Domain Attribute: ID = %d", static_cast<int>(domainAttributeId)),
                language, account));
        }
        const auto used = std::find_if(newest.attributes.begin(), newest.attributes.end(),
                                       [&](const VersionAttributeEntry& candidate) {
                                           return candidate.domainAttribute != nullptr &&
                                                  candidate.domainAttribute->id == domainAttributeId;
                                       });
        if (used != newest.attributes.end()) newest.attributes.erase(used);
        return true;
    });
}

// --- items -----------------------------------------------------------------------------------------

bool RefDataAdminImpl::addDomainItem(RefDataHandle* handle, const QxbString& key,
                                     const QxbString& text, bool /*flag1*/, bool /*flag2*/,
                                     const QxbString& /*text2*/, unsigned number,
                                     QxbString entryText, int parentItemId, unsigned languageId,
                                     unsigned accountId) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        const AccountRow* account = nullptr;
        const LanguageRow* language = nullptr;
        if (!resolveEditor(handle, accountId, languageId, &account, &language)) return false;
        const ItemRow* parent =
            parentItemId == -1 ? nullptr : itemWithId(handle, static_cast<unsigned>(parentItemId));
        const ItemRow* item = itemWithKey(handle, key);
        if (item == nullptr && (item = storedItem(handle, key, text, account)) == nullptr) return false;
        if (parent != nullptr && wouldBeOwnAncestor(handle->currentDomain, item->id, parent->id))
            return reportWith(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                              qxbStringFormat("[PARENT]: item %d cannot be placed under item %d, which "
                                              "is the item itself or lies below it",
                                              static_cast<int>(item->id), static_cast<int>(parent->id)));
        DomainEditSession* session = handle->currentDomain;
        PendingVersion& newest = session->newest();
        newest.items.emplace_back();
        VersionItemEntry& entry = newest.items.back();
        entry.item = item;
        entry.date = QxbDate::currentDate(false);
        entry.number = number;
        entry.text = entryText;
        entry.parentItem = parent;
        entry.change = editRecord(rdadmin::kTableVersionItems, kNotStored, "", language, account);
        if (session->newestIndexBuilt) session->newestEntriesByItem[item->id].push_back(&entry);
        session->newestMaxNumberKnown = false;
        return true;
    });
}

// The catalogue row of an item the catalogue lacks: created in the store
// through addItem, or, when another writer stored the key after the
// catalogue was read, read from the store. Null: reported.
const ItemRow* RefDataAdminImpl::storedItem(RefDataHandle* handle, const QxbString& key,
                                            const QxbString& text, const AccountRow* account) {
    StoredItem stored;
    if (addItemRow(handle, key, text, account->id, true, &stored) == Creation::Failed) return nullptr;
    if (ItemRow* known = itemWithId(handle, stored.id)) return known;
    ItemRow row;
    row.id = stored.id;
    row.key = stored.key;
    row.text = stored.text;
    row.flag1 = stored.flag1;
    row.flag2 = stored.flag2;
    row.text2 = stored.text2;
    row.account = rdadmin::recordOf(handle->catalogueIndex.accounts, stored.account);
    return appendItemRow(handle, std::move(row));
}

// True when parentId is itemId or an item below it in the newest version
// (following the entries' parent links upwards, each item once).
bool RefDataAdminImpl::wouldBeOwnAncestor(DomainEditSession* session, unsigned itemId,
                                          unsigned parentId) {
    const auto& byItem = session->newestIndex();
    std::vector<unsigned> pending{parentId};
    std::unordered_set<unsigned> seen{parentId};
    while (!pending.empty()) {
        const unsigned current = pending.back();
        pending.pop_back();
        if (current == itemId) return true;
        const auto entries = byItem.find(current);
        if (entries == byItem.end()) continue;
        for (const VersionItemEntry* entry : entries->second)
            if (entry->parentItem != nullptr && seen.insert(entry->parentItem->id).second)
                pending.push_back(entry->parentItem->id);
    }
    return false;
}

// Removes the item's entries from the newest version with everything below
// them there (the entries whose parent is a removed item), deepest first:
// grandchildren before children before the item. The subtree comes from the
// newest version's own entries, so it also sees items added in the session,
// and a cycle of parent links ends (each item is visited once).
bool RefDataAdminImpl::deleteDomainItem(RefDataHandle* handle, unsigned itemId,
                                        unsigned languageId, unsigned accountId) {
    if (!sessionOpen(handle, RDADMIN_SITE) || !refuseAnyId(handle, itemId, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        const AccountRow* account = nullptr;
        const LanguageRow* language = nullptr;
        if (!resolveEditor(handle, accountId, languageId, &account, &language)) return false;
        DomainEditSession* session = handle->currentDomain;
        const std::vector<unsigned> order = subtreeDeepestFirst(session, itemId);
        removeItemEntries(session, order, language, account);
        return true;
    });
}

std::vector<unsigned> RefDataAdminImpl::subtreeDeepestFirst(DomainEditSession* session,
                                                            unsigned itemId) {
    std::unordered_map<unsigned, std::vector<unsigned>> children;
    for (const VersionItemEntry& entry : session->newest().items)
        if (entry.item != nullptr && entry.parentItem != nullptr)
            children[entry.parentItem->id].push_back(entry.item->id);
    // Iterative depth-first walk; an item is listed after all of its
    // descendants.
    struct Frame {
        unsigned item;
        std::size_t next;
    };
    std::vector<unsigned> order;
    std::vector<Frame> stack{{itemId, 0}};
    std::unordered_set<unsigned> seen{itemId};
    while (!stack.empty()) {
        Frame& top = stack.back();
        const auto found = children.find(top.item);
        if (found != children.end() && top.next < found->second.size()) {
            const unsigned child = found->second[top.next++];
            if (seen.insert(child).second) stack.push_back(Frame{child, 0});
            continue;
        }
        order.push_back(top.item);
        stack.pop_back();
    }
    return order;
}

// Records and removes the entries of the listed items in that order: per
// entry one "RDDOIA" record per value, then its "RDITVR" record. The
// version's references to the removed values go first, while the values
// still exist.
void RefDataAdminImpl::removeItemEntries(DomainEditSession* session,
                                         const std::vector<unsigned>& items,
                                         const LanguageRow* language, const AccountRow* account,
                                         bool records) {
    auto& byItem = session->newestIndex();
    std::unordered_set<const ItemAttributeValue*> removedValues;
    std::unordered_set<unsigned> removedValueIds;
    for (const unsigned item : items) {
        const auto entries = byItem.find(item);
        if (entries == byItem.end()) continue;
        for (VersionItemEntry* entry : entries->second) {
            for (const ItemAttributeValue& value : entry->values) {
                removedValues.insert(&value);
                if (value.id != kNotStored) removedValueIds.insert(value.id);
                if (!records) continue;
                session->changeRecords.push_back(editRecord(
                    rdadmin::kTableVersionItemValues, value.id,
                    qxbStringFormat("Deleted Item Attribute ID = %d", static_cast<int>(value.id)),
                    language, account));
            }
            if (!records) continue;
            session->changeRecords.push_back(editRecord(
                rdadmin::kTableVersionItems, entry->id,
                qxbStringFormat("Deleted Item ID = %d", static_cast<int>(entry->id)), language, account));
        }
    }
    PendingVersion& newest = session->newest();
    auto removed = [&](const ItemAttributeValue* value) {
        return value != nullptr &&
               (removedValues.count(value) != 0 || removedValueIds.count(value->id) != 0);
    };
    newest.itemValues.erase(std::remove_if(newest.itemValues.begin(), newest.itemValues.end(), removed),
                            newest.itemValues.end());
    newest.itemValueLinks.erase(
        std::remove_if(newest.itemValueLinks.begin(), newest.itemValueLinks.end(),
                       [&](const ItemValueLink& link) { return removed(link.value); }),
        newest.itemValueLinks.end());
    session->linkChainsBuilt = false;
    const std::unordered_set<unsigned> removedItems(items.begin(), items.end());
    newest.items.remove_if([&](const VersionItemEntry& entry) {
        return entry.item != nullptr && removedItems.count(entry.item->id) != 0;
    });
    for (const unsigned item : items) byItem.erase(item);
}

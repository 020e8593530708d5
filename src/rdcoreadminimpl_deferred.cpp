// RefDataAdminImpl: the edits of RefDataAdminEx on the open session's newest
// version. They name items by key and attributes by name, write nothing to
// the store, and keep what the store lacks (a new key, attribute name or
// text) in the session under a pending id for the commit to create. Each
// checks everything before it changes anything, so a refused edit leaves the
// session as it was.
#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "rdcorestorerow.h"
#include "repadm.h"

namespace {

const char* const kSingleLineText = "SINGLELINETEXT";
const char* const kItemContext = "ITEM";

QxbString quoted(const QxbString& text) {
    return qxbStringFormat("'%s'", text.asCstr());
}

}  // namespace

// --- shared steps ------------------------------------------------------------------------------------

bool RefDataAdminImpl::refuseEdit(RefDataHandle* handle, Site site, int code, const QxbString& reason) {
    return reportWith(handle, site, code, qxbStringFormat(": %s", reason.asCstr()));
}

void RefDataAdminImpl::noteEdit(RefDataHandle* handle, const char* tableCode, unsigned objectId,
                                const QxbString& description) {
    DomainEditSession* session = handle->currentDomain;
    session->changeRecords.push_back(editRecord(tableCode, objectId, description, editLanguage(handle),
                                                session->newest().account));
}

const LanguageRow* RefDataAdminImpl::editLanguage(RefDataHandle* handle) {
    return handle->catalogueIndex.languages.get(rdadmin::kDefaultLanguage);
}

const ItemRow* RefDataAdminImpl::itemForKey(RefDataHandle* handle, const QxbString& key) {
    if (const ItemRow* stored = itemWithKey(handle, key)) return stored;
    return rdadmin::recordOf(handle->currentDomain->pendingItemKeys, key.str());
}

std::vector<VersionItemEntry*>* RefDataAdminImpl::entriesForKey(RefDataHandle* handle,
                                                               const QxbString& key) {
    const ItemRow* item = itemForKey(handle, key);
    if (item == nullptr) return nullptr;
    auto& byItem = handle->currentDomain->newestIndex();
    const auto found = byItem.find(item->id);
    return found == byItem.end() || found->second.empty() ? nullptr : &found->second;
}

std::vector<VersionItemEntry*>* RefDataAdminImpl::entriesOrReport(RefDataHandle* handle,
                                                                 const QxbString& key, const char* role) {
    std::vector<VersionItemEntry*>* entries = entriesForKey(handle, key);
    if (entries == nullptr)
        refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                   qxbStringFormat("%s %s is not an item of the version", role, quoted(key).asCstr()));
    return entries;
}

VersionAttributeEntry* RefDataAdminImpl::versionAttributeNamed(RefDataHandle* handle,
                                                               const QxbString& name) {
    for (VersionAttributeEntry& used : handle->currentDomain->newest().attributes) {
        const DomainAttributeEntry* entry = used.domainAttribute;
        if (entry != nullptr && entry->attribute != nullptr && entry->attribute->name == name) return &used;
    }
    return nullptr;
}

const LanguageRow* RefDataAdminImpl::languageWithCode(RefDataHandle* handle, const QxbString& code) {
    for (const LanguageRow& language : handle->languageCatalogue)
        if (language.name == code) return &language;
    refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
               qxbStringFormat("language %s is not a language of the repository", quoted(code).asCstr()));
    return nullptr;
}

// The value of the entry for the attribute, or null.
static ItemAttributeValue* valueOf(VersionItemEntry* entry, const AttributeRow* attribute) {
    for (ItemAttributeValue& value : entry->values)
        if (value.attribute == attribute) return &value;
    return nullptr;
}

// The position of the value's live link in the language, or -1.
static long linkOf(DomainEditSession* session, const ItemAttributeValue* value, const LanguageRow* language) {
    session->buildLinkChains();
    const std::vector<ItemValueLink>& links = session->newest().itemValueLinks;
    for (std::size_t at = value->firstLink; at != kNoLink; at = links[at].nextOfValue)
        if (links[at].localizedText != nullptr && links[at].localizedText->language == language)
            return static_cast<long>(at);
    return -1;
}

// Drops the link at that position from its value's chain (it stays in
// place, emptied).
static void dropLink(DomainEditSession* session, std::size_t at) {
    session->buildLinkChains();
    std::vector<ItemValueLink>& links = session->newest().itemValueLinks;
    ItemValueLink& link = links[at];
    std::size_t* from = &link.value->firstLink;
    while (*from != kNoLink && *from != at) from = &links[*from].nextOfValue;
    if (*from == at) *from = link.nextOfValue;
    link.value = nullptr;
    link.localizedText = nullptr;
    link.nextOfValue = kNoLink;
}

// Takes values out of the newest version: their links, their references and
// the values themselves.
static void dropValues(DomainEditSession* session, const std::vector<std::pair<VersionItemEntry*,
                                                                               ItemAttributeValue*>>& values) {
    if (values.empty()) return;
    session->buildLinkChains();
    PendingVersion& newest = session->newest();
    std::vector<ItemValueLink>& links = newest.itemValueLinks;
    std::unordered_set<const ItemAttributeValue*> gone;
    for (const auto& pair : values) {
        gone.insert(pair.second);
        for (std::size_t at = pair.second->firstLink; at != kNoLink;) {
            const std::size_t next = links[at].nextOfValue;
            links[at] = ItemValueLink{};
            at = next;
        }
        pair.second->firstLink = kNoLink;
    }
    newest.itemValues.erase(std::remove_if(newest.itemValues.begin(), newest.itemValues.end(),
                                           [&](const ItemAttributeValue* value) { return gone.count(value) != 0; }),
                            newest.itemValues.end());
    for (const auto& pair : values)
        pair.first->values.remove_if([&](const ItemAttributeValue& value) { return &value == pair.second; });
}

unsigned RefDataAdminImpl::nextPosition(DomainEditSession* session) {
    if (!session->newestMaxNumberKnown) {
        session->newestMaxNumber = 0;
        for (const VersionItemEntry& entry : session->newest().items)
            session->newestMaxNumber = std::max(session->newestMaxNumber, entry.number);
        session->newestMaxNumberKnown = true;
    }
    return ++session->newestMaxNumber;
}

// --- items ---------------------------------------------------------------------------------------------

bool RefDataAdminImpl::editAddItem(RefDataHandle* handle, const QxbString& key, const QxbString& label,
                                   const QxbString& parentKey) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        if (key.length() == 0)
            return refuseEdit(handle, RDADMIN_SITE, rdcore::kMsgEditNotApplicable, "an item key cannot be empty");
        DomainEditSession* session = handle->currentDomain;
        if (entriesForKey(handle, key) != nullptr)
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgExists,
                              qxbStringFormat("item %s is in the version already", quoted(key).asCstr()));
        const ItemRow* parent = nullptr;
        if (parentKey.length() != 0) {
            if (entriesOrReport(handle, parentKey, "parent") == nullptr) return false;
            parent = itemForKey(handle, parentKey);
        }
        const ItemRow* item = itemForKey(handle, key);
        if (item == nullptr) {
            ItemRow row;
            row.id = session->takePendingId();
            row.key = key;
            row.text = label;
            row.flag1 = true;
            row.flag2 = true;
            row.text2 = "P";
            row.account = session->newest().account;
            session->pendingItems.push_back(std::move(row));
            item = &session->pendingItems.back();
            session->pendingItemKeys.emplace(key.str(), &session->pendingItems.back());
        }
        PendingVersion& newest = session->newest();
        newest.items.emplace_back();
        VersionItemEntry& entry = newest.items.back();
        entry.item = item;
        entry.date = QxbDate::currentDate(false);
        entry.number = nextPosition(session);
        entry.text = label;
        entry.parentItem = parent;
        if (!session->importMode)
            entry.change = editRecord(rdadmin::kTableVersionItems, item->id,
                                      qxbStringFormat("Added Item: KEY = %s, LABEL = %s", key.asCstr(),
                                                      label.asCstr()),
                                      editLanguage(handle), newest.account);
        session->newestIndex()[item->id].push_back(&entry);
        return true;
    });
}

bool RefDataAdminImpl::editRemoveItem(RefDataHandle* handle, const QxbString& key) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        if (entriesOrReport(handle, key, "item") == nullptr) return false;
        DomainEditSession* session = handle->currentDomain;
        const ItemRow* item = itemForKey(handle, key);
        // One record per item removed, deepest first, naming each by key.
        const std::vector<unsigned> order = subtreeDeepestFirst(session, item->id);
        if (!session->importMode) {
            auto& byItem = session->newestIndex();
            for (const unsigned removed : order) {
                const auto entries = byItem.find(removed);
                if (removed == item->id || entries == byItem.end() || entries->second.empty()) continue;
                noteEdit(handle, rdadmin::kTableVersionItems, removed,
                         qxbStringFormat("Removed Item: KEY = %s, BELOW = %s",
                                         entries->second.front()->item->key.asCstr(), key.asCstr()));
            }
            noteEdit(handle, rdadmin::kTableVersionItems, item->id,
                     qxbStringFormat("Removed Item: KEY = %s, ITEMS BELOW = %d", key.asCstr(),
                                     static_cast<int>(order.size() - 1)));
        }
        removeItemEntries(session, order, editLanguage(handle), session->newest().account, false);
        return true;
    });
}

bool RefDataAdminImpl::editRelabelItem(RefDataHandle* handle, const QxbString& key, const QxbString& label) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        std::vector<VersionItemEntry*>* entries = entriesOrReport(handle, key, "item");
        if (entries == nullptr) return false;
        for (VersionItemEntry* entry : *entries) entry->text = label;
        if (!handle->currentDomain->importMode)
            noteEdit(handle, rdadmin::kTableVersionItems, itemForKey(handle, key)->id,
                     qxbStringFormat("Relabelled Item: KEY = %s, LABEL = %s", key.asCstr(), label.asCstr()));
        return true;
    });
}

bool RefDataAdminImpl::editMoveItem(RefDataHandle* handle, const QxbString& key, const QxbString& parentKey) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        std::vector<VersionItemEntry*>* entries = entriesOrReport(handle, key, "item");
        if (entries == nullptr) return false;
        DomainEditSession* session = handle->currentDomain;
        const ItemRow* item = itemForKey(handle, key);
        const ItemRow* parent = nullptr;
        if (parentKey.length() != 0) {
            if (entriesOrReport(handle, parentKey, "parent") == nullptr) return false;
            parent = itemForKey(handle, parentKey);
            if (wouldBeOwnAncestor(session, item->id, parent->id))
                return refuseEdit(handle, RDADMIN_SITE, rdcore::kMsgEditNotApplicable,
                                  qxbStringFormat("item %s cannot be placed under %s, which is the item "
                                                  "itself or lies below it",
                                                  quoted(key).asCstr(), quoted(parentKey).asCstr()));
        }
        for (VersionItemEntry* entry : *entries) entry->parentItem = parent;
        if (!session->importMode)
            noteEdit(handle, rdadmin::kTableVersionItems, item->id,
                     qxbStringFormat("Moved Item: KEY = %s, PARENT = %s", key.asCstr(), parentKey.asCstr()));
        return true;
    });
}

// --- values --------------------------------------------------------------------------------------------

bool RefDataAdminImpl::editSetItemValue(RefDataHandle* handle, const QxbString& key, const QxbString& attribute,
                                        const QxbString& languageCode, const QxbString& value) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        if (value.length() == 0)
            return refuseEdit(handle, RDADMIN_SITE, rdcore::kMsgEditNotApplicable,
                              "an empty value cannot be set (clear the value instead)");
        std::vector<VersionItemEntry*>* entries = entriesOrReport(handle, key, "item");
        if (entries == nullptr) return false;
        const VersionAttributeEntry* used = versionAttributeNamed(handle, attribute);
        if (used == nullptr)
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                              qxbStringFormat("attribute %s is not an attribute of the version (add it first)",
                                              quoted(attribute).asCstr()));
        const LanguageRow* language = languageWithCode(handle, languageCode);
        if (language == nullptr) return false;

        DomainEditSession* session = handle->currentDomain;
        PendingVersion& newest = session->newest();
        const AttributeRow* row = used->domainAttribute->attribute;
        const LocalizedTextRow* text = nullptr;
        bool changed = false;
        for (VersionItemEntry* entry : *entries) {
            ItemAttributeValue* target = valueOf(entry, row);
            const long at = target != nullptr ? linkOf(session, target, language) : -1;
            if (at >= 0 && newest.itemValueLinks[static_cast<std::size_t>(at)].localizedText->text == value)
                continue;
            const DomainEditSession::StoredValue* stored = session->storedValue(entry, row);
            if (stored != nullptr)
                for (const LocalizedTextRow* candidate : stored->texts)
                    if (candidate->language == language && candidate->text == value) text = candidate;
            if (text == nullptr) {
                LocalizedTextRow fresh;
                fresh.id = session->takePendingId();
                fresh.text = value;
                fresh.language = language;
                session->pendingTexts.push_back(std::move(fresh));
                text = &session->pendingTexts.back();
            }
            changed = true;
            if (at >= 0) {
                newest.itemValueLinks[static_cast<std::size_t>(at)].localizedText = text;
                continue;
            }
            if (target == nullptr) {
                entry->values.emplace_back();
                target = &entry->values.back();
                target->owner = entry;
                target->attribute = row;
                if (stored != nullptr) target->id = stored->id;
                newest.itemValues.push_back(target);
            }
            session->appendLink(text, target);
        }
        if (changed && !session->importMode)
            noteEdit(handle, rdadmin::kTableVersionItemValues, itemForKey(handle, key)->id,
                     qxbStringFormat("Set Item Value: KEY = %s, ATTRIBUTE = %s, LANGUAGE = %s, VALUE = %s",
                                     key.asCstr(), attribute.asCstr(), languageCode.asCstr(), value.asCstr()));
        return true;
    });
}

bool RefDataAdminImpl::editClearItemValue(RefDataHandle* handle, const QxbString& key,
                                          const QxbString& attribute, const QxbString& languageCode) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        std::vector<VersionItemEntry*>* entries = entriesOrReport(handle, key, "item");
        if (entries == nullptr) return false;
        const VersionAttributeEntry* used = versionAttributeNamed(handle, attribute);
        if (used == nullptr)
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                              qxbStringFormat("attribute %s is not an attribute of the version",
                                              quoted(attribute).asCstr()));
        const LanguageRow* language = languageWithCode(handle, languageCode);
        if (language == nullptr) return false;
        DomainEditSession* session = handle->currentDomain;
        const AttributeRow* row = used->domainAttribute->attribute;
        std::vector<std::pair<VersionItemEntry*, long>> found;
        for (VersionItemEntry* entry : *entries) {
            ItemAttributeValue* target = valueOf(entry, row);
            const long at = target != nullptr ? linkOf(session, target, language) : -1;
            if (at >= 0) found.emplace_back(entry, at);
        }
        if (found.empty())
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                              qxbStringFormat("item %s has no value of %s in %s", quoted(key).asCstr(),
                                              quoted(attribute).asCstr(), quoted(languageCode).asCstr()));
        // A value left without a text in any language leaves the version.
        std::vector<std::pair<VersionItemEntry*, ItemAttributeValue*>> emptied;
        for (const auto& pair : found) {
            ItemAttributeValue* target = valueOf(pair.first, row);
            dropLink(session, static_cast<std::size_t>(pair.second));
            if (target->firstLink == kNoLink) emptied.emplace_back(pair.first, target);
        }
        dropValues(session, emptied);
        if (!session->importMode)
            noteEdit(handle, rdadmin::kTableVersionItemValues, itemForKey(handle, key)->id,
                     qxbStringFormat("Cleared Item Value: KEY = %s, ATTRIBUTE = %s, LANGUAGE = %s", key.asCstr(),
                                     attribute.asCstr(), languageCode.asCstr()));
        return true;
    });
}

// --- attributes ----------------------------------------------------------------------------------------

bool RefDataAdminImpl::editAddDomainAttribute(RefDataHandle* handle, const QxbString& name,
                                              const QxbString& label) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        if (name.length() == 0)
            return refuseEdit(handle, RDADMIN_SITE, rdcore::kMsgEditNotApplicable,
                              "an attribute name cannot be empty");
        if (versionAttributeNamed(handle, name) != nullptr)
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgExists,
                              qxbStringFormat("attribute %s is an attribute of the version already",
                                              quoted(name).asCstr()));
        DomainEditSession* session = handle->currentDomain;
        const AccountRow* account = session->newest().account;
        const LanguageRow* language = editLanguage(handle);
        const AttributeRow* attribute = attributeNamed(handle, name, true);
        if (attribute == nullptr) attribute = rdadmin::recordOf(session->pendingAttributeNames, name.str());
        if (attribute == nullptr) {
            const AttributeTypeRow* type = findAttributeTypeByName(handle, QxbString(kSingleLineText));
            if (type == nullptr) return false;
            const AttributeContextRow* context = findAttributeContextByName(handle, QxbString(kItemContext));
            if (context == nullptr) return false;
            AttributeRow row;
            row.id = session->takePendingId();
            row.attributeType = type;
            row.attributeContext = context;
            row.name = name;
            row.label = label.length() != 0 ? label : name;
            row.language = language;
            row.date = QxbDate::currentDate(false);
            session->pendingAttributes.push_back(std::move(row));
            attribute = &session->pendingAttributes.back();
            session->pendingAttributeNames.emplace(name.str(), &session->pendingAttributes.back());
        }
        DomainAttributeEntry* entry = nullptr;
        for (DomainAttributeEntry& candidate : session->domainAttributes)
            if (candidate.attribute == attribute) {
                entry = &candidate;
                break;
            }
        if (entry == nullptr) {
            session->domainAttributes.emplace_back();
            entry = &session->domainAttributes.back();
            entry->attribute = attribute;
            if (!session->importMode)
                entry->change = editRecord(rdadmin::kTableDomainAttributes, kNotStored,
                                           qxbStringFormat("Added Domain Attribute: NAME = %s", name.asCstr()),
                                           language, account);
        }
        VersionAttributeEntry used;
        used.domainAttribute = entry;
        used.flag = true;
        if (!session->importMode)
            used.change = editRecord(rdadmin::kTableVersionAttributes, kNotStored,
                                     qxbStringFormat("Added Version Attribute: NAME = %s", name.asCstr()),
                                     language, account);
        session->newest().attributes.push_back(std::move(used));
        return true;
    });
}

bool RefDataAdminImpl::editRemoveDomainAttribute(RefDataHandle* handle, const QxbString& name) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    return guarded(handle, [&] {
        VersionAttributeEntry* used = versionAttributeNamed(handle, name);
        if (used == nullptr)
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                              qxbStringFormat("attribute %s is not an attribute of the version",
                                              quoted(name).asCstr()));
        DomainEditSession* session = handle->currentDomain;
        PendingVersion& newest = session->newest();
        DomainAttributeEntry* entry = used->domainAttribute;
        std::vector<std::pair<VersionItemEntry*, ItemAttributeValue*>> values;
        for (VersionItemEntry& item : newest.items)
            for (ItemAttributeValue& value : item.values)
                if (value.attribute == entry->attribute) values.emplace_back(&item, &value);
        dropValues(session, values);
        std::unordered_set<const DomainAttributeValue*> own;
        for (const DomainAttributeValue& value : entry->values) own.insert(&value);
        newest.values.erase(std::remove_if(newest.values.begin(), newest.values.end(),
                                           [&](const DomainAttributeValue* value) { return own.count(value) != 0; }),
                            newest.values.end());
        newest.attributes.remove_if([&](const VersionAttributeEntry& candidate) { return &candidate == used; });
        if (!session->importMode)
            noteEdit(handle, rdadmin::kTableDomainAttributes, entry->id,
                     qxbStringFormat("Removed Version Attribute: NAME = %s, VALUES = %d", name.asCstr(),
                                     static_cast<int>(values.size())));
        return true;
    });
}

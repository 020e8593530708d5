// RefDataAdminImpl: writing an edit session back (commitDomainEdit), the
// session an import fills (beginDomainImport) and the change records a
// commit would write (getPendingChanges). The commit is the one place that
// writes a new version of reference data.
//
// A commit writes, in one transaction: the domain when it is new; the
// attributes and items the session holds under pending ids (an attribute
// name or item key another writer stored meanwhile is taken as it is);
// the version; its attributes, domain attribute values, languages and
// grants; its items in order; its item values (a stored value the version
// keeps is linked, not copied) and their texts (a stored text is linked, a
// text set in the session is written once); and the change records. Nothing
// is written when another writer stored a newer version of the domain, or a
// domain of the new domain's name, after the session was opened.
#include <algorithm>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "RefDataHandle.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "rdcorecursorimpl.h"
#include "rdcorestorerow.h"
#include "repadm.h"

using rdadmin::idAt;
using rdadmin::kAny;
using rdcore::Owned;

namespace {

const char* const kYes = "Y";
const char* const kNo = "N";
// Above this many new items the commit reads every item key of the
// repository once instead of asking the store key by key.
constexpr std::size_t kKeyListingThreshold = 512;

QxbString flagText(bool flag) {
    return QxbString(flag ? kYes : kNo);
}

// A row's id, or -1 (stored as NULL) for none.
template <typename Row>
unsigned idOf(const Row* row) {
    return row != nullptr ? row->id : kAny;
}

}  // namespace

// What a commit has created so far: store ids of pending rows and of the
// session's new records.
struct RefDataAdminImpl::CommitIds {
    unsigned domainId = kNotStored;
    unsigned versionId = kNotStored;
    // Store ids of pending rows by pending order (pending ids are dense,
    // counted down from just below -1).
    std::vector<unsigned> pending;
    std::unordered_set<unsigned> createdAttributes;  // pending ids the commit stored
    std::unordered_set<unsigned> createdItems;
    std::unordered_map<const DomainAttributeEntry*, unsigned> domainAttributes;
    std::unordered_map<const VersionAttributeEntry*, unsigned> versionAttributes;
    std::unordered_map<const VersionItemEntry*, unsigned> versionItems;
    std::unordered_map<const ItemAttributeValue*, unsigned> values;

    // A row's store id: as stored, or what the commit created for a pending id.
    unsigned of(unsigned id) const {
        if (!isPendingId(id)) return id;
        const std::size_t slot = kNotStored - 1 - id;
        return slot < pending.size() ? pending[slot] : kNotStored;
    }
    void set(unsigned pendingId, unsigned storeId) {
        const std::size_t slot = kNotStored - 1 - pendingId;
        if (slot >= pending.size()) pending.resize(slot + 1, kNotStored);
        pending[slot] = storeId;
    }
};

struct RefDataAdminImpl::PlannedRecord {
    QxbString tableCode;
    unsigned objectId = kNotStored;
    QxbString description;
    const LanguageRow* language = nullptr;
    const AccountRow* account = nullptr;
    QxbDate date;
};

// --- the records a commit writes -----------------------------------------------------------------------

// The pending rows the newest version refers to, in the order they were met.
std::vector<const AttributeRow*> RefDataAdminImpl::usedPendingAttributes(DomainEditSession* session) {
    std::unordered_set<const AttributeRow*> used;
    const PendingVersion& newest = session->newest();
    for (const VersionAttributeEntry& entry : newest.attributes)
        if (entry.domainAttribute != nullptr) used.insert(entry.domainAttribute->attribute);
    for (const ItemAttributeValue* value : newest.itemValues)
        if (value != nullptr) used.insert(value->attribute);
    std::vector<const AttributeRow*> rows;
    for (const AttributeRow& row : session->pendingAttributes)
        if (used.count(&row) != 0) rows.push_back(&row);
    return rows;
}

std::vector<const ItemRow*> RefDataAdminImpl::usedPendingItems(DomainEditSession* session) {
    std::unordered_set<const ItemRow*> used;
    for (const VersionItemEntry& entry : session->newest().items) {
        used.insert(entry.item);
        used.insert(entry.parentItem);
    }
    std::vector<const ItemRow*> rows;
    for (const ItemRow& row : session->pendingItems)
        if (used.count(&row) != 0) rows.push_back(&row);
    return rows;
}

// Every record the commit writes, in order: what it creates (domain,
// attributes, version, items), then the session's edits in the order they
// were made, then the summary. Without ids (a dry run) the ids of rows not
// stored yet read "(new)" and their object ids are -1.
std::vector<RefDataAdminImpl::PlannedRecord> RefDataAdminImpl::planRecords(RefDataHandle* handle,
                                                                           const QxbString& summary,
                                                                           const CommitIds* ids) {
    DomainEditSession* session = handle->currentDomain;
    PendingVersion& newest = session->newest();
    const LanguageRow* language = editLanguage(handle);
    const AccountRow* account = newest.account;
    const QxbDate now = QxbDate::currentDate(false);
    std::vector<PlannedRecord> records;
    auto add = [&](const char* table, unsigned objectId, const QxbString& description) {
        records.push_back(PlannedRecord{QxbString(table), objectId, description, language, account, now});
    };
    auto idText = [&](unsigned id) {
        return id == kNotStored || isPendingId(id) ? QxbString("(new)") : qxbStringFormat("%d", static_cast<int>(id));
    };
    const unsigned domainId = ids != nullptr ? ids->domainId : session->id;
    const unsigned versionId = ids != nullptr ? ids->versionId : kNotStored;

    if (session->id == kNotStored)
        add(rdadmin::kTableDomains, kAny,
            qxbStringFormat("Created Domain: ID = %s, NAME = %s", idText(domainId).asCstr(), session->name.asCstr()));
    for (const AttributeRow* row : usedPendingAttributes(session)) {
        if (ids != nullptr && ids->createdAttributes.count(row->id) == 0) continue;
        const unsigned id = ids != nullptr ? ids->of(row->id) : kNotStored;
        add(rdadmin::kTableAttributes, id,
            qxbStringFormat("Created Attribute: ID = %s , NAME = %s", idText(id).asCstr(), row->name.asCstr()));
    }
    add(rdadmin::kTableVersions, versionId,
        qxbStringFormat("Created Version: ID = %s, VERSION = %d", idText(versionId).asCstr(), newest.number));
    for (const ItemRow* row : usedPendingItems(session)) {
        if (ids != nullptr && ids->createdItems.count(row->id) == 0) continue;
        const unsigned id = ids != nullptr ? ids->of(row->id) : kNotStored;
        add(rdadmin::kTableItems, id, qxbStringFormat("Added Item: ID = %s", idText(id).asCstr()));
    }

    if (!session->importMode) {
        // The session's own records with the object each describes.
        struct Edit {
            const ChangeRecord* record;
            unsigned objectId;
        };
        std::vector<Edit> edits;
        auto pendingRecord = [](const ChangeRecord& record) {
            return record.id == kNotStored && record.tableCode.length() != 0;
        };
        // The id the commit gave a new record of the session, -1 before.
        auto created = [&](const auto& map, const auto* key) {
            const auto found = map.find(key);
            return found != map.end() ? found->second : kNotStored;
        };
        const CommitIds none;
        const CommitIds& known = ids != nullptr ? *ids : none;
        for (const auto* list : {&session->domainAttributes, &session->removedDomainAttributes})
            for (const DomainAttributeEntry& entry : *list)
                if (pendingRecord(entry.change))
                    edits.push_back(Edit{&entry.change, entry.id != kNotStored
                                                            ? entry.id
                                                            : created(known.domainAttributes, &entry)});
        for (const VersionAttributeEntry& entry : newest.attributes)
            if (pendingRecord(entry.change))
                edits.push_back(Edit{&entry.change, created(known.versionAttributes, &entry)});
        // The record of an entry added by the Parts' addDomainItem describes
        // the new version item; one added by key names its item.
        for (const VersionItemEntry& entry : newest.items)
            if (pendingRecord(entry.change))
                edits.push_back(Edit{&entry.change, entry.change.objectId == kNotStored
                                                        ? created(known.versionItems, &entry)
                                                        : known.of(entry.change.objectId)});
        for (const ChangeRecord& record : session->changeRecords)
            if (pendingRecord(record))
                edits.push_back(Edit{&record, ids != nullptr ? ids->of(record.objectId)
                                                             : (isPendingId(record.objectId) ? kNotStored
                                                                                             : record.objectId)});
        std::stable_sort(edits.begin(), edits.end(),
                         [](const Edit& a, const Edit& b) { return a.record->sequence < b.record->sequence; });
        for (const Edit& edit : edits)
            records.push_back(PlannedRecord{edit.record->tableCode, edit.objectId, edit.record->description,
                                            edit.record->language, edit.record->account, edit.record->date});
    }
    if (summary.length() != 0) add(rdadmin::kTableVersions, versionId, summary);
    return records;
}

RefDataCursor* RefDataAdminImpl::getPendingChanges(RefDataHandle* handle) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return nullptr;
    try {
        const std::vector<PlannedRecord> records = planRecords(handle, QxbString(), nullptr);
        RefDataCacheCursorImpl* cursor = rdcore::allocate<RefDataCacheCursorImpl>();
        if (cursor == nullptr || !cursor->setColumns(3)) {
            if (cursor != nullptr) cursor->release();
            report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
            return nullptr;
        }
        Owned<RefDataCacheCursorImpl> owned(cursor);
        owned->setColumnName(0, "TABLE_CODE");
        owned->setColumnName(1, "OBJECT_ID");
        owned->setColumnName(2, "DESCRIPTION");
        for (const PlannedRecord& record : records) {
            if (owned->addRow() == 0) throw std::bad_alloc();
            QxbDatavar value;
            value.assign(record.tableCode);
            owned->setValue(0, value);
            QxbDatavar object;
            if (record.objectId != kNotStored) object.assign(static_cast<int>(record.objectId));
            owned->setValue(1, object);
            value.assign(record.description);
            owned->setValue(2, value);
        }
        owned->rewind();
        return owned.release();
    } catch (const std::bad_alloc&) {
        report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
}

// --- opening a session for an import -------------------------------------------------------------------

bool RefDataAdminImpl::beginDomainImport(RefDataHandle* handle, const QxbString& name, unsigned accountId,
                                         const QxbString& versionLabel, bool* createdOut) {
    if (!connected(handle, RDADMIN_SITE)) return false;
    if (handle->currentDomain != nullptr) return report(handle, RDADMIN_SITE, rdcore::kMsgNoConnection);
    if (!createSession(handle, RDADMIN_SITE)) return false;
    try {
        DomainEditSession* session = handle->currentDomain;
        const AccountRow* account = nullptr;
        std::vector<unsigned> ids;
        const bool ready = rebuildCatalogues(handle) && (account = findAccountById(handle, accountId)) != nullptr &&
                           domainIdsNamed(handle, name, &ids);
        if (!ready) {
            discardSession(handle);
            return false;
        }
        if (ids.size() > 1) {
            discardSession(handle);
            return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgExists,
                              qxbStringFormat("%d domains are named '%s'", static_cast<int>(ids.size()),
                                              name.asCstr()));
        }
        int newestNumber = 0;
        unsigned storedNewest = kNotStored;
        if (ids.size() == 1) {
            unsigned& newestId = storedNewest;
            if (!loadDomainShape(handle, ids.front()) ||
                !storedNewestNumber(handle, ids.front(), &newestNumber, &newestId) ||
                (newestId != kNotStored && !loadStoredValues(handle, newestId))) {
                discardSession(handle);
                return false;
            }
        } else {
            session->name = name;
            session->flag1 = true;
            session->flag2 = true;
        }
        session->importMode = true;
        session->storedNewestId = storedNewest;
        session->versions.emplace_back();
        PendingVersion& version = session->versions.back();
        version.number = newestNumber + 1;
        version.label = versionLabel;
        version.flag1 = true;
        version.flag2 = true;
        version.account = account;
        version.date = QxbDate::currentDate(false);
        if (createdOut != nullptr) *createdOut = ids.empty();
        return true;
    } catch (const std::bad_alloc&) {
        discardSession(handle);
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

bool RefDataAdminImpl::domainIdsNamed(RefDataHandle* handle, const QxbString& name, std::vector<unsigned>* ids) {
    const QxbString none;
    const QxbDate noDate;
    return walkListing(handle,
                       handle->adminStore->listDomains(kAny, name, none, none, none, none, none, kAny, none, kAny,
                                                       kAny, noDate, none, noDate),
                       [&](StoreResultSet& row) {
                           ids->push_back(idAt(row, 0));
                           return true;
                       });
}

bool RefDataAdminImpl::storedNewestNumber(RefDataHandle* handle, unsigned domainId, int* number,
                                          unsigned* versionId) {
    const QxbString none;
    const QxbDate noDate;
    *number = 0;
    return walkListing(handle,
                       handle->adminStore->listDomainVersions(kAny, domainId, kAny, none, none, none, none, kAny,
                                                              none, kAny, noDate, noDate),
                       [&](StoreResultSet& row) {
                           if (row.getInt(2) < *number) return true;
                           *number = row.getInt(2);
                           if (versionId != nullptr) *versionId = idAt(row, 0);
                           return true;
                       });
}

// The newest version's values by item and attribute, with their texts (rows
// of the catalogue the session has just read; a text missing there, stored
// by another writer since, is not offered for linking).
bool RefDataAdminImpl::loadStoredValues(RefDataHandle* handle, unsigned versionId) {
    DomainEditSession* session = handle->currentDomain;
    return walkListing(handle, handle->adminStore->listVersionValueTexts(versionId), [&](StoreResultSet& row) {
        const std::uint64_t key = (static_cast<std::uint64_t>(idAt(row, 0)) << 32) | idAt(row, 1);
        DomainEditSession::StoredValue& value = session->storedValues[key];
        if (value.id == kNotStored) value.id = idAt(row, 2);
        if (value.id != idAt(row, 2)) return true;  // a second value of the pair: not offered
        if (const LocalizedTextRow* text = localizedTextWithId(handle, idAt(row, 3))) {
            value.texts.push_back(text);
            ++session->storedTextCount;
        }
        return true;
    });
}

// Equal content: no item added, removed or changed (getImportChanges), and
// the same attributes of the version.
bool RefDataAdminImpl::importMatchesNewest(RefDataHandle* handle, bool* sameOut) {
    int added = 0, removed = 0, changed = 0;
    if (!getImportChanges(handle, &added, &removed, &changed)) return false;
    if (sameOut == nullptr) return true;
    DomainEditSession* session = handle->currentDomain;
    *sameOut = false;
    if (session->storedNewestId == kNotStored || added != 0 || removed != 0 || changed != 0) return true;
    try {
        std::vector<unsigned> stored, ours;
        const QxbString none;
        if (!walkListing(handle,
                         handle->adminStore->listVersionAttributes(session->id, kAny, session->storedNewestId, none),
                         [&](StoreResultSet& row) {
                             stored.push_back(idAt(row, 1));
                             return true;
                         }))
            return false;
        for (const VersionAttributeEntry& used : session->newest().attributes)
            ours.push_back(used.domainAttribute != nullptr ? used.domainAttribute->id : kNotStored);
        std::sort(stored.begin(), stored.end());
        std::sort(ours.begin(), ours.end());
        *sameOut = stored == ours;
        return true;
    } catch (const std::bad_alloc&) {
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

// --- the commit ------------------------------------------------------------------------------------------

bool RefDataAdminImpl::commitDomainEdit(RefDataHandle* handle, const QxbString& summary, unsigned* domainIdOut,
                                        unsigned* versionIdOut, int* versionNumberOut) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    try {
        DomainEditSession* session = handle->currentDomain;
        CommitIds ids;
        {
            Transaction transaction(handle->adminStore);
            if (!transaction.begin()) return storeFailed(handle, RDADMIN_SITE);
            if (!commitUnchanged(handle) || !writeDomain(handle, &ids) || !writePendingAttributes(handle, &ids) ||
                !writeVersion(handle, &ids) || !writePendingItems(handle, &ids) || !writeVersionItems(handle, &ids) ||
                !writeItemValues(handle, &ids) || !writeRecords(handle, summary, ids))
                return false;
            if (!transaction.commit()) return storeFailed(handle, RDADMIN_SITE);
        }
        const int number = session->newest().number;
        discardSession(handle);
        if (domainIdOut != nullptr) *domainIdOut = ids.domainId;
        if (versionIdOut != nullptr) *versionIdOut = ids.versionId;
        if (versionNumberOut != nullptr) *versionNumberOut = number;
        return true;
    } catch (const std::bad_alloc&) {
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

// No other writer has stored a newer version of the domain (or a domain of
// the new domain's name) since the session was opened. Runs inside the
// commit's write transaction, so nothing can slip in between.
bool RefDataAdminImpl::commitUnchanged(RefDataHandle* handle) {
    DomainEditSession* session = handle->currentDomain;
    if (session->id == kNotStored) {
        std::vector<unsigned> ids;
        if (!domainIdsNamed(handle, session->name, &ids)) return false;
        if (ids.empty()) return true;
        return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgExists,
                          qxbStringFormat("domain '%s' was created by another writer as domain %d; nothing was "
                                          "written",
                                          session->name.asCstr(), static_cast<int>(ids.front())));
    }
    const QxbString none;
    const QxbDate noDate;
    const int found = firstRow(handle,
                               handle->adminStore->listDomains(session->id, none, none, none, none, none, none, kAny,
                                                               none, kAny, kAny, noDate, none, noDate),
                               [](StoreResultSet&) { return true; });
    if (found < 0) return false;
    if (found == 0)
        return refuseEdit(handle, RDADMIN_SITE, rdadmin::kMsgNotFound,
                          qxbStringFormat("domain '%s' was removed by another writer; nothing was written",
                                          session->name.asCstr()));
    int stored = 0;
    if (!storedNewestNumber(handle, session->id, &stored, nullptr)) return false;
    const int base = session->newest().number - 1;
    if (stored == base) return true;
    const QxbString text = qxb_get_message(__FILE__, __LINE__, rdcore::kModule, rdcore::kMsgVersionConflict,
                                           session->name, qxbStringFormat("%d", stored), qxbStringFormat("%d", base));
    handle->errorText = text;
    logLine(RDADMIN_SITE, text);
    return false;
}

bool RefDataAdminImpl::writeDomain(RefDataHandle* handle, CommitIds* ids) {
    DomainEditSession* session = handle->currentDomain;
    if (session->id != kNotStored) {
        ids->domainId = session->id;
        return true;
    }
    const QxbString none;
    const AccountRow* account = session->newest().account;
    if (!handle->adminStore->insertDomain(session->name, session->description, session->text1,
                                          flagText(session->flag1), flagText(session->flag2), session->text2,
                                          session->number1, none, idOf(account),
                                          session->number2, session->date, session->kindCode, &ids->domainId))
        return storeFailed(handle, RDADMIN_SITE);
    return true;
}

bool RefDataAdminImpl::writePendingAttributes(RefDataHandle* handle, CommitIds* ids) {
    RefDataStore* store = handle->adminStore;
    const QxbString none;
    for (const AttributeRow* row : usedPendingAttributes(handle->currentDomain)) {
        unsigned id = kNotStored;
        const int found = firstRow(handle, store->listAttributes(kAny, row->name, none), [&](StoreResultSet& stored) {
            id = idAt(stored, 0);
            return true;
        });
        if (found < 0) return false;
        if (found == 0) {
            const AttributeTypeRow* type = row->attributeType;
            const AttributeContextRow* context = row->attributeContext;
            const AccountRow* account = handle->currentDomain->newest().account;
            if (!store->insertAttribute(row->name, row->label, idOf(type),
                                        type ? type->name : none, idOf(context),
                                        idOf(row->language),
                                        idOf(account), none, &id))
                return storeFailed(handle, RDADMIN_SITE);
            ids->createdAttributes.insert(row->id);
        }
        ids->set(row->id, id);
    }
    return true;
}

// The version row, then what it uses of the domain: attributes (a domain
// attribute the session added is stored first, unless the store has one for
// the attribute already), domain attribute values, languages and grants.
bool RefDataAdminImpl::writeVersion(RefDataHandle* handle, CommitIds* ids) {
    RefDataStore* store = handle->adminStore;
    DomainEditSession* session = handle->currentDomain;
    PendingVersion& newest = session->newest();
    const QxbString none;
    const QxbString label =
        newest.label.length() != 0 ? newest.label : qxbStringFormat("Version %d", newest.number);
    const AccountRow* account = newest.account;
    if (!store->insertDomainVersion(ids->domainId, newest.number, label, flagText(newest.flag1),
                                    flagText(newest.flag2), newest.text, idOf(account),
                                    QxbString(kNo), -1, newest.date, &ids->versionId))
        return storeFailed(handle, RDADMIN_SITE);
    for (const VersionAttributeEntry& used : newest.attributes) {
        DomainAttributeEntry* entry = used.domainAttribute;
        if (entry == nullptr || entry->attribute == nullptr) continue;
        unsigned domainAttributeId = entry->id;
        if (domainAttributeId == kNotStored) {
            const auto known = ids->domainAttributes.find(entry);
            if (known != ids->domainAttributes.end()) {
                domainAttributeId = known->second;
            } else {
                const unsigned attributeId = ids->of(entry->attribute->id);
                const int found = firstRow(handle, store->listDomainAttributes(kAny, ids->domainId, attributeId),
                                           [&](StoreResultSet& row) {
                                               domainAttributeId = idAt(row, 0);
                                               return true;
                                           });
                if (found < 0) return false;
                if (found == 0 && !store->insertDomainAttribute(ids->domainId, attributeId, &domainAttributeId))
                    return storeFailed(handle, RDADMIN_SITE);
                ids->domainAttributes[entry] = domainAttributeId;
            }
        }
        unsigned versionAttributeId = kNotStored;
        if (!store->insertVersionAttribute(ids->domainId, domainAttributeId, ids->versionId, flagText(used.flag),
                                           &versionAttributeId))
            return storeFailed(handle, RDADMIN_SITE);
        ids->versionAttributes[&used] = versionAttributeId;
    }
    for (const DomainAttributeValue* value : newest.values)
        if (value != nullptr && value->id != kNotStored && !store->insertVersionValue(ids->versionId, value->id))
            return storeFailed(handle, RDADMIN_SITE);
    for (const DomainLanguageEntry* language : newest.languages)
        if (language != nullptr && language->id != kNotStored &&
            !store->insertVersionLanguage(ids->versionId, language->id))
            return storeFailed(handle, RDADMIN_SITE);
    for (const AccessPair& grant : newest.permissions)
        if (!store->insertVersionPermission(ids->versionId, idOf(grant.account),
                                            idOf(grant.permission),
                                            nullptr))
            return storeFailed(handle, RDADMIN_SITE);
    return true;
}

// Items of pending keys: one another writer stored meanwhile is taken as it
// is; the others are created.
bool RefDataAdminImpl::writePendingItems(RefDataHandle* handle, CommitIds* ids) {
    RefDataStore* store = handle->adminStore;
    const std::vector<const ItemRow*> rows = usedPendingItems(handle->currentDomain);
    if (rows.empty()) return true;
    const QxbString none;
    std::unordered_map<std::string, unsigned> stored;
    const bool listAll = rows.size() > kKeyListingThreshold;
    if (listAll &&
        !walkListing(handle, store->listItems(kAny, none, none, none, none, none, kAny), [&](StoreResultSet& row) {
            stored.emplace(row.getString(1).str(), idAt(row, 0));
            return true;
        }))
        return false;
    for (const ItemRow* row : rows) {
        unsigned id = kNotStored;
        if (listAll) {
            const auto found = stored.find(row->key.str());
            if (found != stored.end()) id = found->second;
        } else {
            const int found = firstRow(handle, store->listItems(kAny, row->key, none, none, none, none, kAny),
                                       [&](StoreResultSet& item) {
                                           id = idAt(item, 0);
                                           return true;
                                       });
            if (found < 0) return false;
        }
        if (id == kNotStored) {
            const AccountRow* account = row->account;
            if (!store->insertItem(row->key, row->text, flagText(row->flag1), flagText(row->flag2), row->text2,
                                   idOf(account), &id))
                return storeFailed(handle, RDADMIN_SITE);
            ids->createdItems.insert(row->id);
        }
        ids->set(row->id, id);
    }
    return true;
}

bool RefDataAdminImpl::writeVersionItems(RefDataHandle* handle, CommitIds* ids) {
    RefDataStore* store = handle->adminStore;
    PendingVersion& newest = handle->currentDomain->newest();
    ids->versionItems.reserve(newest.items.size());
    for (const VersionItemEntry& entry : newest.items) {
        if (entry.item == nullptr) continue;
        const unsigned parent = entry.parentItem != nullptr ? ids->of(entry.parentItem->id) : kAny;
        unsigned id = kNotStored;
        if (!store->insertVersionItem(ids->versionId, ids->of(entry.item->id), static_cast<int>(entry.number),
                                      entry.text, parent, entry.date.isNull() ? nullptr : &entry.date, &id))
            return storeFailed(handle, RDADMIN_SITE);
        ids->versionItems[&entry] = id;
    }
    return true;
}

// A value the version keeps from a stored version is linked as it is; a new
// one is stored for its new version item. Then the version's references to
// its values, and the texts of each value (a text set in the session is
// stored once, whatever links it).
bool RefDataAdminImpl::writeItemValues(RefDataHandle* handle, CommitIds* ids) {
    RefDataStore* store = handle->adminStore;
    PendingVersion& newest = handle->currentDomain->newest();
    ids->values.reserve(newest.itemValues.size());
    for (const VersionItemEntry& entry : newest.items) {
        const auto item = ids->versionItems.find(&entry);
        if (item == ids->versionItems.end()) continue;
        for (const ItemAttributeValue& value : entry.values) {
            unsigned id = value.id;
            if (id == kNotStored && value.attribute != nullptr &&
                !store->insertItemAttributeValue(item->second, ids->of(value.attribute->id), &id))
                return storeFailed(handle, RDADMIN_SITE);
            ids->values[&value] = id;
        }
    }
    auto valueId = [&](const ItemAttributeValue* value) {
        if (value == nullptr) return kNotStored;
        const auto found = ids->values.find(value);
        return found != ids->values.end() ? found->second : value->id;
    };
    for (const ItemAttributeValue* value : newest.itemValues) {
        const unsigned id = valueId(value);
        if (id != kNotStored && !store->insertVersionItemValue(ids->versionId, id))
            return storeFailed(handle, RDADMIN_SITE);
    }
    for (const ItemValueLink& link : newest.itemValueLinks) {
        const unsigned value = valueId(link.value);
        if (value == kNotStored || link.localizedText == nullptr) continue;
        unsigned text = link.localizedText->id;
        if (isPendingId(text)) {
            const unsigned known = ids->of(text);
            if (known != kNotStored) {
                text = known;
            } else {
                const LanguageRow* language = link.localizedText->language;
                if (!store->insertLocalizedText(link.localizedText->text,
                                                idOf(language), &text))
                    return storeFailed(handle, RDADMIN_SITE);
                ids->set(link.localizedText->id, text);
            }
        }
        if (!store->insertVersionItemValueLink(ids->versionId, text, value)) return storeFailed(handle, RDADMIN_SITE);
    }
    return true;
}

bool RefDataAdminImpl::writeRecords(RefDataHandle* handle, const QxbString& summary, const CommitIds& ids) {
    RefDataStore* store = handle->adminStore;
    const QxbString status("A");
    for (const PlannedRecord& record : planRecords(handle, summary, &ids)) {
        if (!store->writeChangeRecord(ids.domainId, status, record.objectId, record.tableCode, record.description,
                                      idOf(record.language),
                                      idOf(record.account),
                                      record.date.isNull() ? nullptr : &record.date))
            return storeFailed(handle, RDADMIN_SITE);
    }
    return true;
}

// Item by item against the stored newest version: one listing of its items;
// values are compared through what the import session kept (the id of a
// stored value set again, the stored text rows set again).
bool RefDataAdminImpl::getImportChanges(RefDataHandle* handle, int* addedOut, int* removedOut, int* changedOut) {
    if (!sessionOpen(handle, RDADMIN_SITE)) return false;
    DomainEditSession* session = handle->currentDomain;
    if (!session->importMode)
        return refuseEdit(handle, RDADMIN_SITE, rdcore::kMsgEditNotApplicable,
                          "only a session opened for an import compares with the stored version");
    try {
        struct StoredItem {
            int position = 0;
            QxbString label;
            unsigned parent = kAny;
            std::size_t values = 0;
            bool seen = false;
        };
        std::unordered_map<unsigned, StoredItem> stored;
        if (session->storedNewestId != kNotStored) {
            const QxbString none;
            const QxbDate noDate;
            if (!walkListing(handle,
                             handle->adminStore->listVersionItems(kAny, session->storedNewestId, kAny, noDate, kAny,
                                                                  none, kAny),
                             [&](StoreResultSet& row) {
                                 StoredItem& item = stored[idAt(row, 2)];
                                 item.position = row.getInt(4);
                                 item.label = row.getString(5);
                                 item.parent = idAt(row, 6);
                                 return true;
                             }))
                return false;
            for (const auto& value : session->storedValues) {
                const auto item = stored.find(static_cast<unsigned>(value.first >> 32));
                if (item != stored.end()) ++item->second.values;
            }
        }
        session->buildLinkChains();
        const std::vector<ItemValueLink>& links = session->newest().itemValueLinks;
        int added = 0, removed = 0, changed = 0;
        for (const VersionItemEntry& entry : session->newest().items) {
            const auto found = entry.item != nullptr ? stored.find(entry.item->id) : stored.end();
            if (found == stored.end() || found->second.seen) {
                ++added;
                continue;
            }
            StoredItem& item = found->second;
            item.seen = true;
            const unsigned parent = entry.parentItem != nullptr ? entry.parentItem->id : kAny;
            bool same = static_cast<int>(entry.number) == item.position && entry.text == item.label &&
                        parent == item.parent && entry.values.size() == item.values;
            for (const ItemAttributeValue& value : entry.values) {
                const DomainEditSession::StoredValue* known = session->storedValue(&entry, value.attribute);
                if (!same || known == nullptr || known->id != value.id) {
                    same = false;
                    break;
                }
                std::size_t texts = 0;
                for (std::size_t at = value.firstLink; at != kNoLink; at = links[at].nextOfValue) {
                    ++texts;
                    if (std::find(known->texts.begin(), known->texts.end(), links[at].localizedText) ==
                        known->texts.end())
                        same = false;
                }
                same = same && texts == known->texts.size();
            }
            if (!same) ++changed;
        }
        for (const auto& item : stored)
            if (!item.second.seen) ++removed;
        if (addedOut != nullptr) *addedOut = added;
        if (removedOut != nullptr) *removedOut = removed;
        if (changedOut != nullptr) *changedOut = changed;
        return true;
    } catch (const std::bad_alloc&) {
        return report(handle, RDADMIN_SITE, rdcore::kMsgOutOfMemory);
    }
}

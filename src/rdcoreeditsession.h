// DomainEditSession: the administration layer's in-memory edit of one domain,
// held by a handle between beginNewDomain/beginNewDomainVersion and
// endDomainEdit/cancelDomainEdit.
//
// References are plain pointers to catalogue rows (RefDataHandle.h) or to
// records of the same session; a null reference means "none" (an id the
// store did not resolve, or a NULL column). Records that others point at and
// that can be erased from the middle of their sequence live in std::list, so
// an erase never moves another record; append-only sequences are deques.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "RefDataHandle.h"
#include "qxbcpp.h"

// The id of a record that is not stored yet.
constexpr unsigned kNotStored = static_cast<unsigned>(-1);

// The end of a chain of links.
constexpr std::size_t kNoLink = static_cast<std::size_t>(-1);

// Ids of the items, attributes and texts a session holds until its commit
// creates them: counted down from just below kNotStored. Store ids are
// positive 32-bit signed integers, so the two ranges never meet.
constexpr unsigned kFirstPendingId = 0x80000000u;
inline bool isPendingId(unsigned id) { return id >= kFirstPendingId && id != kNotStored; }

struct ChangeRecord {
    unsigned id = kNotStored;
    QxbString status;
    unsigned objectId = kNotStored;
    QxbString tableCode;
    QxbString description;
    const LanguageRow* language = nullptr;
    const AccountRow* account = nullptr;
    QxbDate date;
    // Order of creation in the session (records of entries and of the
    // session's history are written in this order by the commit).
    std::uint64_t sequence = 0;
};

struct AccessPair {
    const AccountRow* account = nullptr;
    const PermissionRow* permission = nullptr;
};

struct RoleAccessPair {
    const AccountRow* account = nullptr;
    const RoleRow* role = nullptr;
};

struct DomainAssociation {
    int id = 0;
    QxbString text;
};

struct DomainLanguageEntry {
    unsigned id = kNotStored;
    const LanguageRow* language = nullptr;
};

struct DomainAttributeValue {
    unsigned id = kNotStored;
    QxbString text;
    bool flag = false;
    const LanguageRow* language = nullptr;
};

struct DomainAttributeEntry {
    unsigned id = kNotStored;
    const AttributeRow* attribute = nullptr;
    std::vector<AccessPair> permissions;
    std::list<DomainAttributeValue> values;
    ChangeRecord change;
    // Removed in this session: no longer among the domain's attributes, kept
    // alive for the older versions that still point at it and its values.
    bool removed = false;
};

struct VersionAttributeEntry {
    DomainAttributeEntry* domainAttribute = nullptr;
    bool flag = false;
    ChangeRecord change;
};

struct VersionItemEntry;

struct ItemAttributeValue {
    unsigned id = kNotStored;
    VersionItemEntry* owner = nullptr;
    const AttributeRow* attribute = nullptr;
    std::vector<AccessPair> permissions;
    // Scratch of copyPendingVersion: the value's copy in the version being
    // made (a pointer beside the value is far cheaper than a map of 300,000).
    mutable ItemAttributeValue* copiedTo = nullptr;
    // The first of the value's links in the newest version (a chain through
    // ItemValueLink::nextOfValue), while DomainEditSession::linkChainsBuilt.
    mutable std::size_t firstLink = kNoLink;
};

struct VersionItemEntry {
    unsigned id = kNotStored;  // the version item's id
    const ItemRow* item = nullptr;
    QxbDate date;
    unsigned number = 0;
    QxbString text;
    const ItemRow* parentItem = nullptr;  // null: a top-level item
    std::list<ItemAttributeValue> values;
    ChangeRecord change;
};

// A link whose value is null was removed by an edit (the sequence is not
// compacted, so the positions the link chains hold stay).
struct ItemValueLink {
    const LocalizedTextRow* localizedText = nullptr;
    ItemAttributeValue* value = nullptr;
    // The next link of the same value (see ItemAttributeValue::firstLink).
    std::size_t nextOfValue = kNoLink;
};

struct PendingVersion {
    unsigned id = kNotStored;
    int number = 0;
    QxbString label;
    bool flag1 = false;
    bool flag2 = false;
    QxbString text;
    const AccountRow* account = nullptr;
    QxbDate date;
    std::vector<AccessPair> permissions;
    std::vector<DomainLanguageEntry*> languages;
    std::list<VersionAttributeEntry> attributes;
    std::vector<DomainAttributeValue*> values;
    std::list<VersionItemEntry> items;
    std::vector<ItemAttributeValue*> itemValues;
    std::vector<ItemValueLink> itemValueLinks;

    PendingVersion() = default;
    PendingVersion(const PendingVersion&) = delete;
    PendingVersion& operator=(const PendingVersion&) = delete;
    PendingVersion(PendingVersion&&) = default;
};

struct DomainExtra {
    unsigned id = kNotStored;
    QxbString text1;
    QxbString text2;
    int number = 0;
    QxbString text3;
    QxbString text4;
};

struct DomainEditSession {
    unsigned id = kNotStored;
    QxbString name;
    QxbString description;
    QxbString text1;
    bool flag1 = false;
    bool flag2 = false;
    QxbString text2;
    int number1 = 0;
    int number2 = 0;
    QxbString kindCode;
    QxbDate date;
    std::vector<AccessPair> permissions;
    std::deque<PendingVersion> versions;  // oldest first; the last is the newest
    std::vector<RoleAccessPair> rolePermissions;
    std::vector<DomainAssociation> associations;
    std::deque<ChangeRecord> changeRecords;
    std::deque<DomainLanguageEntry> languages;
    std::list<DomainAttributeEntry> domainAttributes;
    std::vector<DomainExtra> extras;
    // Domain attributes removed in this session, moved here whole (a list
    // splice keeps every address) for the references of older versions.
    std::list<DomainAttributeEntry> removedDomainAttributes;

    // The newest version's entries by item id, in version order, built on
    // first use. Whatever erases entries of the newest version keeps it
    // current or clears newestIndexBuilt.
    std::unordered_map<unsigned, std::vector<VersionItemEntry*>> newestEntriesByItem;
    bool newestIndexBuilt = false;

    // --- what the commit writes beyond the Parts' records ------------------------
    // Rows the edits of RefDataAdminEx met and the store lacks, with pending
    // ids; created by the commit.
    std::deque<ItemRow> pendingItems;
    std::unordered_map<std::string, ItemRow*> pendingItemKeys;
    std::deque<AttributeRow> pendingAttributes;
    std::unordered_map<std::string, AttributeRow*> pendingAttributeNames;
    std::deque<LocalizedTextRow> pendingTexts;
    unsigned nextPendingId = kNotStored - 1;
    // The largest position (VersionItemEntry::number) in the newest version,
    // when known; whatever adds an entry of another position clears it.
    unsigned newestMaxNumber = 0;
    bool newestMaxNumberKnown = false;
    // Opened for content that replaces the version whole: edits record nothing.
    bool importMode = false;
    // The values of the stored newest version by (item id << 32 | attribute
    // id), read when an import session opens on a stored domain: a value the
    // import sets again is linked (its id kept), and a text it sets again is
    // linked too, rather than written a second time.
    struct StoredValue {
        unsigned id = kNotStored;
        std::vector<const LocalizedTextRow*> texts;
    };
    std::unordered_map<std::uint64_t, StoredValue> storedValues;
    std::size_t storedTextCount = 0;
    // The stored value of the entry's item and the attribute, or null.
    const StoredValue* storedValue(const VersionItemEntry* entry, const AttributeRow* attribute) const;
    // The stored newest version an import session replaces, -1 for none.
    unsigned storedNewestId = kNotStored;
    // Each value of the newest version chains its links (by position in
    // itemValueLinks), built on first use; whatever compacts the links or
    // adds one outside the chains clears linkChainsBuilt.
    bool linkChainsBuilt = false;

    PendingVersion& newest() { return versions.back(); }
    // newestEntriesByItem, built when it is not.
    std::unordered_map<unsigned, std::vector<VersionItemEntry*>>& newestIndex();
    // Builds the link chains when they are not.
    void buildLinkChains();
    // Appends a link and chains it.
    void appendLink(const LocalizedTextRow* text, ItemAttributeValue* value);
    unsigned takePendingId() { return nextPendingId--; }
};

// Frees the session with everything it owns; nothing for null.
void destroyDomainEditSession(DomainEditSession* session);

// A copy of a version: new item entries with new copies of their values
// (each copy owned by its new entry) and new attribute entries; the copy's
// item value references and links point at the copied values; everything
// else (catalogue rows, domain attributes, domain attribute values,
// languages) is referred to as the source refers to it.
void copyPendingVersion(const PendingVersion& source, PendingVersion* copy);

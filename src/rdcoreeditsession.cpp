// Life of the administration layer's domain edit session, and the copy of a
// version that opens a new version of a stored domain.
#include "rdcoreeditsession.h"


void destroyDomainEditSession(DomainEditSession* session) {
    delete session;
}

std::unordered_map<unsigned, std::vector<VersionItemEntry*>>& DomainEditSession::newestIndex() {
    if (!newestIndexBuilt) {
        newestEntriesByItem.clear();
        for (VersionItemEntry& entry : newest().items)
            if (entry.item != nullptr) newestEntriesByItem[entry.item->id].push_back(&entry);
        newestIndexBuilt = true;
    }
    return newestEntriesByItem;
}

const DomainEditSession::StoredValue* DomainEditSession::storedValue(const VersionItemEntry* entry,
                                                                     const AttributeRow* attribute) const {
    if (storedValues.empty() || entry == nullptr || entry->item == nullptr || attribute == nullptr ||
        isPendingId(entry->item->id) || isPendingId(attribute->id))
        return nullptr;
    const auto found = storedValues.find((static_cast<std::uint64_t>(entry->item->id) << 32) | attribute->id);
    return found != storedValues.end() ? &found->second : nullptr;
}

void DomainEditSession::buildLinkChains() {
    if (linkChainsBuilt) return;
    std::vector<ItemValueLink>& links = newest().itemValueLinks;
    for (VersionItemEntry& entry : newest().items)
        for (ItemAttributeValue& value : entry.values) value.firstLink = kNoLink;
    for (ItemValueLink& link : links)
        if (link.value != nullptr) link.value->firstLink = kNoLink;
    // Backwards, so that each chain runs in the links' order.
    for (std::size_t i = links.size(); i-- > 0;) {
        ItemValueLink& link = links[i];
        if (link.value == nullptr) continue;
        link.nextOfValue = link.value->firstLink;
        link.value->firstLink = i;
    }
    linkChainsBuilt = true;
}

void DomainEditSession::appendLink(const LocalizedTextRow* text, ItemAttributeValue* value) {
    std::vector<ItemValueLink>& links = newest().itemValueLinks;
    links.push_back(ItemValueLink{text, value, kNoLink});
    if (!linkChainsBuilt) return;
    // At the end of the value's chain, keeping the links' order.
    std::size_t* at = &value->firstLink;
    while (*at != kNoLink) at = &links[*at].nextOfValue;
    *at = links.size() - 1;
}

void copyPendingVersion(const PendingVersion& source, PendingVersion* copy) {
    copy->id = source.id;
    copy->number = source.number;
    copy->label = source.label;
    copy->flag1 = source.flag1;
    copy->flag2 = source.flag2;
    copy->text = source.text;
    copy->account = source.account;
    copy->date = source.date;
    copy->permissions = source.permissions;
    copy->languages = source.languages;
    copy->attributes = source.attributes;
    copy->values = source.values;

    // Each copied value is owned by its new entry; the references of the
    // copy follow its own values, so the new version points only into
    // itself (and at shared catalogue and domain records).
    for (const VersionItemEntry& entry : source.items) {
        copy->items.push_back(entry);
        VersionItemEntry& fresh = copy->items.back();
        auto from = entry.values.begin();
        for (ItemAttributeValue& value : fresh.values) {
            value.owner = &fresh;
            value.copiedTo = nullptr;
            from->copiedTo = &value;
            ++from;
        }
    }
    // A reference to a value no entry of the source owns stays as it is.
    auto follow = [](ItemAttributeValue* value) {
        return value != nullptr && value->copiedTo != nullptr ? value->copiedTo : value;
    };
    copy->itemValues.reserve(source.itemValues.size());
    for (ItemAttributeValue* value : source.itemValues) copy->itemValues.push_back(follow(value));
    copy->itemValueLinks.reserve(source.itemValueLinks.size());
    for (const ItemValueLink& link : source.itemValueLinks)
        copy->itemValueLinks.push_back(ItemValueLink{link.localizedText, follow(link.value), kNoLink});
    for (const VersionItemEntry& entry : source.items)
        for (const ItemAttributeValue& value : entry.values) value.copiedTo = nullptr;
}

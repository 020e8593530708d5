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

std::unordered_map<const ItemAttributeValue*, std::vector<std::size_t>>& DomainEditSession::linkIndex() {
    if (!linkIndexBuilt) {
        linksByValue.clear();
        const std::vector<ItemValueLink>& links = newest().itemValueLinks;
        for (std::size_t i = 0; i < links.size(); ++i)
            if (links[i].value != nullptr) linksByValue[links[i].value].push_back(i);
        linkIndexBuilt = true;
    }
    return linksByValue;
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
        copy->itemValueLinks.push_back(ItemValueLink{link.localizedText, follow(link.value)});
    for (const VersionItemEntry& entry : source.items)
        for (const ItemAttributeValue& value : entry.values) value.copiedTo = nullptr;
}

// RefDataViewerEx: the queries a caller needs beyond RefDataViewer, appended
// after its last slot so that a caller built against RefDataViewer keeps
// working. Reached through RefData::getViewerEx; the object is the handle's
// query object. Conventions as in RefDataViewer: a cursor, or null with the
// reason in the handle's error text and the log.
#pragma once

#include "RefDataViewer.h"

class RefDataViewerEx : public RefDataViewer {
public:
    // The attributes of the repository (domainId -1), or those the domain's
    // newest version uses, ordered by name: "ID", "NAME", "LABEL", "TYPE",
    // "CONTEXT". A domain without versions has none; an unknown domain id:
    // message 1823.
    virtual RefDataCursor* getAttributes(RefDataHandle* handle, int domainId) = 0;

    // What changed between two versions of a domain, one row per change, in
    // key order (byte order): "KEY", "CHANGE" ("added", "removed" or
    // "changed"), "FIELD" (empty for an added or removed item; for a changed
    // item one row per field that differs: "label", "parent" (the parent's
    // key), "position", then "ATTRIBUTE@LANG" in name and language order),
    // "OLD", "NEW" (null where there is none). fromNumber 0 is the version
    // before toNumber; toNumber 0 is the newest. The two versions are read
    // side by side in key order as the cursor advances, never whole. An
    // unknown domain: 1823; a version it does not have: 1824.
    virtual RefDataCursor* getVersionDiff(RefDataHandle* handle, int domainId, int fromNumber,
                                          int toNumber) = 0;
    // Whether the domain's version holds an item with the key (byte-equal):
    // 1 yes, 0 no, -1 an error (reason in the handle's error text and the
    // log). The domain and version are chosen as getDomainItemsWithAttributes
    // chooses them (a null name: every domain; version 0 or -1: the newest),
    // with its messages; the store answers by its index on the items' key,
    // reading no other item. Its trace line is at level 1 (a flow may make
    // one lookup per row); failures are logged at level 5.
    virtual int findItemKey(RefDataHandle* handle, const QxbString& name, int version,
                            const QxbString& key) = 0;
    // The rows of getDomainItemsWithAttributes (same domains, versions,
    // columns, order and messages), read from the store as the cursor
    // advances instead of copied first: memory stays the same whatever the
    // domain's size. The cursor reads through the handle's query store, so it
    // is walked before other queries on the handle and released before it.
    // next() answers 0 a row, 1 the end, 2 an error (the reason in the
    // handle's error text).
    virtual RefDataCursor* streamDomainItems(RefDataHandle* handle, const QxbString& name, int version) = 0;
};

// RefDataAdminEx: the writes a caller needs beyond RefDataAdmin, appended
// after its last slot so that a caller built against RefDataAdmin keeps
// working. Reached through RefData::getAdminEx; the object is the handle's
// administration object. Conventions as in RefDataAdmin: true on success,
// the reason in the handle's error text and the log on failure.
#pragma once

#include "RefDataAdmin.h"

class RefDataCursor;

class RefDataAdminEx : public RefDataAdmin {
public:
    // Copies a domain as copyDomain does, under a name of its own, in one
    // transaction: the name is chosen, the copy written and recorded, or
    // nothing is. A null or empty name takes "NAME copy N" with the smallest
    // N no domain has; a name a domain has already is refused (1509). The
    // chosen name goes to *nameOut and the new id to *newDomainIdOut, each
    // when not null and only on success.
    virtual bool copyDomainAs(RefDataHandle* handle, unsigned sourceDomainId, const QxbString& name,
                              unsigned accountId, unsigned* newDomainIdOut, QxbString* nameOut) = 0;

    // --- edits that last ------------------------------------------------------------
    // An edit session (beginNewDomain, beginNewDomainVersion, beginDomainImport)
    // is written back by commitDomainEdit. The edit operations below change
    // the session's newest version and write nothing: an item key or an
    // attribute name the repository does not hold yet is kept in the session
    // and created by the commit, inside its transaction, so a cancelled
    // session, a failed edit or a dry run leaves the store as it was. A
    // failed edit changes nothing in the session. Each edit appends a change
    // record (account: the one that began the session; language 1; table
    // codes and descriptions in docs/decisions.md), except in a session
    // opened by beginDomainImport. Items are named by key; an empty parent
    // key is the top level. Failures: 3 (no session), 1509 (exists), 1532
    // (not found), 1827 (an edit that cannot be applied), 530 (memory).

    // Opens a session for a new version of the domain named name whose
    // content will replace the version whole (an import): nothing of the
    // stored versions is loaded, the session's newest (and only) version
    // starts empty and is numbered one more than the stored newest. A name
    // no domain has opens a new domain, as beginNewDomain does; *createdOut
    // (when not null) tells which. Two domains of the name: 1509.
    virtual bool beginDomainImport(RefDataHandle* handle, const QxbString& name,
                                   unsigned accountId, const QxbString& versionLabel,
                                   bool* createdOut) = 0;

    // A new item at the end of the version, under parentKey (an item of the
    // version) or at the top level. A key the version holds: 1509.
    virtual bool editAddItem(RefDataHandle* handle, const QxbString& key, const QxbString& label,
                             const QxbString& parentKey) = 0;
    // The item with every item below it in the version, deepest first.
    virtual bool editRemoveItem(RefDataHandle* handle, const QxbString& key) = 0;
    virtual bool editRelabelItem(RefDataHandle* handle, const QxbString& key,
                                 const QxbString& label) = 0;
    // Under another parent, or to the top level; a parent that is the item or
    // lies below it: 1827.
    virtual bool editMoveItem(RefDataHandle* handle, const QxbString& key,
                              const QxbString& parentKey) = 0;
    // The item's value of an attribute of the version in a language (a
    // language code of the repository, as "en"). An empty value: 1827.
    virtual bool editSetItemValue(RefDataHandle* handle, const QxbString& key,
                                  const QxbString& attribute, const QxbString& languageCode,
                                  const QxbString& value) = 0;
    // Removes that value; one that is not there: 1532.
    virtual bool editClearItemValue(RefDataHandle* handle, const QxbString& key,
                                    const QxbString& attribute,
                                    const QxbString& languageCode) = 0;
    // An attribute of the version (type SINGLELINETEXT, context ITEM when it
    // is new). One the version has already: 1509.
    virtual bool editAddDomainAttribute(RefDataHandle* handle, const QxbString& name,
                                        const QxbString& label) = 0;
    // Drops the attribute with its values from the newest version; the
    // domain's older versions keep theirs.
    virtual bool editRemoveDomainAttribute(RefDataHandle* handle, const QxbString& name) = 0;

    // The change records the commit would write, in order: columns
    // "TABLE_CODE", "OBJECT_ID" (null for an object the commit creates),
    // "DESCRIPTION". Null with the reason in the handle's error text.
    virtual RefDataCursor* getPendingChanges(RefDataHandle* handle) = 0;

    // Writes the session's newest version in one transaction (a new domain
    // with its first version, or a new version of the stored domain), with
    // the change records not yet stored and, when not empty, summary as a
    // further "RDDOVR" record; then ends the session. Refused, writing
    // nothing and leaving the session open, when another writer stored a
    // newer version of the domain after the session was opened, or a domain
    // of the new domain's name (1826, 1509). The new domain's id, version id
    // and version number go to the out arguments that are not null.
    virtual bool commitDomainEdit(RefDataHandle* handle, const QxbString& summary,
                                  unsigned* domainIdOut, unsigned* versionIdOut,
                                  int* versionNumberOut) = 0;

    // In a session opened by beginDomainImport: *sameOut is true when the
    // session's version holds exactly what the domain's stored newest version
    // holds (the same keys in the same order, with the same labels and
    // parents, and the same values in the same languages), false when
    // anything differs or the domain has no stored version. Reads only.
    virtual bool importMatchesNewest(RefDataHandle* handle, bool* sameOut) = 0;

    // In a session opened by beginDomainImport: how its version differs from
    // the domain's stored newest version, by item (as getVersionDiff compares
    // two versions): items only the session holds (*addedOut), items only the
    // stored version holds (*removedOut), items both hold with another label,
    // parent, position or value (*changedOut). For a new domain every item is
    // added. Reads only.
    virtual bool getImportChanges(RefDataHandle* handle, int* addedOut, int* removedOut,
                                  int* changedOut) = 0;
};

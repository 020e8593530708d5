// RefDataViewer: the read-only queries of a handle. Every query answers a new
// cursor owned by the caller (end it with its release), or null with the
// reason in the handle's error text.
#pragma once

#include "RefDataCursor.h"

struct RefDataHandle;

class RefDataViewer {
public:
    virtual ~RefDataViewer() {}
    virtual RefDataCursor* getAccounts(RefDataHandle* handle, int id, const QxbString& filter1,
                                       const QxbString& filter2, const QxbString& filter3) = 0;
    virtual RefDataCursor* getListA(RefDataHandle* handle) = 0;
    // id -1 and a null name list every domain.
    virtual RefDataCursor* getDomain(RefDataHandle* handle, int id, const QxbString& name) = 0;
    virtual RefDataCursor* getListB(RefDataHandle* handle, int key) = 0;
    virtual RefDataCursor* getListC(RefDataHandle* handle, int key, void* unused) = 0;
    virtual RefDataCursor* getDomainWithDetails(RefDataHandle* handle, const QxbString& name,
                                                bool current) = 0;
    virtual RefDataCursor* getDomainWithDetails(RefDataHandle* handle, int id, bool current) = 0;
    virtual RefDataCursor* getListD(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListE(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListF(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListG(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListH(RefDataHandle* handle, int key, void* unused) = 0;
    // version 0: the newest; -1: no version; N: exactly N. A null name: every domain.
    virtual RefDataCursor* getDomainItemsWithAttributes(RefDataHandle* handle,
                                                        const QxbString& name, int version) = 0;
    virtual RefDataCursor* getListI(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListJ(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListK(RefDataHandle* handle, int a, int b) = 0;
    virtual RefDataCursor* getListForDomain(RefDataHandle* handle, int domainId, void* unused) = 0;
    virtual RefDataCursor* getDomainVersions(RefDataHandle* handle, int domainId,
                                             int versionNumber) = 0;
    virtual RefDataCursor* getDataSources(RefDataHandle* handle) = 0;
    virtual RefDataCursor* getListL(RefDataHandle* handle) = 0;
    virtual RefDataCursor* getListM(RefDataHandle* handle) = 0;
    // The fields of the file's first line: columns "NAME" and "POSITION".
    virtual RefDataCursor* getDelimitedFileFields(RefDataHandle* handle, const QxbString& path,
                                                  char separator, char qualifier) = 0;
    virtual RefDataCursor* getListN(RefDataHandle* handle) = 0;
    virtual RefDataCursor* getLanguages(RefDataHandle* handle) = 0;
    virtual RefDataCursor* getListP(RefDataHandle* handle) = 0;
    virtual RefDataCursor* getPermissions(RefDataHandle* handle) = 0;
    virtual RefDataCursor* getDomainExtras(RefDataHandle* handle, int domainId) = 0;
    virtual RefDataCursor* getListS(RefDataHandle* handle, int key) = 0;
    virtual RefDataCursor* getListT(RefDataHandle* handle, void* unused, int value) = 0;
    virtual bool containsItemKey(RefDataHandle* handle, const QxbString& name, int version,
                                 const QxbString& value) = 0;
};

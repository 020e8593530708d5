// RefData: the session, the one entry point of the reference-data library.
#pragma once

#include "qxbcpp.h"

#define RDCORE_EXPORT __attribute__((visibility("default")))

struct RefDataHandle;
class RefDataAdmin;
class RefDataAdminEx;
class RefDataViewer;
class RefDataViewerEx;

class RefData {
public:
    // Opens a handle on the named repository. On success *handleOut holds a
    // handle owned by the session (give it back with close or release); on
    // failure the reason is in *errorOut.
    virtual bool open(RefDataHandle** handleOut, const QxbString& repositoryName,
                      QxbString* errorOut) = 0;
    // The same, opening the repository by data source name and table prefix.
    virtual bool openWithDsn(RefDataHandle** handleOut, const QxbString& dataSourceName,
                             const QxbString& tablePrefix, QxbString* errorOut) = 0;
    // Frees the handle and sets *handleRef to null. Always true.
    virtual bool close(RefDataHandle** handleRef, void* unused) = 0;
    // Sets *handleRef to null and destroys the session with every handle
    // still open. The session must not be used afterwards.
    virtual void release(RefDataHandle** handleRef) = 0;
    // The handle's last error text.
    virtual QxbString getErrorText(RefDataHandle* handle) = 0;
    // The handle's administration and query objects (owned by the handle).
    virtual RefDataAdmin* getAdmin(RefDataHandle* handle) = 0;
    virtual RefDataViewer* getViewer(RefDataHandle* handle) = 0;
    // The same objects with the operations beyond those interfaces
    // (RefDataAdminEx.h, RefDataViewerEx.h); null as getAdmin/getViewer.
    virtual RefDataAdminEx* getAdminEx(RefDataHandle* handle) = 0;
    virtual RefDataViewerEx* getViewerEx(RefDataHandle* handle) = 0;
};

// Creates a session. Null when it cannot be allocated (the reason then goes
// to *errorOut when given). The first argument is reserved (pass 0).
extern "C" RDCORE_EXPORT RefData* createReferenceDataSession(int reserved, QxbString* errorOut);

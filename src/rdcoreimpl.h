// RefDataImpl: the session of rdcore. It resolves where reference data lives,
// opens connection handles on repositories and owns them until they are
// closed or the session is released.
#pragma once

#include <cstddef>
#include <vector>

#include "RefData.h"
#include "RefDataHandle.h"
#include "qxlog.h"

class RefDataImpl : public RefData {
public:
    RefDataImpl() = default;
    RefDataImpl(const RefDataImpl&) = delete;
    RefDataImpl& operator=(const RefDataImpl&) = delete;
    // Tears down every handle still open, in the order they were opened.
    virtual ~RefDataImpl();

    bool open(RefDataHandle** handleOut, const QxbString& repositoryName,
              QxbString* errorOut) override;
    bool openWithDsn(RefDataHandle** handleOut, const QxbString& dataSourceName,
                     const QxbString& tablePrefix, QxbString* errorOut) override;
    // A pointer that is not an open handle of this session is not freed; the
    // caller's variable is still set to null.
    bool close(RefDataHandle** handleRef, void* unused) override;
    void release(RefDataHandle** handleRef) override;
    QxbString getErrorText(RefDataHandle* handle) override;
    RefDataAdmin* getAdmin(RefDataHandle* handle) override;
    RefDataViewer* getViewer(RefDataHandle* handle) override;
    RefDataAdminEx* getAdminEx(RefDataHandle* handle) override;
    RefDataViewerEx* getViewerEx(RefDataHandle* handle) override;

    // Opens the data repository (dsn, prefix) through the handle's repository
    // admin and makes its two stores, the first the handle's adminStore, the
    // second its queryStore. An empty dsn opens nothing and succeeds. On
    // failure the reason is in the handle's errorText and in the log, and
    // the handle is left without a data repository. Used at open and by the
    // administration layer when the connection settings change.
    bool attachDataStore(RefDataHandle* handle, const QxbString& dsn, const QxbString& prefix);

    QxLogger* sessionLogger();
    bool usesDataServer() const { return useDataServer; }
    std::size_t openHandleCount() const { return openHandles.size(); }

private:
    struct Location;
    class PendingRepository;

    bool openHandle(RefDataHandle** handleOut, const QxbString* repositoryName,
                    const QxbString* dataSourceName, const QxbString* tablePrefix,
                    QxbString* errorOut);
    bool resolveConfiguration(bool byDsn, Location* location, QxbString* errorOut);
    bool readRepositoryLocation(Repository* repository, Location* location, QxbString* errorOut);
    bool createHandle(PendingRepository* pending, const Location& location,
                      RefDataHandle** handleOut, QxbString* errorOut);
    bool buildHandleObjects(RefDataHandle* handle, QxbString* errorOut);
    void releaseHandleLayers(RefDataHandle* handle);
    void discardHalfBuilt(RefDataHandle* handle);
    void teardownHandle(RefDataHandle* handle);
    bool failOpen(QxbString* errorOut, const QxbString& text, int line);

    QxLogger* logger = nullptr;
    std::vector<RefDataHandle*> openHandles;
    bool useDataServer = false;
};

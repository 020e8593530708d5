// The session of rdcore: the exported entry point, configuration resolution,
// opening and tearing down connection handles.
#include "rdcoreimpl.h"

#include <algorithm>

#include "interface_dtstep.h"
#include "qxdac.h"
#include "rdcoreadminimpl.h"
#include "rdcorecommon.h"
#include "rdcoreeditsession.h"
#include "rdcoreviewerimpl.h"
#include "repadm.h"

namespace {
constexpr const char* kDefaultTablePrefix = "kiv_rdm_";

// A connection string may hold a password: every text that can name one is
// masked before it is logged or handed to a caller.
QxbString masked(const QxbString& text) {
    if (text.isNull()) return text;
    return QxbString(dacMaskConnection(text.str()));
}
}  // namespace

// Where the handle's reference data lives: the data source name and the
// table prefix of its data repository.
struct RefDataImpl::Location {
    QxbString dsn;
    QxbString prefix;
};

// The repository admin and repository of an open in progress. Unless handed
// over to a handle, they are given back admin first, then the repository.
class RefDataImpl::PendingRepository {
public:
    PendingRepository() = default;
    PendingRepository(const PendingRepository&) = delete;
    PendingRepository& operator=(const PendingRepository&) = delete;
    ~PendingRepository() {
        rdcore::releaseField(admin);
        rdcore::releaseField(repository);
    }
    void handOver() {
        admin = nullptr;
        repository = nullptr;
    }

    RepositoryAdmin* admin = nullptr;
    Repository* repository = nullptr;
};

// ---------------------------------------------------------------------------
// Entry point

extern "C" RDCORE_EXPORT RefData* createReferenceDataSession(int /*reserved*/,
                                                             QxbString* errorOut) {
    RefDataImpl* session = rdcore::allocate<RefDataImpl>();
    if (session == nullptr && errorOut != nullptr) {
        try {
            *errorOut = rdcore::message(__FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        } catch (const std::bad_alloc&) {
            errorOut->setNull();
        }
    }
    return session;
}

// ---------------------------------------------------------------------------
// Session life

RefDataImpl::~RefDataImpl() {
    for (RefDataHandle* handle : openHandles) teardownHandle(handle);
    openHandles.clear();
}

QxLogger* RefDataImpl::sessionLogger() {
    return rdcore::ensureLogger(logger);
}

void RefDataImpl::release(RefDataHandle** handleRef) {
    if (handleRef != nullptr) *handleRef = nullptr;
    delete this;
}

bool RefDataImpl::close(RefDataHandle** handleRef, void* /*unused*/) {
    if (handleRef == nullptr) return true;
    RefDataHandle* handle = *handleRef;
    const auto found = std::find(openHandles.begin(), openHandles.end(), handle);
    // Only a handle this session still holds is freed: a foreign or stale
    // pointer may belong to another session.
    if (handle != nullptr && found != openHandles.end()) {
        openHandles.erase(found);
        teardownHandle(handle);
    }
    *handleRef = nullptr;
    return true;
}

// Frees everything the handle owns, in the order that keeps each object's
// provider alive until its dependants are gone.
void RefDataImpl::teardownHandle(RefDataHandle* handle) {
    releaseHandleLayers(handle);
    rdcore::releaseField(handle->repository);
    rdcore::releaseField(handle->repositoryAdmin);
    destroyDomainEditSession(handle->currentDomain);
    handle->currentDomain = nullptr;
    handle->session = nullptr;
    delete handle;
}

QxbString RefDataImpl::getErrorText(RefDataHandle* handle) {
    if (handle != nullptr) return handle->errorText;
    const QxbString text = rdcore::message(__FILE__, __LINE__, rdcore::kMsgNoConnection);
    rdcore::logError(sessionLogger(), __FILE__, __LINE__, text);
    return text;
}

RefDataAdmin* RefDataImpl::getAdmin(RefDataHandle* handle) {
    if (handle == nullptr) return nullptr;
    if (handle->admin != nullptr) return handle->admin;
    sessionLogger();
    RefDataAdminImpl* admin = rdcore::allocate<RefDataAdminImpl>();
    if (admin == nullptr) {
        handle->errorText = rdcore::message(__FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        rdcore::logError(logger, __FILE__, __LINE__, handle->errorText);
        return nullptr;
    }
    handle->admin = admin;
    admin->init(handle);
    return admin;
}

RefDataViewer* RefDataImpl::getViewer(RefDataHandle* handle) {
    if (handle == nullptr) return nullptr;
    if (handle->viewer != nullptr) return handle->viewer;
    sessionLogger();
    RefDataViewerImpl* viewer = rdcore::allocate<RefDataViewerImpl>(useDataServer);
    if (viewer == nullptr) {
        handle->errorText = rdcore::message(__FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        rdcore::logError(logger, __FILE__, __LINE__, handle->errorText);
        return nullptr;
    }
    handle->viewer = viewer;
    viewer->init();
    return viewer;
}

RefDataAdminEx* RefDataImpl::getAdminEx(RefDataHandle* handle) {
    return static_cast<RefDataAdminImpl*>(getAdmin(handle));
}

RefDataViewerEx* RefDataImpl::getViewerEx(RefDataHandle* handle) {
    return static_cast<RefDataViewerImpl*>(getViewer(handle));
}

// ---------------------------------------------------------------------------
// Opening

bool RefDataImpl::open(RefDataHandle** handleOut, const QxbString& repositoryName,
                       QxbString* errorOut) {
    return openHandle(handleOut, &repositoryName, nullptr, nullptr, errorOut);
}

bool RefDataImpl::openWithDsn(RefDataHandle** handleOut, const QxbString& dataSourceName,
                              const QxbString& tablePrefix, QxbString* errorOut) {
    return openHandle(handleOut, nullptr, &dataSourceName, &tablePrefix, errorOut);
}

bool RefDataImpl::failOpen(QxbString* errorOut, const QxbString& text, int line) {
    const QxbString reason = masked(text);
    if (errorOut != nullptr) *errorOut = reason;
    rdcore::logError(logger, __FILE__, line, reason);
    return false;
}

// Opens by repository name, or (when repositoryName is null) by data source
// name and table prefix.
bool RefDataImpl::openHandle(RefDataHandle** handleOut, const QxbString* repositoryName,
                             const QxbString* dataSourceName, const QxbString* tablePrefix,
                             QxbString* errorOut) {
    try {
        Location location;
        if (!resolveConfiguration(repositoryName == nullptr, &location, errorOut)) return false;

        PendingRepository pending;
        pending.admin = createRepositoryAdmin(1, 0);
        if (pending.admin == nullptr) {
            return failOpen(errorOut, QxbString(getRepositoryAdminError()), __LINE__);
        }
        pending.repository =
            repositoryName != nullptr
                ? pending.admin->openRepository(*repositoryName, 0, 0)
                : pending.admin->openRepositoryByDsn(*dataSourceName, *tablePrefix, 0, 0);
        if (pending.repository == nullptr) {
            return failOpen(errorOut, pending.admin->getLastError(), __LINE__);
        }
        if (location.dsn.length() == 0 &&
            !readRepositoryLocation(pending.repository, &location, errorOut)) {
            return false;
        }
        return createHandle(&pending, location, handleOut, errorOut);
    } catch (const std::bad_alloc&) {
        return failOpen(errorOut, rdcore::message(__FILE__, __LINE__, rdcore::kMsgOutOfMemory),
                        __LINE__);
    }
}

// Decides between the data server of the configuration and the repository's
// own key/values. A configuration file that cannot be read fails the open
// rather than silently falling back.
bool RefDataImpl::resolveConfiguration(bool byDsn, Location* location, QxbString* errorOut) {
    sessionLogger();
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    if (options == nullptr) return failOpen(errorOut, qxbGetConfigError(), __LINE__);

    QxbString setting;
    if (options->get(QxbString("REFDATA/DATASERVER"), &setting, 0)) {
        QxbDatavar flag;
        flag.assign(setting);
        if (flag.asBool()) useDataServer = true;
    }
    if (!useDataServer) {
        logger->log(QXLOG_INFO, __FILE__, __LINE__, "Refdata is not configured to use Data Server");
        return true;
    }
    if (byDsn) {
        logger->log(QXLOG_INFO, __FILE__, __LINE__,
                    "Refdata is in fact configured to use Data Server");
    } else {
        logger->log(QXLOG_INFO, __FILE__, __LINE__, "Refdata is configured to use Data Server");
    }
    if (options->get(QxbString("REFDATA/DSN"), &location->dsn, 0)) {
        if (!options->get(QxbString("REFDATA/PREFIX"), &location->prefix, 0)) {
            location->prefix.assign(kDefaultTablePrefix);
        }
        logger->log(QXLOG_INFO, __FILE__, __LINE__,
                    "Refdata will use config file dsn '%s' with prefix '%s'",
                    masked(location->dsn).asCstr(), location->prefix.asCstr());
    }
    return true;
}

// Reads the data repository's name and prefix from the repository's
// key/values; both must exist.
bool RefDataImpl::readRepositoryLocation(Repository* repository, Location* location,
                                         QxbString* errorOut) {
    if (!repository->getKeyValue(QxbString("REFDATA_DSN"), &location->dsn)) {
        return failOpen(errorOut, repository->getLastError(), __LINE__);
    }
    if (!repository->getKeyValue(QxbString("REFDATA_PREFIX"), &location->prefix)) {
        return failOpen(errorOut, repository->getLastError(), __LINE__);
    }
    logger->log(QXLOG_INFO, __FILE__, __LINE__,
                "Refdata will use repos key/val dsn '%s' with prefix '%s'",
                masked(location->dsn).asCstr(), location->prefix.asCstr());
    return true;
}

bool RefDataImpl::createHandle(PendingRepository* pending, const Location& location,
                               RefDataHandle** handleOut, QxbString* errorOut) {
    sessionLogger();
    RefDataHandle* handle = rdcore::allocate<RefDataHandle>();
    bool reserved = false;
    if (handle != nullptr) {
        try {
            // Room for the new entry now, so that recording it cannot fail later.
            openHandles.reserve(openHandles.size() + 1);
            reserved = true;
        } catch (const std::bad_alloc&) {
        }
    }
    if (!reserved) {
        delete handle;
        return failOpen(errorOut, rdcore::message(__FILE__, __LINE__, rdcore::kMsgOutOfMemory),
                        __LINE__);
    }
    handle->repository = pending->repository;
    handle->repositoryAdmin = pending->admin;
    handle->session = this;
    bool built = false;
    try {
        built = buildHandleObjects(handle, errorOut);
    } catch (const std::bad_alloc&) {
        discardHalfBuilt(handle);
        throw;
    }
    if (!built) {
        // The repository and its admin stay with the caller, which releases them.
        discardHalfBuilt(handle);
        return false;
    }
    pending->handOver();
    // Recorded before the data store is attached (the room is reserved), so
    // the session owns the handle from here on whatever happens.
    openHandles.push_back(handle);
    attachDataStore(handle, location.dsn, location.prefix);
    if (handleOut != nullptr) *handleOut = handle;
    return true;
}

// The handle's administration object, query object and step-engine bridge,
// each made and then started in that order.
bool RefDataImpl::buildHandleObjects(RefDataHandle* handle, QxbString* errorOut) {
    handle->admin = rdcore::allocate<RefDataAdminImpl>();
    if (handle->admin != nullptr) {
        handle->viewer = rdcore::allocate<RefDataViewerImpl>(useDataServer);
    }
    if (handle->viewer != nullptr) handle->stepBridge = rdcore::allocate<RefStepInterface>();
    if (handle->stepBridge == nullptr) {
        return failOpen(errorOut, rdcore::message(__FILE__, __LINE__, rdcore::kMsgOutOfMemory),
                        __LINE__);
    }
    handle->admin->init(handle);
    handle->viewer->init();
    // A bridge that does not start has logged its reason; the open's caller
    // gets it too.
    if (handle->stepBridge->start()) return true;
    if (errorOut != nullptr) *errorOut = handle->stepBridge->lastError();
    return false;
}

// The objects a handle builds on top of its repository, in the order that
// keeps each object's provider alive until its dependants are gone: shared
// by the teardown of an open handle and the clean-up of a half-built one.
void RefDataImpl::releaseHandleLayers(RefDataHandle* handle) {
    delete handle->admin;
    handle->admin = nullptr;
    delete handle->viewer;
    handle->viewer = nullptr;
    rdcore::releaseField(handle->adminStore);
    rdcore::releaseField(handle->queryStore);
    rdcore::releaseField(handle->dataRepository);
    if (handle->stepBridge != nullptr) {
        handle->stepBridge->shutdown();
        delete handle->stepBridge;
        handle->stepBridge = nullptr;
    }
}

void RefDataImpl::discardHalfBuilt(RefDataHandle* handle) {
    releaseHandleLayers(handle);
    delete handle;
}

bool RefDataImpl::attachDataStore(RefDataHandle* handle, const QxbString& dsn,
                                  const QxbString& prefix) {
    if (dsn.length() == 0) return true;
    sessionLogger();
    Repository* data = handle->repositoryAdmin->openRepositoryByDsn(dsn, prefix, 0, 0);
    if (data == nullptr) {
        handle->errorText = masked(handle->repositoryAdmin->getLastError());
        rdcore::logError(logger, __FILE__, __LINE__, handle->errorText);
        return false;
    }
    handle->dataRepository = data;
    handle->adminStore = data->createStore();
    handle->queryStore = data->createStore();
    return true;
}

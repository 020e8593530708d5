// RefDataAdminImpl: the writes of a handle.
#include "rdcoreadminimpl.h"

#include "RefDataHandle.h"
#include "rdcorecommon.h"

bool RefDataAdminImpl::init(RefDataHandle* /*handle*/) {
    rdcore::ensureLogger(logger);
    return true;
}

bool RefDataAdminImpl::unavailable(RefDataHandle* handle, int line) {
    const QxbString text = rdcore::message(__FILE__, line, rdcore::kMsgNoConnection);
    if (handle != nullptr) handle->errorText = text;
    rdcore::logError(rdcore::ensureLogger(logger), __FILE__, line, text);
    return false;
}

bool RefDataAdminImpl::setConnection(RefDataHandle* handle, const QxbString&, const QxbString&) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::getConnection(RefDataHandle* handle, QxbString*, QxbString*) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::createAttribute(RefDataHandle* handle, const QxbString&, const QxbString&,
                                       const QxbString&, const QxbString&, unsigned, unsigned,
                                       unsigned*) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::deleteAttribute(RefDataHandle* handle, unsigned, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::addItem(RefDataHandle* handle, const QxbString&, const QxbString&, bool,
                               bool, const QxbString&, unsigned, unsigned*) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::reservedNoOp(RefDataHandle*, unsigned) {
    return true;
}

bool RefDataAdminImpl::createAccount(RefDataHandle* handle, const QxbString&, const QxbString&,
                                     const QxbString&, const QxbString&, int, unsigned*) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::forwardStoreWrite(RefDataHandle* handle, unsigned, const QxbString*,
                                         unsigned*, unsigned, const unsigned*, const void*) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::checkConnection(RefDataHandle* handle) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::removePublisherAccess(RefDataHandle* handle, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::copyDomain(RefDataHandle* handle, unsigned, unsigned, unsigned*) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::removeDomain(RefDataHandle* handle, unsigned, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::removeDomainVersion(RefDataHandle* handle, unsigned, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::beginNewDomain(RefDataHandle* handle, const QxbString&, const QxbString&,
                                      const QxbString&, bool, const QxbString&, unsigned,
                                      const QxbString&) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::beginNewDomainVersion(RefDataHandle* handle, unsigned, const QxbString&,
                                             const QxbString&, bool, unsigned, const QxbString&) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::addDomainAttribute(RefDataHandle* handle, const QxbString&,
                                          const QxbString&, unsigned, const QxbString&, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::deleteDomainAttribute(RefDataHandle* handle, unsigned, unsigned, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::addDomainItem(RefDataHandle* handle, const QxbString&, const QxbString&,
                                     bool, bool, const QxbString&, unsigned, QxbString, int,
                                     unsigned, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::deleteDomainItem(RefDataHandle* handle, unsigned, unsigned, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::addItemAttribute(RefDataHandle* handle, unsigned, const QxbString&,
                                        const QxbString&, unsigned, const QxbString&, unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::reservedOperationA(RefDataHandle* handle, unsigned, char) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::removeVersionItemTexts(RefDataHandle* handle, unsigned, unsigned, unsigned,
                                              unsigned) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::reservedOperationB(RefDataHandle* handle, std::int64_t) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::cancelDomainEdit(RefDataHandle* handle) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::reservedOperationC(RefDataHandle* handle, std::int64_t) {
    return unavailable(handle, __LINE__);
}

bool RefDataAdminImpl::endDomainEdit(RefDataHandle* handle) {
    return unavailable(handle, __LINE__);
}

// RefDataAdmin: the writes of a handle. Every operation answers true on
// success; on failure the reason is in the handle's error text (see each
// operation) and in the log. Multi-row writes run in one store transaction.
#pragma once

#include <cstdint>

#include "qxbcpp.h"

struct RefDataHandle;

class RefDataAdmin {
public:
    virtual ~RefDataAdmin() {}
    virtual bool setConnection(RefDataHandle* handle, const QxbString& dsn,
                               const QxbString& tablePrefix) = 0;
    virtual bool getConnection(RefDataHandle* handle, QxbString* dsnOut,
                               QxbString* tablePrefixOut) = 0;
    virtual bool createAttribute(RefDataHandle* handle, const QxbString& name,
                                 const QxbString& label, const QxbString& attributeTypeName,
                                 const QxbString& attributeContextName, unsigned languageId,
                                 unsigned accountId, unsigned* newIdOut) = 0;
    virtual bool deleteAttribute(RefDataHandle* handle, unsigned attributeId,
                                 unsigned accountId) = 0;
    virtual bool addItem(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                         bool flag1, bool flag2, const QxbString& text2, unsigned accountId,
                         unsigned* newIdOut) = 0;
    virtual bool reservedNoOp(RefDataHandle* handle, unsigned value) = 0;
    virtual bool createAccount(RefDataHandle* handle, const QxbString& name,
                               const QxbString& accountKey, const QxbString& accountText,
                               const QxbString& accountType, int actingAccountId,
                               unsigned* accountIdOut) = 0;
    // Hands its arguments to the store's writeRow (a language-tagged text,
    // optionally linked to an item attribute value of a version).
    virtual bool forwardStoreWrite(RefDataHandle* handle, unsigned a, const QxbString* b,
                                   unsigned* c, unsigned d, const unsigned* e, const void* f) = 0;
    virtual bool checkConnection(RefDataHandle* handle) = 0;
    virtual bool removePublisherAccess(RefDataHandle* handle, unsigned domainId) = 0;
    virtual bool copyDomain(RefDataHandle* handle, unsigned sourceDomainId, unsigned accountId,
                            unsigned* newDomainIdOut) = 0;
    virtual bool removeDomain(RefDataHandle* handle, unsigned domainId, unsigned accountId) = 0;
    virtual bool removeDomainVersion(RefDataHandle* handle, unsigned versionId,
                                     unsigned accountId) = 0;
    virtual bool beginNewDomain(RefDataHandle* handle, const QxbString& name,
                                const QxbString& description, const QxbString& text1, bool flag1,
                                const QxbString& unused, unsigned accountId,
                                const QxbString& versionLabel) = 0;
    virtual bool beginNewDomainVersion(RefDataHandle* handle, unsigned domainId,
                                       const QxbString& unused1, const QxbString& unused2,
                                       bool unused3, unsigned accountId,
                                       const QxbString& versionLabel) = 0;
    virtual bool addDomainAttribute(RefDataHandle* handle, const QxbString& name,
                                    const QxbString& label, unsigned languageId,
                                    const QxbString& attributeContextName,
                                    unsigned accountId) = 0;
    virtual bool deleteDomainAttribute(RefDataHandle* handle, unsigned domainAttributeId,
                                       unsigned languageId, unsigned accountId) = 0;
    virtual bool addDomainItem(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                               bool flag1, bool flag2, const QxbString& text2, unsigned number,
                               QxbString entryText, int parentItemId, unsigned languageId,
                               unsigned accountId) = 0;
    virtual bool deleteDomainItem(RefDataHandle* handle, unsigned itemId, unsigned languageId,
                                  unsigned accountId) = 0;
    virtual bool addItemAttribute(RefDataHandle* handle, unsigned itemId, const QxbString& name,
                                  const QxbString& label, unsigned languageId,
                                  const QxbString& attributeContextName, unsigned accountId) = 0;
    virtual bool reservedOperationA(RefDataHandle* handle, unsigned value, char flag) = 0;
    virtual bool removeVersionItemTexts(RefDataHandle* handle, unsigned languageId,
                                        unsigned unused, unsigned accountId,
                                        unsigned versionId) = 0;
    virtual bool reservedOperationB(RefDataHandle* handle, std::int64_t argument) = 0;
    virtual bool cancelDomainEdit(RefDataHandle* handle) = 0;
    virtual bool reservedOperationC(RefDataHandle* handle, std::int64_t argument) = 0;
    virtual bool endDomainEdit(RefDataHandle* handle) = 0;
};

// RefDataAdminImpl: the writes of a handle.
#pragma once

#include "RefDataAdmin.h"
#include "qxlog.h"

class RefDataAdminImpl : public RefDataAdmin {
public:
    RefDataAdminImpl() = default;
    RefDataAdminImpl(const RefDataAdminImpl&) = delete;
    RefDataAdminImpl& operator=(const RefDataAdminImpl&) = delete;
    ~RefDataAdminImpl() override = default;

    // Fetches the library logger; does not look at the handle. Always true.
    bool init(RefDataHandle* handle);

    bool setConnection(RefDataHandle* handle, const QxbString& dsn,
                       const QxbString& tablePrefix) override;
    bool getConnection(RefDataHandle* handle, QxbString* dsnOut,
                       QxbString* tablePrefixOut) override;
    bool createAttribute(RefDataHandle* handle, const QxbString& name, const QxbString& label,
                         const QxbString& attributeTypeName,
                         const QxbString& attributeContextName, unsigned languageId,
                         unsigned accountId, unsigned* newIdOut) override;
    bool deleteAttribute(RefDataHandle* handle, unsigned attributeId, unsigned accountId) override;
    bool addItem(RefDataHandle* handle, const QxbString& key, const QxbString& text, bool flag1,
                 bool flag2, const QxbString& text2, unsigned accountId,
                 unsigned* newIdOut) override;
    bool reservedNoOp(RefDataHandle* handle, unsigned value) override;
    bool createAccount(RefDataHandle* handle, const QxbString& name, const QxbString& accountKey,
                       const QxbString& accountText, const QxbString& accountType,
                       int actingAccountId, unsigned* accountIdOut) override;
    bool forwardStoreWrite(RefDataHandle* handle, unsigned a, const QxbString* b, unsigned* c,
                           unsigned d, const unsigned* e, const void* f) override;
    bool checkConnection(RefDataHandle* handle) override;
    bool removePublisherAccess(RefDataHandle* handle, unsigned domainId) override;
    bool copyDomain(RefDataHandle* handle, unsigned sourceDomainId, unsigned accountId,
                    unsigned* newDomainIdOut) override;
    bool removeDomain(RefDataHandle* handle, unsigned domainId, unsigned accountId) override;
    bool removeDomainVersion(RefDataHandle* handle, unsigned versionId,
                             unsigned accountId) override;
    bool beginNewDomain(RefDataHandle* handle, const QxbString& name,
                        const QxbString& description, const QxbString& text1, bool flag1,
                        const QxbString& unused, unsigned accountId,
                        const QxbString& versionLabel) override;
    bool beginNewDomainVersion(RefDataHandle* handle, unsigned domainId, const QxbString& unused1,
                               const QxbString& unused2, bool unused3, unsigned accountId,
                               const QxbString& versionLabel) override;
    bool addDomainAttribute(RefDataHandle* handle, const QxbString& name, const QxbString& label,
                            unsigned languageId, const QxbString& attributeContextName,
                            unsigned accountId) override;
    bool deleteDomainAttribute(RefDataHandle* handle, unsigned domainAttributeId,
                               unsigned languageId, unsigned accountId) override;
    bool addDomainItem(RefDataHandle* handle, const QxbString& key, const QxbString& text,
                       bool flag1, bool flag2, const QxbString& text2, unsigned number,
                       QxbString entryText, int parentItemId, unsigned languageId,
                       unsigned accountId) override;
    bool deleteDomainItem(RefDataHandle* handle, unsigned itemId, unsigned languageId,
                          unsigned accountId) override;
    bool addItemAttribute(RefDataHandle* handle, unsigned itemId, const QxbString& name,
                          const QxbString& label, unsigned languageId,
                          const QxbString& attributeContextName, unsigned accountId) override;
    bool reservedOperationA(RefDataHandle* handle, unsigned value, char flag) override;
    bool removeVersionItemTexts(RefDataHandle* handle, unsigned languageId, unsigned unused,
                                unsigned accountId, unsigned versionId) override;
    bool reservedOperationB(RefDataHandle* handle, std::int64_t argument) override;
    bool cancelDomainEdit(RefDataHandle* handle) override;
    bool reservedOperationC(RefDataHandle* handle, std::int64_t argument) override;
    bool endDomainEdit(RefDataHandle* handle) override;

private:
    // An operation that cannot be carried out yet: message 3 into the
    // handle's error text (when there is a handle) and into the log.
    bool unavailable(RefDataHandle* handle, int line);

    QxLogger* logger = nullptr;
};

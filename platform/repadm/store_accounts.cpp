// Accounts, roles and permissions, and the access rows of domains and
// versions (permissions, role grants, associations).
#include "store_impl.h"

namespace repadm {

bool RefDataStoreImpl::insertAccount(const QxbString& name, const QxbString& type,
                                     const QxbString& key, const QxbString& text,
                                     const QxbString& text5, const QxbString& text6,
                                     const QxbString& text7, unsigned roleId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}accounts (NAME, ACCOUNT_TYPE, ACCOUNT_KEY, DESCRIPTION, TEXT5, TEXT6, "
        "TEXT7, "
        "ROLE_ID, CREATED) VALUES (?, ?, ?, ?, ?, ?, ?, ?, {NOW}) RETURNING ID";
    return write("insertAccount", sql, kAccounts,
                 {textValue(name), textValue(type), textValue(key), textValue(text),
                  textValue(text5), textValue(text6), textValue(text7), idValue(roleId)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listAccounts(unsigned id, const QxbString& name,
                                               const QxbString& type, const QxbString& key,
                                               const QxbString& text, const QxbString& text5,
                                               const QxbString& text6) {
    static const char sql[] =
        "SELECT ID, NAME, ACCOUNT_TYPE, ACCOUNT_KEY, DESCRIPTION, TEXT5, TEXT6, TEXT7, ROLE_ID, "
        "CREATED FROM {P}accounts{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).text("NAME", name).text("ACCOUNT_TYPE", type).text("ACCOUNT_KEY", key);
    filters.text("DESCRIPTION", text).text("TEXT5", text5).text("TEXT6", text6);
    return listing("listAccounts", sql, filters, kAccounts);
}

StoreResultSet* RefDataStoreImpl::listPermissions(unsigned id, const QxbString& name,
                                                  const QxbString& text, unsigned number) {
    static const char sql[] =
        "SELECT ID, NAME, DESCRIPTION, ACCESS_LEVEL FROM {P}permissions{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).text("NAME", name).text("DESCRIPTION", text).id("ACCESS_LEVEL", number);
    return listing("listPermissions", sql, filters, kPermissions);
}

bool RefDataStoreImpl::insertPermission(const QxbString& name, const QxbString& text, int number,
                                        unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}permissions (NAME, DESCRIPTION, ACCESS_LEVEL) VALUES (?, ?, ?) RETURNING ID";
    return write("insertPermission", sql, kPermissions,
                 {textValue(name), textValue(text), numberValue(number)}, newId);
}

StoreResultSet* RefDataStoreImpl::listRoles(unsigned id, const QxbString& name,
                                            const QxbString& text1, const QxbString& text2) {
    static const char sql[] = "SELECT ID, NAME, DESCRIPTION, NOTE FROM {P}roles{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).text("NAME", name).text("DESCRIPTION", text1).text("NOTE", text2);
    return listing("listRoles", sql, filters, kRoles);
}

bool RefDataStoreImpl::insertRole(const QxbString& name, const QxbString& text1,
                                  const QxbString& text2, unsigned* newId) {
    static const char sql[] = "INSERT INTO {P}roles (NAME, DESCRIPTION, NOTE) VALUES (?, ?, ?) RETURNING ID";
    return write("insertRole", sql, kRoles, {textValue(name), textValue(text1), textValue(text2)},
                 newId);
}

// --- domain access rows ------------------------------------------------------------------

bool RefDataStoreImpl::insertDomainPermission(unsigned domainId, const QxbString& kind,
                                              unsigned accountId, const QxbString& accessName,
                                              unsigned permissionId, unsigned roleId,
                                              unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_permissions (DOMAIN_ID, KIND, ACCOUNT_ID, ACCESS_NAME, "
        "PERMISSION_ID, ROLE_ID) VALUES (?, ?, ?, ?, ?, ?) RETURNING ID";
    return write("insertDomainPermission", sql, kDomainPermissions,
                 {idValue(domainId), textValue(kind), idValue(accountId), textValue(accessName),
                  idValue(permissionId), idValue(roleId)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listDomainPermissions(unsigned domainId, unsigned accountId,
                                                        unsigned permissionId) {
    static const char sql[] =
        "SELECT DOMAIN_ID, ACCOUNT_ID, PERMISSION_ID, ID, KIND, ACCESS_NAME, NOTE, ROLE_ID "
        "FROM {P}domain_permissions{W} ORDER BY ID";
    FilterClause filters;
    filters.id("DOMAIN_ID", domainId).id("ACCOUNT_ID", accountId).id("PERMISSION_ID", permissionId);
    return listing("listDomainPermissions", sql, filters, kDomainPermissions);
}

bool RefDataStoreImpl::deleteDomainAccessRows(unsigned id, unsigned domainId, const QxbString& kind,
                                              unsigned accountId, const QxbString& accessName,
                                              const QxbString& note, unsigned permissionId,
                                              unsigned roleId) {
    static const char sql[] = "DELETE FROM {P}domain_permissions{W}";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).text("KIND", kind).id("ACCOUNT_ID", accountId);
    filters.text("ACCESS_NAME", accessName).text("NOTE", note).id("PERMISSION_ID", permissionId);
    filters.id("ROLE_ID", roleId);
    return filteredWrite("deleteDomainAccessRows", sql, filters, kDomainPermissions);
}

bool RefDataStoreImpl::insertVersionPermission(unsigned versionId, unsigned accountId,
                                               unsigned permissionId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_permissions (VERSION_ID, ACCOUNT_ID, GRANTED, PERMISSION_ID) "
        "VALUES (?, ?, {NOW}, ?) RETURNING ID";
    return write("insertVersionPermission", sql, kVersionPermissions,
                 {idValue(versionId), idValue(accountId), idValue(permissionId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listVersionPermissions(unsigned versionId, unsigned accountId,
                                                         unsigned permissionId) {
    static const char sql[] =
        "SELECT VERSION_ID, ACCOUNT_ID, PERMISSION_ID, ID, GRANTED, NOTE "
        "FROM {P}version_permissions{W} ORDER BY ID";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("ACCOUNT_ID", accountId);
    filters.id("PERMISSION_ID", permissionId);
    return listing("listVersionPermissions", sql, filters, kVersionPermissions);
}

bool RefDataStoreImpl::insertDomainRolePermission(unsigned domainId, unsigned accountId,
                                                  unsigned roleId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_role_permissions (DOMAIN_ID, ACCOUNT_ID, ROLE_ID) VALUES (?, ?, ?) RETURNING ID";
    return write("insertDomainRolePermission", sql, kDomainRolePermissions,
                 {idValue(domainId), idValue(accountId), idValue(roleId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listDomainRolePermissions(unsigned domainId, unsigned accountId,
                                                            unsigned roleId) {
    static const char sql[] =
        "SELECT DOMAIN_ID, ACCOUNT_ID, ROLE_ID, ID FROM {P}domain_role_permissions{W} ORDER BY ID";
    FilterClause filters;
    filters.id("DOMAIN_ID", domainId).id("ACCOUNT_ID", accountId).id("ROLE_ID", roleId);
    return listing("listDomainRolePermissions", sql, filters, kDomainRolePermissions);
}

bool RefDataStoreImpl::insertDomainAssociation(unsigned domainId, const QxbString& text,
                                               unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_associations (DOMAIN_ID, ASSOCIATION_TEXT) VALUES (?, ?) RETURNING ID";
    return write("insertDomainAssociation", sql, kDomainAssociations,
                 {idValue(domainId), textValue(text)}, newId);
}

StoreResultSet* RefDataStoreImpl::listDomainAssociations(unsigned domainId, unsigned id,
                                                         const QxbString& text) {
    static const char sql[] =
        "SELECT DOMAIN_ID, ID, ASSOCIATION_TEXT FROM {P}domain_associations{W} ORDER BY ID";
    FilterClause filters;
    filters.id("DOMAIN_ID", domainId).id("ID", id).text("ASSOCIATION_TEXT", text);
    return listing("listDomainAssociations", sql, filters, kDomainAssociations);
}

}  // namespace repadm

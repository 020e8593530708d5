// Attributes and their lookup tables (types, contexts, languages), domain
// attributes with their values and permissions, and the version rows that
// use them.
#include "store_impl.h"

namespace repadm {

namespace {
FilterClause lookupFilters(unsigned id, const char* nameColumn, const QxbString& name,
                           const char* textColumn, const QxbString& text) {
    FilterClause filters;
    filters.id("ID", id).text(nameColumn, name).text(textColumn, text);
    return filters;
}
}  // namespace

// --- attributes -------------------------------------------------------------------------

bool RefDataStoreImpl::insertAttribute(const QxbString& name, const QxbString& label,
                                       unsigned typeId, const QxbString& typeName,
                                       unsigned contextId, unsigned languageId, unsigned accountId,
                                       const QxbString& note, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}attributes (TYPE_ID, CONTEXT_ID, NAME, LABEL, TYPE_NAME, LANGUAGE_ID, "
        "FLAG, "
        "CREATED, ACCOUNT_ID, NOTE) VALUES (?, ?, ?, ?, ?, ?, 'N', {NOW}, ?, ?) RETURNING ID";
    return write("insertAttribute", sql, kAttributes,
                 {idValue(typeId), idValue(contextId), textValue(name), textValue(label),
                  textValue(typeName), idValue(languageId), idValue(accountId), textValue(note)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listAttributes(unsigned id, const QxbString& name,
                                                 const QxbString& label) {
    static const char sql[] =
        "SELECT ID, TYPE_ID, CONTEXT_ID, NAME, LABEL, TYPE_NAME, LANGUAGE_ID, FLAG, CREATED, "
        "ACCOUNT_ID, NOTE FROM {P}attributes{W} ORDER BY ID";
    return listing("listAttributes", sql, lookupFilters(id, "NAME", name, "LABEL", label),
                   kAttributes);
}

bool RefDataStoreImpl::deleteAttributeRow(unsigned id, const QxbString& note) {
    static const char sql[] = "DELETE FROM {P}attributes{W}";
    FilterClause filters;
    filters.id("ID", id).text("NOTE", note);
    return filteredWrite("deleteAttributeRow", sql, filters, kAttributes);
}

// --- lookup tables -------------------------------------------------------------------------

StoreResultSet* RefDataStoreImpl::listAttributeContexts(unsigned id, const QxbString& name,
                                                        const QxbString& text) {
    static const char sql[] =
        "SELECT ID, NAME, DESCRIPTION FROM {P}attribute_contexts{W} ORDER BY ID";
    return listing("listAttributeContexts", sql,
                   lookupFilters(id, "NAME", name, "DESCRIPTION", text), kAttributeContexts);
}

StoreResultSet* RefDataStoreImpl::listAttributeTypes(unsigned id, const QxbString& name,
                                                     const QxbString& text) {
    static const char sql[] = "SELECT ID, NAME, DESCRIPTION FROM {P}attribute_types{W} ORDER BY ID";
    return listing("listAttributeTypes", sql, lookupFilters(id, "NAME", name, "DESCRIPTION", text),
                   kAttributeTypes);
}

StoreResultSet* RefDataStoreImpl::listLanguages(unsigned id, const QxbString& name,
                                                const QxbString& text) {
    static const char sql[] = "SELECT ID, CODE, NAME FROM {P}languages{W} ORDER BY ID";
    return listing("listLanguages", sql, lookupFilters(id, "CODE", name, "NAME", text), kLanguages);
}

bool RefDataStoreImpl::insertLanguage(const QxbString& code, const QxbString& name,
                                      unsigned* newId) {
    static const char sql[] = "INSERT INTO {P}languages (CODE, NAME) VALUES (?, ?) RETURNING ID";
    return write("insertLanguage", sql, kLanguages, {textValue(code), textValue(name)}, newId);
}

bool RefDataStoreImpl::insertAttributeType(const QxbString& name, const QxbString& text,
                                           unsigned* newId) {
    static const char sql[] = "INSERT INTO {P}attribute_types (NAME, DESCRIPTION) VALUES (?, ?) RETURNING ID";
    return write("insertAttributeType", sql, kAttributeTypes, {textValue(name), textValue(text)},
                 newId);
}

bool RefDataStoreImpl::insertAttributeContext(const QxbString& name, const QxbString& text,
                                              unsigned* newId) {
    static const char sql[] = "INSERT INTO {P}attribute_contexts (NAME, DESCRIPTION) VALUES (?, ?) RETURNING ID";
    return write("insertAttributeContext", sql, kAttributeContexts,
                 {textValue(name), textValue(text)}, newId);
}

// --- domain attributes ------------------------------------------------------------------------

bool RefDataStoreImpl::insertDomainAttribute(unsigned domainId, unsigned attributeId,
                                             unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_attributes (DOMAIN_ID, ATTRIBUTE_ID) VALUES (?, ?) RETURNING ID";
    return write("insertDomainAttribute", sql, kDomainAttributes,
                 {idValue(domainId), idValue(attributeId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listDomainAttributes(unsigned id, unsigned domainId,
                                                       unsigned attributeId) {
    static const char sql[] =
        "SELECT ID, DOMAIN_ID, ATTRIBUTE_ID FROM {P}domain_attributes{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).id("ATTRIBUTE_ID", attributeId);
    return listing("listDomainAttributes", sql, filters, kDomainAttributes);
}

StoreResultSet* RefDataStoreImpl::listDomainAttributePermissions(unsigned domainId,
                                                                 unsigned accountId,
                                                                 unsigned permissionId) {
    static const char sql[] =
        "SELECT DOMAIN_ID, ACCOUNT_ID, PERMISSION_ID, ID FROM {P}domain_attribute_permissions{W} "
        "ORDER BY ID";
    FilterClause filters;
    filters.id("DOMAIN_ID", domainId).id("ACCOUNT_ID", accountId).id("PERMISSION_ID", permissionId);
    return listing("listDomainAttributePermissions", sql, filters, kDomainAttributePermissions);
}

bool RefDataStoreImpl::insertDomainAttributePermission(unsigned domainId, unsigned accountId,
                                                       unsigned permissionId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_attribute_permissions (DOMAIN_ID, ACCOUNT_ID, PERMISSION_ID) "
        "VALUES (?, ?, ?) RETURNING ID";
    return write("insertDomainAttributePermission", sql, kDomainAttributePermissions,
                 {idValue(domainId), idValue(accountId), idValue(permissionId)}, newId);
}

bool RefDataStoreImpl::insertDomainAttributeValue(unsigned domainAttributeId, const QxbString& text,
                                                  const QxbString& flag, unsigned languageId,
                                                  unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_attribute_values (DOMAIN_ATTRIBUTE_ID, VALUE_TEXT, FLAG, "
        "LANGUAGE_ID) "
        "VALUES (?, ?, ?, ?) RETURNING ID";
    return write(
        "insertDomainAttributeValue", sql, kDomainAttributeValues,
        {idValue(domainAttributeId), textValue(text), textValue(flag), idValue(languageId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listDomainAttributeValues(unsigned id, unsigned domainAttributeId,
                                                            const QxbString& text,
                                                            const QxbString& flag,
                                                            unsigned languageId) {
    static const char sql[] =
        "SELECT ID, DOMAIN_ATTRIBUTE_ID, VALUE_TEXT, FLAG, LANGUAGE_ID "
        "FROM {P}domain_attribute_values{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ATTRIBUTE_ID", domainAttributeId).text("VALUE_TEXT", text);
    filters.text("FLAG", flag).id("LANGUAGE_ID", languageId);
    return listing("listDomainAttributeValues", sql, filters, kDomainAttributeValues);
}

// --- version attributes and values --------------------------------------------------------------

namespace {
FilterClause versionAttributeFilters(unsigned domainId, unsigned domainAttributeId,
                                     unsigned versionId, const QxbString& flag) {
    FilterClause filters;
    filters.id("DOMAIN_ID", domainId).id("DOMAIN_ATTRIBUTE_ID", domainAttributeId);
    filters.id("VERSION_ID", versionId).text("FLAG", flag);
    return filters;
}
}  // namespace

bool RefDataStoreImpl::insertVersionAttribute(unsigned domainId, unsigned domainAttributeId,
                                              unsigned versionId, const QxbString& flag,
                                              unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_attributes (DOMAIN_ID, DOMAIN_ATTRIBUTE_ID, VERSION_ID, FLAG) "
        "VALUES (?, ?, ?, ?) RETURNING ID";
    return write(
        "insertVersionAttribute", sql, kVersionAttributes,
        {idValue(domainId), idValue(domainAttributeId), idValue(versionId), textValue(flag)},
        newId);
}

StoreResultSet* RefDataStoreImpl::listVersionAttributes(unsigned domainId,
                                                        unsigned domainAttributeId,
                                                        unsigned versionId, const QxbString& flag) {
    static const char sql[] =
        "SELECT DOMAIN_ID, DOMAIN_ATTRIBUTE_ID, VERSION_ID, FLAG, ID FROM {P}version_attributes{W} "
        "ORDER BY ID";
    return listing("listVersionAttributes", sql,
                   versionAttributeFilters(domainId, domainAttributeId, versionId, flag),
                   kVersionAttributes);
}

bool RefDataStoreImpl::deleteVersionAttributes(unsigned domainId, unsigned domainAttributeId,
                                               unsigned versionId, const QxbString& flag) {
    static const char sql[] = "DELETE FROM {P}version_attributes{W}";
    return filteredWrite("deleteVersionAttributes", sql,
                         versionAttributeFilters(domainId, domainAttributeId, versionId, flag),
                         kVersionAttributes);
}

bool RefDataStoreImpl::insertVersionValue(unsigned versionId, unsigned domainAttributeValueId,
                                          unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_values (VERSION_ID, DOMAIN_ATTRIBUTE_VALUE_ID) VALUES (?, ?) RETURNING ID";
    return write("insertVersionValue", sql, kVersionValues,
                 {idValue(versionId), idValue(domainAttributeValueId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listVersionValues(unsigned versionId,
                                                    unsigned domainAttributeValueId) {
    static const char sql[] =
        "SELECT VERSION_ID, DOMAIN_ATTRIBUTE_VALUE_ID, ID FROM {P}version_values{W} ORDER BY ID";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("DOMAIN_ATTRIBUTE_VALUE_ID", domainAttributeValueId);
    return listing("listVersionValues", sql, filters, kVersionValues);
}

bool RefDataStoreImpl::insertVersionLanguage(unsigned versionId, unsigned domainLanguageId,
                                             unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_languages (VERSION_ID, DOMAIN_LANGUAGE_ID) VALUES (?, ?) RETURNING ID";
    return write("insertVersionLanguage", sql, kVersionLanguages,
                 {idValue(versionId), idValue(domainLanguageId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listVersionLanguages(unsigned versionId,
                                                       unsigned domainLanguageId) {
    static const char sql[] =
        "SELECT VERSION_ID, DOMAIN_LANGUAGE_ID, ID FROM {P}version_languages{W} ORDER BY ID";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("DOMAIN_LANGUAGE_ID", domainLanguageId);
    return listing("listVersionLanguages", sql, filters, kVersionLanguages);
}

bool RefDataStoreImpl::insertDomainLanguage(unsigned domainId, unsigned languageId,
                                            unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_languages (DOMAIN_ID, LANGUAGE_ID) VALUES (?, ?) RETURNING ID";
    return write("insertDomainLanguage", sql, kDomainLanguages,
                 {idValue(domainId), idValue(languageId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listDomainLanguages(unsigned id, unsigned domainId,
                                                      unsigned languageId) {
    static const char sql[] =
        "SELECT ID, DOMAIN_ID, LANGUAGE_ID FROM {P}domain_languages{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).id("LANGUAGE_ID", languageId);
    return listing("listDomainLanguages", sql, filters, kDomainLanguages);
}

}  // namespace repadm

// Domains, domain versions, domain details, change records and domain extras.
#include "store_impl.h"

namespace repadm {

namespace {

FilterClause domainFilters(unsigned id, const QxbString& name, const QxbString& description,
                           const QxbString& text1, const QxbString& flag1, const QxbString& flag2,
                           const QxbString& scope, unsigned number1, const QxbString& text8,
                           unsigned accountId, unsigned number10, const QxbDate& date11,
                           const QxbString& kindCode, const QxbDate& created) {
    FilterClause filters;
    filters.id("ID", id).text("NAME", name).text("DESCRIPTION", description).text("TEXT1", text1);
    filters.text("FLAG1", flag1).text("FLAG2", flag2).text("SCOPE", scope).id("NUMBER1", number1);
    filters.text("TEXT8", text8).id("ACCOUNT_ID", accountId).id("NUMBER10", number10);
    filters.date("DATE11", date11).text("KIND_CODE", kindCode).date("CREATED", created);
    return filters;
}

FilterClause versionFilters(unsigned id, unsigned domainId, unsigned number, const QxbString& label,
                            const QxbString& flag1, const QxbString& flag2, const QxbString& text,
                            unsigned accountId, const QxbString& flag8, unsigned number9,
                            const QxbDate& date10, const QxbDate& created) {
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).id("VERSION_NUMBER", number);
    filters.text("LABEL", label).text("FLAG1", flag1).text("FLAG2", flag2);
    filters.text("VERSION_TEXT", text).id("ACCOUNT_ID", accountId).text("FLAG8", flag8);
    filters.id("NUMBER9", number9).date("DATE10", date10).date("CREATED", created);
    return filters;
}

const char kVersionColumns[] =
    "SELECT ID, DOMAIN_ID, VERSION_NUMBER, LABEL, FLAG1, FLAG2, VERSION_TEXT, ACCOUNT_ID, FLAG8, "
    "NUMBER9, DATE10, CREATED FROM {P}domain_versions";

}  // namespace

// --- domains ----------------------------------------------------------------------

bool RefDataStoreImpl::insertDomain(const QxbString& name, const QxbString& description,
                                    const QxbString& text1, const QxbString& flag1,
                                    const QxbString& flag2, const QxbString& scope, int number1,
                                    const QxbString& text8, unsigned accountId, int number10,
                                    const QxbDate& date11, const QxbString& kindCode,
                                    unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domains (NAME, DESCRIPTION, TEXT1, FLAG1, FLAG2, SCOPE, NUMBER1, TEXT8, "
        "ACCOUNT_ID, NUMBER10, DATE11, KIND_CODE, CREATED) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, {NOW}) RETURNING ID";
    return write(
        "insertDomain", sql, kDomains,
        {textValue(name), textValue(description), textValue(text1), textValue(flag1),
         textValue(flag2), textValue(scope), numberValue(number1), textValue(text8),
         idValue(accountId), numberValue(number10), dateValue(date11), textValue(kindCode)},
        newId);
}

StoreResultSet* RefDataStoreImpl::listDomains(unsigned id, const QxbString& name,
                                              const QxbString& description, const QxbString& text1,
                                              const QxbString& flag1, const QxbString& flag2,
                                              const QxbString& scope, unsigned number1,
                                              const QxbString& text8, unsigned accountId,
                                              unsigned number10, const QxbDate& date11,
                                              const QxbString& kindCode, const QxbDate& created) {
    static const char sql[] =
        "SELECT ID, NAME, DESCRIPTION, TEXT1, FLAG1, FLAG2, SCOPE, NUMBER1, TEXT8, ACCOUNT_ID, "
        "NUMBER10, DATE11, KIND_CODE, CREATED FROM {P}domains{W} ORDER BY ID";
    return listing("listDomains", sql,
                   domainFilters(id, name, description, text1, flag1, flag2, scope, number1, text8,
                                 accountId, number10, date11, kindCode, created),
                   kDomains);
}

bool RefDataStoreImpl::deleteDomains(unsigned id, const QxbString& name,
                                     const QxbString& description, const QxbString& text1,
                                     const QxbString& flag1, const QxbString& flag2,
                                     const QxbString& scope, unsigned number1,
                                     const QxbString& text8, unsigned accountId, unsigned number10,
                                     const QxbDate& date11, const QxbString& kindCode,
                                     const QxbDate& created) {
    static const char sql[] = "DELETE FROM {P}domains{W}";
    return filteredWrite("deleteDomains", sql,
                         domainFilters(id, name, description, text1, flag1, flag2, scope, number1,
                                       text8, accountId, number10, date11, kindCode, created),
                         kDomains);
}

bool RefDataStoreImpl::renameDomain(unsigned domainId, const QxbString& newName) {
    static const char sql[] = "UPDATE {P}domains SET NAME = ? WHERE ID = ?";
    int changed = 0;
    if (!write("renameDomain", sql, kDomains, {textValue(newName), idValue(domainId)}, nullptr,
               &changed)) {
        return false;
    }
    return changed > 0 || fail("renameDomain", "no domain has id " + std::to_string(domainId));
}

// The newest version of each domain, or every version; a domain without
// versions appears once with empty version columns.
StoreResultSet* RefDataStoreImpl::listDomainDetails(unsigned id, const QxbString& name,
                                                    bool current) {
    static const char sqlAll[] =
        "SELECT d.ID, d.NAME, d.DESCRIPTION, v.ID AS VERSION_ID, v.VERSION_NUMBER AS VERSION, "
        "v.LABEL AS VERSION_LABEL, a.NAME AS ACCOUNT, a.ACCOUNT_TYPE AS TYPE, d.SCOPE, "
        "v.CREATED AS CREATE_DATE FROM {P}domains d "
        "LEFT JOIN {P}domain_versions v ON v.DOMAIN_ID = d.ID "
        "LEFT JOIN {P}accounts a ON a.ID = v.ACCOUNT_ID{W} ORDER BY d.ID, v.VERSION_NUMBER, v.ID";
    static const char sqlCurrent[] =
        "SELECT d.ID, d.NAME, d.DESCRIPTION, v.ID AS VERSION_ID, v.VERSION_NUMBER AS VERSION, "
        "v.LABEL AS VERSION_LABEL, a.NAME AS ACCOUNT, a.ACCOUNT_TYPE AS TYPE, d.SCOPE, "
        "v.CREATED AS CREATE_DATE FROM {P}domains d "
        "LEFT JOIN {P}domain_versions v ON v.DOMAIN_ID = d.ID AND v.ID = (SELECT n.ID FROM "
        "{P}domain_versions n WHERE n.DOMAIN_ID = d.ID ORDER BY n.VERSION_NUMBER DESC, n.ID DESC "
        "LIMIT 1) LEFT JOIN {P}accounts a ON a.ID = v.ACCOUNT_ID{W} ORDER BY d.ID";
    FilterClause filters;
    filters.id("d.ID", id).text("d.NAME", name);
    return listing("listDomainDetails", current ? sqlCurrent : sqlAll, filters,
                   kDomains | kDomainVersions | kAccounts);
}

// --- versions -------------------------------------------------------------------------

bool RefDataStoreImpl::insertDomainVersion(unsigned domainId, int number, const QxbString& label,
                                           const QxbString& flag1, const QxbString& flag2,
                                           const QxbString& text, unsigned accountId,
                                           const QxbString& flag8, int number9,
                                           const QxbDate& date10, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_versions (DOMAIN_ID, VERSION_NUMBER, LABEL, FLAG1, FLAG2, "
        "VERSION_TEXT, ACCOUNT_ID, FLAG8, NUMBER9, DATE10, CREATED) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, {NOW}) RETURNING ID";
    return write("insertDomainVersion", sql, kDomainVersions,
                 {idValue(domainId), numberValue(number), textValue(label), textValue(flag1),
                  textValue(flag2), textValue(text), idValue(accountId), textValue(flag8),
                  numberValue(number9), dateValue(date10)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listDomainVersions(
    unsigned id, unsigned domainId, unsigned number, const QxbString& label, const QxbString& flag1,
    const QxbString& flag2, const QxbString& text, unsigned accountId, const QxbString& flag8,
    unsigned number9, const QxbDate& date10, const QxbDate& created) {
    static const std::string sql =
        std::string(kVersionColumns) + "{W} ORDER BY DOMAIN_ID, VERSION_NUMBER, ID";
    return listing("listDomainVersions", sql.c_str(),
                   versionFilters(id, domainId, number, label, flag1, flag2, text, accountId, flag8,
                                  number9, date10, created),
                   kDomainVersions);
}

StoreResultSet* RefDataStoreImpl::preparedVersions(unsigned domainId, const QxbString& domainName,
                                                   unsigned number) {
    static const std::string sql =
        std::string(kVersionColumns) + "{W} ORDER BY DOMAIN_ID, VERSION_NUMBER, ID";
    FilterClause filters;
    filters.id("DOMAIN_ID", domainId);
    filters.expression("DOMAIN_ID IN (SELECT ID FROM {P}domains WHERE NAME = ?)",
                       textValue(domainName), !domainName.isNull());
    filters.id("VERSION_NUMBER", number);
    return listing("executeQuery", sql.c_str(), filters, kDomainVersions | kDomains);
}

bool RefDataStoreImpl::deleteDomainVersions(unsigned id, unsigned domainId, unsigned number,
                                            const QxbString& label, const QxbString& flag1,
                                            const QxbString& flag2, const QxbString& text,
                                            unsigned accountId, const QxbString& flag8,
                                            unsigned number9, const QxbDate& date10,
                                            const QxbDate& created) {
    static const char sql[] = "DELETE FROM {P}domain_versions{W}";
    return filteredWrite("deleteDomainVersions", sql,
                         versionFilters(id, domainId, number, label, flag1, flag2, text, accountId,
                                        flag8, number9, date10, created),
                         kDomainVersions);
}

// --- change records --------------------------------------------------------------------

bool RefDataStoreImpl::writeChangeRecord(unsigned domainId, const QxbString& status,
                                         unsigned objectId, const QxbString& tableCode,
                                         const QxbString& description, unsigned languageId,
                                         unsigned accountId, const QxbDate* date) {
    static const char sql[] =
        "INSERT INTO {P}change_records (DOMAIN_ID, STATUS, OBJECT_ID, TABLE_CODE, DESCRIPTION, "
        "LANGUAGE_ID, ACCOUNT_ID, CREATED, ID) VALUES (?, ?, ?, ?, ?, ?, ?, "
        "COALESCE(?, {NOW}), ?)";
    return insertNumbered("writeChangeRecord", sql, kChangeRecords, Numbered::kChangeRecords,
                 {idValue(domainId), textValue(status), idValue(objectId), textValue(tableCode),
                  textValue(description), idValue(languageId), idValue(accountId),
                  date ? dateValue(*date) : nullValue()});
}

StoreResultSet* RefDataStoreImpl::listChangeRecords(unsigned id, unsigned domainId,
                                                    const QxbString& status, unsigned objectId,
                                                    const QxbString& tableCode,
                                                    const QxbString& description,
                                                    unsigned languageId, unsigned accountId,
                                                    const QxbDate& date) {
    static const char sql[] =
        "SELECT ID, DOMAIN_ID, STATUS, OBJECT_ID, TABLE_CODE, DESCRIPTION, LANGUAGE_ID, "
        "ACCOUNT_ID, CREATED FROM {P}change_records{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).text("STATUS", status);
    filters.id("OBJECT_ID", objectId).text("TABLE_CODE", tableCode);
    filters.text("DESCRIPTION", description).id("LANGUAGE_ID", languageId);
    filters.id("ACCOUNT_ID", accountId).date("CREATED", date);
    return listing("listChangeRecords", sql, filters, kChangeRecords);
}

// --- domain extras ------------------------------------------------------------------------

namespace {
FilterClause extraFilters(unsigned id, const QxbString& text1, const QxbString& text2,
                          unsigned domainId, unsigned number, const QxbString& text3,
                          const QxbString& text4) {
    FilterClause filters;
    filters.id("ID", id).text("TEXT1", text1).text("TEXT2", text2).id("DOMAIN_ID", domainId);
    filters.id("NUMBER", number).text("TEXT3", text3).text("TEXT4", text4);
    return filters;
}
}  // namespace

bool RefDataStoreImpl::insertDomainExtra(unsigned domainId, const QxbString& text1,
                                         const QxbString& text2, int number, const QxbString& text3,
                                         const QxbString& text4, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}domain_extras (TEXT1, TEXT2, DOMAIN_ID, NUMBER, TEXT3, TEXT4) "
        "VALUES (?, ?, ?, ?, ?, ?) RETURNING ID";
    return write("insertDomainExtra", sql, kDomainExtras,
                 {textValue(text1), textValue(text2), idValue(domainId), numberValue(number),
                  textValue(text3), textValue(text4)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listDomainExtras(unsigned id, const QxbString& text1,
                                                   const QxbString& text2, unsigned domainId,
                                                   unsigned number, const QxbString& text3,
                                                   const QxbString& text4) {
    static const char sql[] =
        "SELECT ID, TEXT1, TEXT2, DOMAIN_ID, NUMBER, TEXT3, TEXT4 FROM {P}domain_extras{W} "
        "ORDER BY ID";
    return listing("listDomainExtras", sql,
                   extraFilters(id, text1, text2, domainId, number, text3, text4), kDomainExtras);
}

bool RefDataStoreImpl::deleteDomainExtras(unsigned id, const QxbString& text1,
                                          const QxbString& text2, unsigned domainId,
                                          unsigned number, const QxbString& text3,
                                          const QxbString& text4) {
    static const char sql[] = "DELETE FROM {P}domain_extras{W}";
    return filteredWrite("deleteDomainExtras", sql,
                         extraFilters(id, text1, text2, domainId, number, text3, text4),
                         kDomainExtras);
}

}  // namespace repadm

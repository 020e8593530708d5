// The lettered listings and deletions (listA to listS, deleteDomainRows*,
// deleteVersionLinks*, deleteVersionRows*). docs/store.md says what each
// holds; the deletions are shaped so that both removal cascades of the
// administration layer leave no row of the removed domain or version.
#include "store_impl.h"

namespace repadm {

namespace {

// Item attribute values whose owning version is gone and that no version
// uses any more (left by a copy that outlived its source). A link row lives
// only while a version holds it, so any link row names a value in use.
const char kPurgeOrphanValues[] =
    "DELETE FROM {P}item_attribute_values WHERE NOT EXISTS (SELECT 1 FROM {P}domain_versions v "
    "WHERE v.ID = {P}item_attribute_values.VERSION_ID) AND NOT EXISTS (SELECT 1 FROM "
    "{P}version_item_value_links l WHERE l.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID) "
    "AND NOT EXISTS (SELECT 1 FROM {P}version_item_values w WHERE w.ITEM_ATTRIBUTE_VALUE_ID = "
    "{P}item_attribute_values.ID)";

// Values owned by a version, except those another version still uses.
const char kDeleteOwnedValues[] =
    "DELETE FROM {P}item_attribute_values WHERE TRUE{A} AND NOT EXISTS (SELECT 1 FROM "
    "{P}version_item_value_links l WHERE l.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID AND "
    RDM_LINK_HELD_ELSEWHERE("{P}item_attribute_values.VERSION_ID", "l.ID") ") AND NOT EXISTS (SELECT 1 FROM "
    "{P}version_item_values w WHERE w.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID "
    "AND w.VERSION_ID IS DISTINCT FROM {P}item_attribute_values.VERSION_ID)";

const char kDeleteVersionItemValues[] = "DELETE FROM {P}version_item_values{W}";

const std::uint64_t kValueTables =
    kItemAttributeValues | kVersionItemValues | kVersionItemValueLinks | kDomainVersions;

}  // namespace

// --- lettered listings ------------------------------------------------------------------------

StoreResultSet* RefDataStoreImpl::listA(unsigned id, const QxbString& name, const QxbString& text) {
    static const char sql[] = "SELECT ID, CODE, DESCRIPTION FROM {P}table_codes{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).text("CODE", name).text("DESCRIPTION", text);
    return listing("listA", sql, filters, kTableCodes);
}

StoreResultSet* RefDataStoreImpl::listB(unsigned key) {
    static const char sql[] =
        "SELECT dl.DOMAIN_ID, dl.ID AS DOMAIN_LANGUAGE_ID, dl.LANGUAGE_ID, g.CODE, g.NAME "
        "FROM {P}domain_languages dl LEFT JOIN {P}languages g ON g.ID = dl.LANGUAGE_ID{W} "
        "ORDER BY dl.ID";
    FilterClause filters;
    filters.id("dl.DOMAIN_ID", key);
    return listing("listB", sql, filters, kDomainLanguages | kLanguages);
}

StoreResultSet* RefDataStoreImpl::listC(unsigned key) {
    static const char sql[] =
        "SELECT da.DOMAIN_ID, da.ID AS DOMAIN_ATTRIBUTE_ID, da.ATTRIBUTE_ID, a.NAME, a.LABEL, "
        "a.TYPE_NAME FROM {P}domain_attributes da LEFT JOIN {P}attributes a ON a.ID = "
        "da.ATTRIBUTE_ID{W} ORDER BY da.ID";
    FilterClause filters;
    filters.id("da.DOMAIN_ID", key);
    return listing("listC", sql, filters, kDomainAttributes | kAttributes);
}

StoreResultSet* RefDataStoreImpl::listD(unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT dv.DOMAIN_ATTRIBUTE_ID, dv.LANGUAGE_ID, dv.ID, dv.VALUE_TEXT, dv.FLAG, g.CODE "
        "FROM {P}domain_attribute_values dv LEFT JOIN {P}languages g ON g.ID = dv.LANGUAGE_ID{W} "
        "ORDER BY dv.ID";
    FilterClause filters;
    filters.id("dv.DOMAIN_ATTRIBUTE_ID", a).id("dv.LANGUAGE_ID", b);
    return listing("listD", sql, filters, kDomainAttributeValues | kLanguages);
}

StoreResultSet* RefDataStoreImpl::listE(unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT va.VERSION_ID, va.DOMAIN_ATTRIBUTE_ID, da.ATTRIBUTE_ID, a.NAME, va.FLAG "
        "FROM {P}version_attributes va LEFT JOIN {P}domain_attributes da ON da.ID = "
        "va.DOMAIN_ATTRIBUTE_ID LEFT JOIN {P}attributes a ON a.ID = da.ATTRIBUTE_ID{W} "
        "ORDER BY va.ID";
    FilterClause filters;
    filters.id("va.VERSION_ID", a).id("va.DOMAIN_ATTRIBUTE_ID", b);
    return listing("listE", sql, filters, kVersionAttributes | kDomainAttributes | kAttributes);
}

StoreResultSet* RefDataStoreImpl::listF(unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT l.ITEM_ATTRIBUTE_VALUE_ID, t.LANGUAGE_ID, s.VERSION_ID, l.LOCALIZED_TEXT_ID, "
        "t.TEXT_VALUE AS TEXT FROM {P}version_item_value_links l JOIN {P}localized_texts t ON "
        "t.ID = l.LOCALIZED_TEXT_ID JOIN {P}version_link_sets s ON s.BLOCK = l.ID / 4096 "
        "AND get_bit(s.BITS, l.ID % 4096) = 1{W} ORDER BY l.ID, s.VERSION_ID";
    FilterClause filters;
    filters.id("l.ITEM_ATTRIBUTE_VALUE_ID", a).id("t.LANGUAGE_ID", b);
    return listing("listF", sql, filters, kVersionItemValueLinks | kLocalizedTexts);
}

StoreResultSet* RefDataStoreImpl::listG(unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT vi.VERSION_ID, vi.ITEM_ID, vi.ID AS VERSION_ITEM_ID, i.ITEM_KEY, vi.LABEL, "
        "vi.PARENT_ITEM_ID FROM {P}version_items vi LEFT JOIN {P}items i ON i.ID = vi.ITEM_ID{W} "
        "ORDER BY vi.ID";
    FilterClause filters;
    filters.id("vi.VERSION_ID", a).id("vi.ITEM_ID", b);
    return listing("listG", sql, filters, kVersionItems | kItems);
}

StoreResultSet* RefDataStoreImpl::listH(unsigned id, unsigned key) {
    static const char sql[] =
        "SELECT c.ID, c.DOMAIN_ID, a.NAME AS ACCOUNT_NAME, c.TABLE_CODE, c.DESCRIPTION, c.CREATED "
        "FROM {P}change_records c LEFT JOIN {P}accounts a ON a.ID = c.ACCOUNT_ID{W} ORDER BY c.ID";
    FilterClause filters;
    filters.id("c.ID", id).id("c.DOMAIN_ID", key);
    return listing("listH", sql, filters, kChangeRecords | kAccounts);
}

StoreResultSet* RefDataStoreImpl::listI(unsigned id, unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT ip.ID, ip.ITEM_ID, ip.ACCOUNT_ID, ip.PERMISSION_ID, p.NAME AS PERMISSION_NAME "
        "FROM {P}item_permissions ip LEFT JOIN {P}permissions p ON p.ID = ip.PERMISSION_ID{W} "
        "ORDER BY ip.ID";
    FilterClause filters;
    filters.id("ip.ID", id).id("ip.ITEM_ID", a).id("ip.ACCOUNT_ID", b);
    return listing("listI", sql, filters, kItemPermissions | kPermissions);
}

StoreResultSet* RefDataStoreImpl::listJ(unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT dp.ACCOUNT_ID, dp.DOMAIN_ID, dp.PERMISSION_ID, p.NAME AS PERMISSION_NAME, "
        "dp.ACCESS_NAME FROM {P}domain_permissions dp LEFT JOIN {P}permissions p ON p.ID = "
        "dp.PERMISSION_ID{W} ORDER BY dp.ID";
    FilterClause filters;
    filters.id("dp.ACCOUNT_ID", a).id("dp.DOMAIN_ID", b);
    return listing("listJ", sql, filters, kDomainPermissions | kPermissions);
}

StoreResultSet* RefDataStoreImpl::listK(unsigned a, unsigned b) {
    static const char sql[] =
        "SELECT vi.VERSION_ID, vi.PARENT_ITEM_ID, vi.ITEM_ID, i.ITEM_KEY, vi.LABEL "
        "FROM {P}version_items vi LEFT JOIN {P}items i ON i.ID = vi.ITEM_ID{W} ORDER BY vi.ID";
    FilterClause filters;
    filters.id("vi.VERSION_ID", a).id("vi.PARENT_ITEM_ID", b);
    return listing("listK", sql, filters, kVersionItems | kItems);
}

StoreResultSet* RefDataStoreImpl::listS(unsigned key) {
    static const char sql[] =
        "SELECT v.DOMAIN_ID, v.ID AS VERSION_ID, v.VERSION_NUMBER, v.LABEL, (SELECT COUNT(*) FROM "
        "{P}version_items vi WHERE vi.VERSION_ID = v.ID) AS ITEM_COUNT FROM {P}domain_versions "
        "v{W} "
        "ORDER BY v.DOMAIN_ID, v.VERSION_NUMBER, v.ID";
    FilterClause filters;
    filters.id("v.DOMAIN_ID", key);
    return listing("listS", sql, filters, kDomainVersions | kVersionItems);
}

// The items of the domain's newest version: a code list ("C") by key, any
// other domain as a hierarchy, parents first: each item is followed by its
// subtree, siblings by position (then id). An item whose parent is not in
// the version is a top-level item; items the walk from the top cannot reach
// (a cycle of parents) come last, by id. The depth bound stops the walk on
// a parent item held twice by the version.
StoreResultSet* RefDataStoreImpl::listForDomainKind(unsigned domainId, bool kindIsC) {
    static const char sqlCodes[] =
        "SELECT vi.ITEM_ID, i.ITEM_KEY, COALESCE(vi.LABEL, i.ITEM_TEXT) AS ITEM_LABEL, "
        "vi.PARENT_ITEM_ID, vi.POSITION FROM {P}version_items vi JOIN {P}items i ON i.ID = "
        "vi.ITEM_ID JOIN {P}domain_versions v ON v.ID = vi.VERSION_ID WHERE v.ID = (SELECT n.ID "
        "FROM {P}domain_versions n WHERE n.DOMAIN_ID = v.DOMAIN_ID ORDER BY n.VERSION_NUMBER DESC, "
        "n.ID DESC LIMIT 1){A} ORDER BY i.ITEM_KEY, vi.ID";
    // The sort key of a tree node: its position and id as 11 digits each,
    // appended to its parent's (the dialects format numbers differently).
#define TREE_SQL(KEY_OF_M, KEY_OF_C)                                                              \
    "WITH RECURSIVE newest(ID) AS (SELECT v.ID FROM {P}domain_versions v WHERE v.ID = "            \
    "(SELECT n.ID FROM {P}domain_versions n WHERE n.DOMAIN_ID = v.DOMAIN_ID ORDER BY "            \
    "n.VERSION_NUMBER DESC, n.ID DESC LIMIT 1){A}), "                                             \
    "tree(ID, ITEM_ID, VERSION_ID, SORT_KEY, DEPTH) AS ("                                          \
    "SELECT m.ID, m.ITEM_ID, m.VERSION_ID, " KEY_OF_M ", 0 FROM {P}version_items m "               \
    "WHERE m.VERSION_ID IN (SELECT ID FROM newest) AND NOT "                                       \
    "EXISTS (SELECT 1 FROM {P}version_items p WHERE p.VERSION_ID = m.VERSION_ID AND "              \
    "p.ITEM_ID = m.PARENT_ITEM_ID) "                                                               \
    "UNION ALL SELECT c.ID, c.ITEM_ID, c.VERSION_ID, t.SORT_KEY || " KEY_OF_C ", t.DEPTH + 1 "     \
    "FROM tree t JOIN {P}version_items c ON "                                                      \
    "c.PARENT_ITEM_ID = t.ITEM_ID AND c.VERSION_ID = t.VERSION_ID WHERE t.DEPTH < 1000) "          \
    "SELECT vi.ITEM_ID, i.ITEM_KEY, COALESCE(vi.LABEL, i.ITEM_TEXT) AS ITEM_LABEL, "               \
    "vi.PARENT_ITEM_ID, vi.POSITION FROM {P}version_items vi JOIN {P}items i ON i.ID = "           \
    "vi.ITEM_ID LEFT JOIN (SELECT ID, MIN(SORT_KEY) AS SORT_KEY FROM tree GROUP BY ID) t ON "      \
    "t.ID = vi.ID WHERE vi.VERSION_ID IN (SELECT ID FROM newest) "                                 \
    "ORDER BY vi.VERSION_ID, t.SORT_KEY IS NULL, t.SORT_KEY, vi.ID"
    static const char sqlTree[] = TREE_SQL("printf('%011d%011d', m.POSITION + 2147483648, m.ID)",
                                           "printf('%011d%011d', c.POSITION + 2147483648, c.ID)");
    static const char sqlTreePostgresql[] =
        TREE_SQL("lpad((m.POSITION + 2147483648)::TEXT, 11, '0') || lpad(m.ID::TEXT, 11, '0')",
                 "lpad((c.POSITION + 2147483648)::TEXT, 11, '0') || lpad(c.ID::TEXT, 11, '0')");
#undef TREE_SQL
    FilterClause filters;
    filters.id("v.DOMAIN_ID", domainId);
    const char* tree = dialect() == SqlDialect::Postgresql ? sqlTreePostgresql : sqlTree;
    return listing("listForDomainKind", kindIsC ? sqlCodes : tree, filters,
                   kVersionItems | kItems | kDomainVersions);
}

// --- lettered deletions of a domain --------------------------------------------------------------

// Domain languages; given only the domain, also the domain's role grants
// and associations.
bool RefDataStoreImpl::deleteDomainRowsA(unsigned id, unsigned domainId, unsigned key) {
    static const char sqlLanguages[] = "DELETE FROM {P}domain_languages{W}";
    static const char sqlRoles[] = "DELETE FROM {P}domain_role_permissions{W}";
    static const char sqlAssociations[] = "DELETE FROM {P}domain_associations{W}";
    const char* operation = "deleteDomainRowsA";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).id("LANGUAGE_ID", key);
    const bool wholeDomain = id == kNoId && key == kNoId && domainId != kNoId;
    FilterClause byDomain;
    byDomain.id("DOMAIN_ID", domainId);
    return atomically(operation, [&] {
        if (!filteredWrite(operation, sqlLanguages, filters, kDomainLanguages)) return false;
        if (!wholeDomain) return true;
        return filteredWrite(operation, sqlRoles, byDomain, kDomainRolePermissions) &&
               filteredWrite(operation, sqlAssociations, byDomain, kDomainAssociations);
    });
}

// Domain attributes with their values; given only the domain, also the
// domain's attribute permissions.
bool RefDataStoreImpl::deleteDomainRowsB(unsigned id, unsigned domainId, unsigned key) {
    static const char sqlValues[] =
        "DELETE FROM {P}domain_attribute_values WHERE DOMAIN_ATTRIBUTE_ID IN (SELECT ID FROM "
        "{P}domain_attributes{W})";
    static const char sqlAttributes[] = "DELETE FROM {P}domain_attributes{W}";
    static const char sqlPermissions[] = "DELETE FROM {P}domain_attribute_permissions{W}";
    const char* operation = "deleteDomainRowsB";
    FilterClause filters;
    filters.id("ID", id).id("DOMAIN_ID", domainId).id("ATTRIBUTE_ID", key);
    const bool wholeDomain = id == kNoId && key == kNoId && domainId != kNoId;
    FilterClause byDomain;
    byDomain.id("DOMAIN_ID", domainId);
    return atomically(operation, [&] {
        if (!filteredWrite(operation, sqlValues, filters, kDomainAttributeValues) ||
            !filteredWrite(operation, sqlAttributes, filters, kDomainAttributes)) {
            return false;
        }
        return !wholeDomain ||
               filteredWrite(operation, sqlPermissions, byDomain, kDomainAttributePermissions);
    });
}

// --- lettered deletions of a version
// ----------------------------------------------------------------

bool RefDataStoreImpl::deleteVersionLinksA(unsigned versionId, unsigned key) {
    static const char sql[] = "DELETE FROM {P}version_languages{W}";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("DOMAIN_LANGUAGE_ID", key);
    return filteredWrite("deleteVersionLinksA", sql, filters, kVersionLanguages);
}

bool RefDataStoreImpl::deleteVersionLinksB(unsigned versionId, unsigned key) {
    static const char sql[] = "DELETE FROM {P}version_values{W}";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("DOMAIN_ATTRIBUTE_VALUE_ID", key);
    return filteredWrite("deleteVersionLinksB", sql, filters, kVersionValues);
}

// Version item values: position 1 the row id, 7 the version, 8 the value.
bool RefDataStoreImpl::deleteVersionRowsC(unsigned k1, unsigned k2, const QxbString& t3,
                                          const QxbString& t4, const QxbString& t5, unsigned k6,
                                          unsigned versionId, unsigned k8, const QxbString& t9,
                                          const QxbString& t10, const QxbString& t11,
                                          const QxbString& t12, unsigned k13, unsigned k14,
                                          const QxbDate& d15) {
    FilterClause filters;
    filters.id("ID", k1).none(k2).none(t3).none(t4).none(t5).none(k6);
    filters.id("VERSION_ID", versionId).id("ITEM_ATTRIBUTE_VALUE_ID", k8);
    filters.none(t9).none(t10).none(t11).none(t12).none(k13).none(k14).none(d15);
    return filteredWrite("deleteVersionRowsC", kDeleteVersionItemValues, filters,
                         kVersionItemValues);
}

// Item attribute values owned by a version (position 1 the value id, 15 the
// version) that no other version uses, then values left without owner and user.
bool RefDataStoreImpl::deleteVersionRowsD(unsigned k1, unsigned k2, unsigned k3, unsigned k4,
                                          unsigned k5, const QxbString& t6, unsigned k7,
                                          const QxbString& t8, const QxbString& t9,
                                          const QxbString& t10, const QxbString& t11, unsigned k12,
                                          unsigned k13, unsigned k14, unsigned versionId,
                                          unsigned k16, const QxbDate& d17) {
    const char* operation = "deleteVersionRowsD";
    FilterClause filters;
    filters.id("ID", k1).none(k2).none(k3).none(k4).none(k5).none(t6).none(k7).none(t8);
    filters.none(t9).none(t10).none(t11).none(k12).none(k13).none(k14);
    filters.id("VERSION_ID", versionId).none(k16).none(d17);
    if (!checkFilters(operation, filters)) return false;
    return atomically(operation, [&] {
        return filteredWrite(operation, kDeleteOwnedValues, filters, kValueTables) &&
               write(operation, kPurgeOrphanValues, kValueTables, {});
    });
}

// Version permissions: 1 version, 2 account, 3 grant date, 4 permission,
// 5 note, 6 row id; position 7 has no column.
bool RefDataStoreImpl::deleteVersionRowsE(unsigned versionId, unsigned k2, const QxbDate& d3,
                                          unsigned k4, const QxbString& t5, unsigned k6,
                                          unsigned k7) {
    static const char sql[] = "DELETE FROM {P}version_permissions{W}";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("ACCOUNT_ID", k2).date("GRANTED", d3);
    filters.id("PERMISSION_ID", k4).text("NOTE", t5).id("ID", k6).none(k7);
    return filteredWrite("deleteVersionRowsE", sql, filters, kVersionPermissions);
}

// Item attribute values as deleteItemAttributeValues keys them (id, version
// item, attribute) plus the owning version, then values left without owner
// and user.
bool RefDataStoreImpl::deleteVersionRowsF(unsigned k1, unsigned k2, unsigned k3,
                                          unsigned versionId) {
    const char* operation = "deleteVersionRowsF";
    FilterClause filters;
    filters.id("ID", k1).id("VERSION_ITEM_ID", k2).id("ATTRIBUTE_ID", k3);
    filters.id("VERSION_ID", versionId);
    return atomically(operation, [&] {
        return filteredWrite(operation, kDeleteOwnedValues, filters, kValueTables) &&
               write(operation, kPurgeOrphanValues, kValueTables, {});
    });
}

// Version item values keyed (value, version), then values left without
// owner and user.
bool RefDataStoreImpl::deleteVersionRowsG(unsigned key, unsigned versionId) {
    const char* operation = "deleteVersionRowsG";
    static const char sql[] = "DELETE FROM {P}version_item_values{W} ";
    FilterClause filters;
    filters.id("ITEM_ATTRIBUTE_VALUE_ID", key).id("VERSION_ID", versionId);
    return atomically(operation, [&] {
        return filteredWrite(operation, sql, filters, kVersionItemValues) &&
               write(operation, kPurgeOrphanValues, kValueTables, {});
    });
}

// --- a version's item content, set-based ----------------------------------------------------

// Seven statements keyed by the version (?1), in an order that lets each
// reach its rows through an index:
// 1. the values the version's links and version item values name that
//    another, gone version owned and that no other version uses (a copy
//    outliving its source); read while the version still holds its links;
// 2. the texts of the link rows only this version holds that no link row
//    held by another version uses;
// 3. those link rows; the rows left that carry the version's stamp take
//    the newest other holder's; then the version's bitmaps and version
//    item values;
// 4. the values the version owns that no link row and no other version's
//    version item value names: the link rows left are all held elsewhere.
// The rows checked are only those the version holds or owns, so the cost
// follows the version's rows, not the repository's.
bool RefDataStoreImpl::deleteVersionItemContent(unsigned versionId) {
    static const char sqlUsedValues[] =
        "DELETE FROM {P}item_attribute_values WHERE ID IN (SELECT l.ITEM_ATTRIBUTE_VALUE_ID "
        "FROM " RDM_LINKS_OF_SETS_FROM " WHERE s.VERSION_ID = ?1 AND " RDM_LINKS_OF_SETS_WHERE " UNION SELECT "
        "w.ITEM_ATTRIBUTE_VALUE_ID FROM {P}version_item_values w WHERE w.VERSION_ID = ?1) "
        "AND VERSION_ID IS DISTINCT FROM ?1 AND NOT EXISTS (SELECT 1 FROM {P}domain_versions v WHERE v.ID = "
        "{P}item_attribute_values.VERSION_ID) AND NOT EXISTS (SELECT 1 FROM "
        "{P}version_item_value_links a WHERE a.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID "
        "AND " RDM_LINK_HELD_ELSEWHERE("?1", "a.ID") ") AND NOT EXISTS (SELECT 1 FROM {P}version_item_values b "
        "WHERE b.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID AND b.VERSION_ID IS DISTINCT FROM ?1)";
    static const char sqlTexts[] =
        "DELETE FROM {P}localized_texts WHERE ID IN (SELECT l.LOCALIZED_TEXT_ID FROM " RDM_LINKS_OF_SETS_FROM
        " WHERE s.VERSION_ID = ?1 AND " RDM_LINKS_OF_SETS_WHERE " AND NOT " RDM_LINK_HELD_ELSEWHERE("?1", "l.ID")
        ") AND NOT EXISTS (SELECT 1 FROM {P}version_item_value_links a WHERE a.LOCALIZED_TEXT_ID = "
        "{P}localized_texts.ID AND " RDM_LINK_HELD_ELSEWHERE("?1", "a.ID") ")";
    static const char sqlLinks[] =
        "DELETE FROM {P}version_item_value_links WHERE ID IN (SELECT l.ID FROM " RDM_LINKS_OF_SETS_FROM
        " WHERE s.VERSION_ID = ?1 AND " RDM_LINKS_OF_SETS_WHERE " AND NOT " RDM_LINK_HELD_ELSEWHERE("?1", "l.ID") ")";
    static const char sqlStamps[] =
        "UPDATE {P}version_item_value_links SET VERSION_ID = " RDM_LINK_NEXT_STAMP("?1", "{P}version_item_value_links.ID")
        " WHERE VERSION_ID = ?1 AND ID IN (SELECT l.ID FROM " RDM_LINKS_OF_SETS_FROM " WHERE s.VERSION_ID = ?1 AND "
        RDM_LINKS_OF_SETS_WHERE ")";
    static const char sqlSets[] = "DELETE FROM {P}version_link_sets WHERE VERSION_ID = ?1";
    static const char sqlItemValues[] = "DELETE FROM {P}version_item_values WHERE VERSION_ID = ?1";
    static const char sqlOwnedValues[] =
        "DELETE FROM {P}item_attribute_values WHERE VERSION_ID = ?1 AND NOT EXISTS (SELECT 1 FROM "
        "{P}version_item_value_links a WHERE a.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID) "
        "AND NOT EXISTS (SELECT 1 FROM {P}version_item_values b WHERE "
        "b.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID AND b.VERSION_ID IS DISTINCT FROM ?1)";
    const char* operation = "deleteVersionItemContent";
    if (versionId == kNoId) {
        return fail(operation, "every filter is \"any\"; a deletion needs at least one");
    }
    const std::uint64_t tables = kValueTables | kLocalizedTexts;
    const SqlValue version = idValue(versionId);
    return atomically(operation, [&] {
        return write(operation, sqlUsedValues, tables, {version}) &&
               write(operation, sqlTexts, tables, {version}) &&
               write(operation, sqlLinks, tables, {version}) &&
               write(operation, sqlStamps, tables, {version}) &&
               write(operation, sqlSets, tables, {version}) &&
               write(operation, sqlItemValues, tables, {version}) &&
               write(operation, sqlOwnedValues, tables, {version});
    });
}

}  // namespace repadm

// Items, their permissions, language-tagged texts, version items, item
// attribute values with their version rows and links, and the items-with-
// attributes listings.
#include <cstring>

#include "store_impl.h"

namespace repadm {

// --- items ----------------------------------------------------------------------------

bool RefDataStoreImpl::insertItem(const QxbString& key, const QxbString& text,
                                  const QxbString& flag1, const QxbString& flag2,
                                  const QxbString& text2, unsigned accountId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}items (ITEM_KEY, ITEM_TEXT, FLAG1, FLAG2, TEXT2, ACCOUNT_ID, ID) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)";
    return insertNumbered("insertItem", sql, kItems, Numbered::kItems,
                 {textValue(key), textValue(text), textValue(flag1), textValue(flag2),
                  textValue(text2), idValue(accountId)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listItems(unsigned id, const QxbString& key,
                                            const QxbString& text, const QxbString& flag1,
                                            const QxbString& flag2, const QxbString& text2,
                                            unsigned accountId) {
    static const char sql[] =
        "SELECT ID, ITEM_KEY, ITEM_TEXT, FLAG1, FLAG2, TEXT2, ACCOUNT_ID FROM {P}items{W} "
        "ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).text("ITEM_KEY", key).text("ITEM_TEXT", text).text("FLAG1", flag1);
    filters.text("FLAG2", flag2).text("TEXT2", text2).id("ACCOUNT_ID", accountId);
    return listing("listItems", sql, filters, kItems);
}

bool RefDataStoreImpl::insertItemPermission(unsigned itemId, unsigned accountId,
                                            unsigned permissionId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}item_permissions (ITEM_ID, ACCOUNT_ID, PERMISSION_ID) VALUES (?, ?, ?) RETURNING ID";
    return write("insertItemPermission", sql, kItemPermissions,
                 {idValue(itemId), idValue(accountId), idValue(permissionId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listItemPermissions(unsigned itemId, unsigned accountId,
                                                      unsigned permissionId) {
    static const char sql[] =
        "SELECT ITEM_ID, ACCOUNT_ID, PERMISSION_ID, ID FROM {P}item_permissions{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ITEM_ID", itemId).id("ACCOUNT_ID", accountId).id("PERMISSION_ID", permissionId);
    return listing("listItemPermissions", sql, filters, kItemPermissions);
}

// --- language-tagged texts -----------------------------------------------------------------

bool RefDataStoreImpl::insertLocalizedText(const QxbString& text, unsigned languageId,
                                           unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}localized_texts (TEXT_VALUE, LANGUAGE_ID, ID) VALUES (?, ?, ?)";
    return insertNumbered("insertLocalizedText", sql, kLocalizedTexts, Numbered::kLocalizedTexts,
                 {textValue(text), idValue(languageId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listLocalizedTexts(unsigned id, const QxbString& text,
                                                     unsigned languageId) {
    static const char sql[] =
        "SELECT ID, TEXT_VALUE AS TEXT, LANGUAGE_ID FROM {P}localized_texts{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).text("TEXT_VALUE", text).id("LANGUAGE_ID", languageId);
    return listing("listLocalizedTexts", sql, filters, kLocalizedTexts);
}

// A text, and its link to an item attribute value of a version when both
// are given, stored together. What the text and link name must exist: a
// text pointing at nothing would fail every later load of the catalogues.
bool RefDataStoreImpl::writeRow(const QxbString* text, unsigned* textIdOut, unsigned languageId,
                                unsigned valueId, const unsigned* versionId, const void* reserved1,
                                const void* reserved2) {
    static const char sqlLanguage[] = "SELECT 1 FROM {P}languages WHERE ID = ?";
    static const char sqlValue[] = "SELECT 1 FROM {P}item_attribute_values WHERE ID = ?";
    static const char sqlVersion[] = "SELECT 1 FROM {P}domain_versions WHERE ID = ?";
    const char* operation = "writeRow";
    if (!text) return fail(operation, "no text was given");
    if (reserved1 || reserved2) return fail(operation, "the reserved arguments must be null");
    if (std::memchr(text->asCstr(), '\0', text->length())) {
        return fail(operation, "the text holds a NUL byte, which no text may hold");
    }
    const bool linked = valueId != kNoId && versionId;
    if (linked && *versionId == kNoId) {
        return fail(operation, "a value was given with the version -1 (none)");
    }
    unsigned textId = 0;
    const bool ok = atomically(operation, [&] {
        if (!rowExists(operation, sqlLanguage, languageId, "language")) return false;
        if (valueId != kNoId &&
            !rowExists(operation, sqlValue, valueId, "item attribute value")) {
            return false;
        }
        if (linked && !rowExists(operation, sqlVersion, *versionId, "version")) return false;
        if (!insertLocalizedText(*text, languageId, &textId)) return false;
        return !linked || insertVersionItemValueLink(*versionId, textId, valueId, nullptr);
    });
    if (ok && textIdOut) *textIdOut = textId;
    return ok;
}

// --- version items -----------------------------------------------------------------------

namespace {
FilterClause versionItemFilters(unsigned id, unsigned versionId, unsigned itemId,
                                const QxbDate& date, unsigned number, const QxbString& text,
                                unsigned parentItemId) {
    FilterClause filters;
    filters.id("ID", id).id("VERSION_ID", versionId).id("ITEM_ID", itemId).date("CREATED", date);
    filters.id("POSITION", number).text("LABEL", text).id("PARENT_ITEM_ID", parentItemId);
    return filters;
}
}  // namespace

bool RefDataStoreImpl::insertVersionItem(unsigned versionId, unsigned itemId, int number,
                                         const QxbString& text, unsigned parentItemId,
                                         const QxbDate* date, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_items (VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL, "
        "PARENT_ITEM_ID, ID) VALUES (?, ?, COALESCE(?, {NOW}), ?, ?, ?, ?)";
    return insertNumbered("insertVersionItem", sql, kVersionItems, Numbered::kVersionItems,
                 {idValue(versionId), idValue(itemId), date ? dateValue(*date) : nullValue(),
                  numberValue(number), textValue(text), idValue(parentItemId)},
                 newId);
}

StoreResultSet* RefDataStoreImpl::listVersionItems(unsigned id, unsigned versionId, unsigned itemId,
                                                   const QxbDate& date, unsigned number,
                                                   const QxbString& text, unsigned parentItemId) {
    static const char sql[] =
        "SELECT ID, VERSION_ID, ITEM_ID, CREATED, POSITION, LABEL, PARENT_ITEM_ID "
        "FROM {P}version_items{W} ORDER BY ID";
    return listing("listVersionItems", sql,
                   versionItemFilters(id, versionId, itemId, date, number, text, parentItemId),
                   kVersionItems);
}

bool RefDataStoreImpl::deleteVersionItems(unsigned id, unsigned versionId, unsigned itemId,
                                          const QxbDate& date, unsigned number,
                                          const QxbString& text, unsigned parentItemId) {
    static const char sql[] = "DELETE FROM {P}version_items{W}";
    return filteredWrite(
        "deleteVersionItems", sql,
        versionItemFilters(id, versionId, itemId, date, number, text, parentItemId), kVersionItems);
}

// --- item attribute values ---------------------------------------------------------------

// The item and version are copied from the version item (see schema.sql).
bool RefDataStoreImpl::insertItemAttributeValue(unsigned versionItemId, unsigned attributeId,
                                                unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}item_attribute_values (VERSION_ITEM_ID, ATTRIBUTE_ID, ITEM_ID, VERSION_ID, "
        "ID) SELECT vi.ID, ?2, vi.ITEM_ID, vi.VERSION_ID, ?3 FROM {P}version_items vi "
        "WHERE vi.ID = ?1";
    return insertNumbered("insertItemAttributeValue", sql, kItemAttributeValues, Numbered::kItemAttributeValues,
                          {idValue(versionItemId), idValue(attributeId)}, newId,
                          "no version item has id " + std::to_string(versionItemId));
}

StoreResultSet* RefDataStoreImpl::listItemAttributeValues(unsigned id, unsigned versionItemId,
                                                          unsigned attributeId) {
    static const char sql[] =
        "SELECT ID, VERSION_ITEM_ID, ATTRIBUTE_ID, ITEM_ID, VERSION_ID "
        "FROM {P}item_attribute_values{W} ORDER BY ID";
    FilterClause filters;
    filters.id("ID", id).id("VERSION_ITEM_ID", versionItemId).id("ATTRIBUTE_ID", attributeId);
    return listing("listItemAttributeValues", sql, filters, kItemAttributeValues);
}

// The VERSION_ID index holds the row id after the version, so the rows come
// in id order straight from the index, without a sort.
StoreResultSet* RefDataStoreImpl::listVersionItemAttributeValues(unsigned versionId) {
    static const char sql[] =
        "SELECT ID, VERSION_ITEM_ID, ATTRIBUTE_ID, ITEM_ID, VERSION_ID "
        "FROM {P}item_attribute_values{W} ORDER BY ID";
    FilterClause filters;
    filters.id("VERSION_ID", versionId);
    return listing("listVersionItemAttributeValues", sql, filters, kItemAttributeValues);
}

// The values and texts of the version items vi of version `version`
// (aliases iv, l, t, a, g), with RDM_VALUE_ROW_KEPT in WHERE. A value of the
// item (alias w) is one of the version's own item or one no version item of
// it claims.
//
// Each value row is joined to its texts in the version once: a value without
// any (it belongs to other versions) gives a row with no link that WHERE
// drops, except once per item that has no value with a text, where it stands
// for the item with its attribute columns empty. Those checks run only for
// rows without a link, so a version whose values all have texts reads with
// one probe of the links per value.
#define RDM_VALUE_OF_ITEM(w, version) \
    "(" w ".VERSION_ITEM_ID = vi.ID OR " w ".VERSION_ID IS DISTINCT FROM " version ")"
#define RDM_VALUES_WITH_TEXTS(version)                                                                       \
    "LEFT JOIN {P}item_attribute_values iv ON iv.ITEM_ID = vi.ITEM_ID AND " RDM_VALUE_OF_ITEM("iv", version) " " \
    "LEFT JOIN {P}version_item_value_links l ON l.ITEM_ATTRIBUTE_VALUE_ID = iv.ID "                        \
    "  AND " RDM_LINK_OF_VERSION(version, "l") " "                                                          \
    "LEFT JOIN {P}localized_texts t ON t.ID = l.LOCALIZED_TEXT_ID "                                         \
    "LEFT JOIN {P}attributes a ON a.ID = iv.ATTRIBUTE_ID AND l.ID IS NOT NULL "                             \
    "LEFT JOIN {P}languages g ON g.ID = t.LANGUAGE_ID "
#define RDM_VALUE_ROW_KEPT(version)                                                                          \
    "(l.ID IS NOT NULL OR iv.ID IS NULL OR (iv.ID = (SELECT MIN(w.ID) FROM {P}item_attribute_values w "      \
    "  WHERE w.ITEM_ID = vi.ITEM_ID AND " RDM_VALUE_OF_ITEM("w", version) ") AND NOT EXISTS (SELECT 1 "       \
    "  FROM {P}item_attribute_values w JOIN {P}version_item_value_links x ON x.ITEM_ATTRIBUTE_VALUE_ID = w.ID " \
    "  WHERE w.ITEM_ID = vi.ITEM_ID AND " RDM_VALUE_OF_ITEM("w", version) " AND " RDM_LINK_OF_VERSION(version, "x") ")))"

// The values are joined as the items-with-attributes listing joins them, so
// both answer the same content; the order needs a sort (SQLite's sorter
// spills to a temporary file, so memory stays bounded).
StoreResultSet* RefDataStoreImpl::listVersionContentByKey(unsigned versionId) {
    static const char sql[] =
        "SELECT i.ITEM_KEY, vi.LABEL, p.ITEM_KEY AS PARENT_KEY, vi.POSITION, a.NAME AS ATTRIBUTE_NAME, "
        "g.CODE AS LANGUAGE, t.TEXT_VALUE "
        "FROM {P}version_items vi JOIN {P}items i ON i.ID = vi.ITEM_ID "
        "LEFT JOIN {P}items p ON p.ID = vi.PARENT_ITEM_ID " RDM_VALUES_WITH_TEXTS("vi.VERSION_ID")
        "WHERE " RDM_VALUE_ROW_KEPT("vi.VERSION_ID") "{A} ORDER BY i.ITEM_KEY, vi.ID, a.NAME, g.CODE, l.ID";
    if (versionId == kNoId) {
        fail("listVersionContentByKey", "a version must be given");
        return nullptr;
    }
    FilterClause filters;
    filters.id("vi.VERSION_ID", versionId);
    return listing("listVersionContentByKey", sql, filters,
                   kVersionItems | kItems | kItemAttributeValues | kVersionItemValueLinks | kLocalizedTexts |
                       kAttributes | kLanguages);
}

// From the version's bitmaps to its links by id ranges, and the values'
// primary key: no sort, no scan beyond the version's blocks of links.
StoreResultSet* RefDataStoreImpl::listVersionValueTexts(unsigned versionId) {
    static const char sql[] =
        "SELECT iv.ITEM_ID, iv.ATTRIBUTE_ID, l.ITEM_ATTRIBUTE_VALUE_ID, l.LOCALIZED_TEXT_ID "
        "FROM " RDM_LINKS_OF_SETS_FROM " CROSS JOIN {P}item_attribute_values iv WHERE "
        RDM_LINKS_OF_SETS_WHERE "{A} AND iv.ID = l.ITEM_ATTRIBUTE_VALUE_ID";
    FilterClause filters;
    filters.id("s.VERSION_ID", versionId);
    return listing("listVersionValueTexts", sql, filters, kVersionItemValueLinks | kItemAttributeValues);
}

// A value still used by another version (a copy reaches its source's values
// through its own links) is kept until its last user is gone.
bool RefDataStoreImpl::deleteItemAttributeValues(unsigned id, unsigned versionItemId,
                                                 unsigned attributeId) {
    static const char sql[] =
        "DELETE FROM {P}item_attribute_values WHERE TRUE{A} AND NOT EXISTS (SELECT 1 FROM "
        "{P}version_item_value_links l WHERE l.ITEM_ATTRIBUTE_VALUE_ID = {P}item_attribute_values.ID AND "
        RDM_LINK_HELD_ELSEWHERE("{P}item_attribute_values.VERSION_ID", "l.ID") ") "
        "AND NOT EXISTS (SELECT 1 FROM {P}version_item_values w WHERE w.ITEM_ATTRIBUTE_VALUE_ID = "
        "{P}item_attribute_values.ID AND w.VERSION_ID IS DISTINCT FROM {P}item_attribute_values.VERSION_ID)";
    FilterClause filters;
    filters.id("ID", id).id("VERSION_ITEM_ID", versionItemId).id("ATTRIBUTE_ID", attributeId);
    return filteredWrite("deleteItemAttributeValues", sql, filters, kItemAttributeValues);
}

// --- version item values and links -------------------------------------------------------

bool RefDataStoreImpl::insertVersionItemValue(unsigned versionId, unsigned itemAttributeValueId,
                                              unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_item_values (VERSION_ID, ITEM_ATTRIBUTE_VALUE_ID, ID) "
        "VALUES (?, ?, ?)";
    return insertNumbered("insertVersionItemValue", sql, kVersionItemValues,
                          Numbered::kVersionItemValues,
                 {idValue(versionId), idValue(itemAttributeValueId)}, newId);
}

StoreResultSet* RefDataStoreImpl::listVersionItemValues(unsigned versionId,
                                                        unsigned itemAttributeValueId) {
    static const char sql[] =
        "SELECT VERSION_ID, ITEM_ATTRIBUTE_VALUE_ID, ID FROM {P}version_item_values{W} ORDER BY ID";
    FilterClause filters;
    filters.id("VERSION_ID", versionId).id("ITEM_ATTRIBUTE_VALUE_ID", itemAttributeValueId);
    return listing("listVersionItemValues", sql, filters, kVersionItemValues);
}

// A version that keeps a value's text shares the link row an older version
// (or another version of this transaction) has for it; only a text that is
// new to the value makes a row. Which rows a version holds is its bitmap
// (see schema.sql), changed in memory and written before the commit.
bool RefDataStoreImpl::insertVersionItemValueLink(unsigned versionId, unsigned localizedTextId,
                                                  unsigned itemAttributeValueId, unsigned* newId) {
    static const char sql[] =
        "INSERT INTO {P}version_item_value_links (VERSION_ID, LOCALIZED_TEXT_ID, "
        "ITEM_ATTRIBUTE_VALUE_ID, ID) VALUES (?, ?, ?, ?)";
    const char* operation = "insertVersionItemValueLink";
    if (!usable(operation)) return false;
    if (versionId == kNoId) return fail(operation, "a link needs a version (-1, \"any\", is none)");
    if (!session_->connection().inTransaction()) {
        unsigned id = 0;
        const bool ok = atomically(operation, [&] {
            return insertVersionItemValueLink(versionId, localizedTextId, itemAttributeValueId, &id);
        });
        if (ok && newId) *newId = id;
        return ok;
    }
    std::string error;
    std::int64_t link = 0;
    const bool sharable = localizedTextId != kNoId && itemAttributeValueId != kNoId;
    if (sharable && !session_->sharableLink(versionId, itemAttributeValueId, localizedTextId, &link, &error))
        return fail(operation, error);
    const bool taken = link != 0;
    if (link == 0) {
        if (!session_->nextId(Numbered::kVersionItemValueLinks, &link, &error)) return fail(operation, error);
        if (!write(operation, sql, kVersionItemValueLinks,
                   {idValue(versionId), idValue(localizedTextId), idValue(itemAttributeValueId)}, nullptr, nullptr,
                   &link))
            return false;
        if (sharable) session_->noteNewLink(itemAttributeValueId, localizedTextId, link);
    }
    if (!session_->holdLink(versionId, link, taken, &error)) return fail(operation, error);
    if (newId) *newId = static_cast<unsigned>(link);
    return true;
}

// One row per version and link row it holds. One version's links come from
// its bitmaps by id ranges; a text or a value finds its link rows by index,
// then the versions that hold each.
// One row per version and link row it holds. One version's links come from
// its bitmaps by id ranges; a text or a value finds its link rows by index,
// then the versions that hold each.
const char* RefDataStoreImpl::linkListingSql(unsigned versionId, unsigned localizedTextId,
                                             unsigned itemAttributeValueId) {
    static const char sqlOfVersion[] =
        "SELECT s.VERSION_ID, l.LOCALIZED_TEXT_ID, l.ITEM_ATTRIBUTE_VALUE_ID, l.ID "
        "FROM " RDM_LINKS_OF_SETS_FROM " WHERE " RDM_LINKS_OF_SETS_WHERE "{A} ORDER BY s.BLOCK, l.ID";
    static const char sqlOfLinks[] =
        "SELECT s.VERSION_ID, l.LOCALIZED_TEXT_ID, l.ITEM_ATTRIBUTE_VALUE_ID, l.ID "
        "FROM {P}version_item_value_links l CROSS JOIN {P}version_link_sets s "
        "WHERE s.BLOCK = l.ID / 4096 AND get_bit(s.BITS, l.ID % 4096) = 1{A} ORDER BY l.ID, s.VERSION_ID";
    const bool byVersion = versionId != kNoId && localizedTextId == kNoId && itemAttributeValueId == kNoId;
    return byVersion ? sqlOfVersion : sqlOfLinks;
}

StoreResultSet* RefDataStoreImpl::listVersionItemValueLinks(unsigned versionId,
                                                            unsigned localizedTextId,
                                                            unsigned itemAttributeValueId) {
    FilterClause filters;
    filters.id("s.VERSION_ID", versionId).id("l.LOCALIZED_TEXT_ID", localizedTextId);
    filters.id("l.ITEM_ATTRIBUTE_VALUE_ID", itemAttributeValueId);
    return listing("listVersionItemValueLinks", linkListingSql(versionId, localizedTextId, itemAttributeValueId),
                   filters, kVersionItemValueLinks);
}

// The version's hold on each link row the filters give ends; a row no
// version holds any more goes, and with it a text no other row uses. A text
// never linked (writeRow without a value) stays.
bool RefDataStoreImpl::deleteVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                                   unsigned itemAttributeValueId) {
    static const char sqlDropLink[] =
        "DELETE FROM {P}version_item_value_links WHERE ID = ?1 AND NOT " RDM_LINK_HELD_ELSEWHERE("NULL", "?1");
    static const char sqlStamp[] =
        "UPDATE {P}version_item_value_links SET VERSION_ID = " RDM_LINK_NEXT_STAMP("NULL", "?1")
        " WHERE ID = ?1 AND VERSION_ID = ?2";
    static const char sqlDropText[] =
        "DELETE FROM {P}localized_texts WHERE ID = ?1 AND NOT EXISTS (SELECT 1 FROM "
        "{P}version_item_value_links a WHERE a.LOCALIZED_TEXT_ID = ?1)";
    const char* operation = "deleteVersionItemValueLinks";
    if (versionId == kNoId && localizedTextId == kNoId && itemAttributeValueId == kNoId)
        return fail(operation, "every filter is \"any\"; a deletion needs at least one");
    if (!usable(operation) || !settleLinks(operation)) return false;
    // The holds that end, read before any is changed.
    struct Held {
        std::int64_t version, link, text;
        bool hasText;
    };
    std::vector<Held> released;
    {
        FilterClause filters;
        filters.id("s.VERSION_ID", versionId).id("l.LOCALIZED_TEXT_ID", localizedTextId);
        filters.id("l.ITEM_ATTRIBUTE_VALUE_ID", itemAttributeValueId);
        const char* sql = linkListingSql(versionId, localizedTextId, itemAttributeValueId);
        const StatementKey key{sql, filters.mask()};
        std::string error;
        std::unique_ptr<SqlStatement> statement = session_->checkOut(key, [&] { return filters.apply(sql); }, &error);
        if (!statement) return fail(operation, error);
        int rc = filters.bind(*statement) ? 1 : -1;
        while (rc == 1 && (rc = statement->step()) == 1) {
            released.push_back({statement->columnInt(0), statement->columnInt(3), statement->columnInt(1),
                                statement->columnType(1) != SqlType::Null});
        }
        if (rc < 0) error = session_->connection().errorText();
        session_->checkIn(key, std::move(statement));
        if (rc < 0) return fail(operation, error);
    }
    return atomically(operation, [&] {
        std::string error;
        for (const Held& held : released) {
            if (!session_->releaseLink(held.version, held.link, &error)) return fail(operation, error);
        }
        if (!settleLinks(operation)) return false;
        for (const Held& held : released) {
            if (!write(operation, sqlDropLink, kVersionItemValueLinks, {numberValue(held.link)}) ||
                !write(operation, sqlStamp, kVersionItemValueLinks, {numberValue(held.link), numberValue(held.version)}))
                return false;
            if (held.hasText && !write(operation, sqlDropText, kVersionItemValueLinks | kLocalizedTexts,
                                       {numberValue(held.text)}))
                return false;
        }
        return true;
    });
}

// --- items with attributes ------------------------------------------------------------------

// One row per version item and linked text of the chosen version (the newest
// of each domain when no number is given). A version's own values belong to
// one of its version items (an item held twice has the values of each
// occurrence apart); a copied version owns none: it reaches its source's
// values through its links and the item.
// Every join goes through an index; the EXISTS keeps an item's values that
// have no text in this version out, so such an item still appears once.
// The order is the one the indexes deliver for a domain's version (the
// version's id before its items' ids), so the rows stream without a sort.
// The item rows of versions: one row per text of each attribute value the
// version holds, and one row with empty attribute columns for an item that
// holds none (see RDM_VALUES_WITH_TEXTS).
StoreResultSet* RefDataStoreImpl::itemsWithAttributes(const char* operation, unsigned domainId,
                                                      const QxbString* domainName,
                                                      unsigned versionNumber) {
    static const char sql[] =
        "SELECT i.ID AS ID, i.ITEM_KEY AS ITEM_KEY, COALESCE(vi.LABEL, i.ITEM_TEXT) AS ITEM_LABEL, "
        "vi.PARENT_ITEM_ID AS PARENT_ID, t.TEXT_VALUE AS ATTRIBUTE_VALUE, a.NAME AS "
        "ATTRIBUTE_NAME, "
        "a.LABEL AS ATTRIBUTE_DESCRIPTION, g.CODE AS LANGUAGE, d.NAME AS DOMAIN, "
        "v.VERSION_NUMBER AS DOMAIN_VERSION "
        "FROM {P}domains d JOIN {P}domain_versions v ON v.DOMAIN_ID = d.ID "
        "JOIN {P}version_items vi ON vi.VERSION_ID = v.ID "
        "JOIN {P}items i ON i.ID = vi.ITEM_ID " RDM_VALUES_WITH_TEXTS("v.ID")
        "WHERE " RDM_VALUE_ROW_KEPT("v.ID")
        "{A} ORDER BY d.ID, v.ID, vi.ID, iv.ID, l.ID";
    FilterClause filters;
    filters.id("d.ID", domainId);
    filters.text("d.NAME", domainName ? *domainName : QxbString());
    if (versionNumber == kNoId) {
        filters.condition(
            "v.ID = (SELECT n.ID FROM {P}domain_versions n WHERE n.DOMAIN_ID = d.ID "
            "ORDER BY n.VERSION_NUMBER DESC, n.ID DESC LIMIT 1)");
    } else {
        filters.id("v.VERSION_NUMBER", versionNumber);
    }
    return listing(operation, sql, filters,
                   kDomains | kDomainVersions | kVersionItems | kItems | kItemAttributeValues |
                       kVersionItemValueLinks | kLocalizedTexts | kAttributes | kLanguages);
}

StoreResultSet* RefDataStoreImpl::listItemsWithAttributes(unsigned domainId,
                                                          unsigned versionNumber) {
    return itemsWithAttributes("listItemsWithAttributes", domainId, nullptr, versionNumber);
}

StoreResultSet* RefDataStoreImpl::listItemsWithAttributesOfVersion(unsigned domainId,
                                                                   unsigned versionNumber) {
    return itemsWithAttributes("listItemsWithAttributesOfVersion", domainId, nullptr,
                               versionNumber);
}

// A key lookup: the key's index gives the items, the version items' index
// by (item, version) the chosen version's holding of each. The joins are
// CROSS JOINs (their conditions in WHERE, which both dialects take) so that
// SQLite keeps this order: without statistics it would rather walk the
// version's items in id order and test each key. A listing shows
// an item without a key as the empty key, so the empty key finds those too.
StoreResultSet* RefDataStoreImpl::listItemsWithKey(unsigned domainId, unsigned versionNumber,
                                                   const QxbString& key) {
    static const char sqlKey[] =
        "SELECT i.ID AS ID, i.ITEM_KEY AS ITEM_KEY, v.VERSION_NUMBER AS DOMAIN_VERSION "
        "FROM {P}items i CROSS JOIN {P}version_items vi CROSS JOIN {P}domain_versions v "
        "WHERE vi.ITEM_ID = i.ID AND v.ID = vi.VERSION_ID{A} ORDER BY vi.ID";
    static const char sqlEmptyKey[] =
        "SELECT i.ID AS ID, i.ITEM_KEY AS ITEM_KEY, v.VERSION_NUMBER AS DOMAIN_VERSION "
        "FROM {P}items i CROSS JOIN {P}version_items vi CROSS JOIN {P}domain_versions v "
        "WHERE vi.ITEM_ID = i.ID AND v.ID = vi.VERSION_ID "
        "AND (i.ITEM_KEY = '' OR i.ITEM_KEY IS NULL){A} ORDER BY vi.ID";
    const char* operation = "listItemsWithKey";
    if (domainId == kNoId) {
        fail(operation, "a domain must be given");
        return nullptr;
    }
    const bool emptyKey = key.isNull() || key.length() == 0;
    FilterClause filters;
    if (!emptyKey) filters.text("i.ITEM_KEY", key);
    filters.id("v.DOMAIN_ID", domainId).id("v.VERSION_NUMBER", versionNumber);
    if (versionNumber == kNoId) {
        filters.expression(
            "vi.VERSION_ID = (SELECT n.ID FROM {P}domain_versions n WHERE n.DOMAIN_ID = ? "
            "ORDER BY n.VERSION_NUMBER DESC, n.ID DESC LIMIT 1)",
            idValue(domainId), true);
    }
    return listing(operation, emptyKey ? sqlEmptyKey : sqlKey, filters,
                   kItems | kVersionItems | kDomainVersions);
}

}  // namespace repadm

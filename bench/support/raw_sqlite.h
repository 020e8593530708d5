// What the benchmarks' raw SQLite baselines need to read the store's tables
// as the store does.
#pragma once

// A raw connection gets the store's SQL functions (get_bit) with
// repadm::addSqliteFunctions.
#include "repadm/sqlite_functions.h"

// The link row l is held by the version whose id is the expression version
// (the tables' prefix is p): stamped with it, or in its bitmap.
#define BENCH_LINK_HELD_BY(p, version, l)                                                              \
    "(" l ".VERSION_ID = " version " OR get_bit((SELECT hs.BITS FROM " p "version_link_sets hs "        \
    "WHERE hs.VERSION_ID = " version " AND hs.BLOCK = " l ".ID / 4096), " l ".ID % 4096) = 1)"

// The item rows of one domain version as the raw baselines read them (the
// same rows as the store's listing when every value has a text in the
// version): the columns of the item-list step, from tables prefixed p;
// WHERE and ORDER BY follow.
#define BENCH_ITEM_ROWS_SQL(p)                                                                               \
    "SELECT i.ID, i.ITEM_KEY, COALESCE(vi.LABEL, i.ITEM_TEXT), vi.PARENT_ITEM_ID, t.TEXT_VALUE, a.NAME, a.LABEL, " \
    "g.CODE, d.NAME, v.VERSION_NUMBER FROM " p "domains d JOIN " p "domain_versions v ON v.DOMAIN_ID = d.ID "      \
    "JOIN " p "version_items vi ON vi.VERSION_ID = v.ID JOIN " p "items i ON i.ID = vi.ITEM_ID "                  \
    "LEFT JOIN " p "item_attribute_values iv ON iv.ITEM_ID = vi.ITEM_ID "                                       \
    "LEFT JOIN " p "version_item_value_links l ON l.ITEM_ATTRIBUTE_VALUE_ID = iv.ID AND "                       \
    BENCH_LINK_HELD_BY(p, "v.ID", "l") " "                                                                      \
    "LEFT JOIN " p "localized_texts t ON t.ID = l.LOCALIZED_TEXT_ID "                                           \
    "LEFT JOIN " p "attributes a ON a.ID = iv.ATTRIBUTE_ID LEFT JOIN " p "languages g ON g.ID = t.LANGUAGE_ID "

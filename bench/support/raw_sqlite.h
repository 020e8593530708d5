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

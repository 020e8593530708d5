// What the benchmarks' raw SQLite baselines need to read the store's tables
// as the store does.
#pragma once

#include <sqlite3.h>

namespace benchdata {

// get_bit(bytes, n) on db, as the store's connections have it: bit n % 8 of
// byte n / 8, 0 past the end, NULL for NULL.
void addGetBit(sqlite3* db);

}  // namespace benchdata

// The link row l is held by the version whose id is the expression version
// (the tables' prefix is p): stamped with it, or in its bitmap.
#define BENCH_LINK_HELD_BY(p, version, l)                                                              \
    "(" l ".VERSION_ID = " version " OR get_bit((SELECT hs.BITS FROM " p "version_link_sets hs "        \
    "WHERE hs.VERSION_ID = " version " AND hs.BLOCK = " l ".ID / 4096), " l ".ID % 4096) = 1)"

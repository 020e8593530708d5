// The SQL functions the SQLite driver adds to each of its connections
// (get_bit, see sql_driver.h), for a program that reads a store's database
// with the SQLite C API itself.
#pragma once

struct sqlite3;

namespace repadm {

void addSqliteFunctions(sqlite3* db);

}  // namespace repadm

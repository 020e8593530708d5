#include "raw_sqlite.h"

namespace benchdata {

namespace {

void getBit(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(arguments[0]));
    const sqlite3_int64 length = sqlite3_value_bytes(arguments[0]);
    const sqlite3_int64 bit = sqlite3_value_int64(arguments[1]);
    sqlite3_result_int(context, bytes != nullptr && bit >= 0 && bit / 8 < length ? (bytes[bit / 8] >> (bit % 8)) & 1 : 0);
}

}  // namespace

void addGetBit(sqlite3* db) {
    sqlite3_create_function(db, "get_bit", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, getBit,
                            nullptr, nullptr);
}

}  // namespace benchdata

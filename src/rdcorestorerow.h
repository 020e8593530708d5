// Reading the columns of a store row the way the administration layer does,
// and looking records up in maps by id.
#pragma once

#include <unordered_map>

#include "RefDataHandle.h"
#include "qxbcpp.h"
#include "repadm.h"

namespace rdadmin {

// Ids and numbers come back with getInt; a NULL id reads as -1.
inline unsigned idAt(StoreResultSet& row, int column) {
    return static_cast<unsigned>(row.getInt(column));
}

// A flag is true exactly when its text is "Y".
inline bool flagAt(StoreResultSet& row, int column) {
    return row.getString(column).compare("Y", false) == 0;
}

inline QxbDate dateAt(StoreResultSet& row, int column) {
    QxbDate date;
    date.assign(row.getDouble(column));
    return date;
}

// The record of a key, or null.
template <typename Key, typename Record>
Record* recordOf(const std::unordered_map<Key, Record*>& records, const Key& key) {
    const auto found = records.find(key);
    return found != records.end() ? found->second : nullptr;
}

template <typename Record>
Record* recordOf(const IdIndex<Record>& records, unsigned id) {
    return records.get(id);
}

}  // namespace rdadmin

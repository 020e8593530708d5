// VersionDiffCursor: what changed between two versions of a domain, merged
// from two store listings of the versions' content in key order. Each next()
// reads as far as the next difference: one item of each side at a time is
// held, never a whole version.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <utility>

#include "RefDataCursor.h"
#include "repadm.h"

class VersionDiffCursor : public RefDataCursor {
public:
    // Takes both result sets (rows as listVersionContentByKey answers them).
    VersionDiffCursor(StoreResultSet* from, StoreResultSet* to);
    VersionDiffCursor(const VersionDiffCursor&) = delete;
    VersionDiffCursor& operator=(const VersionDiffCursor&) = delete;

    int next() override;
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    QxbString getString(int column) override;
    int getInt(int column) override;
    double getDouble(int column) override;
    bool isNull(int column) override;
    QxbDatavar getValue(int column) override;
    void release() override;
    bool isReady() override;

private:
    ~VersionDiffCursor() override;

    // One item of a version: its fields and its texts by (attribute, language).
    struct Item {
        std::string key;
        QxbString label, parent;
        int position = 0;
        std::map<std::pair<std::string, std::string>, QxbString> texts;
    };
    // One version's rows, read one item at a time.
    struct Side {
        StoreResultSet* rows = nullptr;
        bool started = false;
        bool atRow = false;     // the result set stands on a row not yet taken
        bool failed = false;
        bool held = false;      // item holds the next item of this side
        Item item;
        // Reads the next item into item; false at the end or on a failure.
        bool fill();
    };
    struct Row {
        QxbString cells[5];
    };

    void emit(const std::string& key, const char* change, const char* field, const QxbString& oldValue,
              const QxbString& newValue);
    void compare(const Item& from, const Item& to);

    Side from_, to_;
    std::deque<Row> pending_;
    Row current_;
    bool onRow_ = false;
    bool failed_ = false;
};

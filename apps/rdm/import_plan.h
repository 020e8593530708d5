// What an import will write, worked out from the file before anything is
// written: the columns' roles, the items with their parents, and the
// attribute values with their languages.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "table_file.h"

namespace rdm {

struct ImportOptions {
    std::string keyColumn = "key";
    std::string labelColumn = "label";
    std::string parentColumn = "parent";
    std::vector<std::string> attributeColumns;  // empty: every other column
    std::string language = "en";                // of columns without "@LANG"
};

struct ValueColumn {
    std::size_t column;
    std::string attribute;  // "name" of a column "name@de"
    std::string language;   // "de" of "name@de", else the import's language
};

struct ImportItem {
    std::string key;
    std::string label;
    int parent = -1;  // index of the parent item in ImportPlan::items, -1 for none
    long line = 0;
    std::vector<std::pair<std::size_t, std::string>> values;  // (index into valueColumns, text)
};

struct ImportPlan {
    std::vector<ValueColumn> valueColumns;
    std::vector<std::string> attributes;  // distinct attribute names, in column order
    std::vector<std::string> languages;   // distinct language codes used
    std::vector<ImportItem> items;
    std::size_t valueCount = 0;
};

// Something wrong with the file. A row's errors carry its line, the column
// (header name) the error is about, its key and its fields as read; an error
// about the file as a whole has line 0 and no row.
struct ImportError {
    long line = 0;
    std::string column;   // "" when the error is about no one column
    std::string key;
    std::string message;  // the reason, e.g. "the key is empty"
    std::vector<std::string> row;
};

// "FILE:LINE: reason", or "FILE: reason" for an error about the whole file.
std::string describeImportError(const std::string& path, const ImportError& error);

// Checks the whole file: the named columns exist, keys are present and
// unique, every parent is a key of the file, no item is its own ancestor.
// False with every bad row's errors in *errors, in file order (each cycle
// reported once, at its first item in the file). An error about the columns
// stops the check: it is then the only one.
bool planImport(const TableFile& table, const ImportOptions& options, ImportPlan* plan,
                std::vector<ImportError>* errors);

}  // namespace rdm

// Checking an import file and working out what it will write.
#include "import_plan.h"

#include <algorithm>
#include <unordered_map>

namespace rdm {
namespace {

int findColumn(const TableFile& table, const std::string& name) {
    const auto found = std::find(table.columns.begin(), table.columns.end(), name);
    return found == table.columns.end() ? -1 : static_cast<int>(found - table.columns.begin());
}

bool chooseValueColumns(const TableFile& table, const ImportOptions& options, const std::vector<int>& taken,
                        ImportPlan* plan, ImportError* error) {
    std::vector<int> chosen;
    if (options.attributeColumns.empty()) {
        for (int c = 0; c < static_cast<int>(table.columns.size()); ++c)
            if (std::find(taken.begin(), taken.end(), c) == taken.end()) chosen.push_back(c);
    } else {
        for (const std::string& name : options.attributeColumns) {
            const int c = findColumn(table, name);
            if (c < 0) {
                error->column = name;
                error->message = "no column named '" + name + "' in the file";
                return false;
            }
            chosen.push_back(c);
        }
    }
    for (const int c : chosen) {
        const std::string& header = table.columns[static_cast<std::size_t>(c)];
        const std::size_t atSign = header.rfind('@');
        ValueColumn value{static_cast<std::size_t>(c), header, options.language};
        if (atSign != std::string::npos && atSign > 0 && atSign + 1 < header.size()) {
            value.attribute = header.substr(0, atSign);
            value.language = header.substr(atSign + 1);
        }
        if (value.attribute.empty()) {
            error->message = "column " + std::to_string(c + 1) + " has no name";
            return false;
        }
        for (const ValueColumn& other : plan->valueColumns) {
            if (other.attribute != value.attribute || other.language != value.language) continue;
            // Both would fill one text; the second would never be seen again.
            error->column = header;
            error->message = "the columns '" + table.columns[other.column] + "' and '" + header +
                             "' both hold attribute '" + value.attribute + "' in language '" + value.language + "'";
            return false;
        }
        if (std::find(plan->attributes.begin(), plan->attributes.end(), value.attribute) == plan->attributes.end())
            plan->attributes.push_back(value.attribute);
        if (std::find(plan->languages.begin(), plan->languages.end(), value.language) == plan->languages.end())
            plan->languages.push_back(value.language);
        plan->valueColumns.push_back(value);
    }
    return true;
}

// An item whose parent chain comes back to it would make an endless
// hierarchy. Each cycle is reported once, at its member first in the file,
// with the chain that leads back to it.
void checkCycles(const ImportPlan& plan, const std::vector<std::size_t>& itemRow, const std::string& parentColumn,
                 const TableFile& table, std::vector<ImportError>* errors) {
    constexpr std::size_t kShownKeys = 6;
    std::vector<int> state(plan.items.size(), 0);  // 0 unseen, 1 on the current chain, 2 checked
    for (std::size_t start = 0; start < plan.items.size(); ++start) {
        std::vector<int> chain;
        int next = static_cast<int>(start);
        while (next >= 0 && state[static_cast<std::size_t>(next)] == 0) {
            state[static_cast<std::size_t>(next)] = 1;
            chain.push_back(next);
            next = plan.items[static_cast<std::size_t>(next)].parent;
        }
        if (next >= 0 && state[static_cast<std::size_t>(next)] == 1) {
            const auto entry = std::find(chain.begin(), chain.end(), next);
            const std::size_t first = static_cast<std::size_t>(*std::min_element(entry, chain.end()));
            const ImportItem& item = plan.items[first];
            std::string through = item.key;
            std::size_t shown = 0;
            for (int up = item.parent;; up = plan.items[static_cast<std::size_t>(up)].parent) {
                if (++shown == kShownKeys && static_cast<std::size_t>(up) != first) {
                    through += " -> ...";
                    up = static_cast<int>(first);
                }
                through += " -> " + plan.items[static_cast<std::size_t>(up)].key;
                if (static_cast<std::size_t>(up) == first) break;
            }
            ImportError error;
            error.line = item.line;
            error.column = parentColumn;
            error.key = item.key;
            error.message = "item '" + item.key + "' is its own ancestor (" + through + ")";
            error.row = table.rows[itemRow[first]];
            errors->push_back(std::move(error));
        }
        for (const int i : chain) state[static_cast<std::size_t>(i)] = 2;
    }
}

}  // namespace

std::string describeImportError(const std::string& path, const ImportError& error) {
    return path + (error.line > 0 ? ":" + std::to_string(error.line) : std::string()) + ": " + error.message;
}

bool planImport(const TableFile& table, const ImportOptions& options, ImportPlan* plan,
                std::vector<ImportError>* errors) {
    errors->clear();
    const int key = findColumn(table, options.keyColumn);
    if (key < 0) {
        ImportError error;
        error.column = options.keyColumn;
        error.message = "no key column '" + options.keyColumn + "' (use --key)";
        errors->push_back(std::move(error));
        return false;
    }
    const int label = findColumn(table, options.labelColumn);
    const int parent = findColumn(table, options.parentColumn);
    ImportError columnError;
    if (!chooseValueColumns(table, options, {key, label, parent}, plan, &columnError)) {
        errors->push_back(std::move(columnError));
        return false;
    }
    auto rowError = [&](std::size_t r, const std::string& column, const std::string& message) {
        ImportError error;
        error.line = table.lines[r];
        error.column = column;
        error.key = table.rows[r][static_cast<std::size_t>(key)];
        error.message = message;
        error.row = table.rows[r];
        errors->push_back(std::move(error));
    };
    const std::string& keyName = table.columns[static_cast<std::size_t>(key)];
    std::unordered_map<std::string, int> index;
    std::vector<std::size_t> itemRow;  // the row of each item
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const auto& row = table.rows[r];
        ImportItem item;
        item.line = table.lines[r];
        item.key = row[static_cast<std::size_t>(key)];
        if (item.key.empty() || !table.present[r][static_cast<std::size_t>(key)]) {
            rowError(r, keyName, "the key is empty");
            continue;
        }
        const auto inserted = index.emplace(item.key, static_cast<int>(plan->items.size()));
        if (!inserted.second) {
            rowError(r, keyName,
                     "duplicate key '" + item.key + "' (first on line " +
                         std::to_string(plan->items[static_cast<std::size_t>(inserted.first->second)].line) + ")");
            continue;
        }
        item.label = label >= 0 ? row[static_cast<std::size_t>(label)] : item.key;
        for (std::size_t v = 0; v < plan->valueColumns.size(); ++v) {
            const std::size_t c = plan->valueColumns[v].column;
            if (!row[c].empty() && table.present[r][c]) item.values.emplace_back(v, row[c]);
        }
        plan->valueCount += item.values.size();
        plan->items.push_back(std::move(item));
        itemRow.push_back(r);
    }
    std::string parentName;
    if (parent >= 0) {
        parentName = table.columns[static_cast<std::size_t>(parent)];
        std::size_t item = 0;  // the item of row r, when the row made one
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const bool madeItem = item < itemRow.size() && itemRow[item] == r;
            const std::string& parentKey = table.rows[r][static_cast<std::size_t>(parent)];
            const auto found = parentKey.empty() ? index.end() : index.find(parentKey);
            if (!parentKey.empty() && found == index.end())
                rowError(r, parentName, "parent '" + parentKey + "' is not a key of this file");
            else if (madeItem && found != index.end())
                plan->items[item].parent = found->second;
            if (madeItem) ++item;
        }
    }
    checkCycles(*plan, itemRow, parentName, table, errors);
    std::stable_sort(errors->begin(), errors->end(),
                     [](const ImportError& a, const ImportError& b) { return a.line < b.line; });
    return errors->empty();
}

}  // namespace rdm

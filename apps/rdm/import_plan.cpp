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

std::string at(const std::string& path, long line, const std::string& reason) {
    return path + ":" + std::to_string(line) + ": " + reason;
}

bool chooseValueColumns(const TableFile& table, const ImportOptions& options, const std::vector<int>& taken,
                        ImportPlan* plan, std::string* error) {
    std::vector<int> chosen;
    if (options.attributeColumns.empty()) {
        for (int c = 0; c < static_cast<int>(table.columns.size()); ++c)
            if (std::find(taken.begin(), taken.end(), c) == taken.end()) chosen.push_back(c);
    } else {
        for (const std::string& name : options.attributeColumns) {
            const int c = findColumn(table, name);
            if (c < 0) {
                *error = "no column named '" + name + "' in the file";
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
            *error = "column " + std::to_string(c + 1) + " has no name";
            return false;
        }
        for (const ValueColumn& other : plan->valueColumns) {
            if (other.attribute != value.attribute || other.language != value.language) continue;
            // Both would fill one text; the second would never be seen again.
            *error = "the columns '" + table.columns[other.column] + "' and '" + header + "' both hold attribute '" +
                     value.attribute + "' in language '" + value.language + "'";
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

// An item whose parent chain comes back to it would make an endless hierarchy.
bool checkCycles(const std::string& path, const ImportPlan& plan, std::string* error) {
    std::vector<int> state(plan.items.size(), 0);  // 0 unseen, 1 on the current chain, 2 checked
    for (std::size_t start = 0; start < plan.items.size(); ++start) {
        std::vector<int> chain;
        int at_ = static_cast<int>(start);
        while (at_ >= 0 && state[static_cast<std::size_t>(at_)] == 0) {
            state[static_cast<std::size_t>(at_)] = 1;
            chain.push_back(at_);
            at_ = plan.items[static_cast<std::size_t>(at_)].parent;
        }
        if (at_ >= 0 && state[static_cast<std::size_t>(at_)] == 1) {
            const ImportItem& item = plan.items[static_cast<std::size_t>(at_)];
            *error = at(path, item.line, "item '" + item.key + "' is its own ancestor");
            return false;
        }
        for (const int i : chain) state[static_cast<std::size_t>(i)] = 2;
    }
    return true;
}

}  // namespace

bool planImport(const std::string& path, const TableFile& table, const ImportOptions& options, ImportPlan* plan,
                std::string* error) {
    const int key = findColumn(table, options.keyColumn);
    if (key < 0) {
        *error = path + ": no key column '" + options.keyColumn + "' (use --key)";
        return false;
    }
    const int label = findColumn(table, options.labelColumn);
    const int parent = findColumn(table, options.parentColumn);
    if (!chooseValueColumns(table, options, {key, label, parent}, plan, error)) {
        *error = path + ": " + *error;
        return false;
    }
    std::unordered_map<std::string, int> index;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const auto& row = table.rows[r];
        ImportItem item;
        item.line = table.lines[r];
        item.key = row[static_cast<std::size_t>(key)];
        if (item.key.empty() || !table.present[r][static_cast<std::size_t>(key)]) {
            *error = at(path, item.line, "the key is empty");
            return false;
        }
        const auto inserted = index.emplace(item.key, static_cast<int>(plan->items.size()));
        if (!inserted.second) {
            *error = at(path, item.line,
                        "duplicate key '" + item.key + "' (first on line " +
                            std::to_string(plan->items[static_cast<std::size_t>(inserted.first->second)].line) + ")");
            return false;
        }
        item.label = label >= 0 ? row[static_cast<std::size_t>(label)] : item.key;
        for (std::size_t v = 0; v < plan->valueColumns.size(); ++v) {
            const std::size_t c = plan->valueColumns[v].column;
            if (!row[c].empty() && table.present[r][c]) item.values.emplace_back(v, row[c]);
        }
        plan->valueCount += item.values.size();
        plan->items.push_back(std::move(item));
    }
    if (parent >= 0) {
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const std::string& parentKey = table.rows[r][static_cast<std::size_t>(parent)];
            if (parentKey.empty()) continue;
            const auto found = index.find(parentKey);
            if (found == index.end()) {
                *error = at(path, table.lines[r], "parent '" + parentKey + "' is not a key of this file");
                return false;
            }
            plan->items[r].parent = found->second;
        }
    }
    return checkCycles(path, *plan, error);
}

}  // namespace rdm

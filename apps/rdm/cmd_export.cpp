// rdm export: the items of a domain version, one row per item with its key,
// label, parent key and one column per attribute (and language), in the
// form rdm import reads back.
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "RefData.h"
#include "RefDataViewerEx.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

// Columns of the items-with-attributes cursor.
enum ItemColumn { kItemId = 0, kItemKey = 1, kItemLabel = 2, kParentId = 3, kValue = 4, kAttribute = 5, kLanguage = 7 };

struct ExportCommand {
    std::string repository, domain, format = "csv", language = "en";
    std::string at;  // a moment (--at), else empty
    int version = 0;
};

struct ExportItem {
    std::string key, label;
    int parentId = -1;
    std::map<std::string, std::string> values;  // column name -> text
};

struct ExportTable {
    std::vector<int> order;  // item ids in the order the store answered them
    std::unordered_map<int, ExportItem> items;
    std::vector<std::string> columns;  // attribute columns in first-seen order
};

std::string columnName(const std::string& attribute, const std::string& language, const std::string& exportLanguage) {
    return language.empty() || language == exportLanguage ? attribute : attribute + "@" + language;
}

// False when the rows end in an error (not the end).
bool collect(RefDataCursor* cursor, const std::string& exportLanguage, ExportTable* table) {
    int answer = 0;
    while ((answer = cursor->next()) == 0) {
        const int id = cursor->getInt(kItemId);
        auto found = table->items.find(id);
        if (found == table->items.end()) {
            ExportItem item;
            item.key = cursor->getString(kItemKey).str();
            item.label = cursor->getString(kItemLabel).str();
            item.parentId = cursor->isNull(kParentId) ? -1 : cursor->getInt(kParentId);
            found = table->items.emplace(id, std::move(item)).first;
            table->order.push_back(id);
        }
        if (cursor->isNull(kAttribute)) continue;
        const std::string column =
            columnName(cursor->getString(kAttribute).str(), cursor->getString(kLanguage).str(), exportLanguage);
        if (found->second.values.emplace(column, cursor->getString(kValue).str()).second &&
            std::find(table->columns.begin(), table->columns.end(), column) == table->columns.end())
            table->columns.push_back(column);
    }
    return answer == 1;
}

Rows toRows(const ExportTable& table) {
    Rows rows;
    rows.columns = {"key", "label", "parent"};
    rows.columns.insert(rows.columns.end(), table.columns.begin(), table.columns.end());
    for (const int id : table.order) {
        const ExportItem& item = table.items.at(id);
        const auto parent = table.items.find(item.parentId);
        std::vector<std::string> row = {item.key, item.label, parent == table.items.end() ? "" : parent->second.key};
        for (const std::string& column : table.columns) {
            const auto value = item.values.find(column);
            row.push_back(value == item.values.end() ? "" : value->second);
        }
        rows.values.push_back(std::move(row));
    }
    return rows;
}

int runExport(const ExportCommand& c) {
    Format format;
    if (!parseFormat(c.format, &format)) return fail("unknown format '" + c.format + "'");
    RepositorySession repo;
    QxbString error;
    if (!repo.open(c.repository, &error)) return fail(error);
    RefDataViewerEx* viewer = repo.viewerEx();
    if (viewer == nullptr) return fail(repo.errorText());
    std::string domain = c.domain;
    int version = c.version;
    if (!c.at.empty()) {
        int id = -1;
        std::string error;
        if (!findDomain(repo, c.domain, &id, &domain, &error) || !versionAt(repo, id, domain, c.at, &version, &error))
            return fail(error);
    }
    // The rows stream from the store into the table of items.
    RefDataCursor* cursor = viewer->streamDomainItems(repo.handle(), QxbString(domain), version);
    if (cursor == nullptr) return fail(repo.errorText());
    ExportTable table;
    const bool read = collect(cursor, c.language, &table);
    cursor->release();
    if (!read) return fail(repo.errorText());
    printRows(toRows(table), format);
    return kOk;
}

}  // namespace

void addExportCommand(CLI::App& app, Action* action) {
    auto c = std::make_shared<ExportCommand>();
    CLI::App* cmd = app.add_subcommand("export", "Export the items of a domain version in the form rdm import reads");
    cmd->add_option("repository", c->repository, "Repository name")->required();
    cmd->add_option("domain", c->domain, "Domain name")->required();
    CLI::Option* version = cmd->add_option("--version", c->version, "0 the newest (default), N exactly version N");
    cmd->add_option("--at", c->at, "The version that was the newest at this moment (UTC; a date alone: its end)")
        ->check(momentCheck())
        ->excludes(version);
    cmd->add_option("--format", c->format, "csv (default) or json")->check(CLI::IsMember({"csv", "json"}));
    cmd->add_option("--language", c->language,
                    "Texts in this language get plain attribute columns, others NAME@LANG")
        ->capture_default_str();
    cmd->callback([action, c]() { *action = [c]() { return runExport(*c); }; });
}

}  // namespace rdm

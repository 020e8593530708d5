// rdm export: the items of a domain version, one row per item with its key,
// label, parent key and one column per attribute (and language), in the
// form rdm import reads back, written in one of the formats of formats.h.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "RefData.h"
#include "RefDataViewerEx.h"
#include "formats.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

// Columns of the items-with-attributes cursor.
enum ItemColumn { kItemId = 0, kItemKey = 1, kItemLabel = 2, kParentId = 3, kValue = 4, kAttribute = 5, kLanguage = 7 };

struct ExportCommand {
    std::string repository, domain, format = "csv", language = "en", baseUrl;
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

// The export in one pass over the rows, with memory that does not grow with
// the values: each item's row is spilled to a temporary file as soon as its
// rows have passed (they are adjacent in the stream), while the attribute
// columns (in first-seen order) and every item's key (for the parents, which
// may come later than their children) are gathered. Then the header is known
// and the spilled rows are written with their parents' keys.
class StreamedExport {
public:
    StreamedExport(const std::string& language, const ItemWriter& writer)
        : language_(language), writer_(writer), spill_(std::tmpfile()) {}
    ~StreamedExport() {
        if (spill_ != nullptr) std::fclose(spill_);
    }
    StreamedExport(const StreamedExport&) = delete;
    StreamedExport& operator=(const StreamedExport&) = delete;

    enum Result { kDone, kFailed, kItemTwice, kRefused };
    // Reads the cursor to its end. kItemTwice: an item is held twice in the
    // version, apart; its values then merge into one row, which only the
    // whole table in memory can give. kRefused: the format cannot hold a
    // key (refusal() says which).
    Result read(RefDataCursor* cursor) {
        if (spill_ == nullptr) return kFailed;
        int answer = 0;
        while ((answer = cursor->next()) == 0) {
            const int id = cursor->getInt(kItemId);
            if (id != item_.id || !started_) {
                if (started_ && !spillItem()) return kFailed;
                const auto added = keys_.emplace(id, cursor->getString(kItemKey).str());
                if (!added.second) return kItemTwice;
                refusal_ = writer_.keyProblem(added.first->second);
                if (!refusal_.empty()) return kRefused;
                started_ = true;
                item_.id = id;
                item_.key = added.first->second;
                item_.label = cursor->getString(kItemLabel).str();
                item_.parentId = cursor->isNull(kParentId) ? -1 : cursor->getInt(kParentId);
                item_.values.clear();
            }
            if (cursor->isNull(kAttribute)) continue;
            const std::string column =
                columnName(cursor->getString(kAttribute).str(), cursor->getString(kLanguage).str(), language_);
            const auto known = columnIndex_.emplace(column, static_cast<std::uint32_t>(columns_.size()));
            if (known.second) columns_.push_back(column);
            const std::uint32_t index = known.first->second;
            // The first value of a column counts, as in the table form.
            bool seen = false;
            for (const auto& value : item_.values) seen = seen || value.first == index;
            if (!seen) item_.values.emplace_back(index, cursor->getString(kValue).str());
        }
        if (answer != 1 || (started_ && !spillItem())) return kFailed;
        return std::fflush(spill_) == 0 ? kDone : kFailed;
    }

    const std::string& refusal() const { return refusal_; }

    // Writes the header and the spilled rows; false when the spill cannot be read.
    bool write(ItemWriter& writer) {
        std::vector<std::string> header = {"key", "label", "parent"};
        header.insert(header.end(), columns_.begin(), columns_.end());
        writer.begin(header, keys_.size());
        std::rewind(spill_);
        SpilledItem item;
        for (std::size_t n = 0; n < keys_.size() && !writer.failed(); ++n) {
            if (!readItem(&item)) return false;
            std::vector<std::string> row(header.size());
            row[0] = std::move(item.key);
            row[1] = std::move(item.label);
            const auto parent = keys_.find(item.parentId);
            if (parent != keys_.end()) row[2] = parent->second;
            for (auto& value : item.values) row[3 + value.first] = std::move(value.second);
            writer.write(std::move(row));
        }
        writer.finish();
        return true;
    }

private:
    struct SpilledItem {
        int id = 0, parentId = -1;
        std::string key, label;
        std::vector<std::pair<std::uint32_t, std::string>> values;
    };

    bool put(const void* bytes, std::size_t size) { return std::fwrite(bytes, 1, size, spill_) == size; }
    bool putText(const std::string& text) {
        const std::uint32_t size = static_cast<std::uint32_t>(text.size());
        return put(&size, sizeof size) && put(text.data(), text.size());
    }
    bool get(void* bytes, std::size_t size) { return std::fread(bytes, 1, size, spill_) == size; }
    bool getText(std::string* text) {
        std::uint32_t size = 0;
        if (!get(&size, sizeof size)) return false;
        text->resize(size);
        return size == 0 || get(&(*text)[0], size);
    }

    bool spillItem() {
        const std::uint32_t count = static_cast<std::uint32_t>(item_.values.size());
        bool ok = put(&item_.parentId, sizeof item_.parentId) && putText(item_.key) && putText(item_.label) &&
                  put(&count, sizeof count);
        for (const auto& value : item_.values) ok = ok && put(&value.first, sizeof value.first) && putText(value.second);
        return ok;
    }
    bool readItem(SpilledItem* item) {
        std::uint32_t count = 0;
        if (!get(&item->parentId, sizeof item->parentId) || !getText(&item->key) || !getText(&item->label) ||
            !get(&count, sizeof count))
            return false;
        item->values.resize(count);
        for (auto& value : item->values)
            if (!get(&value.first, sizeof value.first) || !getText(&value.second) || value.first >= columns_.size())
                return false;
        return true;
    }

    std::string language_;
    const ItemWriter& writer_;
    std::string refusal_;
    std::FILE* spill_;
    std::unordered_map<int, std::string> keys_;  // every item's key, by id
    std::vector<std::string> columns_;
    std::unordered_map<std::string, std::uint32_t> columnIndex_;
    SpilledItem item_;
    bool started_ = false;
};

// --base-url, else [EXPORT] BASE_URL of config.toml, else the default.
std::string baseUrl(const std::string& given) {
    if (!given.empty()) return given;
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    QxbString configured;
    if (options != nullptr && options->get(QxbString("EXPORT/BASE_URL"), &configured, 0) && configured.length() > 0)
        return configured.str();
    return kDefaultBaseUrl;
}

int runExport(const ExportCommand& c) {
    RepositorySession repo;
    RefDataViewerEx* viewer = openViewerEx(repo, c.repository);
    if (viewer == nullptr) return kFailed;
    ExportSettings settings{c.domain, c.version, baseUrl(c.baseUrl)};
    // The FHIR and SKOS forms name the domain and the version's number.
    const bool named = c.format == "fhir" || c.format == "skos";
    if (!c.at.empty() || named) {
        int id = -1;
        std::string error;
        if (!findDomain(repo, c.domain, &id, &settings.domain, &error) ||
            (!c.at.empty() && !versionAt(repo, id, settings.domain, c.at, &settings.version, &error)) ||
            (named && settings.version == 0 && !newestVersion(repo, id, &settings.version, &error)))
            return fail(error);
    }
    const std::unique_ptr<ItemWriter> writer = makeItemWriter(c.format, settings);
    if (!writer) return fail("unknown format '" + c.format + "'");
    const std::string& domain = settings.domain;
    const int version = settings.version;
    RefDataCursor* cursor = viewer->streamDomainItems(repo.handle(), QxbString(domain), version);
    if (cursor == nullptr) return fail(repo.errorText());
    // An empty export language names every value column NAME@LANG.
    StreamedExport streamed(writer->tagsEveryValue() ? std::string() : c.language, *writer);
    const StreamedExport::Result result = streamed.read(cursor);
    cursor->release();
    if (result == StreamedExport::kDone) {
        if (!streamed.write(*writer)) return fail(std::string("cannot read back the export's temporary file"));
        return kOk;
    }
    if (result == StreamedExport::kRefused) return fail(streamed.refusal() + "; nothing was exported");
    if (result == StreamedExport::kFailed) {
        const std::string reason = repo.errorText().str();
        return fail(reason.empty() ? std::string("cannot write the export's temporary file") : reason);
    }
    // An item held twice: the whole table in memory.
    cursor = viewer->streamDomainItems(repo.handle(), QxbString(domain), version);
    if (cursor == nullptr) return fail(repo.errorText());
    ExportTable table;
    const bool read = collect(cursor, writer->tagsEveryValue() ? std::string() : c.language, &table);
    cursor->release();
    if (!read) return fail(repo.errorText());
    const Rows rows = toRows(table);
    for (const auto& row : rows.values) {
        const std::string refusal = writer->keyProblem(row[0]);
        if (!refusal.empty()) return fail(refusal + "; nothing was exported");
    }
    writer->begin(rows.columns, rows.values.size());
    for (std::size_t r = 0; r < rows.values.size() && !writer->failed(); ++r) writer->write(rows.values[r]);
    writer->finish();
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
    cmd->add_option("--format", c->format, "csv (default), json, jsonl (JSON Lines), fhir (a FHIR CodeSystem) or skos "
                                           "(SKOS in Turtle)")
        ->check(CLI::IsMember(exportFormats()));
    cmd->add_option("--base-url", c->baseUrl,
                    "fhir and skos: the base of the domain's URL (default: [EXPORT] BASE_URL of config.toml, else " +
                        std::string(kDefaultBaseUrl) + ")");
    cmd->add_option("--language", c->language,
                    "csv, json, jsonl: texts in this language get plain attribute columns, others NAME@LANG")
        ->capture_default_str();
    cmd->callback([action, c]() { *action = [c]() { return runExport(*c); }; });
}

}  // namespace rdm

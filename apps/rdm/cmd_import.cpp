// rdm import: a file becomes a new version of a domain (the domain is made
// when missing), written in one store transaction: all or nothing.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataHandle.h"
#include "import_plan.h"
#include "qxbcpp.h"
#include "rdm.h"
#include "repadm.h"
#include "repadm/sql_driver.h"

namespace rdm {
namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);
const char* const kYes = "Y";

struct ImportCommand {
    std::string repository, domain, file, format, versionLabel;
    ImportOptions options;
    std::string attributes;
    int account = 1;
    bool quiet = false;
};

// A store failure inside the import: its text, already naming the operation.
struct StoreFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ResultSetReleaser {
    void operator()(StoreResultSet* rows) const {
        if (rows != nullptr) rows->release();
    }
};
using Rows = std::unique_ptr<StoreResultSet, ResultSetReleaser>;

// Progress on standard error when it is a terminal: one line, redrawn.
class Progress {
public:
    Progress(bool enabled, std::size_t total) : enabled_(enabled && isatty(STDERR_FILENO) && total > 0), total_(total) {}
    void step(std::size_t done) {
        if (!enabled_) return;
        const int percent = static_cast<int>(100 * done / total_);
        if (percent == last_) return;
        last_ = percent;
        const int bar = percent / 4;
        std::fprintf(stderr, "\rimporting [%-25.*s] %3d%%", bar, "=========================", percent);
        if (done == total_) std::fputc('\n', stderr);
    }

private:
    bool enabled_;
    std::size_t total_;
    int last_ = -1;
};

// The store calls of an import; every failure throws with the store's text.
class ImportWriter {
public:
    ImportWriter(RefDataStore* store, unsigned account) : store_(store), account_(account) {}

    void check(bool ok) {
        if (!ok) throw StoreFailure(store_->getLastError().str());
    }
    Rows list(StoreResultSet* rows) {
        if (rows == nullptr) throw StoreFailure(store_->getLastError().str());
        return Rows(rows);
    }
    // True on a row, false at the end; any other answer is a store failure,
    // never the end of the rows.
    bool next(const Rows& rows) {
        const int answer = rows->next();
        if (answer != 0 && answer != 1) throw StoreFailure(store_->getLastError().str());
        return answer == 1;
    }
    void record(unsigned domain, unsigned object, const char* table, const QxbString& description) {
        check(store_->writeChangeRecord(domain, QxbString("A"), object, QxbString(table), description, 1, account_,
                                        nullptr));
    }

    unsigned languageId(const std::string& code) {
        const QxbString empty;
        Rows rows = list(store_->listLanguages(kAny, QxbString(code), empty));
        if (!next(rows)) throw StoreFailure("unknown language '" + code + "' (see the repository's languages)");
        return static_cast<unsigned>(rows->getInt(0));
    }

    bool accountExists() {
        const QxbString empty;
        Rows rows = list(store_->listAccounts(account_, empty, empty, empty, empty, empty, empty));
        return next(rows);
    }

    // The domain's id, made when missing.
    unsigned domain(const std::string& name, bool* created) {
        const QxbString empty;
        const QxbDate date;
        Rows rows = list(store_->listDomains(kAny, QxbString(name), empty, empty, empty, empty, empty, kAny, empty,
                                             kAny, kAny, date, empty, date));
        std::vector<int> ids;
        while (next(rows)) ids.push_back(rows->getInt(0));
        *created = ids.empty();
        if (!*created) {
            if (ids.size() > 1) throw StoreFailure(ambiguousDomainName(name, ids));
            return static_cast<unsigned>(ids.front());
        }
        rows.reset();
        unsigned id = 0;
        check(store_->insertDomain(QxbString(name), QxbString(""), QxbString(""), QxbString(kYes), QxbString(kYes),
                                   QxbString(""), 0, QxbString(""), account_, -1, date, QxbString(""), &id));
        record(id, kAny, "RDDOMS", qxbStringFormat("Created Domain: ID = %d, NAME = %s", id, name.c_str()));
        return id;
    }

    // A new version numbered one more than the newest.
    unsigned version(unsigned domain, const std::string& label, int* number) {
        const QxbString empty;
        const QxbDate date;
        Rows rows = list(store_->listDomainVersions(kAny, domain, kAny, empty, empty, empty, empty, kAny, empty,
                                                    kAny, date, date));
        int newest = 0;
        while (next(rows)) newest = std::max(newest, rows->getInt(2));
        rows.reset();
        *number = newest + 1;
        const std::string text = label.empty() ? "Version " + std::to_string(*number) : label;
        unsigned id = 0;
        check(store_->insertDomainVersion(domain, *number, QxbString(text), QxbString(kYes), QxbString(kYes),
                                          QxbString(""), account_, QxbString("N"), -1, date, &id));
        record(domain, id, "RDDOVR", qxbStringFormat("Created Version: ID = %d, VERSION = %d", id, *number));
        return id;
    }

    // The attribute's id (made when missing) and its domain attribute.
    unsigned attribute(unsigned domain, unsigned version, const std::string& name, unsigned language) {
        const QxbString empty;
        Rows rows = list(store_->listAttributes(kAny, QxbString(name), empty));
        unsigned id = 0;
        if (next(rows)) {
            id = static_cast<unsigned>(rows->getInt(0));
        } else {
            rows.reset();
            check(store_->insertAttribute(QxbString(name), QxbString(name), 1, QxbString("SINGLELINETEXT"), 1,
                                          language, account_, QxbString(""), &id));
            record(domain, id, "RDATRS", qxbStringFormat("Created Attribute: ID = %d , NAME = %s", id, name.c_str()));
        }
        rows.reset();
        Rows links = list(store_->listDomainAttributes(kAny, domain, id));
        unsigned domainAttribute = 0;
        if (next(links)) {
            domainAttribute = static_cast<unsigned>(links->getInt(0));
        } else {
            check(store_->insertDomainAttribute(domain, id, &domainAttribute));
        }
        links.reset();
        check(store_->insertVersionAttribute(domain, domainAttribute, version, QxbString(kYes)));
        return id;
    }

    // Every item of the repository by key: items are shared by all domains.
    std::map<std::string, unsigned> items() {
        const QxbString empty;
        Rows rows = list(store_->listItems(kAny, empty, empty, empty, empty, empty, kAny));
        std::map<std::string, unsigned> byKey;
        while (next(rows)) byKey.emplace(rows->getString(1).str(), static_cast<unsigned>(rows->getInt(0)));
        return byKey;
    }

    unsigned newItem(const std::string& key, const std::string& label) {
        unsigned id = 0;
        check(store_->insertItem(QxbString(key), QxbString(label), QxbString(kYes), QxbString(kYes), QxbString("P"),
                                 account_, &id));
        record(kAny, id, "RDDOIT", qxbStringFormat("Added Item: ID = %d", id));
        return id;
    }

    unsigned versionItem(unsigned version, unsigned item, int position, const std::string& label, unsigned parent) {
        unsigned id = 0;
        check(store_->insertVersionItem(version, item, position, QxbString(label), parent, nullptr, &id));
        return id;
    }

    unsigned value(unsigned version, unsigned versionItem, unsigned attribute) {
        unsigned id = 0;
        check(store_->insertItemAttributeValue(versionItem, attribute, &id));
        check(store_->insertVersionItemValue(version, id));
        return id;
    }

    void text(unsigned version, unsigned value, const std::string& text, unsigned language) {
        unsigned textId = 0;
        check(store_->insertLocalizedText(QxbString(text), language, &textId));
        check(store_->insertVersionItemValueLink(version, textId, value));
    }

private:
    RefDataStore* store_;
    unsigned account_;
};

struct ImportResult {
    bool domainCreated = false;
    int versionNumber = 0;
    std::size_t newItems = 0;
};

void writeImport(ImportWriter& writer, const ImportCommand& c, const ImportPlan& plan, ImportResult* result) {
    std::map<std::string, unsigned> languages;
    for (const std::string& code : plan.languages) languages[code] = writer.languageId(code);
    const unsigned domain = writer.domain(c.domain, &result->domainCreated);
    const unsigned version = writer.version(domain, c.versionLabel, &result->versionNumber);
    std::map<std::string, unsigned> attributes;
    for (const std::string& name : plan.attributes)
        attributes[name] = writer.attribute(domain, version, name, languages[c.options.language]);

    // Items first, so that every parent has its id when the version items are
    // written; the progress counts both passes.
    Progress progress(!c.quiet, 2 * plan.items.size());
    std::map<std::string, unsigned> known = writer.items();
    std::vector<unsigned> itemIds;
    for (const ImportItem& item : plan.items) {
        const auto found = known.find(item.key);
        if (found != known.end()) {
            itemIds.push_back(found->second);
        } else {
            itemIds.push_back(writer.newItem(item.key, item.label));
            ++result->newItems;
        }
        progress.step(itemIds.size());
    }
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        const ImportItem& item = plan.items[i];
        const unsigned parent = item.parent < 0 ? kAny : itemIds[static_cast<std::size_t>(item.parent)];
        const unsigned versionItem =
            writer.versionItem(version, itemIds[i], static_cast<int>(i + 1), item.label, parent);
        std::map<std::string, unsigned> valueOf;  // one value per attribute, one text per language
        for (const auto& entry : item.values) {
            const ValueColumn& column = plan.valueColumns[entry.first];
            auto value = valueOf.find(column.attribute);
            if (value == valueOf.end())
                value = valueOf.emplace(column.attribute, writer.value(version, versionItem, attributes[column.attribute]))
                            .first;
            writer.text(version, value->second, entry.second, languages[column.language]);
        }
        progress.step(plan.items.size() + i + 1);
    }
    writer.record(domain, version, "RDDOVR",
                  qxbStringFormat("Imported %d items with %d values from %s", static_cast<int>(plan.items.size()),
                                  static_cast<int>(plan.valueCount), c.file.c_str()));
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : text + ",") {
        if (ch == ',') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    return parts;
}

// The store waits for another writer to commit (minutes, see the store's
// documentation); after a second the user is told, once.
void announceWait() {
    static bool told = false;
    if (told) return;
    told = true;
    std::fputs("waiting for another writer to finish\xe2\x80\xa6\n", stderr);
}

int runImport(ImportCommand c) {
    repadm::setWriterWaitNotice(&announceWait);
    const std::string nameProblem = domainNameProblem(c.domain);
    if (!nameProblem.empty()) return fail(nameProblem);
    c.options.attributeColumns = splitList(c.attributes);
    TableFile table;
    std::string error;
    if (!readTableFile(c.file, c.format, &table, &error)) return fail(error);
    ImportPlan plan;
    if (!planImport(c.file, table, c.options, &plan, &error)) return fail(error);

    RepositorySession repo;
    QxbString openError;
    if (!repo.open(c.repository, &openError)) return fail(openError);
    RefDataStore* store = repo.handle()->adminStore;
    if (store == nullptr) return fail(repo.errorText());
    if (c.account < 1) return fail("invalid account id " + std::to_string(c.account));
    ImportWriter writer(store, static_cast<unsigned>(c.account));
    ImportResult result;
    try {
        if (!writer.accountExists()) return fail("no account with id " + std::to_string(c.account));
        writer.check(store->beginTransaction(0, 0));
    } catch (const StoreFailure& failure) {
        return fail(std::string(failure.what()));
    }
    try {
        writeImport(writer, c, plan, &result);
        writer.check(store->endTransaction(true));
    } catch (const StoreFailure& failure) {
        store->endTransaction(false);
        return fail("nothing was imported: " + std::string(failure.what()));
    }
    std::printf("Imported %zu items (%zu new) with %zu values into %s version %d of domain '%s'\n", plan.items.size(),
                result.newItems, plan.valueCount, result.domainCreated ? "the new domain's" : "the new", result.versionNumber,
                c.domain.c_str());
    return kOk;
}

}  // namespace

void addImportCommand(CLI::App& app, Action* action) {
    auto c = std::make_shared<ImportCommand>();
    CLI::App* cmd = app.add_subcommand(
        "import", "Import a CSV or JSON file as a new version of a domain (the domain is created when missing)");
    cmd->add_option("repository", c->repository, "Repository name")->required();
    cmd->add_option("domain", c->domain, "Domain name")->required();
    cmd->add_option("file", c->file, "The file: CSV with a header line, or JSON (an array of objects)")->required();
    cmd->add_option("--format", c->format, "csv or json (default: by the file's ending)")
        ->check(CLI::IsMember({"csv", "json"}));
    cmd->add_option("--key", c->options.keyColumn, "Column of the item keys")->capture_default_str();
    cmd->add_option("--label", c->options.labelColumn, "Column of the item labels")->capture_default_str();
    cmd->add_option("--parent", c->options.parentColumn, "Column of the parent item's key")->capture_default_str();
    cmd->add_option("--attributes", c->attributes,
                    "Comma-separated columns to import as attribute values (default: every other column; "
                    "a column NAME@LANG holds texts of attribute NAME in language LANG)");
    cmd->add_option("--language", c->options.language, "Language of attribute columns without @LANG")
        ->capture_default_str();
    cmd->add_option("--version-label", c->versionLabel, "Label of the new version (default: \"Version N\")");
    cmd->add_option("--account", c->account, "Acting account id")->capture_default_str();
    cmd->add_flag("--quiet", c->quiet, "No progress bar");
    cmd->callback([action, c]() { *action = [c]() { return runImport(*c); }; });
}

}  // namespace rdm
